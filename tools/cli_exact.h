#pragma once

#include <QString>

#include <nlohmann/json.hpp>

#include "calc/plan.h"
#include "calc/texttable.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"

// The planner's conditions and the variants of the exact plan for zeltrac-cli.
namespace zeltrac::cli {

// A 6-byte real as a JSON number: the double nearest to its shortest decimal
// text, so that it is written as "535.9", not "535.9000000003725". A double
// that is no 6-byte real (a bound, a time) stays as it is.
nlohmann::ordered_json realJson(double value);
nlohmann::ordered_json realJson(Real40 value);

// The rows of a table's texts, row by row.
nlohmann::ordered_json rowsOf(const TextTable& table);

// Reads a conditions file (--constraints). False with the reason when it
// cannot be read or is not a set of conditions.
bool loadConditionsFile(const QString& path, optimum::Conditions& conditions, QString& problem);

// The reason the conditions do not fit the line of the data file (its station
// count), or the empty text; also empty when the file cannot be loaded (the
// run reports that itself).
QString conditionsProblem(const QString& dataFile, const optimum::Conditions& conditions);

// The variant count from --variants: 1..10, or false with the reason.
bool parseVariantCount(const QString& text, int& count, QString& problem);

// The station indicators (columns 1..6 of stations 1..N-1), the totals
// (elements 2..6) and the trains as JSON, each real as its shortest decimal.
nlohmann::ordered_json indicatorsOf(const ResultTables& tables, int stationCount);
nlohmann::ordered_json totalsOf(const ResultTables& tables);
nlohmann::ordered_json trainsOf(const std::vector<FixedTrain>& trains);

// [{"cost", "trains": [{"origin", "destination", "cars"}], "plan"}, ...],
// the optimum first.
nlohmann::ordered_json variantsJson(const optimum::Solution& solution);

} // namespace zeltrac::cli
