#pragma once

#include <cstdint>
#include <map>
#include <vector>

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
    // Under re-forming limits: its routing (as Routing::next), meeting them.
    std::array<std::array<int, kDim>, kDim> next{};
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
    // Station -> at most this many cars arrive there on one train and leave
    // on another, over all flows; each flow goes whole along one chain.
    std::map<int, std::int64_t> maxReprocessed;
    // By origin and destination: the factor (above 0) on the flow's
    // re-forming costs.
    std::array<std::array<double, kDim>, kDim> reformingFactor = unitFactors();

    static std::array<std::array<double, kDim>, kDim> unitFactors()
    {
        std::array<std::array<double, kDim>, kDim> factors{};
        for (auto& row : factors)
            row.fill(1.0);
        return factors;
    }
};

// The rules of the conditions our solver answers (all but maxDestinations).
DualRules dualRulesOf(const Conditions& conditions);

// Whether our solver answers these conditions itself, for `wanted` variants.
inline bool ownSolves(const Conditions& conditions, int wanted)
{
    return conditions.maxDestinations.empty() && wanted == 1;
}

// The multipliers a solve ends its root with: given to the next solve on the
// same line (other rules, other factors), they start its bound there.
struct DualWarmStart
{
    std::vector<double> weights;     // one per arc of the flows' chains
    std::map<int, double> reforming; // per re-forming limit's station
};

// `start` (may leave flows uncovered) is the first plan tried. At most
// `nodeLimit` search nodes, the root included (0: none, the result is
// NodeLimit with the start plan). `warm` (may be null) gives the multipliers
// to start from, when it holds some, and gets those the root ends with.
// Under re-forming limits a plan is only kept when its routing meets them;
// where none is found the result is NodeLimit.
DualResult solveByDualAscent(const Line& line, const TrainSet& start, const Deadline& deadline,
                             long nodeLimit, const DualRules& rules = DualRules{},
                             DualWarmStart* warm = nullptr);

} // namespace zeltrac::optimum::detail
