#include <gtest/gtest.h>

#include "optimum/exact.h"
#include "optimum/line.h"
#include "optimum_test_support.h"

using namespace zeltrac;
using namespace zeltrac::optimum;
using namespace zeltrac::optimum::testing;

// Lines longer than the calculation takes, solved through the library: both
// solvers prove the same cost, and our trains routed again cost it.
TEST(LongLines, BothSolversProveTheSameCost)
{
    const struct
    {
        int stations;
        int kind; // of kLineKinds
    } cases[] = {{30, 0}, {60, 3}};
    for (const auto [stations, kind] : cases) {
        Random random(static_cast<std::uint64_t>(stations));
        LineShape shape = kLineKinds[kind].shape;
        shape.stations = stations;
        Line line;
        ASSERT_EQ(readLine(randomLine(shape, random), line, kMaxLineStations), "");
        Options options;
        options.timeLimitSeconds = 600;
        options.solver = Solver::Cbc;
        const Solution cbc = solveLine(line, options);
        options.solver = Solver::Own;
        const Solution own = solveLine(line, options);
        ASSERT_EQ(cbc.status(), Status::Optimal) << stations;
        ASSERT_EQ(own.status(), Status::Optimal) << stations;
        EXPECT_FALSE(own.handedOver) << stations;
        EXPECT_NEAR(own.best.cost, cbc.best.cost, 1e-9 * cbc.best.cost) << stations;
        EXPECT_EQ(static_cast<double>(route(line, openSet(own.best.trains)).cost), own.best.cost);
    }
}
