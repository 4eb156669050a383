#include <gtest/gtest.h>

#include <cmath>

#include "optimum/exact.h"
#include "optimum/line.h"
#include "optimum_test_support.h"

using namespace zeltrac;
using namespace zeltrac::optimum;
using namespace zeltrac::optimum::testing;

namespace {

// The reported cost is the stored car-hours total: within rounding of the
// exact sum.
void expectSameCost(double reported, long double exact, const std::string& what)
{
    EXPECT_NEAR(reported, static_cast<double>(exact), 1e-9 * static_cast<double>(exact) + 1e-6)
        << what;
}

void compareWithBruteForce(const LineShape& shape, std::uint64_t seed, int lines,
                           bool relaxationFirst = true)
{
    Options options;
    options.relaxationFirst = relaxationFirst;
    Random random(seed);
    for (int k = 0; k < lines; ++k) {
        LineShape s = shape;
        s.stations = random.between(3, 6);
        const CalcInput input = randomLine(s, random);
        const Solution solution = solveExact(input, calculated(input), options);
        ASSERT_EQ(solution.status(), Status::Optimal) << k << ": " << solution.message;
        const long double reference = bruteForceOptimum(input);
        expectSameCost(solution.best.cost, reference, "line " + std::to_string(k));
        EXPECT_EQ(solution.bound, solution.best.cost);
        EXPECT_LE(solution.best.cost, calculated(input).cost());
    }
}

} // namespace

// Every set of trains tried, each flow on its cheapest chain.
TEST(ExactAgainstEveryPlan, DenseSmallLines)
{
    compareWithBruteForce(LineShape{}, 101, 100);
}

TEST(ExactAgainstEveryPlan, ZeroTekAndZeroFlows)
{
    LineShape shape;
    shape.minCm = 50;
    shape.maxCm = 300;
    shape.zeroTekPercent = 40;
    shape.zeroFlowPercent = 35;
    compareWithBruteForce(shape, 202, 100);
}

TEST(ExactAgainstEveryPlan, TiesFromFewDistinctValues)
{
    // Cm from {0, 1, 2} x 100, Tек from {0.1, 0.2}, flows from {1, 2}: many
    // plans cost the same.
    LineShape shape;
    shape.maxFlow = 2;
    shape.minCm = 0;
    shape.maxCm = 2;
    shape.maxTekTenths = 2;
    shape.zeroTekPercent = 20;
    shape.zeroFlowPercent = 20;
    compareWithBruteForce(shape, 303, 100);
}

TEST(ExactAgainstEveryPlan, BranchAndBoundOnTheWholeProgram)
{
    LineShape shape;
    shape.minCm = 20;
    shape.maxCm = 400;
    shape.zeroTekPercent = 25;
    shape.zeroFlowPercent = 20;
    compareWithBruteForce(shape, 404, 60, false);
}

// The two ways to the optimum agree on larger lines, where the relaxation
// is not always integral.
TEST(ExactBothWays, SameCostOnLargerLines)
{
    Random random(505);
    Options whole;
    whole.relaxationFirst = false;
    for (int k = 0; k < 8; ++k) {
        LineShape shape;
        shape.stations = random.between(8, 14);
        shape.minCm = 10;
        shape.maxCm = 200 + 100 * k;
        shape.maxFlow = 50;
        shape.zeroTekPercent = 30;
        shape.zeroFlowPercent = 30;
        const CalcInput input = randomLine(shape, random);
        const Solution first = solveExact(input, calculated(input));
        const Solution second = solveExact(input, calculated(input), whole);
        ASSERT_EQ(first.status(), Status::Optimal) << k;
        ASSERT_EQ(second.status(), Status::Optimal) << k;
        EXPECT_NEAR(first.best.cost, second.best.cost, 1e-9 * first.best.cost) << k;
    }
}

// The routing alone, against the reference on fixed plans: with every train
// open each flow goes direct at no re-forming cost.
TEST(Routing, EveryTrainOpenGoesDirect)
{
    Random random(7);
    const CalcInput input = randomLine(LineShape{}, random);
    Line line;
    ASSERT_EQ(readLine(input, line), "");
    TrainSet open{};
    for (int i = 1; i <= line.n; ++i)
        for (int j = i + 1; j <= line.n; ++j)
            open[i][j] = true;
    const Routing routing = route(line, open);
    ASSERT_TRUE(routing.covered);
    long double cm = 0;
    for (const FixedTrain& t : routing.trains) {
        EXPECT_EQ(t.cars, line.flow[t.origin][t.destination]);
        cm += line.cm[t.origin];
    }
    EXPECT_EQ(routing.cost, cm);
}

TEST(Routing, TiesGoToFewerTrainsThenTheFartherTrain)
{
    // 1 -> 4 direct costs 0; via 2 or 3 it costs their Tек (0 here means no
    // re-forming, so make them equal and compare chains of equal cost).
    Line line;
    line.n = 4;
    line.tek = {0, 0, 1, 1, 0};
    line.flow[1][4] = 10;
    line.flow[1][3] = 5;
    TrainSet open{};
    open[1][2] = open[2][4] = open[1][3] = open[3][4] = open[2][3] = true;
    // 1->4: via 2 (1) or via 3 (1): same cost, same count: the farther first train (1->3).
    // 1->3: direct (0).
    const Routing routing = route(line, open);
    ASSERT_TRUE(routing.covered);
    EXPECT_EQ(routing.next[4][1], 3);
    EXPECT_EQ(routing.cost, 10 * 1.0L);
    ASSERT_EQ(routing.trains.size(), 2u);
    EXPECT_EQ(routing.trains[0].cars, 15); // 1 -> 3
    EXPECT_EQ(routing.trains[1].cars, 10); // 3 -> 4
}

TEST(Routing, NoChainThroughAStationWithZeroTek)
{
    Line line;
    line.n = 3;
    line.tek = {0, 0, 0, 0};
    line.flow[1][3] = 4;
    TrainSet open{};
    open[1][2] = open[2][3] = true;
    EXPECT_FALSE(route(line, open).covered);
}
