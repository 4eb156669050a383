#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "calc/plan.h"
#include "optimum/line.h"

// The cheapest formation plan, proven: every flow goes along a chain of plan
// trains, re-formed only at stations whose Tек is above 0, and the plan costs
// the Cm of each train's origin plus each flow times the Tек of its
// re-forming stations (the car-hours total of the station indicators).
namespace zeltrac::optimum {

// The status a front end reports, worked out from how the solve ended and
// what it found (Solution::status()).
enum class Status
{
    Optimal,    // cost proven minimal (relative gap at most 1e-9)
    TimeLimit,  // the time ran out: the best plan found (if any) and a proven lower bound
    Cancelled,  // cancelled: the best plan found so far (if any) and a proven lower bound
    NotCovered, // the input lies outside the model: nothing solved, message says why
    Infeasible, // no plan meets the conditions in force: message says which to relax
    Failed,     // the solver failed (out of memory, a solver error): message says how
};

// "optimal", "time_limit", "cancelled", "not_covered", "infeasible", "failed".
const char* statusName(Status status);

// How the solve call ended.
enum class CallStatus
{
    Completed, // ran to its end: what it found is all there is to find
    TimeLimit, // the time limit ended it
    Cancelled, // the caller cancelled it
    Failed,    // an error ended it (message); nothing found is kept
};

// What the solve found.
enum class ModelStatus
{
    NotCovered, // the input lies outside the model (message)
    NoPlan,     // no plan found before the call ended
    Feasible,   // a plan found, not proven the cheapest (bound below its cost)
    Optimal,    // a plan proven the cheapest
    Infeasible, // proven: no plan meets the conditions (message)
};

// The solver of the exact plan.
enum class Solver
{
    Own, // dual ascent and a search on the trains, made for this program
    Cbc, // the linear relaxation and branch and bound of CBC
};

// "own", "cbc".
const char* solverName(Solver solver);

struct Options
{
    // Own: where it cannot close the gap within nodeLimit search nodes (the
    // root included), CBC takes over, starting from its best plan. Past the
    // limit our search goes on, up to four times the limit, while the share
    // of it already settled says it would end by then.
    Solver solver = Solver::Own;
    long nodeLimit = 500;
    double timeLimitSeconds = 10;
    // Polled while solving; setting it from another thread ends the solve soon.
    const std::atomic<bool>* cancel = nullptr;
    // First the linear relaxation with its linking rows added as needed; when
    // that has every train at 0 or 1 it is the proven optimum. Off: the whole
    // program goes to the branch and bound at once (slower; a cross-check).
    bool relaxationFirst = true;
    // The most exact solves run at once where an analysis has independent
    // ones (the envelope's parts of the range); 1: one at a time, on the
    // calling thread.
    int threads = 2;
    // Called on a solving thread (one call at a time) with each better
    // plan's cost and the proven bound of the search running (of searches
    // running at once, the one begun last).
    std::function<void(double bestCost, double bound)> progress;
    // Called on a solving thread (one call at a time) as each exact solve of
    // an analysis of many (the ladder's steps, the envelope's points)
    // begins; 1-based.
    std::function<void(int solve)> solveBegun;
};

// One plan: its trains, texts, indicators and cost.
struct Variant
{
    // Totals element 6 of the tables, plus the Cm of each required train that
    // carries no cars (the indicators count only trains with cars).
    double cost = 0;
    // By origin then destination; under conditions also each required train
    // with no cars (0 cars), whose Cm the cost counts although the indicators
    // do not.
    std::vector<FixedTrain> trains;
    TextTable plan;      // (N-1) x (N-1) plan texts, laid out like the calculated plan
    ResultTables tables; // station indicators and totals of this plan (rows 1..N-1 written)
};

// The calculated plan of the line, as its completed calculation left it: the
// plain solve starts from it and never reports a dearer plan.
struct CalculatedPlan
{
    TextTable plan;      // (N-1) x (N-1) plan texts
    ResultTables tables; // its indicators and totals
    double cost() const { return tables.total(6).toDouble(); }
};

// Runs the calculation on the input (throws zeltrac::Error as it does).
CalculatedPlan calculatedPlanOf(const CalcInput& input);

struct Solution
{
    CallStatus call = CallStatus::Completed;
    ModelStatus model = ModelStatus::NotCovered;
    // Why the input is outside the model, why no plan meets the conditions,
    // or how the solver failed; empty otherwise.
    std::string message;
    Variant best;                  // the cheapest plan found (when hasPlan())
    double bound = 0;              // proven lower bound of the optimum, at most best.cost
    double seconds = 0;            // wall time of the solve
    Solver solvedBy = Solver::Cbc; // the solver whose answer this is
    bool handedOver = false;       // Own was asked for and CBC took over
    long nodes = 0;                // search nodes of our own solver (when asked for)
    // When variants were asked for: the optimum first, then each next
    // cheapest plan from which no train can be dropped without raising the
    // cost; fewer when no more exist or the time ran out.
    std::vector<Variant> variants;
    // Whether the variants are all that were asked for or all that exist
    // (false when the time ran out or the solve was cancelled first).
    bool variantsComplete = true;

    bool hasPlan() const { return model == ModelStatus::Feasible || model == ModelStatus::Optimal; }
    // (cost - bound) / cost, 0 when proven or the cost is 0.
    double gap() const;
    Status status() const;
};

// Solves the input's line exactly, starting from its calculated plan. Every
// failure (of any kind, out of memory included) comes back as CallStatus
// Failed with its message: never throws.
Solution solveExact(const CalcInput& input, const CalculatedPlan& calculated,
                    const Options& options = {});

// Solves a line given by its numbers, of up to kMaxLineStations stations
// (beyond what the calculation takes), from no start plan: for measuring the
// solvers on long lines. The best plan has its cost and trains only (no
// texts, no indicators). A line outside the model comes back NotCovered.
Solution solveLine(const Line& line, const Options& options = {});

// The reason the input lies outside the model (naming the first offending
// cell), or the empty text when it is inside.
std::string checkInput(const CalcInput& input);

} // namespace zeltrac::optimum
