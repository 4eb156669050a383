#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "calc/real40.h"
#include "calc/texttable.h"

// The formation-plan calculation: from the input grids' texts to the plan,
// the fixed through trains and the station indicators.
namespace zeltrac {

inline constexpr int kMinStations = 3;
inline constexpr int kMaxStations = 21;
// The station count a new planning session starts with.
inline constexpr int kStartupStations = 8;

struct CalcInput
{
    int stationCount = kStartupStations; // N, 3..21
    TextTable stationParams;             // "Cm" (row 0) and "Tек" (row 1), one column per station
    TextTable flows; // car flows, (N-1) x (N-1); cell (c, r) = origin c+1, destination N-r
    std::string decimalSeparator = "."; // of the user's regional settings
};

// The program-wide result tables. They outlive a calculation: a calculation
// that completes overwrites every total and the rows of stations 1..N-1 only.
struct ResultTables
{
    // indicators[column 0..5][station 0..20]: columns 1..6 of the plan's
    // indicators (station, destinations, cars reprocessed, car-hours of
    // accumulation, of reprocessing, total) for stations 1..21.
    std::array<std::array<Real40, kMaxStations>, 6> indicators{};
    // totals[0..5]: element 1 is always 0, elements 2..6 are the column sums.
    std::array<Real40, 6> totals{};

    Real40 indicator(int column, int station) const { return indicators[column - 1][station - 1]; }
    Real40 total(int element) const { return totals[element - 1]; }
};

// A through train fixed by one search step.
struct FixedTrain
{
    int origin = 0;      // station
    int destination = 0; // station
    std::int32_t cars = 0;
};

// What the step display shows after a train is fixed. Valid only during the
// callback.
class StepView
{
public:
    virtual ~StepView() = default;
    virtual const FixedTrain& train() const = 0;
    // The (N-1) x (N-1) working-flow texts: the working flow where the input
    // flow is not 0, the empty text elsewhere.
    virtual TextTable workFlowTexts() const = 0;
};

struct CalcHooks
{
    // Called after each fixed train (after the move), never after the step
    // that ends the search.
    std::function<void(const StepView&)> onTrainFixed;
    // Called with the final plan texts before the station indicators are
    // computed (an overflow there leaves the plan shown).
    std::function<void(const TextTable& plan)> onPlan;
};

enum class CalcStatus
{
    Completed,
    NotEnoughData, // "Данных недостаточно!": nothing computed, nothing written
};

struct CalcResult
{
    CalcStatus status = CalcStatus::NotEnoughData;
    std::vector<FixedTrain> trains; // in the order fixed
    TextTable plan;                 // (N-1) x (N-1) plan texts (Completed only)
};

// Runs the whole calculation. Conversion errors, "Floating point overflow" and
// "Integer overflow" throw zeltrac::Error; the tables are then left as the
// failed phase left them (untouched unless the failure came while the
// indicators were being written).
CalcResult calculatePlan(const CalcInput& input, ResultTables& tables, const CalcHooks& hooks = {});

// The plan texts and the station indicators of a plan given as trains with
// their cars (several entries for one train add up; a train with 0 cars is no
// destination), computed as a completed calculation computes them for its own
// plan. Status, errors and the state of the tables as with calculatePlan;
// result.trains is the given plan. A train outside 1 <= origin < destination
// <= N throws std::invalid_argument.
CalcResult evaluatePlan(const CalcInput& input, const std::vector<FixedTrain>& plan,
                        ResultTables& tables);

} // namespace zeltrac
