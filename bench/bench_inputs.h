#pragma once

#include <cstdint>

#include "calc/plan.h"

namespace zeltrac::bench {

// A fully typed line: every flow, Cm and Tek drawn from the given ranges
// with a fixed seed (Tek in tenths).
struct DenseLine
{
    int stations = kMaxStations;
    int minFlow = 20;
    int maxFlow = 300;
    int minCm = 400;
    int maxCm = 700;
    int minTekTenths = 20;
    int maxTekTenths = 80;
    std::uint64_t seed = 18; // 120 search steps for 21 stations
};

CalcInput denseLine(const DenseLine& line);

// The longest search found for 21 stations.
CalcInput longestSearch();

} // namespace zeltrac::bench
