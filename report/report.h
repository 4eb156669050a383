#pragma once

#include <string>
#include <vector>

#include "calc/plan.h"
#include "calc/texttable.h"

// The result report: fixed-width text lines composed from the input grids,
// the plan grid and the result tables.
namespace zeltrac::report {

struct ReportInput
{
    std::string operatorName;           // Edit2, unchanged
    std::string dateTime;               // "<short date> <long time>", built by the caller
    std::string decimalSeparator = "."; // for reading the Tек cells
    TextTable stationParams;            // StringGrid2: S columns x 2 rows
    TextTable flows;                    // StringGrid3: C3 x R3
    TextTable plan;                     // StringGrid4: C4 x R4
    const ResultTables* tables = nullptr;
};

// Appends the report's lines to `lines`. A Tек cell that is not a real number
// throws zeltrac::Error; the lines composed before it stay in `lines`.
void composeReport(const ReportInput& input, std::vector<std::string>& lines);

// Formats used by the report (exposed for tests and the window).
std::string wholeField(std::int64_t value, int width);
std::string tekField(Real40 value);       // one decimal, halves away from zero, always "."
std::string indicatorField(Real40 value); // rounded to whole, halves away from zero, width 9

// The date-and-time text: "<date> <time>", or only "<date>" at 00:00:00.
std::string dateTimeText(const std::string& date, const std::string& time, bool midnight);

} // namespace zeltrac::report
