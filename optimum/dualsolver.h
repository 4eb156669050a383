#pragma once

#include "optimum/line.h"
#include "optimum/program.h"

// The exact plan by a solver made for this program: a lower bound from the
// disaggregated relaxation (each share at most its train) by dual ascent and
// Lagrangian steps on the linking rows, each flow's sub-problem a cheapest
// chain over the stations that may re-form it; upper bounds from the start
// plan and from the trains the multipliers pay for, improved by dropping
// trains; where the bounds do not meet, a depth-first search on the trains
// with reduced-cost fixing. Internal to the library.
namespace zeltrac::optimum::detail {

struct DualResult
{
    enum Kind
    {
        Proven,    // `open` is optimal (relative gap at most kRelativeGap)
        NodeLimit, // the search needed more nodes than allowed
        Stopped,   // the deadline came first
        Uncovered, // the trains not closed leave some flow no chain
    } kind = Stopped;
    TrainSet open{}; // the best plan found: routed, it covers every flow
    bool hasPlan = false;
    double cost = 0;  // its cost (as the line's numbers give it)
    double bound = 0; // proven lower bound of the optimum
    long nodes = 0;   // search nodes explored
};

// What a plan must meet besides covering every flow.
struct DualRules
{
    // In every plan, paying their Cm whatever they carry.
    TrainSet forced{};
    // In no plan.
    TrainSet forbidden{};
};

// `start` (may leave flows uncovered) is the first plan tried. At most
// `nodeLimit` search nodes, the root included (0: none, the result is
// NodeLimit with the start plan).
DualResult solveByDualAscent(const Line& line, const TrainSet& start, const Deadline& deadline,
                             long nodeLimit, const DualRules& rules = DualRules{});

} // namespace zeltrac::optimum::detail
