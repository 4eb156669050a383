#pragma once

#include "calc/plan.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"

// The cheapest plan under the planner's conditions, and the next cheapest
// plans after it.
namespace zeltrac::optimum {

inline constexpr int kMaxVariants = 10;

// The cheapest plan that meets the conditions, with up to `variantCount`
// (clamped to 1..kMaxVariants) variants in solution.variants: variant 1 is
// that plan, variant k the cheapest plan whose set of trains differs from
// those of variants 1..k-1. Only plans from which no train can be dropped
// without raising the cost count; a required train is never dropped.
//
// Each flow goes along one chain of plan trains. A plan's set of trains is
// the trains it runs: those that carry cars and the required ones.
//
// Model status Infeasible when no plan meets the conditions: the message
// names a condition to relax wherever dropping it alone is proven to leave a
// plan, and says when the time ran out before that was checked. Conditions
// that do not fit the line give NotCovered with checkConditions' message.
// Without conditions the optimum is that of solveExact(input, calculated,
// options), found first whatever the number of variants; the variants follow
// it. solution.variantsComplete tells whether the list is all there is to
// list. Never throws.
Solution solveExact(const CalcInput& input, const CalculatedPlan& calculated,
                    const Conditions& conditions, int variantCount, const Options& options = {});

} // namespace zeltrac::optimum
