#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "calc/plan.h"

// The numbers of a line as the exact solver sees them, and the routing of its
// flows over a set of trains.
namespace zeltrac::optimum {

// The longest line the library solves when it is given a Line directly (the
// calculation, and so every line read from a CalcInput, stops at kMaxStations).
inline constexpr int kMaxLineStations = 60;
inline constexpr int kDim = kMaxLineStations + 1; // stations are indexed from 1

using TrainSet = std::array<std::array<bool, kDim>, kDim>; // [origin][destination]

struct Line
{
    int n = 0;
    std::array<long double, kDim> cm{};                      // Cm of stations 1..N-1
    std::array<long double, kDim> tek{};                     // Tек; 0 at stations 1 and N
    std::array<std::array<std::int64_t, kDim>, kDim> flow{}; // [origin][destination]

    // Whether cars may be re-formed at the station.
    bool reforms(int station) const { return tek[station] > 0; }
};

// Reads the line with the calculation's own conversions. Either the reason the
// input lies outside the model (naming the first offending cell) comes back,
// or the line is filled and the empty text comes back. A line of more than
// `mostStations` stations is refused; more than the calculation takes
// (kMaxStations) only for lines solved through solveLine.
std::string readLine(const CalcInput& input, Line& line, int mostStations = kMaxStations);

// The reason a line built directly lies outside the model (its station count
// outside 3..kMaxLineStations, a number below 0, or numbers too large to be
// added up exactly), or the empty text.
std::string checkLine(const Line& line);

struct Routing
{
    bool covered = false;           // every flow above 0 has a chain
    long double cost = 0;           // Cm of the trains with cars + re-forming car-hours
    std::vector<FixedTrain> trains; // the trains with cars, by origin then destination
    // next[b][v]: the station after v on the chain to destination b (0: none).
    std::array<std::array<int, kDim>, kDim> next{};
};

// Routes each flow on one cheapest chain of the open trains. Ties go to the
// chain with fewer trains, then to the one whose first train goes farther
// (and so on along the chain), so the result depends on the numbers only.
Routing route(const Line& line, const TrainSet& open);

// The trains of a plan as an open set.
TrainSet openSet(const std::vector<FixedTrain>& trains);

} // namespace zeltrac::optimum
