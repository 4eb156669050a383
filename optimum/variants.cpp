#include "optimum/variants.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>

#include "calc/error.h"
#include "calc/numtext.h"
#include "optimum/dualsolver.h"
#include "optimum/line.h"
#include "optimum/program.h"

namespace zeltrac::optimum {

namespace detail {

// The share column of flow `shares` from its node p to its node q (p < q).
int shareColumn(const Program::FlowShares& shares, int p, int q)
{
    const int count = static_cast<int>(shares.nodes.size());
    int offset = 0;
    for (int r = 0; r < p; ++r)
        offset += count - 1 - r;
    return shares.firstColumn + offset + (q - p - 1);
}

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

} // namespace detail

namespace {

using namespace detail;

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

// Solves the program, its linking rows added as they are violated (`links`
// keeps the chosen ones for the next solve of the same program's rows).
Outcome solveProgram(const Program& program, std::vector<bool>& links, const Deadline& deadline)
{
    if (!hasTrainColumns(program)) {
        Outcome outcome;
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
    return solveLinked(program, links, {}, 0, deadline);
}

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

} // namespace

namespace detail {

namespace {

// The plan of the trains `set`, each flow k along the chain `chainOf(k)`
// (its stations from origin to destination).
Plan planOfChains(const Model& model, const TrainSet& set,
                  const std::function<std::vector<int>(std::size_t)>& chainOf)
{
    const Line& line = *model.line;
    const Program& program = model.program;
    Plan plan;
    plan.set = set;
    std::array<std::array<std::int64_t, kDim>, kDim> cars{};
    long double cost = 0;
    for (std::size_t k = 0; k < program.flows.size(); ++k) {
        const Program::FlowShares& shares = program.flows[k];
        const std::int64_t f = line.flow[shares.origin][shares.destination];
        const std::vector<int> chain = chainOf(k);
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

// The chain from a to b by `next` (as Routing::next).
std::vector<int> chainByNext(const std::array<std::array<int, kDim>, kDim>& next, int a, int b)
{
    std::vector<int> chain{a};
    for (int v = a; v != b && v != 0; v = next[b][v])
        chain.push_back(next[b][v]);
    return chain;
}

} // namespace

// The plan of the program's values: the flows a limit counts along the chain
// the values give them, the others along their cheapest chain.
Plan planOf(const Model& model, const std::vector<double>& values)
{
    const Program& program = model.program;
    TrainSet set{};
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            set[i][j] = column >= 0 && values[column] > 0.5;
        }
    }
    const Routing routing = route(*model.line, set);
    return planOfChains(model, set, [&](std::size_t k) {
        const Program::FlowShares& shares = program.flows[k];
        if (!model.counted[k])
            return chainByNext(routing.next, shares.origin, shares.destination);
        std::vector<int> chain{shares.origin};
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
        return chain;
    });
}

} // namespace detail

namespace {

bool notAbove(long double cost, long double than)
{
    return cost <= than + static_cast<long double>(kRelativeGap) * std::fabs(than);
}

// The plan of exactly the trains `set` under the limits: cost kNone when the
// limits leave it no plan (or the time ran out).
Plan limitedPlan(const Model& model, const TrainSet& set, std::vector<bool> links,
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
        return Plan{};
    return planOf(fixed, outcome.values);
}

} // namespace

namespace detail {

Plan freePlan(const Model& model, const TrainSet& set)
{
    const Line& line = *model.line;
    Plan plan;
    plan.set = set;
    const Routing routing = route(line, set);
    if (!routing.covered)
        return plan;
    plan.cost = freeCost(line, set);
    std::size_t k = 0;
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            while (k < routing.trains.size() &&
                   std::pair(routing.trains[k].origin, routing.trains[k].destination) <
                       std::pair(i, j))
                ++k;
            const bool carries = k < routing.trains.size() && routing.trains[k].origin == i &&
                                 routing.trains[k].destination == j;
            if (carries)
                plan.trains.push_back(routing.trains[k]);
            else if (set[i][j] && model.forced[i][j])
                plan.trains.push_back(FixedTrain{i, j, 0});
        }
    }
    return plan;
}

Plan planOfOwn(const Model& model, const DualResult& own)
{
    if (!model.limitsReforming)
        return freePlan(model, own.open);
    return planOfChains(model, own.open, [&](std::size_t k) {
        const Program::FlowShares& flow = model.program.flows[k];
        return chainByNext(own.next, flow.origin, flow.destination);
    });
}

} // namespace detail

namespace {

// The plan with trains dropped, one at a time, as long as that does not raise
// its cost: then no train but a required one can be dropped without raising
// it. Its cost is that of `plan` (up to the gap).
Plan reduced(const Model& model, Plan plan, const std::vector<bool>& links,
             const Deadline& deadline)
{
    const Line& line = *model.line;
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (int i = 1; i < line.n && !dropped; ++i) {
            for (int j = i + 1; j <= line.n && !dropped; ++j) {
                if (!plan.set[i][j] || model.forced[i][j])
                    continue;
                TrainSet fewer = plan.set;
                fewer[i][j] = false;
                // The limits only make a plan dearer: a dearer free cost settles it.
                if (!notAbove(freeCost(line, fewer), plan.cost))
                    continue;
                Plan next = model.limitsReforming ? limitedPlan(model, fewer, links, deadline)
                                                  : freePlan(model, fewer);
                if (next.cost == kNone || !notAbove(next.cost, plan.cost))
                    continue;
                plan = std::move(next);
                dropped = true;
            }
        }
    }
    return plan;
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

enum class Check
{
    Feasible,
    Infeasible,
    Unknown, // the time ran out first
};

// Whether some plan meets the conditions.
Check feasible(const Line& line, const Conditions& conditions, const Deadline& deadline)
{
    if (contradictory(conditions))
        return Check::Infeasible;
    Model model = buildModel(line, conditions);
    std::fill(model.program.objective.begin(), model.program.objective.end(), 0.0);
    std::vector<bool> links;
    switch (solveProgram(model.program, links, deadline).kind) {
    case Outcome::Solved:
        return Check::Feasible;
    case Outcome::Infeasible:
        return Check::Infeasible;
    case Outcome::Stopped:
        break;
    }
    return Check::Unknown;
}

// Names a condition whose relaxing alone is proven to leave some plan, if
// one does; says when the time ran out before every one was checked.
std::string infeasibleMessage(const Line& line, const Conditions& conditions,
                              const Deadline& deadline)
{
    const std::string none = "Нет плана, удовлетворяющего условиям";
    if (const TrainPair* t = contradictory(conditions))
        return none + ": поезд " + numtext::wholeToText(t->first) + "-" +
               numtext::wholeToText(t->second) +
               " и обязательный, и запрещенный; снимите одно из этих условий";
    const std::string relax = none + "; ослабьте условие: ";
    bool unknown = false;
    // Whether dropping the condition is proven to leave a plan.
    const auto helps = [&](const Conditions& fewer) {
        if (unknown || deadline.passed()) {
            unknown = true;
            return false;
        }
        const Check check = feasible(line, fewer, deadline);
        unknown = check == Check::Unknown;
        return check == Check::Feasible;
    };
    for (std::size_t k = 0; k < conditions.forbidden.size(); ++k) {
        Conditions fewer = conditions;
        fewer.forbidden.erase(fewer.forbidden.begin() + static_cast<std::ptrdiff_t>(k));
        if (helps(fewer))
            return relax + describeForbidden(conditions.forbidden[k]);
    }
    for (const auto& [station, limit] : conditions.maxDestinations) {
        Conditions fewer = conditions;
        fewer.maxDestinations.erase(station);
        if (helps(fewer))
            return relax + describeMaxDestinations(station, limit);
    }
    for (const auto& [station, limit] : conditions.maxReprocessed) {
        Conditions fewer = conditions;
        fewer.maxReprocessed.erase(station);
        if (helps(fewer))
            return relax + describeMaxReprocessed(station, limit);
    }
    for (std::size_t k = 0; k < conditions.forced.size(); ++k) {
        Conditions fewer = conditions;
        fewer.forced.erase(fewer.forced.begin() + static_cast<std::ptrdiff_t>(k));
        if (helps(fewer))
            return relax + describeForced(conditions.forced[k]);
    }
    if (unknown)
        return none + "; время истекло раньше, чем проверено, какое условие ослабить";
    return none + "; ни одно условие в отдельности этого не меняет, ослабьте несколько";
}

} // namespace

namespace detail {

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

} // namespace detail

Solution solveExact(const CalcInput& input, const CalculatedPlan& calculated,
                    const Conditions& conditions, int variantCount, const Options& options)
{
    const int wanted = std::clamp(variantCount, 1, kMaxVariants);
    return runSolve(
        input, options, [&](const Line& line, const Deadline& deadline, Solution& solution) {
            solution.message = checkConditions(conditions, line.n);
            if (!solution.message.empty()) {
                solution.model = ModelStatus::NotCovered;
                return;
            }
            if (contradictory(conditions)) {
                solution.model = ModelStatus::Infeasible;
                solution.message = infeasibleMessage(line, conditions, deadline);
                return;
            }
            // Our own solver takes every condition; CBC what it cannot prove
            // within its node limit.
            const bool ours = options.solver == Solver::Own;
            solution.handedOver = options.solver == Solver::Own && !conditions.empty();
            Model model = buildModel(line, conditions);
            const Model judged = model; // without the rows that keep found sets out
            std::vector<bool> links;
            solution.variantsComplete = false;
            DualRules rules = rulesOf(conditions);
            // Adds the plan (made minimal) as the next variant unless it is one
            // already; keeps its set of trains out of the later solves.
            const auto take = [&](const Plan& found) {
                excludeSet(model.program, found.set);
                rules.excluded.push_back(found.set);
                const Plan plan = reduced(judged, found, links, deadline);
                if (plan.set != found.set) {
                    excludeSet(model.program, plan.set);
                    rules.excluded.push_back(plan.set);
                }
                for (const Variant& v : solution.variants) {
                    if (openSet(v.trains) == plan.set)
                        return;
                }
                solution.variants.push_back(variantOf(input, line, plan));
            };
            std::optional<DualSearch> search;
            if (ours)
                search.emplace(line, true);
            const TrainSet start = openSet(trainsOfPlan(calculated.plan, line.n));
            // The next plan by our solver: false when the search is over,
            // true when it (or CBC, without `search`) is to go on.
            const auto ownNext = [&]() {
                // No time from the start: no plan, as by CBC.
                if (deadline.passed())
                    return false;
                const DualResult own = search->solve(start, deadline, options.nodeLimit, rules);
                const bool first = solution.variants.empty();
                const bool proven = own.kind == DualResult::Proven;
                if (own.hasPlan && (proven || (first && own.kind == DualResult::Stopped))) {
                    if (first) {
                        solution.handedOver = false;
                        solution.solvedBy = Solver::Own;
                    }
                    // Under re-forming limits the flows go as our solver routed them.
                    take(planOfOwn(judged, own));
                    if (first) {
                        solution.best = solution.variants.front();
                        solution.bound = own.bound;
                        solution.model = proven ? ModelStatus::Optimal : ModelStatus::Feasible;
                    }
                    return proven;
                }
                if (own.kind == DualResult::Stopped)
                    return false;
                // No further plan; none at all, or beyond the node limit: CBC.
                if (!first && own.kind != DualResult::NodeLimit) {
                    solution.variantsComplete = true;
                    return false;
                }
                search.reset();
                solution.handedOver = true;
                solution.solvedBy = Solver::Cbc;
                return true;
            };
            if (conditions.empty()) {
                // The optimum first, by the plain solve from the calculated plan.
                Options plain = options;
                plain.timeLimitSeconds = deadline.secondsLeft();
                const Solution optimum = solveExact(input, calculated, plain);
                if (optimum.call == CallStatus::Failed)
                    throw std::runtime_error(optimum.message);
                if (!optimum.hasPlan())
                    return;
                solution.best = optimum.best;
                solution.solvedBy = optimum.solvedBy;
                solution.handedOver = optimum.handedOver;
                solution.bound = optimum.bound;
                solution.model = optimum.model;
                if (optimum.model != ModelStatus::Optimal) {
                    solution.variants.push_back(optimum.best);
                    return;
                }
                Plan plan;
                plan.set = openSet(optimum.best.trains);
                plan.cost = freeCost(line, plan.set);
                plan.trains = optimum.best.trains;
                take(plan);
                solution.best = solution.variants.front();
            }
            while (static_cast<int>(solution.variants.size()) < wanted) {
                if (!hasTrainColumns(judged.program) && !solution.variants.empty()) {
                    solution.variantsComplete = true; // no other set of trains exists
                    return;
                }
                if (search) {
                    if (!ownNext())
                        return;
                    if (search)
                        continue;
                }
                const Outcome outcome = solveProgram(model.program, links, deadline);
                if (outcome.kind == Outcome::Infeasible) {
                    if (solution.variants.empty()) {
                        solution.model = ModelStatus::Infeasible;
                        solution.message = infeasibleMessage(line, conditions, deadline);
                    }
                    solution.variantsComplete = true; // no more plans exist
                    return;
                }
                if (outcome.kind == Outcome::Stopped)
                    return;
                const Plan plan = planOf(model, outcome.values);
                if (plan.cost == kNone)
                    return; // cannot happen with the program's rows; no wrong plan reported
                if (!outcome.proven) {
                    // The time ran out: the best plan found, when it is the first.
                    if (solution.variants.empty()) {
                        solution.variants.push_back(variantOf(input, line, plan));
                        solution.best = solution.variants.front();
                        solution.bound = outcome.bound;
                        solution.model = ModelStatus::Feasible;
                    }
                    return;
                }
                const std::size_t before = solution.variants.size();
                take(plan);
                if (deadline.passed() && solution.variants.size() > 1) {
                    // The plan may not have been made minimal: no variant from it.
                    solution.variants.resize(std::min(before, solution.variants.size()));
                    if (!solution.variants.empty())
                        return;
                }
                if (solution.variants.size() == 1 && before == 0) {
                    solution.best = solution.variants.front();
                    solution.bound = solution.best.cost;
                    solution.model = ModelStatus::Feasible; // closed by the gap at the end
                }
            }
            solution.variantsComplete = true;
        });
}

} // namespace zeltrac::optimum
