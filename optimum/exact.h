#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "calc/plan.h"

// The cheapest formation plan, proven: every flow goes along a chain of plan
// trains, re-formed only at stations whose Tек is above 0, and the plan costs
// the Cm of each train's origin plus each flow times the Tек of its
// re-forming stations (the car-hours total of the station indicators).
namespace zeltrac::optimum {

enum class Status
{
    Optimal,    // cost proven minimal (relative gap at most 1e-9)
    TimeLimit,  // the time ran out: the best plan found and a proven lower bound
    Cancelled,  // cancelled: the best plan found so far and a proven lower bound
    NotCovered, // the input lies outside the model: nothing solved, message says why
    Infeasible, // no plan meets the conditions in force: message names one to relax
};

// "optimal", "time_limit", "cancelled", "not_covered", "infeasible".
const char* statusName(Status status);

struct Options
{
    double timeLimitSeconds = 10;
    // Polled while solving; setting it from another thread ends the solve soon.
    const std::atomic<bool>* cancel = nullptr;
    // First the linear relaxation with its linking rows added as needed; when
    // that has every train at 0 or 1 it is the proven optimum. Off: the whole
    // program goes to the branch and bound at once (slower; a cross-check).
    bool relaxationFirst = true;
};

// One plan among the cheapest: its trains, texts, indicators and cost.
struct Variant
{
    // Totals element 6 of the tables, plus the Cm of each required train that
    // carries no cars (the indicators count only trains with cars).
    double cost = 0;
    // By origin then destination; a required train with no cars has 0 cars.
    std::vector<FixedTrain> trains;
    TextTable plan;
    ResultTables tables;
};

struct Solution
{
    Status status = Status::NotCovered;
    std::string message; // the reason for NotCovered, empty otherwise
    double cost = 0;     // totals element 6 of the plan below (+ idle required trains' Cm)
    double bound = 0;    // proven lower bound of the optimum, at most cost
    double seconds = 0;  // wall time of the solve
    // The trains that carry cars, by origin then destination, with their cars;
    // under conditions also each required train with no cars (0 cars), whose
    // Cm the cost counts although the indicators do not.
    std::vector<FixedTrain> trains;
    TextTable plan;      // (N-1) x (N-1) plan texts, laid out like the calculated plan
    ResultTables tables; // station indicators and totals of this plan (rows 1..N-1 written)
    // The calculated plan's indicators and totals, for showing both side by side.
    ResultTables analyticalTables;
    double analyticalCost = 0; // analyticalTables element 6
    // When variants were asked for: the optimum first, then each next
    // cheapest plan from which no train can be dropped without raising the
    // cost; fewer when no more exist or the time ran out.
    std::vector<Variant> variants;
};

// Solves the input's line exactly. Never throws for any input text.
Solution solveExact(const CalcInput& input, const Options& options = {});

// The reason the input lies outside the model (naming the first offending
// cell), or the empty text when it is inside.
std::string checkInput(const CalcInput& input);

} // namespace zeltrac::optimum
