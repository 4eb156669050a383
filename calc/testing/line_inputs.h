#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calc/plan.h"

namespace zeltrac::testing {

// SplitMix64: the same numbers with every compiler and library.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    int between(int low, int high);
    bool chance(int percent) { return between(1, 100) <= percent; }

private:
    std::uint64_t m_state;
};

struct Flow
{
    int origin;
    int destination;
    std::string cars;
};

// An input for a line of n stations: Cm and Tek texts of stations 1, 2, ...
// and the flows, placed in their grid cells (column origin - 1, row n - destination).
CalcInput makeInput(int n, const std::vector<std::string>& cm, const std::vector<std::string>& tek,
                    const std::vector<Flow>& flows, std::string separator = ".");

// The five-station line whose calculated plan costs 75 car-hours while the
// cheapest plan costs 46.
CalcInput dearLine();

} // namespace zeltrac::testing
