#include "plan_test_support.h"

namespace zeltrac {

bool operator==(const FixedTrain& a, const FixedTrain& b)
{
    return a.origin == b.origin && a.destination == b.destination && a.cars == b.cars;
}

void PrintTo(const FixedTrain& train, std::ostream* out)
{
    *out << train.origin << "->" << train.destination << ": " << train.cars;
}

} // namespace zeltrac

namespace zeltrac::testing {

std::string planCell(const CalcResult& result, int n, int origin, int destination)
{
    return result.plan.cell(origin - 1, n - destination);
}

ResultTables markedTables(double marker)
{
    ResultTables tables;
    const Real40 value = Real40::fromWide(marker);
    for (auto& column : tables.indicators)
        column.fill(value);
    tables.totals.fill(value);
    return tables;
}

std::vector<std::string> columnTexts(const TextTable& table, int column)
{
    std::vector<std::string> texts;
    for (int r = 0; r < table.rowCount(); ++r)
        texts.push_back(table.cell(column, r));
    return texts;
}

} // namespace zeltrac::testing
