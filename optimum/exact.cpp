#include "optimum/exact.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

#include <coin/CbcEventHandler.hpp>
#include <coin/CbcModel.hpp>
#include <coin/ClpEventHandler.hpp>
#include <coin/ClpSimplex.hpp>
#include <coin/CoinError.hpp>
#include <coin/CoinMessageHandler.hpp>
#include <coin/CoinPackedMatrix.hpp>
#include <coin/OsiClpSolverInterface.hpp>

#include "calc/error.h"
#include "calc/numtext.h"
#include "optimum/dualsolver.h"
#include "optimum/line.h"
#include "optimum/program.h"

namespace zeltrac::optimum {

const char* statusName(Status status)
{
    switch (status) {
    case Status::Optimal:
        return "optimal";
    case Status::TimeLimit:
        return "time_limit";
    case Status::Cancelled:
        return "cancelled";
    case Status::Infeasible:
        return "infeasible";
    case Status::Failed:
        return "failed";
    case Status::NotCovered:
        break;
    }
    return "not_covered";
}

const char* solverName(Solver solver)
{
    return solver == Solver::Own ? "own" : "cbc";
}

double Solution::gap() const
{
    if (!hasPlan() || model == ModelStatus::Optimal || best.cost == 0)
        return 0;
    return std::max(0.0, (best.cost - bound) / std::fabs(best.cost));
}

Status Solution::status() const
{
    if (call == CallStatus::Failed)
        return Status::Failed;
    switch (model) {
    case ModelStatus::NotCovered:
        return Status::NotCovered;
    case ModelStatus::Infeasible:
        return Status::Infeasible;
    case ModelStatus::Optimal:
        return Status::Optimal;
    case ModelStatus::NoPlan:
    case ModelStatus::Feasible:
        break;
    }
    return call == CallStatus::Cancelled ? Status::Cancelled : Status::TimeLimit;
}

CalculatedPlan calculatedPlanOf(const CalcInput& input)
{
    CalculatedPlan calculated;
    calculated.plan = calculatePlan(input, calculated.tables).plan;
    return calculated;
}

std::string checkInput(const CalcInput& input)
{
    Line line;
    return readLine(input, line);
}

namespace detail {

// Stops the simplex method between iterations.
class LpStop : public ClpEventHandler
{
public:
    // Clones (the solver keeps one, each node's solver another) share `fired`.
    LpStop(const Deadline& deadline, bool& fired) : m_deadline(deadline), m_fired(fired) {}
    LpStop(const LpStop&) = default;

    int event(Event whichEvent) override
    {
        if (whichEvent == endOfIteration && m_deadline.passed()) {
            m_fired = true;
            return 0;
        }
        return -1;
    }
    ClpEventHandler* clone() const override { return new LpStop(*this); }

private:
    const Deadline& m_deadline;
    bool& m_fired;
};

// Stops the branch and bound between nodes.
class SearchStop : public CbcEventHandler
{
public:
    SearchStop(const Deadline& deadline, double scale) : m_deadline(deadline), m_scale(scale) {}
    SearchStop(const SearchStop&) = default;

    CbcAction event(CbcEvent which) override
    {
        if ((which == solution || which == heuristicSolution) && model_ != nullptr)
            m_deadline.report(model_->getObjValue() / m_scale,
                              model_->getBestPossibleObjValue() / m_scale);
        return m_deadline.passed() ? stop : noAction;
    }
    CbcEventHandler* clone() const override { return new SearchStop(*this); }

private:
    const Deadline& m_deadline;
    double m_scale;
};

Program buildProgram(const Line& line)
{
    const int n = line.n;
    Program program;
    for (auto& row : program.trainColumn)
        row.fill(-1);
    // Train columns first, only for trains some flow can use.
    for (int i = 1; i < n; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            bool usable = false;
            // Flows from i, or from before i when i re-forms; to j, or
            // beyond j when j re-forms.
            const int firstOrigin = line.reforms(i) ? 1 : i;
            const int lastDestination = line.reforms(j) ? n : j;
            for (int a = firstOrigin; a <= i && !usable; ++a) {
                for (int b = j; b <= lastDestination && !usable; ++b)
                    usable = line.flow[a][b] > 0;
            }
            if (usable)
                program.trainColumn[i][j] = program.addColumn(static_cast<double>(line.cm[i]), 1);
        }
    }
    for (int a = 1; a < n; ++a) {
        for (int b = a + 1; b <= n; ++b) {
            const std::int64_t f = line.flow[a][b];
            if (f == 0)
                continue;
            Program::FlowShares shares{a, b, {a}, program.columns()};
            for (int v = a + 1; v < b; ++v) {
                if (line.reforms(v))
                    shares.nodes.push_back(v);
            }
            shares.nodes.push_back(b);
            const int count = static_cast<int>(shares.nodes.size());
            // Conservation rows of every node but the destination.
            std::vector<int> nodeRow(count);
            for (int p = 0; p + 1 < count; ++p)
                nodeRow[p] = program.addRow(p == 0 ? 1 : 0, p == 0 ? 1 : 0);
            for (int p = 0; p + 1 < count; ++p) {
                const int i = shares.nodes[p];
                const double cost = p == 0 ? 0 : static_cast<double>(line.tek[i] * f);
                for (int q = p + 1; q < count; ++q) {
                    const int j = shares.nodes[q];
                    const int column = program.addColumn(cost, 1);
                    program.add(nodeRow[p], column, 1);
                    if (q + 1 < count)
                        program.add(nodeRow[q], column, -1);
                    program.links.push_back({column, program.trainColumn[i][j]});
                }
            }
            program.flows.push_back(std::move(shares));
        }
    }
    return program;
}

// The program's values of a routed plan: its trains open, each flow on its chain.
std::vector<double> programValues(const Program& program, const Routing& routing)
{
    // A plan that leaves a flow without a chain has no values in the program.
    if (!routing.covered)
        return {};
    std::vector<double> values(program.columns(), 0.0);
    for (const FixedTrain& t : routing.trains)
        values[program.trainColumn[t.origin][t.destination]] = 1;
    for (const auto& shares : program.flows) {
        const int count = static_cast<int>(shares.nodes.size());
        std::vector<int> position(kDim, -1);
        for (int p = 0; p < count; ++p)
            position[shares.nodes[p]] = p;
        const auto& next = routing.next[shares.destination];
        for (int v = shares.origin; v != shares.destination; v = next[v]) {
            const int p = position[v];
            const int q = position[next[v]];
            // Pairs (p, q) are numbered row by row.
            int offset = 0;
            for (int r = 0; r < p; ++r)
                offset += count - 1 - r;
            values[shares.firstColumn + offset + (q - p - 1)] = 1;
        }
    }
    return values;
}

// Every station with a flow leaving it needs a train leaving it.
double simpleBound(const Line& line)
{
    double bound = 0;
    for (int a = 1; a < line.n; ++a) {
        for (int b = a + 1; b <= line.n; ++b) {
            if (line.flow[a][b] > 0) {
                bound += static_cast<double>(line.cm[a]);
                break;
            }
        }
    }
    return bound;
}

std::vector<FixedTrain> trainsOfPlan(const TextTable& plan, int n)
{
    std::vector<FixedTrain> trains;
    for (int c = 0; c < n - 1; ++c) {
        for (int r = n - 2 - c; r >= 0; --r) {
            const std::int32_t cars = numtext::toWholeLenient(numtext::trim(plan.cell(c, r)));
            if (cars != 0)
                trains.push_back(FixedTrain{c + 1, n - r, cars});
        }
    }
    return trains;
}

// The conservation rows and the chosen linking rows, column by column.
CoinPackedMatrix programMatrix(const Program& program, const std::vector<bool>& links)
{
    const int columns = program.columns();
    const int rows = program.rows + static_cast<int>(std::count(links.begin(), links.end(), true));
    std::vector<int> rowIndex = program.rowIndex;
    std::vector<int> columnIndex = program.columnIndex;
    std::vector<double> element = program.element;
    {
        int row = program.rows;
        for (std::size_t k = 0; k < program.links.size(); ++k) {
            if (!links[k])
                continue;
            const auto [share, train] = program.links[k];
            rowIndex.push_back(row);
            columnIndex.push_back(share);
            element.push_back(1);
            rowIndex.push_back(row++);
            columnIndex.push_back(train);
            element.push_back(-1);
        }
    }
    std::vector<CoinBigIndex> starts(columns + 1, 0);
    for (const int column : columnIndex)
        ++starts[column + 1];
    for (int c = 0; c < columns; ++c)
        starts[c + 1] += starts[c];
    std::vector<int> rowOf(element.size());
    std::vector<double> valueOf(element.size());
    std::vector<CoinBigIndex> fill(starts.begin(), starts.end() - 1);
    for (std::size_t e = 0; e < element.size(); ++e) {
        const CoinBigIndex at = fill[columnIndex[e]]++;
        rowOf[at] = rowIndex[e];
        valueOf[at] = element[e];
    }
    return CoinPackedMatrix(true, rows, columns, starts[columns], valueOf.data(), rowOf.data(),
                            starts.data(), nullptr);
}

std::vector<double> rowLower(const Program& program, const std::vector<bool>& links)
{
    std::vector<double> lower = program.rowLower;
    lower.resize(lower.size() + std::count(links.begin(), links.end(), true), -COIN_DBL_MAX);
    return lower;
}

std::vector<double> rowUpper(const Program& program, const std::vector<bool>& links)
{
    std::vector<double> upper = program.rowUpper;
    upper.resize(upper.size() + std::count(links.begin(), links.end(), true), 0);
    return upper;
}

constexpr double kViolation = 1e-9;

std::vector<std::size_t> violatedLinks(const Program& program, const double* x,
                                       const std::vector<bool>& links)
{
    std::vector<std::size_t> violated;
    for (std::size_t k = 0; k < program.links.size(); ++k) {
        const auto [share, train] = program.links[k];
        if (!links[k] && x[share] > x[train] + kViolation)
            violated.push_back(k);
    }
    return violated;
}

bool addViolated(const Program& program, const double* x, std::vector<bool>& links)
{
    const std::vector<std::size_t> violated = violatedLinks(program, x, links);
    for (const std::size_t k : violated)
        links[k] = true;
    return !violated.empty();
}

double objectiveScale(const Program& program)
{
    double largest = 0;
    for (const double c : program.objective)
        largest = std::max(largest, std::fabs(c));
    return largest > 0 ? 1 / largest : 1;
}

namespace {

std::vector<double> scaledObjective(const Program& program, double scale)
{
    std::vector<double> objective = program.objective;
    for (double& c : objective)
        c *= scale;
    return objective;
}

} // namespace

// The linear relaxation, its linking rows added as they are violated. True
// when its optimum has every train at 0 or 1: that plan is then optimal and
// `open` holds it. `bound` gets the relaxation's proven lower bound.
bool relaxation(const Program& program, const Deadline& deadline, std::vector<bool>& added,
                TrainSet& open, double& bound)
{
    OsiClpSolverInterface lp;
    lp.messageHandler()->setLogLevel(0);
    lp.getModelPtr()->setLogLevel(0);
    const std::vector<bool> none(program.links.size(), false);
    const std::vector<double> lower = rowLower(program, none);
    const std::vector<double> upper = rowUpper(program, none);
    const double scale = objectiveScale(program);
    const std::vector<double> objective = scaledObjective(program, scale);
    lp.loadProblem(programMatrix(program, none), program.columnLower.data(),
                   program.columnUpper.data(), objective.data(), lower.data(), upper.data());
    bool fired = false;
    LpStop stop(deadline, fired);
    lp.getModelPtr()->passInEventHandler(&stop);
    added.assign(program.links.size(), false);
    for (bool first = true;; first = false) {
        if (first)
            lp.initialSolve();
        else
            lp.resolve();
        if (fired || !lp.isProvenOptimal())
            return false;
        bound = lp.getObjValue() / scale;
        const double* x = lp.getColSolution();
        std::vector<int> starts{0}, indices;
        std::vector<double> elements, lowers, uppers;
        for (const std::size_t k : violatedLinks(program, x, added)) {
            const auto [share, train] = program.links[k];
            added[k] = true;
            indices.push_back(share);
            indices.push_back(train);
            elements.push_back(1);
            elements.push_back(-1);
            starts.push_back(static_cast<int>(indices.size()));
            lowers.push_back(-COIN_DBL_MAX);
            uppers.push_back(0);
        }
        if (lowers.empty())
            break;
        lp.addRows(static_cast<int>(lowers.size()), starts.data(), indices.data(), elements.data(),
                   lowers.data(), uppers.data());
    }
    const double* x = lp.getColSolution();
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            const int column = program.trainColumn[i][j];
            if (column < 0)
                continue;
            if (x[column] > kViolation && x[column] < 1 - kViolation)
                return false;
        }
    }
    TrainSet chosen{};
    for (int i = 1; i < kDim; ++i)
        for (int j = i + 1; j < kDim; ++j)
            chosen[i][j] = program.trainColumn[i][j] >= 0 && x[program.trainColumn[i][j]] > 0.5;
    open = chosen;
    return true;
}

Branched branchAndBound(const Program& program, const std::vector<bool>& links,
                        const std::vector<double>& startValues, double startCost,
                        const Deadline& deadline)
{
    const int columns = program.columns();
    OsiClpSolverInterface solver;
    solver.messageHandler()->setLogLevel(0);
    solver.getModelPtr()->setLogLevel(0);
    const std::vector<double> lower = rowLower(program, links);
    const std::vector<double> upper = rowUpper(program, links);
    const double scale = objectiveScale(program);
    const std::vector<double> objective = scaledObjective(program, scale);
    solver.loadProblem(programMatrix(program, links), program.columnLower.data(),
                       program.columnUpper.data(), objective.data(), lower.data(), upper.data());
    for (int i = 1; i < kDim; ++i) {
        for (int j = i + 1; j < kDim; ++j) {
            if (program.trainColumn[i][j] >= 0)
                solver.setInteger(program.trainColumn[i][j]);
        }
    }
    for (const int column : program.integerColumns)
        solver.setInteger(column);

    CbcModel model(solver);
    model.setLogLevel(0);
    model.messageHandler()->setLogLevel(0);
    model.setUseElapsedTime(true);
    model.setMaximumSeconds(deadline.secondsLeft());
    model.setAllowableFractionGap(kRelativeGap);
    model.setAllowableGap(0);
    model.setNumberThreads(0);
    if (!startValues.empty())
        model.setBestSolution(startValues.data(), columns, startCost * scale, true);
    SearchStop searchStop(deadline, scale);
    model.passInEventHandler(&searchStop);
    bool lpStopped = false;
    LpStop lpStop(deadline, lpStopped);
    auto* clp = dynamic_cast<OsiClpSolverInterface*>(model.solver());
    clp->getModelPtr()->passInEventHandler(&lpStop);
    clp->messageHandler()->setLogLevel(0);
    clp->getModelPtr()->setLogLevel(0);

    model.branchAndBound();

    Branched result;
    if (model.bestSolution() != nullptr)
        result.best.assign(model.bestSolution(), model.bestSolution() + columns);
    // Fewer rows only make the bound lower: it holds for the whole program,
    // unless a stopped simplex left it unproven.
    result.proven = model.isProvenOptimal() && !lpStopped;
    result.infeasible = model.isProvenInfeasible() && !lpStopped;
    const double bound = model.getBestPossibleObjValue();
    if (!lpStopped && std::isfinite(bound))
        result.bound = bound / scale;
    return result;
}

Outcome solveLinked(const Program& program, std::vector<bool>& links,
                    const std::vector<double>& startValues, double startCost,
                    const Deadline& deadline,
                    const std::function<bool(const std::vector<double>&)>& onValues)
{
    Outcome outcome;
    while (!deadline.passed()) {
        Branched branched = branchAndBound(program, links, startValues, startCost, deadline);
        outcome.bound = std::max(outcome.bound, branched.bound);
        if (branched.infeasible) {
            outcome.kind = Outcome::Infeasible;
            return outcome;
        }
        if (branched.best.empty())
            break;
        if (onValues && onValues(branched.best))
            break;
        if (branched.proven && addViolated(program, branched.best.data(), links))
            continue;
        // A plan cut short may break a linking row: then there is none yet.
        if (!violatedLinks(program, branched.best.data(), std::vector<bool>(links.size(), false))
                 .empty())
            break;
        outcome.kind = Outcome::Solved;
        outcome.values = std::move(branched.best);
        outcome.proven = branched.proven;
        return outcome;
    }
    return outcome;
}

Solution runSolve(const CalcInput& input, const Options& options, const SolveBody& body)
{
    return runSolve([&](Line& line) { return readLine(input, line); }, options, body);
}

Solution runSolve(const std::function<std::string(Line&)>& read, const Options& options,
                  const SolveBody& body)
{
    const Clock::time_point start = Clock::now();
    const Deadline deadline(options, start);
    Solution solution;
    try {
        Line line;
        solution.message = read(line);
        if (solution.message.empty()) {
            solution.model = ModelStatus::NoPlan;
            body(line, deadline, solution);
        }
    } catch (const Error& e) {
        solution = Solution{};
        solution.call = CallStatus::Failed;
        solution.message = e.what();
    } catch (const CoinError& e) {
        solution = Solution{};
        solution.call = CallStatus::Failed;
        solution.message =
            "Ошибка решателя: " + e.message() + " (" + e.className() + "::" + e.methodName() + ")";
    } catch (const std::bad_alloc&) {
        solution = Solution{};
        solution.call = CallStatus::Failed;
        solution.message = "Недостаточно памяти для точного расчёта";
    } catch (const std::exception& e) {
        solution = Solution{};
        solution.call = CallStatus::Failed;
        solution.message = std::string("Ошибка точного расчёта: ") + e.what();
    } catch (...) {
        solution = Solution{};
        solution.call = CallStatus::Failed;
        solution.message = "Ошибка точного расчёта";
    }
    if (solution.call != CallStatus::Failed) {
        if (solution.hasPlan()) {
            solution.bound = std::min(solution.bound, solution.best.cost);
            const double cost = solution.best.cost;
            if (cost - solution.bound <= kRelativeGap * std::fabs(cost))
                solution.model = ModelStatus::Optimal;
            if (solution.model == ModelStatus::Optimal)
                solution.bound = cost;
        }
        const bool finished = solution.model == ModelStatus::NotCovered ||
                              solution.model == ModelStatus::Infeasible ||
                              (solution.model == ModelStatus::Optimal && solution.variantsComplete);
        if (!finished && deadline.cancelled())
            solution.call = CallStatus::Cancelled;
        else if (!finished)
            solution.call = CallStatus::TimeLimit;
    }
    solution.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return solution;
}

} // namespace detail

namespace {

using namespace detail;

constexpr long double kNoCost = std::numeric_limits<long double>::infinity();

struct Searched
{
    TrainSet open{};
    double bound = 0;
    bool proven = false;
    Solver solvedBy = Solver::Cbc;
    bool handedOver = false;
    long nodes = 0; // of our own solver's search
};

Searched search(const Line& line, const Routing& calculatedRouting, const Deadline& deadline,
                const Options& options)
{
    const bool relaxationFirst = options.relaxationFirst;
    Searched result;
    result.solvedBy = options.solver;
    result.open = openSet(calculatedRouting.trains);
    result.bound = simpleBound(line);
    if (calculatedRouting.covered && static_cast<double>(calculatedRouting.cost) <= result.bound) {
        result.proven = true;
        return result;
    }
    Routing start = calculatedRouting;
    if (options.solver == Solver::Own) {
        const DualResult own = solveByDualAscent(line, result.open, deadline, options.nodeLimit);
        result.nodes = own.nodes;
        result.bound = std::max(result.bound, own.bound);
        if (own.hasPlan) {
            Routing routing = route(line, own.open);
            if (routing.covered && (!start.covered || routing.cost < start.cost)) {
                start = std::move(routing);
                result.open = own.open;
            }
        }
        // Proven only where the bound it computed closes the gap.
        const bool closed =
            start.covered &&
            static_cast<double>(start.cost) <=
                own.bound + kRelativeGap * std::fabs(static_cast<double>(start.cost));
        if (own.kind == DualResult::Stopped || (own.kind == DualResult::Proven && closed)) {
            result.proven = closed;
            return result;
        }
        result.solvedBy = Solver::Cbc;
        result.handedOver = true;
    }
    const Program program = buildProgram(line);
    const std::vector<double> startValues = programValues(program, start);
    std::vector<bool> links(program.links.size(), true);
    if (relaxationFirst) {
        double lpBound = 0;
        TrainSet relaxed{};
        const bool integral = relaxation(program, deadline, links, relaxed, lpBound);
        result.bound = std::max(result.bound, lpBound);
        if (integral) {
            // The routed plan must cost what the relaxation says, up to the gap.
            const Routing routing = route(line, relaxed);
            if (routing.covered &&
                static_cast<double>(routing.cost) <= lpBound + kRelativeGap * std::fabs(lpBound)) {
                result.open = relaxed;
                result.proven = true;
                return result;
            }
        }
    }
    // The branch and bound gets the linking rows the relaxation needed; each
    // plan it finds is routed, and the cheapest kept.
    long double bestCost = start.covered ? start.cost : kNoCost;
    const Outcome outcome = solveLinked(
        program, links, startValues, startValues.empty() ? 0 : static_cast<double>(start.cost),
        deadline, [&](const std::vector<double>& values) {
            TrainSet open{};
            for (int i = 1; i < kDim; ++i) {
                for (int j = i + 1; j < kDim; ++j) {
                    const int column = program.trainColumn[i][j];
                    open[i][j] = column >= 0 && values[column] > 0.5;
                }
            }
            const Routing routing = route(line, open);
            if (routing.covered && routing.cost < bestCost) {
                bestCost = routing.cost;
                result.open = open;
            }
            return false;
        });
    result.bound = std::max(result.bound, outcome.bound);
    result.proven = bestCost != kNoCost &&
                    (outcome.proven || static_cast<double>(bestCost) <=
                                           result.bound + kRelativeGap * std::fabs(result.bound));
    return result;
}

} // namespace

Solution solveExact(const CalcInput& input, const CalculatedPlan& calculated,
                    const Options& options)
{
    return runSolve(
        input, options, [&](const Line& line, const Deadline& deadline, Solution& solution) {
            const std::vector<FixedTrain> calculatedTrains = trainsOfPlan(calculated.plan, line.n);
            const Routing startRouting = route(line, openSet(calculatedTrains));

            const Searched searched = search(line, startRouting, deadline, options);
            solution.solvedBy = searched.solvedBy;
            solution.handedOver = searched.handedOver;
            solution.nodes = searched.nodes;
            Routing routing = route(line, searched.open);
            if (!routing.covered || (startRouting.covered && routing.cost > startRouting.cost))
                routing = startRouting;
            if (!routing.covered)
                return; // no plan found: not even the calculated one covers every flow

            Variant& best = solution.best;
            CalcResult evaluated = evaluatePlan(input, routing.trains, best.tables);
            best.cost = best.tables.total(6).toDouble();
            best.trains = routing.trains;
            if (startRouting.covered && best.cost > calculated.cost()) {
                // Rounding of the stored totals only: the calculated plan costs
                // the same car-hours, so it is the answer.
                evaluated = evaluatePlan(input, calculatedTrains, best.tables);
                best.cost = best.tables.total(6).toDouble();
                best.trains = calculatedTrains;
            }
            best.plan = evaluated.plan;
            solution.bound = searched.bound;
            solution.model = searched.proven ? ModelStatus::Optimal : ModelStatus::Feasible;
        });
}

Solution solveLine(const Line& line, const Options& options)
{
    const auto read = [&](Line& copy) {
        std::string message = checkLine(line);
        if (message.empty()) {
            copy = line;
            copy.tek[1] = 0; // the ends re-form nothing, as in the calculation
            copy.tek[line.n] = 0;
        }
        return message;
    };
    return runSolve(
        read, options, [&](const Line& checked, const Deadline& deadline, Solution& solution) {
            const Searched searched =
                search(checked, route(checked, TrainSet{}), deadline, options);
            solution.solvedBy = searched.solvedBy;
            solution.handedOver = searched.handedOver;
            solution.nodes = searched.nodes;
            const Routing routing = route(checked, searched.open);
            if (!routing.covered)
                return;
            solution.best.cost = static_cast<double>(routing.cost);
            solution.best.trains = routing.trains;
            solution.bound = searched.bound;
            solution.model = searched.proven ? ModelStatus::Optimal : ModelStatus::Feasible;
        });
}

} // namespace zeltrac::optimum
