#include "optimum/variants.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "calc/error.h"
#include "calc/numtext.h"
#include "optimum/line.h"
#include "optimum/program.h"

namespace zeltrac::optimum {

namespace {

using namespace detail;

constexpr long double kNone = std::numeric_limits<long double>::infinity();

// The share column of flow `shares` from its node p to its node q (p < q).
int shareColumn(const Program::FlowShares& shares, int p, int q)
{
    const int count = static_cast<int>(shares.nodes.size());
    int offset = 0;
    for (int r = 0; r < p; ++r)
        offset += count - 1 - r;
    return shares.firstColumn + offset + (q - p - 1);
}

// The program of a line under conditions: required trains get a column fixed
// at 1 (one that no flow can use gets one too), forbidden trains are held at
// 0, and a row per limit. The flows that a re-forming limit counts go whole
// along one chain.
struct Model
{
    const Line* line = nullptr;
    Program program;
    TrainSet forced{};
    std::vector<bool> counted; // by flow: some re-forming limit counts it
    bool limitsReforming = false;
};

Model buildModel(const Line& line, const Conditions& conditions)
{
    Model model;
    model.line = &line;
    Program& program = model.program;
    program = buildProgram(line);
    for (const auto& [i, j] : conditions.forced) {
        model.forced[i][j] = true;
        int& column = program.trainColumn[i][j];
        if (column < 0)
            column = program.addColumn(static_cast<double>(line.cm[i]), 1);
        program.columnLower[column] = 1;
    }
    for (const auto& [i, j] : conditions.forbidden) {
        const int column = program.trainColumn[i][j];
        if (column >= 0)
            program.columnUpper[column] = 0;
    }
    constexpr double kFree = std::numeric_limits<double>::max();
    for (const auto& [station, limit] : conditions.maxDestinations) {
        const int row = program.addRow(-kFree, limit);
        for (int j = station + 1; j <= line.n; ++j) {
            if (program.trainColumn[station][j] >= 0)
                program.add(row, program.trainColumn[station][j], 1);
        }
    }
    model.counted.assign(program.flows.size(), false);
    for (const auto& [station, limit] : conditions.maxReprocessed) {
        model.limitsReforming = true;
        const int row = program.addRow(-kFree, static_cast<double>(limit));
        for (std::size_t k = 0; k < program.flows.size(); ++k) {
            const Program::FlowShares& shares = program.flows[k];
            const int count = static_cast<int>(shares.nodes.size());
            const auto at = std::find(shares.nodes.begin() + 1, shares.nodes.end() - 1, station);
            if (at == shares.nodes.end() - 1)
                continue;
            const int p = static_cast<int>(at - shares.nodes.begin());
            const double cars = static_cast<double>(line.flow[shares.origin][shares.destination]);
            for (int q = p + 1; q < count; ++q)
                program.add(row, shareColumn(shares, p, q), cars);
            model.counted[k] = true;
        }
    }
    // A train that is not required carries cars: without any it could be
    // dropped at no cost, and such plans never count.
    std::vector<int> carryRow(program.columns(), -1);
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            if (column >= 0 && !model.forced[i][j]) {
                carryRow[column] = program.addRow(0, kFree);
                program.add(carryRow[column], column, -1);
            }
        }
    }
    for (const auto& [share, train] : program.links) {
        if (carryRow[train] >= 0)
            program.add(carryRow[train], share, 1);
    }
    for (std::size_t k = 0; k < program.flows.size(); ++k) {
        if (!model.counted[k])
            continue;
        const Program::FlowShares& shares = program.flows[k];
        const int count = static_cast<int>(shares.nodes.size());
        for (int c = 0; c < count * (count - 1) / 2; ++c)
            program.integerColumns.push_back(shares.firstColumn + c);
    }
    return model;
}

bool hasTrainColumns(const Program& program)
{
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            if (program.trainColumn[i][j] >= 0)
                return true;
        }
    }
    return false;
}

struct Outcome
{
    enum Kind
    {
        Solved,
        Infeasible,
        Stopped
    } kind = Stopped;
    std::vector<double> values;
    bool proven = false;
    double bound = -std::numeric_limits<double>::infinity();
};

// Solves the program, its linking rows added as they are violated (`links`
// keeps the chosen ones for the next solve of the same program's rows).
Outcome solveProgram(const Program& program, std::vector<bool>& links, const Deadline& deadline)
{
    Outcome outcome;
    if (!hasTrainColumns(program)) {
        outcome.kind = Outcome::Solved;
        outcome.values.assign(program.columns(), 0.0);
        outcome.proven = true;
        return outcome;
    }
    if (links.size() != program.links.size()) {
        TrainSet ignored{};
        double bound = 0;
        relaxation(program, deadline, links, ignored, bound);
    }
    while (!deadline.passed()) {
        Branched branched = branchAndBound(program, links, {}, 0, deadline);
        outcome.bound = std::max(outcome.bound, branched.bound);
        if (branched.infeasible) {
            outcome.kind = Outcome::Infeasible;
            return outcome;
        }
        if (branched.best.empty())
            break;
        if (branched.proven && addViolated(program, branched.best.data(), links))
            continue;
        // A plan cut short may break a linking row: then there is none yet.
        std::vector<bool> all = links;
        if (addViolated(program, branched.best.data(), all))
            break;
        outcome.kind = Outcome::Solved;
        outcome.values = std::move(branched.best);
        outcome.proven = branched.proven;
        return outcome;
    }
    return outcome;
}

// A plan as a set of trains and one chain per flow.
struct Plan
{
    TrainSet set{};
    long double cost = kNone;
    std::vector<FixedTrain> trains; // by origin then destination, required ones with 0 cars
};

// The cost of the trains `set` with each flow on its cheapest chain (the
// re-forming limits left aside): kNone when some flow has no chain.
long double freeCost(const Line& line, const TrainSet& set)
{
    const Routing routing = route(line, set);
    if (!routing.covered)
        return kNone;
    long double cost = routing.cost;
    for (const FixedTrain& t : routing.trains)
        cost -= line.cm[t.origin];
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            if (set[i][j])
                cost += line.cm[i];
        }
    }
    return cost;
}

// The plan of the program's values: the flows a limit counts along the chain
// the values give them, the others along their cheapest chain.
Plan planOf(const Model& model, const std::vector<double>& values)
{
    const Line& line = *model.line;
    const Program& program = model.program;
    Plan plan;
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            plan.set[i][j] = column >= 0 && values[column] > 0.5;
        }
    }
    const Routing routing = route(line, plan.set);
    std::array<std::array<std::int64_t, kDim>, kDim> cars{};
    long double cost = 0;
    for (std::size_t k = 0; k < program.flows.size(); ++k) {
        const Program::FlowShares& shares = program.flows[k];
        const int a = shares.origin;
        const int b = shares.destination;
        const std::int64_t f = line.flow[a][b];
        std::vector<int> chain{a};
        if (model.counted[k]) {
            const int count = static_cast<int>(shares.nodes.size());
            for (int p = 0; p + 1 < count;) {
                int best = p + 1;
                for (int q = p + 2; q < count; ++q) {
                    if (values[shareColumn(shares, p, q)] > values[shareColumn(shares, p, best)])
                        best = q;
                }
                chain.push_back(shares.nodes[best]);
                p = best;
            }
        } else {
            for (int v = a; v != b && v != 0; v = routing.next[b][v])
                chain.push_back(routing.next[b][v]);
        }
        for (std::size_t s = 0; s + 1 < chain.size(); ++s) {
            if (chain[s + 1] == 0 || !plan.set[chain[s]][chain[s + 1]])
                return plan; // not a plan of these trains: cost stays kNone
            cars[chain[s]][chain[s + 1]] += f;
            if (s > 0)
                cost += f * line.tek[chain[s]];
        }
    }
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            if (!plan.set[i][j])
                continue;
            cost += line.cm[i];
            if (cars[i][j] > 0 || model.forced[i][j])
                plan.trains.push_back(FixedTrain{i, j, static_cast<std::int32_t>(cars[i][j])});
        }
    }
    plan.cost = cost;
    return plan;
}

bool notAbove(long double cost, long double than)
{
    return cost <= than + static_cast<long double>(kRelativeGap) * std::fabs(than);
}

// The cost of exactly the trains `set` under the limits: kNone when the
// limits leave it no plan (or the time ran out).
long double limitedCost(const Model& model, const TrainSet& set, std::vector<bool> links,
                        const Deadline& deadline)
{
    Model fixed = model;
    Program& program = fixed.program;
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            if (column >= 0)
                program.columnLower[column] = program.columnUpper[column] = set[i][j] ? 1 : 0;
        }
    }
    const Outcome outcome = solveProgram(program, links, deadline);
    if (outcome.kind != Outcome::Solved || !outcome.proven)
        return kNone;
    return planOf(fixed, outcome.values).cost;
}

// Whether no train but a required one can be dropped from the plan without
// raising its cost.
bool minimal(const Model& model, const Plan& plan, const std::vector<bool>& links,
             const Deadline& deadline)
{
    const Line& line = *model.line;
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            if (!plan.set[i][j] || model.forced[i][j])
                continue;
            TrainSet fewer = plan.set;
            fewer[i][j] = false;
            // The limits only make a plan dearer: a dearer free cost settles it.
            if (!notAbove(freeCost(line, fewer), plan.cost))
                continue;
            if (!model.limitsReforming ||
                notAbove(limitedCost(model, fewer, links, deadline), plan.cost))
                return false;
        }
    }
    return true;
}

// The row that keeps the set of trains `set` out of the program, and with it
// every set of one train more: found later, such a set costs at least as much
// as `set`, so that train can be dropped without raising the cost:
// 2 * sum over the set of (1 - y) + sum over the others of y >= 2.
void excludeSet(Program& program, const TrainSet& set)
{
    int inside = 0;
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j)
            inside += program.trainColumn[i][j] >= 0 && set[i][j];
    }
    const int row = program.addRow(2 - 2 * inside, std::numeric_limits<double>::max());
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            if (column >= 0)
                program.add(row, column, set[i][j] ? -2 : 1);
        }
    }
}

// A train both required and forbidden.
const TrainPair* contradictory(const Conditions& conditions)
{
    for (const TrainPair& t : conditions.forced) {
        if (std::find(conditions.forbidden.begin(), conditions.forbidden.end(), t) !=
            conditions.forbidden.end())
            return &t;
    }
    return nullptr;
}

// Whether some plan meets the conditions (unknown counts as yes).
bool feasible(const Line& line, const Conditions& conditions, const Deadline& deadline)
{
    if (contradictory(conditions))
        return false;
    Model model = buildModel(line, conditions);
    std::fill(model.program.objective.begin(), model.program.objective.end(), 0.0);
    std::vector<bool> links;
    return solveProgram(model.program, links, deadline).kind != Outcome::Infeasible;
}

// Names a condition whose relaxing alone leaves some plan, if one does.
std::string infeasibleMessage(const Line& line, const Conditions& conditions,
                              const Deadline& deadline)
{
    const std::string none = "Нет плана, удовлетворяющего условиям";
    if (const TrainPair* t = contradictory(conditions))
        return none + ": поезд " + numtext::wholeToText(t->first) + "-" +
               numtext::wholeToText(t->second) +
               " и обязательный, и запрещенный; снимите одно из этих условий";
    const std::string relax = none + "; ослабьте условие: ";
    for (std::size_t k = 0; k < conditions.forbidden.size(); ++k) {
        Conditions fewer = conditions;
        fewer.forbidden.erase(fewer.forbidden.begin() + static_cast<std::ptrdiff_t>(k));
        if (!deadline.passed() && feasible(line, fewer, deadline))
            return relax + describeForbidden(conditions.forbidden[k]);
    }
    for (const auto& [station, limit] : conditions.maxDestinations) {
        Conditions fewer = conditions;
        fewer.maxDestinations.erase(station);
        if (!deadline.passed() && feasible(line, fewer, deadline))
            return relax + describeMaxDestinations(station, limit);
    }
    for (const auto& [station, limit] : conditions.maxReprocessed) {
        Conditions fewer = conditions;
        fewer.maxReprocessed.erase(station);
        if (!deadline.passed() && feasible(line, fewer, deadline))
            return relax + describeMaxReprocessed(station, limit);
    }
    for (std::size_t k = 0; k < conditions.forced.size(); ++k) {
        Conditions fewer = conditions;
        fewer.forced.erase(fewer.forced.begin() + static_cast<std::ptrdiff_t>(k));
        if (!deadline.passed() && feasible(line, fewer, deadline))
            return relax + describeForced(conditions.forced[k]);
    }
    if (deadline.passed())
        return none;
    return none + "; ни одно условие в отдельности этого не меняет, ослабьте несколько";
}

Variant variantOf(const CalcInput& input, const Line& line, const Plan& plan)
{
    Variant variant;
    variant.trains = plan.trains;
    std::vector<FixedTrain> carrying;
    long double idle = 0;
    for (const FixedTrain& t : plan.trains) {
        if (t.cars > 0)
            carrying.push_back(t);
        else
            idle += line.cm[t.origin];
    }
    variant.plan = evaluatePlan(input, carrying, variant.tables).plan;
    variant.cost = variant.tables.total(6).toDouble() + static_cast<double>(idle);
    return variant;
}

} // namespace

Solution solveExact(const CalcInput& input, const Conditions& conditions, int variantCount,
                    const Options& options)
{
    const int wanted = std::clamp(variantCount, 1, kMaxVariants);
    if (conditions.empty() && wanted == 1) {
        Solution solution = solveExact(input, options);
        if (solution.status != Status::NotCovered)
            solution.variants.push_back(
                Variant{solution.cost, solution.trains, solution.plan, solution.tables});
        return solution;
    }

    const Clock::time_point start = Clock::now();
    const Deadline deadline(options, start);
    Solution solution;
    auto finish = [&]() -> Solution& {
        solution.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return solution;
    };
    Line line;
    solution.message = readLine(input, line);
    if (solution.message.empty())
        solution.message = checkConditions(conditions, line.n);
    if (!solution.message.empty())
        return finish();
    try {
        calculatePlan(input, solution.analyticalTables);
        solution.analyticalCost = solution.analyticalTables.total(6).toDouble();

        Model model = buildModel(line, conditions);
        const Model judged = model; // without the rows that keep found sets out
        std::vector<bool> links;
        bool stopped = false;
        while (static_cast<int>(solution.variants.size()) < wanted && !contradictory(conditions)) {
            const Outcome outcome = solveProgram(model.program, links, deadline);
            if (outcome.kind != Outcome::Solved) {
                stopped = outcome.kind == Outcome::Stopped;
                break;
            }
            const Plan plan = planOf(model, outcome.values);
            if (plan.cost == kNone)
                break; // cannot happen with the program's rows; no wrong plan reported
            if (!outcome.proven) {
                // The time ran out: the best plan found, when it is the first.
                if (solution.variants.empty()) {
                    solution.variants.push_back(variantOf(input, line, plan));
                    solution.bound = std::min(outcome.bound, solution.variants.back().cost);
                }
                stopped = true;
                break;
            }
            const bool counts = minimal(judged, plan, links, deadline);
            excludeSet(model.program, plan.set);
            if (deadline.passed() && !solution.variants.empty()) {
                stopped = true;
                break; // the rule above is left unchecked: no variant from it
            }
            if (!counts && !deadline.passed())
                continue;
            solution.variants.push_back(variantOf(input, line, plan));
            if (solution.variants.size() == 1)
                solution.bound = solution.variants.back().cost;
            if (!hasTrainColumns(judged.program))
                break; // no other set of trains exists
        }
        if (solution.variants.empty()) {
            if (stopped || deadline.passed()) {
                solution.status = deadline.cancelled() ? Status::Cancelled : Status::TimeLimit;
                solution.message =
                    "Время истекло раньше, чем найден план, удовлетворяющий условиям";
            } else {
                solution.status = Status::Infeasible;
                solution.message = infeasibleMessage(line, conditions, deadline);
            }
            return finish();
        }
        const Variant& best = solution.variants.front();
        solution.cost = best.cost;
        solution.trains = best.trains;
        solution.plan = best.plan;
        solution.tables = best.tables;
        const bool closed =
            solution.cost - solution.bound <= kRelativeGap * std::fabs(solution.cost);
        if (closed) {
            solution.status = Status::Optimal;
            solution.bound = solution.cost;
        } else {
            solution.status = deadline.cancelled() ? Status::Cancelled : Status::TimeLimit;
        }
    } catch (const Error& e) {
        solution = Solution{};
        solution.message = e.what();
    }
    return finish();
}

} // namespace zeltrac::optimum
