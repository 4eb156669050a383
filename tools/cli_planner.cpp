#include "tools/cli_planner.h"

#include <QFile>
#include <QFileInfo>

#include <exception>

#include "calc/error.h"
#include "diagram/stabilitychart.h"
#include "tools/cli_exact.h"
#include "workbook/analysisjob.h"
#include "workbook/plannertext.h"
#include "workbook/workbook.h"

namespace zeltrac::cli {

using Json = nlohmann::ordered_json;

bool readPlannerOptions(const QCommandLineParser& parser, const PlannerOptionSet& set, bool exact,
                        PlannerOptions& options, QString& problem)
{
    for (const QCommandLineOption& option : set.all()) {
        if (parser.values(option).size() > 1) {
            problem = QStringLiteral("Параметр --%1 указан более одного раза.")
                          .arg(option.names().front());
            return false;
        }
        if (parser.isSet(option) && !exact) {
            problem = QStringLiteral("Параметр --%1 действует только вместе с --exact.")
                          .arg(option.names().front());
            return false;
        }
    }
    for (const QCommandLineOption* option : {&set.range, &set.svgStability}) {
        if (parser.isSet(*option) && !parser.isSet(set.stability)) {
            problem = QStringLiteral("Параметр --%1 действует только вместе с --stability.")
                          .arg(option->names().front());
            return false;
        }
    }
    if (parser.isSet(set.current)) {
        std::vector<optimum::TrainPair> trains;
        const std::string error = optimum::loadPlanFile(
            QFile::encodeName(QFileInfo(parser.value(set.current)).absoluteFilePath())
                .toStdString(),
            trains);
        if (!error.empty()) {
            problem = QString::fromStdString(error) + u'.';
            return false;
        }
        options.current = std::move(trains);
    }
    if (parser.isSet(set.changes)) {
        bool ok = false;
        const int k = parser.value(set.changes).toInt(&ok);
        if (!ok || k < 1 || k > optimum::kMaxChanges) {
            problem = QStringLiteral("Неверное число изменений: \"%1\" (допустимо от 1 до %2).")
                          .arg(parser.value(set.changes))
                          .arg(optimum::kMaxChanges);
            return false;
        }
        options.changes = k;
    }
    if (parser.isSet(set.stability)) {
        optimum::Scope scope;
        const std::string error =
            optimum::parseScope(parser.value(set.stability).toStdString(), scope);
        if (!error.empty()) {
            problem = QString::fromStdString(error) + u'.';
            return false;
        }
        options.stability = scope;
    }
    if (parser.isSet(set.range)) {
        const std::string error =
            optimum::parseRange(parser.value(set.range).toStdString(), options.low, options.high);
        if (!error.empty()) {
            problem = QString::fromStdString(error) + u'.';
            return false;
        }
    }
    if (parser.isSet(set.svgStability)) {
        if (parser.value(set.svgStability).isEmpty()) {
            problem = QStringLiteral("Не указано имя файла графика устойчивости.");
            return false;
        }
        options.svgStability = QFileInfo(parser.value(set.svgStability)).absoluteFilePath();
        try {
            diagram::formatOfFile(options.svgStability);
        } catch (const std::exception& e) {
            problem = QString::fromStdString(e.what()) + u'.';
            return false;
        }
    }
    return true;
}

QString plannerProblem(const QString& dataFile, const PlannerOptions& options)
{
    if (!options.current && !options.stability)
        return {};
    Workbook workbook;
    try {
        workbook.load(dataFile);
    } catch (const std::exception&) {
        return {};
    }
    const int n = workbook.stationCount();
    std::string error;
    if (options.current)
        error = optimum::checkPlan(*options.current, n);
    if (error.empty() && options.stability)
        error = optimum::checkScope(*options.stability, n);
    return error.empty() ? QString() : QString::fromStdString(error) + u'.';
}

PlannerOutcome runPlanner(const PlannerOptions& options, Workbook& workbook,
                          double timeLimitSeconds, optimum::Solver solver)
{
    PlannerOutcome outcome;
    if (options.current)
        workbook.setPlanInForce(options.current);
    AnalysisJob& job = workbook.analysis();
    if (options.changes > 0) {
        AnalysisRequest request = job.changesRequest(options.changes, timeLimitSeconds);
        request.options.solver = solver;
        outcome.ladder = job.runNow(request).ladder;
    }
    if (options.stability) {
        AnalysisRequest request =
            job.stabilityRequest(*options.stability, options.low, options.high, timeLimitSeconds);
        request.options.solver = solver;
        // Without a plan in force the optimum at g = 1 is held fixed.
        const bool optimumFixed = !options.current;
        if (optimumFixed)
            request.fixedPlan.clear();
        outcome.stability = job.runNow(request).stability;
        if (!options.svgStability.isEmpty())
            diagram::writeStabilityChart(
                diagram::stabilityChartOf(*outcome.stability,
                                          optimumFixed ? QStringLiteral("Оптимум при g = 1")
                                                       : QStringLiteral("Действующий план")),
                options.svgStability);
    }
    return outcome;
}

namespace {

Json pairsJson(const std::vector<optimum::TrainPair>& trains)
{
    Json list = Json::array();
    for (const auto& [origin, destination] : trains)
        list.push_back({origin, destination});
    return list;
}

} // namespace

void addPlannerJson(Json& json, const PlannerOutcome& outcome, int stationCount)
{
    if (outcome.ladder && json.contains("exact") && json["exact"].is_object()) {
        const optimum::Ladder& ladder = *outcome.ladder;
        Json& exact = json["exact"];
        if (ladder.current.valid()) {
            const optimum::Variant& plan = ladder.current.plan;
            exact["current"] = {{"cost", realJson(plan.cost)},
                                {"trains", trainsOf(plan.trains)},
                                {"indicators", indicatorsOf(plan.tables, stationCount)},
                                {"totals", totalsOf(plan.tables)},
                                {"unusable", pairsJson(ladder.current.unusable)}};
        } else {
            exact["current"] = nullptr;
        }
        Json changes = Json::array();
        for (const optimum::LadderStep& step : ladder.steps) {
            const optimum::Solution& s = step.solution;
            changes.push_back({{"k", step.k},
                               {"status", optimum::statusName(s.status())},
                               {"cost", s.hasPlan() ? realJson(s.best.cost) : Json()},
                               {"added", pairsJson(step.added)},
                               {"removed", pairsJson(step.removed)},
                               {"trains", trainsOf(s.best.trains)},
                               {"solver", optimum::solverName(s.solvedBy)},
                               {"seconds", s.seconds}});
        }
        exact["changes"] = std::move(changes);
        exact["changes_reached_optimum"] = ladder.optimumReached;
        if (!ladder.message.empty())
            exact["changes_message"] = ladder.message;
    }
    if (outcome.stability) {
        const optimum::Stability& s = *outcome.stability;
        optimum::Solution status; // the envelope's status as a solve's
        status.call = s.call;
        status.model = s.model;
        Json pieces = Json::array();
        for (const optimum::StabilityPiece& piece : s.pieces) {
            pieces.push_back({{"from", piece.from},
                              {"to", piece.to},
                              {"cost_from", piece.cost.at(piece.from)},
                              {"cost_to", piece.cost.at(piece.to)},
                              {"trains", trainsOf(piece.trains)}});
        }
        json["stability"] = {{"scope", optimum::scopeText(s.scope)},
                             {"range", {s.low, s.high}},
                             {"status", optimum::statusName(status.status())},
                             {"message", s.message.empty() ? Json() : Json(s.message)},
                             {"solves", s.solves},
                             {"pieces", std::move(pieces)},
                             {"fixed",
                              {{"trains", trainsOf(s.fixedTrains)},
                               {"cost_from", s.fixed.at(s.low)},
                               {"cost_to", s.fixed.at(s.high)}}}};
    }
}

std::vector<std::string> plannerLines(const PlannerOutcome& outcome)
{
    std::vector<std::string> lines;
    if (outcome.ladder)
        lines = ladderLines(*outcome.ladder);
    if (outcome.stability) {
        const std::vector<std::string> more = stabilityLines(*outcome.stability);
        lines.insert(lines.end(), more.begin(), more.end());
    }
    return lines;
}

} // namespace zeltrac::cli
