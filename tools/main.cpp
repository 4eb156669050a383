// zeltrac-cli: computes the formation plan of an initial-data file and prints
// the report (or the results as JSON) for batch use and scripts.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "calc/error.h"
#include "calc/plan.h"
#include "calc/texttable.h"
#include "datafile/safefile.h"
#include "diagram/picture.h"
#include "optimum/exact.h"
#include "report/datetime.h"
#include "report/rtf.h"
#include "tools/cli_exact.h"
#include "tools/cli_planner.h"
#include "tools/output.h"
#include "workbook/exactplan.h"
#include "workbook/qttranslation.h"
#include "workbook/workbook.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kExitPlanComputed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Использование: zeltrac-cli [ПАРАМЕТРЫ] ФАЙЛ.dat\n"
    "Рассчитывает план формирования по файлу исходных данных и выводит отчет.\n"
    "\n"
    "  --json                   вместо отчета вывести результаты в формате JSON\n"
    "  --rtf ФАЙЛ.rtf           сохранить отчет также в формате RTF\n"
    "  --operator ИМЯ           имя оператора в отчете (по умолчанию \"Имя оператора\")\n"
    "  --decimal-separator С    десятичный разделитель чисел Tек\n"
    "                           (по умолчанию - из региональных настроек)\n"
    "  --exact                  найти также точный оптимум (самый дешевый план)\n"
    "  --time-limit С           предел времени точного оптимума, секунд (по умолчанию 10)\n"
    "  --constraints ФАЙЛ.json  условия точного оптимума: обязательные и запрещенные\n"
    "                           поезда, пределы назначений и переработки по станциям\n"
    "  --variants K             показать K (1..10) самых дешевых вариантов плана\n"
    "  --current ФАЙЛ.json      действующий план: {\"trains\": [[1, 8], [2, 5]]}\n"
    "  --changes K              лучшие планы не далее K изменений от действующего\n"
    "  --stability ОБЛАСТЬ      устойчивость плана при изменении потоков: all,\n"
    "                           from:S (потоки со станции S) или flow:A-B\n"
    "  --range НИЖН:ВЕРХН       диапазон коэффициента потоков (по умолчанию 0.5:1.5)\n"
    "  --svg-stability ФАЙЛ     сохранить график устойчивости (SVG, PNG или PDF)\n"
    "  --solver cbc|own         решатель точного оптимума: CBC или собственный\n"
    "                           (по умолчанию - own)\n"
    "  --svg ФАЙЛ.svg           сохранить схему плана в формате SVG\n"
    "  --csv ФАЙЛ.csv           сохранить исходные данные и результаты в формате CSV\n"
    "  -h, --help               показать эту справку\n"
    "\n"
    "Код завершения: 0 - план рассчитан, 1 - нет данных или ошибка,\n"
    "2 - неверные параметры.\n";

struct Options
{
    QString dataFile;
    bool json = false;
    QString rtfFile;                     // empty: no RTF
    std::optional<QString> operatorName; // none: the session's own default
    QString decimalSeparator;
    bool exact = false;
    double timeLimitSeconds = 10.0;
    QString svgFile; // empty: no diagram
    QString csvFile; // empty: no CSV
    // The exact plan's conditions (--constraints) and variant count
    // (--variants; 0: none asked for).
    zeltrac::optimum::Conditions conditions;
    int variants = 0;
    // The plan in force, its changes and the stability (--current, --changes, ...).
    zeltrac::cli::PlannerOptions planner;
    zeltrac::optimum::Solver solver = zeltrac::optimum::Options{}.solver; // --solver
};

enum class Status
{
    Ok,
    NoData,
    Error,
};

// Everything a run produces, whatever its outcome.
struct Outcome
{
    Status status = Status::Error;
    QString message;
    std::vector<zeltrac::TextTable> steps;
    std::vector<std::string> report;
    // The exact plan asked for (--exact), as solved (also under conditions).
    std::optional<zeltrac::ExactPlan> exact;
};

// A decimal separator must be one character that cannot be part of a number
// in any other way.
bool isUsableSeparator(const QString& separator)
{
    const QList<uint> codes = separator.toUcs4();
    if (codes.size() != 1)
        return false;
    const uint code = codes.front();
    const bool partOfNumber = (code >= '0' && code <= '9') || code == '+' || code == '-' ||
                              code == 'e' || code == 'E' || code == '$';
    return code > 32 && !partOfNumber;
}

QStringList toQStringList(const std::vector<std::string>& lines)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        list.append(QString::fromStdString(line));
    return list;
}

// The exact optimum of the plan just calculated (--exact), under the
// planner's conditions and with the variants asked for, if any, by the
// session's analysis job: the session keeps only the optimum without
// conditions as its exact plan.
zeltrac::ExactPlan computeExactOptimum(const Options& options, zeltrac::Workbook& workbook)
{
    workbook.setConditions(options.conditions);
    zeltrac::AnalysisRequest request =
        workbook.analysis().exactRequest(options.variants, options.timeLimitSeconds);
    request.options.solver = options.solver;
    const zeltrac::AnalysisResult result = workbook.analysis().runNow(request);
    return zeltrac::ExactPlan(result.solution, result.request.calculated,
                              result.request.input.stationCount, result.request.planKind());
}

// The plan diagram (--svg): the diagram window's picture at its default
// width, in SVG whatever the name's extension.
void writeDiagram(const QString& path, const zeltrac::Workbook& workbook)
{
    const std::optional<zeltrac::diagram::DiagramPlan> plan = workbook.diagramData();
    if (!plan)
        return; // no completed plan: run() has reported why
    zeltrac::diagram::writeDiagramFile(
        zeltrac::diagram::planPanels(*plan, workbook.exactDiagramData()), path,
        zeltrac::diagram::ImageFormat::Svg);
}

// Whether the arguments ask for the diagram (before they are parsed: the
// kind of application depends on it). A value of another option that reads
// "--svg" only costs a graphical application that is not needed.
bool wantsDiagram(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        for (const char* prefix : {"--svg", "-svg", "--svg-stability", "-svg-stability"}) {
            const std::size_t length = std::strlen(prefix);
            if (std::strncmp(argument, prefix, length) == 0 &&
                (argument[length] == '\0' || argument[length] == '='))
                return true;
        }
    }
    return false;
}

// Qt's own diagnostics (a missing runtime folder, fonts) stay out of the
// tool's output, which scripts read; fatal ones still end the program.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::cerr << message.toStdString() << '\n';
        std::abort();
    }
}

// The input and the results as CSV (--csv).
void writeCsv(const QString& path, const zeltrac::Workbook& workbook)
{
    // The session adds the exact plan's section once --exact has computed one.
    workbook.exportCsv(path);
}

// Loads, calculates and (when wanted) composes and saves the report.
Outcome run(const Options& options, zeltrac::Workbook& workbook)
{
    Outcome outcome;
    if (options.operatorName)
        workbook.setOperatorName(*options.operatorName);
    workbook.setDecimalSeparator(options.decimalSeparator);
    try {
        workbook.load(options.dataFile);
        zeltrac::CalcHooks hooks;
        hooks.onTrainFixed = [&outcome](const zeltrac::StepView& step) {
            outcome.steps.push_back(step.workFlowTexts());
        };
        if (workbook.calculate(hooks) == zeltrac::CalcStatus::NotEnoughData) {
            outcome.status = Status::NoData;
            outcome.message =
                QString::fromStdString(zeltrac::shownMessage(zeltrac::messages::notEnoughData));
            return outcome;
        }
        if (options.exact)
            outcome.exact = computeExactOptimum(options, workbook);
        if (!options.json || !options.rtfFile.isEmpty()) {
            std::vector<std::string> lines;
            workbook.composeReport(
                zeltrac::report::reportDateTime(QLocale::system(), QDateTime::currentDateTime()),
                lines);
            if (!options.rtfFile.isEmpty())
                zeltrac::report::saveRtf(options.rtfFile, toQStringList(lines));
            outcome.report = std::move(lines);
        }
        // The report stays as it is; the exact optimum follows it.
        if (!options.json && outcome.exact)
            outcome.exact->appendSection(outcome.report);
        if (!options.svgFile.isEmpty())
            writeDiagram(options.svgFile, workbook);
        if (!options.csvFile.isEmpty())
            writeCsv(options.csvFile, workbook);
        outcome.status = Status::Ok;
    } catch (const std::exception& e) {
        outcome.status = Status::Error;
        outcome.message = QString::fromStdString(zeltrac::shownMessage(e.what()));
        outcome.report.clear();
    }
    return outcome;
}

using zeltrac::cli::rowsOf;

using zeltrac::cli::indicatorsOf;
using zeltrac::cli::totalsOf;
using zeltrac::cli::trainsOf;

Json exactJsonOf(const zeltrac::ExactPlan& exact)
{
    const zeltrac::optimum::Solution& solution = exact.solution();
    Json json;
    json["status"] = zeltrac::optimum::statusName(solution.status());
    json["kind"] = zeltrac::planKindName(exact.kind());
    if (exact.hasPlan())
        json["message"] = nullptr;
    else
        json["message"] = solution.message;
    json["cost"] = zeltrac::cli::realJson(solution.best.cost);
    json["bound"] = solution.bound;
    json["seconds"] = solution.seconds;
    json["solver"] = zeltrac::optimum::solverName(solution.solvedBy);
    json["handed_over"] = solution.handedOver;
    json["trains"] = trainsOf(solution.best.trains);
    json["plan"] = rowsOf(solution.best.plan);
    json["indicators"] =
        exact.hasPlan() ? indicatorsOf(solution.best.tables, exact.stationCount()) : Json::array();
    json["totals"] = exact.hasPlan() ? totalsOf(solution.best.tables) : Json::array();
    if (!solution.variants.empty()) {
        json["variants"] = zeltrac::cli::variantsJson(solution);
        json["variants_complete"] = solution.variantsComplete;
    }
    return json;
}

Json jsonOf(const Outcome& outcome, const zeltrac::Workbook& workbook, bool exact)
{
    const int stationCount = workbook.stationCount();
    const zeltrac::ResultTables& tables = workbook.resultTables();
    Json json;
    json["stations"] = stationCount;
    switch (outcome.status) {
    case Status::Ok:
        json["status"] = "ok";
        json["message"] = nullptr;
        break;
    case Status::NoData:
        json["status"] = "no_data";
        json["message"] = outcome.message.toStdString();
        break;
    case Status::Error:
        json["status"] = "error";
        json["message"] = outcome.message.toStdString();
        break;
    }

    json["trains"] = trainsOf(workbook.fixedTrains());
    json["steps"] = Json::array();
    for (const zeltrac::TextTable& step : outcome.steps)
        json["steps"].push_back(rowsOf(step));
    json["plan"] = rowsOf(workbook.planTexts());

    json["indicators"] = indicatorsOf(tables, stationCount);
    json["totals"] = totalsOf(tables);
    if (exact) {
        // None when no plan was calculated to solve exactly.
        json["exact"] = outcome.exact ? exactJsonOf(*outcome.exact) : Json();
    }
    return json;
}

// Parses the command line; on wrong usage returns false with the reason.
bool parseOptions(const QStringList& arguments, Options& options, bool& help, QString& problem)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption jsonOption(QStringLiteral("json"));
    const QCommandLineOption rtfOption(QStringLiteral("rtf"), QString(), QStringLiteral("file"));
    const QCommandLineOption operatorOption(QStringLiteral("operator"), QString(),
                                            QStringLiteral("name"));
    const QCommandLineOption separatorOption(QStringLiteral("decimal-separator"), QString(),
                                             QStringLiteral("char"));
    const QCommandLineOption exactOption(QStringLiteral("exact"));
    const QCommandLineOption timeLimitOption(QStringLiteral("time-limit"), QString(),
                                             QStringLiteral("seconds"));
    const QCommandLineOption constraintsOption(QStringLiteral("constraints"), QString(),
                                               QStringLiteral("file"));
    const QCommandLineOption variantsOption(QStringLiteral("variants"), QString(),
                                            QStringLiteral("count"));
    const QCommandLineOption svgOption(QStringLiteral("svg"), QString(), QStringLiteral("file"));
    const QCommandLineOption csvOption(QStringLiteral("csv"), QString(), QStringLiteral("file"));
    const QCommandLineOption solverOption(QStringLiteral("solver"), QString(),
                                          QStringLiteral("name"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOptions({jsonOption, rtfOption, operatorOption, separatorOption, exactOption,
                       timeLimitOption, svgOption, csvOption, helpOption, constraintsOption,
                       variantsOption, solverOption});
    const zeltrac::cli::PlannerOptionSet plannerSet;
    parser.addOptions(plannerSet.all());

    if (!parser.parse(arguments)) {
        problem = parser.errorText();
        return false;
    }
    help = parser.isSet(helpOption);
    if (help)
        return true;

    for (const QCommandLineOption* option :
         {&rtfOption, &operatorOption, &separatorOption, &timeLimitOption, &svgOption, &csvOption,
          &constraintsOption, &variantsOption, &solverOption}) {
        if (parser.values(*option).size() > 1) {
            problem = QStringLiteral("Параметр --%1 указан более одного раза.")
                          .arg(option->names().front());
            return false;
        }
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        problem = files.isEmpty() ? QStringLiteral("Не указан файл исходных данных.")
                                  : QStringLiteral("Указано более одного файла исходных данных.");
        return false;
    }
    // Messages name files by their full names, as the window's dialogs give them.
    options.dataFile = QFileInfo(files.front()).absoluteFilePath();
    options.json = parser.isSet(jsonOption);
    if (parser.isSet(rtfOption)) {
        if (parser.value(rtfOption).isEmpty()) {
            problem = QStringLiteral("Не указано имя файла RTF.");
            return false;
        }
        options.rtfFile = QFileInfo(parser.value(rtfOption)).absoluteFilePath();
    }
    if (parser.isSet(operatorOption))
        options.operatorName = parser.value(operatorOption);
    options.exact = parser.isSet(exactOption);
    if (parser.isSet(timeLimitOption)) {
        bool ok = false;
        const double seconds = parser.value(timeLimitOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400) {
            problem = QStringLiteral("Неверный предел времени: \"%1\".")
                          .arg(parser.value(timeLimitOption));
            return false;
        }
        options.timeLimitSeconds = seconds;
    }
    for (const QCommandLineOption* option : {&constraintsOption, &variantsOption, &solverOption}) {
        if (parser.isSet(*option) && !options.exact) {
            problem = QStringLiteral("Параметр --%1 действует только вместе с --exact.")
                          .arg(option->names().front());
            return false;
        }
    }
    if (parser.isSet(constraintsOption) &&
        !zeltrac::cli::loadConditionsFile(
            QFileInfo(parser.value(constraintsOption)).absoluteFilePath(), options.conditions,
            problem))
        return false;
    if (parser.isSet(variantsOption) &&
        !zeltrac::cli::parseVariantCount(parser.value(variantsOption), options.variants, problem))
        return false;
    if (!zeltrac::cli::readPlannerOptions(parser, plannerSet, options.exact, options.planner,
                                          problem))
        return false;
    if (parser.isSet(solverOption)) {
        const QString name = parser.value(solverOption);
        if (name != QLatin1String("cbc") && name != QLatin1String("own")) {
            problem = QStringLiteral("Неверный решатель: \"%1\" (допустимы cbc и own).").arg(name);
            return false;
        }
        options.solver = name == QLatin1String("own") ? zeltrac::optimum::Solver::Own
                                                      : zeltrac::optimum::Solver::Cbc;
    }
    if (parser.isSet(svgOption)) {
        if (parser.value(svgOption).isEmpty()) {
            problem = QStringLiteral("Не указано имя файла SVG.");
            return false;
        }
        options.svgFile = QFileInfo(parser.value(svgOption)).absoluteFilePath();
    }
    if (parser.isSet(csvOption)) {
        if (parser.value(csvOption).isEmpty()) {
            problem = QStringLiteral("Не указано имя файла CSV.");
            return false;
        }
        options.csvFile = QFileInfo(parser.value(csvOption)).absoluteFilePath();
    }
    // A result written over the input would destroy it.
    for (const QString* output :
         {&options.rtfFile, &options.svgFile, &options.csvFile, &options.planner.svgStability}) {
        if (!output->isEmpty() && zeltrac::datafile::isSameFile(*output, options.dataFile)) {
            problem = QStringLiteral("Файл %1 — это файл исходных данных: результат в него не "
                                     "записывается.")
                          .arg(*output);
            return false;
        }
    }
    if (parser.isSet(separatorOption)) {
        options.decimalSeparator = parser.value(separatorOption);
        if (!isUsableSeparator(options.decimalSeparator)) {
            problem = QStringLiteral("Неверный десятичный разделитель: \"%1\".")
                          .arg(options.decimalSeparator);
            return false;
        }
    } else {
        options.decimalSeparator = QLocale::system().decimalPoint();
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    zeltrac::cli::StandardOutput output;
    // The diagram is painted with Qt Gui: on the offscreen platform, so that
    // no display is needed. Without --svg the tool stays a core application.
    std::unique_ptr<QCoreApplication> app;
    if (wantsDiagram(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(quietMessages);
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // The command-line parser's own messages in Russian, like the window's dialogs.
    zeltrac::installQtTranslation(*app);
    // File names reach the files unchanged only when they are UTF-8.
    for (int i = 1; i < argc; ++i) {
        const std::string problem = zeltrac::datafile::unreadableFileName(argv[i]);
        if (!problem.empty()) {
            std::cerr << problem << '\n';
            return kExitFailed;
        }
    }

    Options options;
    bool help = false;
    QString problem;
    // Decoded here: Qt's own decoding drops a leading U+FEFF of an argument.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << zeltrac::datafile::argumentText(argv[i]);
    if (!parseOptions(arguments, options, help, problem)) {
        std::cerr << problem.toStdString() << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (help) {
        output.write(kUsage);
        const std::string lost = output.finish();
        if (!lost.empty()) {
            std::cerr << lost << '\n';
            return kExitFailed;
        }
        return kExitPlanComputed;
    }
    if (!options.conditions.empty())
        problem = zeltrac::cli::conditionsProblem(options.dataFile, options.conditions);
    if (problem.isEmpty())
        problem = zeltrac::cli::plannerProblem(options.dataFile, options.planner);
    if (!problem.isEmpty()) {
        std::cerr << problem.toStdString() << '\n';
        return kExitUsage;
    }

    zeltrac::Workbook workbook;
    Outcome outcome = run(options, workbook);
    zeltrac::cli::PlannerOutcome planned;
    if (outcome.status == Status::Ok && options.planner.any()) {
        try {
            planned = zeltrac::cli::runPlanner(options.planner, workbook, options.timeLimitSeconds,
                                               options.solver);
        } catch (const std::exception& e) {
            outcome.status = Status::Error;
            outcome.message = QString::fromStdString(zeltrac::shownMessage(e.what()));
        }
    }
    if (options.json) {
        Json json = jsonOf(outcome, workbook, options.exact);
        zeltrac::cli::addPlannerJson(json, planned, workbook.stationCount());
        output.write(json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n');
    } else {
        for (const std::string& line : outcome.report)
            output.write(line + '\n');
        for (const std::string& line : zeltrac::cli::plannerLines(planned))
            output.write(line + '\n');
    }
    const std::string lost = output.finish();
    if (outcome.status != Status::Ok)
        std::cerr << outcome.message.toStdString() << '\n';
    if (!lost.empty())
        std::cerr << lost << '\n';
    if (outcome.status != Status::Ok || !lost.empty())
        return kExitFailed;
    return kExitPlanComputed;
}
