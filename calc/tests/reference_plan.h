#pragma once

#include "calc/plan.h"

namespace zeltrac::testing {

// The plan calculation written the plain way, block by block and store by
// store, to check the library's faster search against.
CalcResult referencePlan(const CalcInput& input, ResultTables& tables, const CalcHooks& hooks = {});

} // namespace zeltrac::testing
