#include "optimum/planner.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <mutex>
#include <numeric>
#include <optional>
#include <system_error>

#include <nlohmann/json.hpp>

#include "calc/numtext.h"
#include "optimum/dualsolver.h"
#include "optimum/jsonfile.h"
#include "optimum/line.h"
#include "optimum/program.h"
#include "optimum/variants.h"

namespace zeltrac::optimum {

namespace {

using namespace detail;
using Json = nlohmann::ordered_json;

std::string trainText(const TrainPair& t)
{
    return numtext::wholeToText(t.first) + "-" + numtext::wholeToText(t.second);
}

std::vector<TrainPair> pairsOf(const TrainSet& set)
{
    std::vector<TrainPair> pairs;
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            if (set[i][j])
                pairs.emplace_back(i, j);
        }
    }
    return pairs;
}

// The trains of `to` not in `from`.
std::vector<TrainPair> without(const TrainSet& to, const TrainSet& from)
{
    TrainSet rest{};
    for (int i = 1; i < kDim; ++i)
        for (int j = i + 1; j < kDim; ++j)
            rest[i][j] = to[i][j] && !from[i][j];
    return pairsOf(rest);
}

int distanceOf(const TrainSet& x, const TrainSet& y)
{
    return static_cast<int>(without(x, y).size() + without(y, x).size());
}

// The completion's local trains: from each station to every station up to
// the next one that re-forms cars.
TrainSet completion(const Line& line)
{
    TrainSet open{};
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            open[i][j] = true;
            if (line.reforms(j))
                break;
        }
    }
    return open;
}

bool notAbove(long double cost, long double than)
{
    return cost <= than + static_cast<long double>(kRelativeGap) * std::fabs(than);
}

// The program's values of the trains `set` with each flow on its cheapest
// chain, required trains open; empty when some flow has no chain.
std::vector<double> valuesOf(const Model& model, const TrainSet& set)
{
    std::vector<double> values = programValues(model.program, route(*model.line, set));
    if (values.empty())
        return values;
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            if (model.forced[i][j])
                values[model.program.trainColumn[i][j]] = 1;
        }
    }
    return values;
}

double objectiveOf(const Program& program, const std::vector<double>& values)
{
    return std::inner_product(values.begin(), values.end(), program.objective.begin(), 0.0);
}

TrainSet setOf(const Program& program, const std::vector<double>& values)
{
    TrainSet set{};
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            set[i][j] = column >= 0 && values[column] > 0.5;
        }
    }
    return set;
}

constexpr int kMaxRetries = 100;

// The row that keeps exactly the set of trains `set` out of the program.
void excludeExactly(Program& program, const TrainSet& set)
{
    int inside = 0;
    for (int i = 1; i < kDim; ++i)
        for (int j = i + 1; j < kDim; ++j)
            inside += program.trainColumn[i][j] >= 0 && set[i][j];
    const int row = program.addRow(1 - inside, std::numeric_limits<double>::max());
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            if (column >= 0)
                program.add(row, column, set[i][j] ? -1 : 1);
        }
    }
}

} // namespace

// ---- The plan in force -------------------------------------------------

std::string readPlan(const std::string& text, std::vector<TrainPair>& trains)
{
    trains.clear();
    Json root;
    if (std::string reason = parseJson(text, root); !reason.empty())
        return "Файл плана " + reason;
    if (!root.is_object())
        return "Файл плана должен содержать объект JSON {\"trains\": [[отправление, назначение], "
               "...]}";
    std::vector<TrainPair> read;
    bool listed = false;
    for (const auto& [key, value] : root.items()) {
        if (key != "trains")
            return "Файл плана: неизвестный ключ " + jsonExcerpt(key);
        if (std::string reason = readTrainList(value, "trains", read); !reason.empty())
            return "Файл плана: " + reason;
        listed = true;
    }
    if (!listed)
        return "Файл плана: нет списка поездов \"trains\"";
    std::sort(read.begin(), read.end());
    trains = std::move(read);
    return {};
}

std::string writePlan(const std::vector<TrainPair>& trains)
{
    std::string text = "{\"trains\": [";
    for (std::size_t k = 0; k < trains.size(); ++k) {
        text += k == 0 ? "[" : ", [";
        text += numtext::wholeToText(trains[k].first) + ", " +
                numtext::wholeToText(trains[k].second) + "]";
    }
    return text + "]}\n";
}

std::string loadPlanFile(const std::string& path, std::vector<TrainPair>& trains)
{
    trains.clear();
    return loadJsonFile(path, "Файл плана",
                        [&](const std::string& text) { return readPlan(text, trains); });
}

std::string planFileFor(const std::string& dataFile)
{
    const std::size_t slash = dataFile.find_last_of('/');
    const std::size_t dot = dataFile.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? dataFile.substr(0, dot) : dataFile) + ".план.json";
}

std::string checkPlan(const std::vector<TrainPair>& trains, int n)
{
    for (const TrainPair& t : trains) {
        if (t.first < 1 || t.first > n || t.second < 1 || t.second > n)
            return "Поезд " + trainText(t) +
                   " действующего плана: станция вне линии (станции линии: 1.." +
                   numtext::wholeToText(n) + ")";
        if (t.first >= t.second)
            return "Поезд " + trainText(t) +
                   " действующего плана: станция отправления должна быть раньше станции назначения";
    }
    return {};
}

std::string describeUnusable(const TrainPair& train)
{
    return "поезд " + trainText(train) + " действующего плана не может взять ни один поток";
}

std::vector<TrainPair> throughTrainsOf(const std::vector<FixedTrain>& trains)
{
    std::vector<TrainPair> through;
    for (const FixedTrain& t : trains) {
        if (t.destination >= t.origin + 2)
            through.emplace_back(t.origin, t.destination);
    }
    std::sort(through.begin(), through.end());
    return through;
}

std::vector<TrainPair> throughTrainsOfPlan(const TextTable& plan, int n)
{
    return throughTrainsOf(trainsOfPlan(plan, n));
}

PlanInForce evaluatePlanInForce(const CalcInput& input, const std::vector<TrainPair>& through)
{
    PlanInForce result;
    result.through = through;
    std::sort(result.through.begin(), result.through.end());
    result.through.erase(std::unique(result.through.begin(), result.through.end()),
                         result.through.end());
    try {
        Line line;
        result.message = readLine(input, line);
        if (result.message.empty())
            result.message = checkPlan(result.through, line.n);
        if (!result.message.empty())
            return result;
        TrainSet open = completion(line);
        for (const auto& [i, j] : result.through)
            open[i][j] = true;
        const Routing routing = route(line, open);
        const TrainSet carrying = openSet(routing.trains);
        const Program program = buildProgram(line);
        for (const auto& [i, j] : result.through) {
            if (program.trainColumn[i][j] < 0)
                result.unusable.emplace_back(i, j);
            else if (!carrying[i][j])
                result.idle.emplace_back(i, j);
        }
        result.plan.trains = routing.trains;
        result.plan.plan = evaluatePlan(input, routing.trains, result.plan.tables).plan;
        result.plan.cost = result.plan.tables.total(6).toDouble();
    } catch (const std::exception& e) {
        result.message = e.what();
    }
    return result;
}

// ---- The best changes --------------------------------------------------

std::string describeChanges(const std::vector<TrainPair>& added,
                            const std::vector<TrainPair>& removed)
{
    std::string text;
    const auto append = [&](const TrainPair& t, const char* sign) {
        if (!text.empty())
            text += ", ";
        text.append(sign).append(numtext::wholeToText(t.first));
        text.append("→").append(numtext::wholeToText(t.second));
    };
    for (const TrainPair& t : added)
        append(t, "+");
    for (const TrainPair& t : removed)
        append(t, "−");
    return text;
}

double LadderStep::saving() const
{
    return solution.hasPlan() ? currentCost - solution.best.cost : 0;
}

double LadderStep::share() const
{
    const double whole = currentCost - optimumCost;
    return whole > 0 ? saving() / whole : 1;
}

Ladder changeLadder(const CalcInput& input, const CalculatedPlan& calculated,
                    const Conditions& conditions, const std::vector<TrainPair>& through,
                    int maxChanges, const Options& options)
{
    const auto start = Clock::now();
    Ladder ladder;
    ladder.current = evaluatePlanInForce(input, through);
    if (!ladder.current.valid()) {
        ladder.message = ladder.current.message;
        return ladder;
    }
    ladder.optimum = solveExact(input, calculated, conditions, 1, options);
    ladder.optimum.variants.clear();
    const Solution& optimum = ladder.optimum;
    if (!optimum.hasPlan()) {
        ladder.call = optimum.call;
        ladder.message = optimum.message;
        return ladder;
    }
    const TrainSet current = openSet(ladder.current.plan.trains);
    const bool proven = optimum.model == ModelStatus::Optimal;
    ladder.distance = distanceOf(current, openSet(optimum.best.trains));
    std::vector<double> startValues; // the step before's plan
    const int last = std::clamp(maxChanges, 1, kMaxChanges);
    // Our own solver takes every condition, each step starting from the plan
    // of the step before; CBC what it cannot prove within its node limit.
    const bool ours = options.solver == Solver::Own;
    std::optional<DualSearch> search;
    TrainSet ownStart = current;
    for (int k = 1; k <= last; ++k) {
        if (options.cancel != nullptr && options.cancel->load()) {
            ladder.call = CallStatus::Cancelled;
            break;
        }
        LadderStep step;
        step.k = k;
        step.currentCost = ladder.current.plan.cost;
        step.optimumCost = optimum.best.cost;
        if (proven && k >= ladder.distance) {
            step.solution = optimum;
        } else {
            ++ladder.solves;
            if (options.solveBegun)
                options.solveBegun(ladder.solves);
            step.solution = runSolve(
                input, options,
                [&](const Line& line, const Deadline& deadline, Solution& solution) {
                    Model model = buildModel(line, conditions);
                    const std::string none = "Нет плана в пределах " + numtext::wholeToText(k) +
                                             " изменений, удовлетворяющего условиям";
                    if (ours) {
                        if (!search)
                            search.emplace(line, false);
                        DualRules rules = rulesOf(conditions);
                        rules.reference = current;
                        rules.maxChanges = k;
                        const DualResult own =
                            search->solve(ownStart, deadline, options.nodeLimit, rules);
                        solution.solvedBy = Solver::Own;
                        if (own.kind == DualResult::Infeasible) {
                            solution.model = ModelStatus::Infeasible;
                            solution.message = none;
                            return;
                        }
                        const Plan plan = own.hasPlan ? planOfOwn(model, own) : Plan{};
                        // Routed again (under re-forming limits as our solver
                        // routed it), the plan's trains must be those it was
                        // judged by: then it is within k changes.
                        if (plan.cost != kNone && openSet(plan.trains) == own.open &&
                            (own.kind == DualResult::Proven || own.kind == DualResult::Stopped)) {
                            ownStart = own.open;
                            solution.best = variantOf(input, line, plan);
                            solution.bound = std::max(own.bound, optimum.bound);
                            if (own.kind == DualResult::Proven ||
                                (proven && notAbove(solution.best.cost, optimum.best.cost)))
                                solution.bound = solution.best.cost;
                            solution.model = ModelStatus::Feasible; // closed by the gap at the end
                            return;
                        }
                        if (own.kind == DualResult::Stopped)
                            return;
                        solution.solvedBy = Solver::Cbc;
                        solution.handedOver = true;
                    }
                    Program& program = model.program;
                    // At most k trains differ from the plan in force.
                    int inside = 0;
                    const int row = program.addRow(-std::numeric_limits<double>::max(), 0);
                    for (int i = 1; i < kDim; ++i) {
                        for (int j = i + 1; j < kDim; ++j) {
                            const int column = program.trainColumn[i][j];
                            if (column < 0)
                                continue;
                            inside += current[i][j];
                            program.add(row, column, current[i][j] ? -1 : 1);
                        }
                    }
                    program.rowUpper[row] = k - inside;
                    if (startValues.empty() && conditions.empty())
                        startValues = valuesOf(model, current);
                    // Every linking row from the start: the strong relaxation
                    // keeps the search small with the row above.
                    std::vector<bool> links(program.links.size(), true);
                    // A set whose flows, each on its cheapest chain, leave a
                    // train empty is no plan of its own: its plan (without
                    // that train) may lie beyond k changes. Such a set is
                    // kept out and the solve run again.
                    for (int tries = 0;; ++tries) {
                        const Outcome outcome = solveLinked(
                            program, links, startValues,
                            startValues.empty() ? 0 : objectiveOf(program, startValues), deadline);
                        if (outcome.kind == Outcome::Infeasible) {
                            solution.model = ModelStatus::Infeasible;
                            solution.message = none;
                            return;
                        }
                        if (outcome.values.empty())
                            return;
                        const Plan plan = planOf(model, outcome.values);
                        if (plan.cost == kNone)
                            return;
                        const TrainSet set = setOf(program, outcome.values);
                        if (distanceOf(openSet(plan.trains), current) > k) {
                            if (tries >= kMaxRetries || deadline.passed())
                                return;
                            excludeExactly(program, set);
                            startValues.clear();
                            continue;
                        }
                        startValues = outcome.values;
                        solution.best = variantOf(input, line, plan);
                        solution.bound = std::max(outcome.bound, optimum.bound);
                        if (outcome.proven ||
                            (proven && notAbove(solution.best.cost, optimum.best.cost)))
                            solution.bound = solution.best.cost;
                        break;
                    }
                    solution.model = ModelStatus::Feasible; // closed by the gap at the end
                });
        }
        const TrainSet found = openSet(step.solution.best.trains);
        if (step.solution.hasPlan()) {
            step.added = without(found, current);
            step.removed = without(current, found);
        }
        ladder.steps.push_back(std::move(step));
        const Solution& s = ladder.steps.back().solution;
        if (s.call == CallStatus::Cancelled || s.call == CallStatus::Failed) {
            ladder.call = s.call;
            break;
        }
        if (s.call == CallStatus::TimeLimit)
            ladder.call = CallStatus::TimeLimit;
        if (proven && s.model == ModelStatus::Optimal && notAbove(s.best.cost, optimum.best.cost)) {
            ladder.optimumReached = true;
            break;
        }
    }
    ladder.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return ladder;
}

// ---- How long a plan holds ---------------------------------------------

bool Scope::contains(int a, int b) const
{
    switch (kind) {
    case Kind::All:
        return true;
    case Kind::From:
        return a == origin;
    case Kind::Flow:
        break;
    }
    return a == origin && b == destination;
}

namespace {

bool wholeOf(std::string_view text, int& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool realOf(std::string_view text, double& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           std::isfinite(value);
}

} // namespace

std::string parseScope(const std::string& text, Scope& scope)
{
    const std::string_view view(text);
    Scope read;
    bool ok = false;
    if (view == "all") {
        ok = true;
    } else if (view.substr(0, 5) == "from:") {
        read.kind = Scope::Kind::From;
        ok = wholeOf(view.substr(5), read.origin);
    } else if (view.substr(0, 5) == "flow:") {
        read.kind = Scope::Kind::Flow;
        const std::string_view pair = view.substr(5);
        const std::size_t dash = pair.find('-');
        ok = dash != std::string_view::npos && wholeOf(pair.substr(0, dash), read.origin) &&
             wholeOf(pair.substr(dash + 1), read.destination);
    }
    if (!ok)
        return "Неверная область потоков \"" + text + "\" (допустимо all, from:S или flow:A-B)";
    scope = read;
    return {};
}

std::string scopeText(const Scope& scope)
{
    switch (scope.kind) {
    case Scope::Kind::All:
        return "all";
    case Scope::Kind::From:
        return "from:" + numtext::wholeToText(scope.origin);
    case Scope::Kind::Flow:
        break;
    }
    return "flow:" + numtext::wholeToText(scope.origin) + "-" +
           numtext::wholeToText(scope.destination);
}

std::string describeScope(const Scope& scope)
{
    switch (scope.kind) {
    case Scope::Kind::All:
        return "все потоки";
    case Scope::Kind::From:
        return "потоки со станции " + numtext::wholeToText(scope.origin);
    case Scope::Kind::Flow:
        break;
    }
    return "поток " + trainText({scope.origin, scope.destination});
}

std::string checkScope(const Scope& scope, int n)
{
    const std::string range = " (станции линии: 1.." + numtext::wholeToText(n) + ")";
    if (scope.kind == Scope::Kind::From && (scope.origin < 1 || scope.origin >= n))
        return "Область потоков: со станции " + numtext::wholeToText(scope.origin) +
               " потоки не отправляются" + range;
    if (scope.kind == Scope::Kind::Flow &&
        (scope.origin < 1 || scope.destination > n || scope.origin >= scope.destination))
        return "Область потоков: потока " + trainText({scope.origin, scope.destination}) +
               " на линии нет" + range;
    return {};
}

std::string parseRange(const std::string& text, double& low, double& high)
{
    const std::size_t colon = text.find(':');
    double lo = 0, hi = 0;
    const std::string_view view(text);
    if (colon == std::string::npos || !realOf(view.substr(0, colon), lo) ||
        !realOf(view.substr(colon + 1), hi) || !(lo > 0) || !(hi > lo) || hi > 1e6)
        return "Неверный диапазон коэффициента изменения потоков \"" + text +
               "\" (нужно НИЖНИЙ:ВЕРХНИЙ, 0 < НИЖНИЙ < ВЕРХНИЙ, например 0.5:1.5)";
    low = lo;
    high = hi;
    return {};
}

double Stability::optimalCost(double g) const
{
    for (const StabilityPiece& piece : pieces) {
        if (g <= piece.to)
            return piece.cost.at(g);
    }
    return pieces.empty() ? 0 : pieces.back().cost.at(g);
}

namespace {

// A plan found at some g: its trains and its cost line.
struct Found
{
    TrainSet set{};
    std::vector<FixedTrain> trains;
    CostLine cost;
    bool proven = false;
    detail::DualWarmStart warm; // our solver's multipliers where it was found
};

// The cost line of the trains `set` (each flow on its cheapest chain).
Found lineOf(const Line& line, const TrainSet& forced, const Scope& scope, const TrainSet& set)
{
    Found found;
    const Routing routing = route(line, set);
    const TrainSet routed = openSet(routing.trains);
    TrainSet carrying = routed;
    for (const FixedTrain& t : routing.trains)
        found.cost.a += line.cm[t.origin];
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            if (set[i][j] && forced[i][j] && !carrying[i][j]) {
                found.cost.a += line.cm[i];
                carrying[i][j] = true;
            }
        }
    }
    for (int b = 2; b <= line.n; ++b) {
        for (int a = 1; a < b; ++a) {
            const std::int64_t f = line.flow[a][b];
            if (f == 0)
                continue;
            long double reforming = 0;
            for (int v = routing.next[b][a]; v != b && v != 0; v = routing.next[b][v])
                reforming += line.tek[v] * f;
            (scope.contains(a, b) ? found.cost.b : found.cost.a) += reforming;
        }
    }
    found.set = carrying;
    found.trains = routing.trains;
    for (const auto& [i, j] : pairsOf(carrying)) {
        if (!routed[i][j])
            found.trains.push_back(FixedTrain{i, j, 0});
    }
    std::sort(found.trains.begin(), found.trains.end(), [](const auto& x, const auto& y) {
        return std::pair(x.origin, x.destination) < std::pair(y.origin, y.destination);
    });
    return found;
}

constexpr int kMaxEnvelopeSolves = 500;

// `share` of the multipliers `a` and the rest of `b`. The Lagrangian bound is
// concave in the multipliers and the factor together: at a crossing the blend
// of the two ends' multipliers, in the shares that make the crossing's factor
// of theirs, starts at least as high as the ends' bounds in those shares.
// (The envelope sets the re-forming limits aside: no limits' multipliers.)
detail::DualWarmStart blended(const detail::DualWarmStart& a, const detail::DualWarmStart& b,
                              double share)
{
    if (a.weights.size() != b.weights.size())
        return a.weights.empty() ? b : a;
    detail::DualWarmStart blend;
    blend.weights.resize(a.weights.size());
    for (std::size_t e = 0; e < a.weights.size(); ++e)
        blend.weights[e] = share * a.weights[e] + (1 - share) * b.weights[e];
    return blend;
}

// Far apart enough that the lines cross within the range.
bool cheaper(double cost, double than)
{
    return cost < than - 1e-9 * std::max(1.0, std::fabs(than));
}

} // namespace

Stability stabilityOf(const CalcInput& input, const Conditions& conditions, const Scope& scope,
                      double low, double high, const std::vector<FixedTrain>& fixedPlan,
                      const Options& options)
{
    Stability result;
    result.scope = scope;
    result.low = low;
    result.high = high;
    result.fixedTrains = fixedPlan;
    Conditions kept = conditions;
    kept.maxReprocessed.clear();
    // Up to options.threads solves run at once, each part of the range
    // refined on its own and the pieces joined in order: the same solves and
    // pieces as one at a time (but where the most solves are reached). The
    // callbacks are called one at a time, the progress only of the solve
    // begun last (the one solveBegun named).
    std::atomic<int> solves = 0;
    std::atomic<bool> allProven = true;
    std::mutex calling;
    const Solution status =
        runSolve(input, options, [&](const Line& line, const Deadline&, Solution& solution) {
            solution.message = checkConditions(kept, line.n);
            if (solution.message.empty())
                solution.message = checkScope(scope, line.n);
            if (solution.message.empty() && !(low > 0 && high > low))
                solution.message = "Неверный диапазон коэффициента изменения потоков";
            if (!solution.message.empty()) {
                solution.model = ModelStatus::NotCovered;
                return;
            }
            const Model base = buildModel(line, kept);
            if (!fixedPlan.empty())
                result.fixed = lineOf(line, base.forced, scope, openSet(fixedPlan)).cost;
            std::vector<bool> links;
            bool infeasible = false;
            std::mutex cbc; // CBC's solves (and `links`, `infeasible`) one at a time
            // Our solver's searches of the line not solving, one per thread at most.
            std::vector<std::unique_ptr<DualSearch>> idle;
            // The cheapest plan at g, started from the known plan `hint` and
            // (our solver) from the multipliers `warm`.
            const auto solveAt = [&](double g, const Found* hint,
                                     DualWarmStart warm) -> std::optional<Found> {
                int solve = 0;
                {
                    const std::lock_guard lock(calling);
                    solve = ++solves;
                    if (options.solveBegun)
                        options.solveBegun(solve);
                }
                Options reporting = options;
                if (options.progress) {
                    reporting.progress = [&, solve](double bestCost, double bound) {
                        const std::lock_guard lock(calling);
                        if (solve == solves)
                            options.progress(bestCost, bound);
                    };
                }
                const Deadline deadline(reporting, Clock::now());
                if (options.solver == Solver::Own) {
                    // Our solver, the scope's re-forming costs times g; CBC
                    // beyond its node limit.
                    DualRules rules = rulesOf(kept);
                    for (int a = 1; a <= line.n; ++a) {
                        for (int b = a + 1; b <= line.n; ++b)
                            rules.reformingFactor[a][b] = scope.contains(a, b) ? g : 1;
                    }
                    std::unique_ptr<DualSearch> search;
                    {
                        const std::lock_guard lock(calling);
                        if (!idle.empty()) {
                            search = std::move(idle.back());
                            idle.pop_back();
                        }
                    }
                    if (search == nullptr)
                        search = std::make_unique<DualSearch>(line, false);
                    search->forget();
                    const DualResult own = search->solve(hint ? hint->set : TrainSet{}, deadline,
                                                         options.nodeLimit, rules, &warm);
                    {
                        const std::lock_guard lock(calling);
                        idle.push_back(std::move(search));
                    }
                    if (own.hasPlan &&
                        (own.kind == DualResult::Proven || own.kind == DualResult::Stopped)) {
                        Found found = lineOf(line, base.forced, scope, own.open);
                        found.proven = own.kind == DualResult::Proven;
                        found.warm = std::move(warm);
                        if (!found.proven)
                            allProven = false;
                        if (hint && hint->cost.at(g) < found.cost.at(g))
                            found = *hint; // rounding only: the known plan is as cheap
                        return found;
                    }
                }
                const std::lock_guard lock(cbc);
                Model model = base;
                Program& program = model.program;
                for (const Program::FlowShares& shares : program.flows) {
                    if (!scope.contains(shares.origin, shares.destination))
                        continue;
                    const int count = static_cast<int>(shares.nodes.size());
                    for (int c = 0; c < count * (count - 1) / 2; ++c)
                        program.objective[shares.firstColumn + c] *= g;
                }
                if (links.empty()) {
                    TrainSet ignored{};
                    double bound = 0;
                    relaxation(program, deadline, links, ignored, bound);
                }
                const std::vector<double> start =
                    hint ? valuesOf(model, hint->set) : std::vector<double>{};
                const Outcome outcome =
                    solveLinked(program, links, start,
                                start.empty() ? 0 : objectiveOf(program, start), deadline);
                if (outcome.kind == Outcome::Infeasible)
                    infeasible = true;
                if (outcome.values.empty()) {
                    allProven = false;
                    return std::nullopt;
                }
                Found found = lineOf(line, model.forced, scope, setOf(program, outcome.values));
                found.proven = outcome.proven;
                if (!found.proven)
                    allProven = false;
                if (hint && hint->cost.at(g) < found.cost.at(g))
                    found = *hint; // rounding only: the known plan is as cheap
                return found;
            };
            using Pieces = std::vector<std::pair<double, Found>>; // each start, its plan
            // `right` after `left`, a piece of the plan before it joined to it.
            const auto join = [](Pieces left, Pieces right) {
                for (auto& piece : right) {
                    if (left.empty() || left.back().second.set != piece.second.set)
                        left.push_back(std::move(piece));
                }
                return left;
            };
            // The threads free to take a part of the range.
            std::atomic<int> spare = std::max(1, options.threads) - 1;
            // A part put off where no thread was free, for a thread that ends
            // its own part or waits for another's; taken back by the one that
            // put it off where none has.
            struct PutOff
            {
                std::function<Pieces()> work;
                std::promise<Pieces> done;
                bool taken = false;
            };
            std::mutex putting;
            std::deque<std::shared_ptr<PutOff>> putOff;
            const auto take = [&](const std::shared_ptr<PutOff>& part) {
                const std::lock_guard lock(putting);
                if (part->taken)
                    return false;
                part->taken = true;
                std::erase(putOff, part);
                return true;
            };
            // The oldest part put off, where there is one.
            const auto helpOnce = [&] {
                std::shared_ptr<PutOff> part;
                {
                    const std::lock_guard lock(putting);
                    if (putOff.empty())
                        return false;
                    part = std::move(putOff.front());
                    putOff.pop_front();
                    part->taken = true;
                }
                try {
                    part->done.set_value(part->work());
                } catch (...) {
                    part->done.set_exception(std::current_exception());
                }
                return true;
            };
            // At the end of a thread's part.
            const auto helpOut = [&] {
                while (helpOnce()) {
                }
            };
            // The parts put off while `result` is not ready; then waiting,
            // which leaves the thread's place.
            const auto await = [&](auto& result) {
                using namespace std::chrono_literals;
                while (result.wait_for(0s) != std::future_status::ready) {
                    if (!helpOnce()) {
                        ++spare;
                        result.wait();
                        --spare;
                        break;
                    }
                }
                return result.get();
            };
            // `work` on a thread of its own where one is free (else the
            // future is not valid); the thread then takes up the parts put
            // off. `spare` counts the threads not running: one that ends or
            // waits for another leaves its place.
            const auto onSpareThread = [&](auto work) {
                std::future<decltype(work())> result;
                if (spare.fetch_sub(1) > 0) {
                    try {
                        result = std::async(std::launch::async, [&, work] {
                            auto part = work();
                            helpOut();
                            ++spare;
                            return part;
                        });
                    } catch (const std::system_error&) {
                    }
                }
                if (!result.valid())
                    ++spare;
                return result;
            };
            const std::function<Pieces(double, const Found&, double, const Found&)> refine =
                [&](double ga, const Found& la, double gb, const Found& lb) -> Pieces {
                if (la.set == lb.set || !cheaper(lb.cost.at(gb), la.cost.at(gb)))
                    return {{ga, la}};
                if (!cheaper(la.cost.at(ga), lb.cost.at(ga)))
                    return {{ga, lb}};
                const long double slope = la.cost.b - lb.cost.b;
                double gc = slope == 0 ? (ga + gb) / 2
                                       : static_cast<double>((lb.cost.a - la.cost.a) / slope);
                gc = std::clamp(gc, ga, gb);
                const Found& lower = la.cost.at(gc) <= lb.cost.at(gc) ? la : lb;
                std::optional<Found> lc;
                if (solves < kMaxEnvelopeSolves && gb - ga > 1e-9) {
                    lc = solveAt(gc, &lower, blended(la.warm, lb.warm, (gb - gc) / (gb - ga)));
                }
                if (!lc || !cheaper(lc->cost.at(gc), lower.cost.at(gc)) || lc->set == la.set ||
                    lc->set == lb.set)
                    return join({{ga, la}}, {{gc, lb}});
                // The left part on a thread of its own where one is free;
                // else the right part is put off for a thread that gets free,
                // and taken back here where none has.
                std::future<Pieces> left = onSpareThread([&] { return refine(ga, la, gc, *lc); });
                if (!left.valid()) {
                    auto right = std::make_shared<PutOff>();
                    right->work = [&] { return refine(gc, *lc, gb, lb); };
                    std::future<Pieces> done = right->done.get_future();
                    {
                        const std::lock_guard lock(putting);
                        putOff.push_back(right);
                    }
                    Pieces before;
                    try {
                        before = refine(ga, la, gc, *lc);
                    } catch (...) {
                        // The part put off reads this frame: never left running.
                        if (!take(right))
                            done.wait();
                        throw;
                    }
                    if (take(right))
                        return join(std::move(before), right->work());
                    return join(std::move(before), await(done));
                }
                Pieces right = refine(gc, *lc, gb, lb);
                Pieces before = await(left);
                return join(std::move(before), std::move(right));
            };
            // The plan at g = 1 (else at the middle of the range) first, the
            // ends started from it (not from its multipliers: they start a
            // bound far off below the ends' own), and each part of the range
            // refined on its own, the upper one on a thread of its own where
            // one is free: the end whose bound is hard to reach does not hold
            // up the other part.
            const double middle = low < 1 && 1 < high ? 1 : (low + high) / 2;
            const std::optional<Found> centre = solveAt(middle, nullptr, {});
            if (!centre) {
                if (infeasible) {
                    solution.model = ModelStatus::Infeasible;
                    solution.message = "Нет плана, удовлетворяющего условиям";
                }
                return;
            }
            const auto upperPart = [&]() -> std::optional<Pieces> {
                const std::optional<Found> last = solveAt(high, &*centre, {});
                if (!last)
                    return std::nullopt;
                return refine(middle, *centre, high, *last);
            };
            std::future<std::optional<Pieces>> upper = onSpareThread(upperPart);
            std::optional<Pieces> lower;
            if (const std::optional<Found> first = solveAt(low, &*centre, {}))
                lower = refine(low, *first, middle, *centre);
            std::optional<Pieces> above;
            if (upper.valid()) {
                above = await(upper);
            } else if (lower) {
                above = upperPart();
            }
            if (!lower || !above)
                return;
            const Pieces pieces = join(std::move(*lower), std::move(*above));
            if (fixedPlan.empty()) {
                // The optimum at g = 1 held fixed: the piece there, or one more solve.
                std::optional<Found> atOne;
                for (std::size_t k = 0; k < pieces.size() && low <= 1 && 1 <= high; ++k) {
                    if (k + 1 == pieces.size() || 1 < pieces[k + 1].first)
                        atOne = pieces[k].second;
                    if (atOne)
                        break;
                }
                if (!atOne)
                    atOne = solveAt(1, nullptr, {});
                if (atOne) {
                    result.fixed = atOne->cost;
                    result.fixedTrains = atOne->trains;
                }
            }
            for (std::size_t k = 0; k < pieces.size(); ++k) {
                StabilityPiece piece;
                piece.from = pieces[k].first;
                piece.to = k + 1 < pieces.size() ? pieces[k + 1].first : high;
                piece.cost = pieces[k].second.cost;
                piece.trains = pieces[k].second.trains;
                if (k > 0) {
                    piece.added = without(pieces[k].second.set, pieces[k - 1].second.set);
                    piece.removed = without(pieces[k - 1].second.set, pieces[k].second.set);
                }
                result.pieces.push_back(std::move(piece));
            }
            // The whole envelope proven: the status closes as optimal.
            solution.model = ModelStatus::Feasible;
            solution.bound = allProven ? 0 : -1;
        });
    result.solves = solves;
    result.call = status.call;
    result.model = status.model;
    result.message = status.message;
    result.seconds = status.seconds;
    if (result.call == CallStatus::Failed)
        result.pieces.clear();
    return result;
}

} // namespace zeltrac::optimum
