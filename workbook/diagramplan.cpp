#include "workbook/diagramplan.h"

#include <algorithm>
#include <map>
#include <utility>

#include "calc/error.h"
#include "calc/numtext.h"

namespace zeltrac::diagram {

namespace {

int clampedStationCount(int n)
{
    return std::clamp(n, 0, kMaxStations);
}

} // namespace

std::vector<bool> reformingStations(const CalcInput& input)
{
    const int n = clampedStationCount(input.stationCount);
    std::vector<bool> reforming(static_cast<std::size_t>(n), false);
    for (int s = 1; s <= n; ++s) {
        const std::string_view tek = numtext::trim(input.stationParams.cell(s - 1, 1));
        if (tek.empty())
            continue;
        try {
            reforming[static_cast<std::size_t>(s - 1)] =
                numtext::toReal40(tek, input.decimalSeparator).toDouble() > 0.0;
        } catch (const Error&) {
            // A text the calculation would refuse re-forms nothing here.
        }
    }
    return reforming;
}

DiagramPlan planFromCalculation(const CalcInput& input, const TextTable& plan,
                                const std::vector<FixedTrain>& fixed)
{
    DiagramPlan result;
    result.stationCount = clampedStationCount(input.stationCount);
    result.reforming = reformingStations(input);
    const int n = result.stationCount;

    std::map<std::pair<int, int>, std::int64_t> through;
    for (const FixedTrain& t : fixed) {
        if (t.cars > 0 && t.origin >= 1 && t.origin <= n && t.destination >= 1 &&
            t.destination <= n && t.origin != t.destination)
            through[{t.origin, t.destination}] += t.cars;
    }

    for (int c = 0; c < n - 1; ++c) {
        for (int r = 0; r < n - 1; ++r) {
            const int origin = c + 1;
            const int destination = n - r;
            if (origin == destination)
                continue;
            const auto cell = numtext::parseWhole(numtext::trim(plan.cell(c, r)));
            const std::int64_t cellCars = cell && *cell > 0 ? *cell : 0;
            const auto found = through.find({origin, destination});
            const std::int64_t throughCars = found == through.end() ? 0 : found->second;
            if (throughCars > 0)
                result.trains.push_back({origin, destination, throughCars, TrainKind::Through});
            if (cellCars > throughCars)
                result.trains.push_back(
                    {origin, destination, cellCars - throughCars, TrainKind::Local});
        }
    }
    return result;
}

DiagramPlan planFromTrains(int stationCount, std::vector<bool> reforming,
                           const std::vector<FixedTrain>& trains, TrainKind kind)
{
    DiagramPlan result;
    result.stationCount = clampedStationCount(stationCount);
    result.reforming = std::move(reforming);
    result.reforming.resize(static_cast<std::size_t>(result.stationCount), false);
    const int n = result.stationCount;

    std::map<std::pair<int, int>, std::int64_t> merged;
    for (const FixedTrain& t : trains) {
        if (t.cars > 0 && t.origin >= 1 && t.origin <= n && t.destination >= 1 &&
            t.destination <= n && t.origin != t.destination)
            merged[{t.origin, t.destination}] += t.cars;
    }
    for (const auto& [ends, cars] : merged)
        result.trains.push_back({ends.first, ends.second, cars, kind});
    return result;
}

std::int64_t totalCars(const DiagramPlan& plan)
{
    std::int64_t sum = 0;
    for (const DiagramTrain& t : plan.trains)
        sum += t.cars;
    return sum;
}

} // namespace zeltrac::diagram
