#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "calc/plan.h"
#include "calc/testing/line_inputs.h"

namespace zeltrac {

bool operator==(const FixedTrain& a, const FixedTrain& b);
void PrintTo(const FixedTrain& train, std::ostream* out);

} // namespace zeltrac

namespace zeltrac::testing {

// The plan text of the train from origin to destination.
std::string planCell(const CalcResult& result, int n, int origin, int destination);

// A ResultTables with every value set to a recognisable marker.
ResultTables markedTables(double marker);

// The first column of the table as a list of texts, top to bottom.
std::vector<std::string> columnTexts(const TextTable& table, int column);

} // namespace zeltrac::testing
