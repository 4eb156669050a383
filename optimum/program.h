#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "calc/plan.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"
#include "optimum/line.h"

// The mixed-integer program of the exact plan and its solving steps, shared by
// the plain optimum and the optimum under conditions. Internal to the library.
namespace zeltrac::optimum::detail {

using Clock = std::chrono::steady_clock;

constexpr double kRelativeGap = 1e-9;

// Ends the solve when the caller cancels or the time runs out.
class Deadline
{
public:
    Deadline(const Options& options, Clock::time_point start)
        : m_cancel(options.cancel), m_progress(&options.progress),
          m_end(start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(limitOf(options.timeLimitSeconds))))
    {
    }
    // It keeps a pointer to the options: never from a temporary.
    Deadline(Options&&, Clock::time_point) = delete;

    // No limit beyond about four months (which the clock can hold); none below 0.
    static double limitOf(double seconds)
    {
        constexpr double kLongest = 1e7;
        if (std::isnan(seconds) || seconds <= 0)
            return 0;
        return std::min(seconds, kLongest);
    }

    bool cancelled() const { return m_cancel != nullptr && m_cancel->load(); }
    bool passed() const { return cancelled() || Clock::now() >= m_end; }
    double secondsLeft() const
    {
        return std::max(0.0, std::chrono::duration<double>(m_end - Clock::now()).count());
    }

    void report(double bestCost, double bound) const
    {
        if (*m_progress)
            (*m_progress)(bestCost, bound);
    }

private:
    const std::atomic<bool>* m_cancel;
    const std::function<void(double, double)>* m_progress;
    Clock::time_point m_end;
};

// The mixed-integer program: a 0/1 variable per train that some flow can use,
// and per flow a share on each train it can use, with the flow conserved at
// the stations where it may be re-formed and every share at most its train.
struct Program
{
    std::array<std::array<int, kDim>, kDim> trainColumn{}; // -1: no column
    std::vector<double> columnLower, columnUpper, objective, rowLower, rowUpper;
    std::vector<int> rowIndex, columnIndex;
    std::vector<double> element;
    // The share columns of flow (a, b): shareColumn[a][b][p][q] via the flow's base.
    struct FlowShares
    {
        int origin;
        int destination;
        std::vector<int> nodes; // a, the stations between that re-form, b
        int firstColumn;        // shares of node pairs (p < q) in order
    };
    std::vector<FlowShares> flows;
    int rows = 0; // the conservation rows
    // share <= train: (share column, train column), one row each.
    std::vector<std::pair<int, int>> links;
    // Further columns the branch and bound keeps whole (the trains always are).
    std::vector<int> integerColumns;

    int addColumn(double cost, double upper)
    {
        columnLower.push_back(0);
        columnUpper.push_back(upper);
        objective.push_back(cost);
        return static_cast<int>(objective.size()) - 1;
    }
    int addRow(double lower, double upper)
    {
        rowLower.push_back(lower);
        rowUpper.push_back(upper);
        return rows++;
    }
    void add(int row, int column, double value)
    {
        rowIndex.push_back(row);
        columnIndex.push_back(column);
        element.push_back(value);
    }
    int columns() const { return static_cast<int>(objective.size()); }
};

Program buildProgram(const Line& line);

// The program's values of a routed plan: its trains open, each flow on its chain.
std::vector<double> programValues(const Program& program, const Routing& routing);

// The trains of a plan's texts with their cars, by origin then destination.
std::vector<FixedTrain> trainsOfPlan(const TextTable& plan, int n);

// The linking rows not yet chosen that the values violate.
std::vector<std::size_t> violatedLinks(const Program& program, const double* x,
                                       const std::vector<bool>& links);
// Marks the linking rows the values violate; false when there are none.
bool addViolated(const Program& program, const double* x, std::vector<bool>& links);

// The factor the objective is multiplied by for the solver: its largest
// coefficient becomes 1, so that the solver's absolute tolerances stay
// small beside the costs however small or large these are.
double objectiveScale(const Program& program);

// The linear relaxation, its linking rows added as they are violated. True
// when its optimum has every train at 0 or 1: that plan is then optimal and
// `open` holds it. `bound` gets the relaxation's proven lower bound.
bool relaxation(const Program& program, const Deadline& deadline, std::vector<bool>& added,
                TrainSet& open, double& bound);

// One branch and bound over the conservation rows and the chosen linking rows.
struct Branched
{
    std::vector<double> best;                                // empty: no solution kept
    double bound = -std::numeric_limits<double>::infinity(); // valid for the whole program
    bool proven = false;                                     // optimal for the rows it had
    bool infeasible = false;                                 // proven to have no solution
};

// The branch and bound over the conservation rows, the further rows and the
// chosen linking rows; `startValues` (may be empty) is a known solution.
Branched branchAndBound(const Program& program, const std::vector<bool>& links,
                        const std::vector<double>& startValues, double startCost,
                        const Deadline& deadline);

// A solve of the program with its linking rows added as they are violated.
struct Outcome
{
    enum Kind
    {
        Solved,     // values meet every row of the program
        Infeasible, // proven: no values meet the rows
        Stopped,    // the deadline came first
    } kind = Stopped;
    std::vector<double> values;
    bool proven = false; // the values are the program's optimum
    double bound = -std::numeric_limits<double>::infinity();
};

// The branch and bound over the chosen linking rows, run again with the
// rows its optimum violates until it violates none. `onValues` (may be
// empty) sees each solution found and returns true to end the solve there
// (kind Stopped). `links` keeps the rows chosen, for the next solve.
Outcome solveLinked(const Program& program, std::vector<bool>& links,
                    const std::vector<double>& startValues, double startCost,
                    const Deadline& deadline,
                    const std::function<bool(const std::vector<double>&)>& onValues = {});

// The one start and end of every solve: times it against the deadline,
// reads the line (NotCovered with the reason), runs `body`, turns every
// failure it throws (zeltrac::Error, a solver error, running out of memory,
// anything) into CallStatus::Failed with its message, closes the model
// status by the gap and sets the call status by the deadline. `body` fills
// the best plan, the bound, the variants and sets the model status to
// Feasible, NoPlan or Infeasible (with its message).
using SolveBody = std::function<void(const Line&, const Deadline&, Solution&)>;
Solution runSolve(const CalcInput& input, const Options& options, const SolveBody& body);
// The same with the line filled by `read`, which returns why it cannot be.
Solution runSolve(const std::function<std::string(Line&)>& read, const Options& options,
                  const SolveBody& body);

// The share column of flow `shares` from its node p to its node q (p < q).
int shareColumn(const Program::FlowShares& shares, int p, int q);

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

Model buildModel(const Line& line, const Conditions& conditions);

constexpr long double kNone = std::numeric_limits<long double>::infinity();

// A plan as a set of trains and one chain per flow.
struct Plan
{
    TrainSet set{};
    long double cost = kNone;
    std::vector<FixedTrain> trains; // by origin then destination, required ones with 0 cars
};

// The plan of the program's values: the flows a limit counts along the chain
// the values give them, the others along their cheapest chain.
Plan planOf(const Model& model, const std::vector<double>& values);

// The plan of exactly the trains `set`, each flow on its cheapest chain (the
// re-forming limits left aside): cost kNone when some flow has no chain.
Plan freePlan(const Model& model, const TrainSet& set);

struct DualResult;

// The plan of our solver's result: under re-forming limits each flow along
// the chain it routed, meeting them; otherwise as freePlan.
Plan planOfOwn(const Model& model, const DualResult& own);

// The plan as a variant: its indicators by the calculation's own code.
Variant variantOf(const CalcInput& input, const Line& line, const Plan& plan);

} // namespace zeltrac::optimum::detail
