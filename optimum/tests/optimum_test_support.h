#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "calc/plan.h"
#include "calc/testing/line_inputs.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"

namespace zeltrac::optimum::testing {

using zeltrac::testing::Flow;
using zeltrac::testing::makeInput;
using zeltrac::testing::Random;

struct LineShape
{
    int stations = 5;
    int maxFlow = 300;
    int minCm = 0;
    int maxCm = 700;
    int maxTekTenths = 80;
    int zeroTekPercent = 0;  // stations 2..N-1 with Tек 0
    int zeroFlowPercent = 0; // flows that are 0 (typed or left empty)
};

// The kinds of line the solvers are compared on (the station count left to
// the caller): dense, dense with dear trains, Tек 0 stations, sparse, ties,
// zero flows.
struct LineKind
{
    const char* name;
    LineShape shape;
};
inline constexpr LineKind kLineKinds[] = {
    {"dense", {3, 300, 0, 700, 80, 0, 0}},      {"dense_dear", {3, 300, 400, 700, 80, 0, 0}},
    {"tek_zero", {3, 300, 50, 300, 80, 40, 0}}, {"sparse", {3, 300, 50, 300, 80, 30, 40}},
    {"ties", {3, 2, 0, 2, 2, 20, 20}},          {"zero_flows", {3, 300, 0, 700, 80, 0, 70}},
};

// The calculated plan of the input, or none when the calculation fails on it
// (the solver then reports why the input is outside its model).
CalculatedPlan calculated(const CalcInput& input);

// A random line of the given shape: whole Cm, Tек in tenths.
CalcInput randomLine(const LineShape& shape, Random& random);

// A random train of a line of `stations` stations: its origin drawn first,
// then its destination beyond it.
TrainPair randomTrain(int stations, Random& random);

// The cheapest plan by trying every set of trains, each flow on its cheapest
// chain (re-formed only where Tек is above 0). For 6 stations at most.
long double bruteForceOptimum(const CalcInput& input);

// A plan found by trying every set of trains: its cost and its trains (by
// origin then destination).
struct BrutePlan
{
    long double cost = 0;
    std::vector<std::pair<int, int>> trains;
};

// Every set of trains that meets the conditions and from which no train but
// a required one can be dropped without raising the cost, cheapest first.
// A set costs the Cm of each of its trains plus, for the cheapest choice of
// one chain per flow within the re-forming limits, the Tек of the stations
// where each flow is re-formed times its cars. For 6 stations at most (with
// re-forming limits, 5).
std::vector<BrutePlan> bruteForcePlans(const CalcInput& input, const Conditions& conditions);

} // namespace zeltrac::optimum::testing
