#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "optimum/line.h"
#include "optimum/program.h"

// The exact plan by a solver made for this program: a lower bound from the
// disaggregated relaxation (each share at most its train) by dual ascent and
// Lagrangian steps on the linking rows, each flow's sub-problem a cheapest
// chain over the stations that may re-form it; upper bounds from the start
// plan and from the trains the multipliers pay for, improved by dropping
// trains; where the bounds do not meet, a depth-first search on the trains
// with reduced-cost fixing. The rules on the set of trains (DualRules) fix
// trains where they decide them, steer the branching where the node's plan
// breaks them, and tighten the trains' part of the bound. Internal to the
// library.
namespace zeltrac::optimum::detail {

struct DualResult
{
    enum Kind
    {
        Proven,     // `open` is optimal (relative gap at most kRelativeGap)
        NodeLimit,  // the search needed more nodes than allowed
        Stopped,    // the deadline came first
        Uncovered,  // the trains not closed leave some flow no chain
        Infeasible, // proven: no plan meets the rules
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
    // Station -> at most this many trains start there.
    std::map<int, int> maxDestinations;
    // No plan's trains are one of these sets, nor one of them with one train
    // more (the sets found before, as the variants keep them out).
    std::vector<TrainSet> excluded;
    // With maxChanges at 0 or above: a plan differs from `reference` in at
    // most that many trains (added or removed).
    TrainSet reference{};
    int maxChanges = -1;
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

// The rules of the conditions.
DualRules rulesOf(const Conditions& conditions);

// The multipliers a solve ends its root with: given to a later solve on the
// same line (other rules, other factors), they start its bound there.
struct DualWarmStart
{
    std::vector<double> weights;     // one per arc of the flows' chains
    std::map<int, double> reforming; // per re-forming limit's station
};

class DualSolver;

// The solves of one line in turn (the variants, the steps of the ladder):
// each starts from the multipliers the last one's root ended with, where its
// forced and forbidden trains are the same (or from `warm`, when it holds
// some), and offers the plans the last ones found first. `narrowing`: the
// solves keep more sets out each time, their other rules the same (as the
// variants): each takes up the parts of the search the last one left by
// their bound instead of searching from the root again.
class DualSearch
{
public:
    DualSearch(const Line& line, bool narrowing);
    ~DualSearch();
    DualSearch(const DualSearch&) = delete;
    DualSearch& operator=(const DualSearch&) = delete;

    // The next solve starts as a new search's would: no plans of the last
    // ones offered, no multipliers but those given.
    void forget();

    // As solveByDualAscent.
    DualResult solve(const TrainSet& start, const Deadline& deadline, long nodeLimit,
                     const DualRules& rules, DualWarmStart* warm = nullptr);

private:
    std::unique_ptr<DualSolver> m_solver;
};

// `start` (may leave flows uncovered, or break the rules) is the first plan
// tried. A plan's trains are those that carry cars and the forced ones: the
// rules hold for them. At most
// `nodeLimit` search nodes, the root included (0: none, the result is
// NodeLimit with the start plan). `warm` (may be null) gives the multipliers
// to start from, when it holds some, and gets those the root ends with.
// Under re-forming limits a plan is only kept when its routing meets them;
// where none is found the result is NodeLimit.
DualResult solveByDualAscent(const Line& line, const TrainSet& start, const Deadline& deadline,
                             long nodeLimit, const DualRules& rules = DualRules{},
                             DualWarmStart* warm = nullptr);

} // namespace zeltrac::optimum::detail
