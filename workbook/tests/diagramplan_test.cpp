// Building the diagram's plan from the calculation's data.
#include <gtest/gtest.h>

#include "calc/plan.h"
#include "workbook/diagramplan.h"

using namespace zeltrac;
using namespace zeltrac::diagram;

namespace {

CalcInput lineOf(int n, const std::vector<std::string>& tek, std::string separator = ".")
{
    CalcInput input;
    input.stationCount = n;
    input.stationParams = TextTable(n, 2);
    for (int s = 0; s < n && s < static_cast<int>(tek.size()); ++s)
        input.stationParams.setCell(s, 1, tek[static_cast<std::size_t>(s)]);
    input.flows = TextTable(n - 1, n - 1);
    input.decimalSeparator = std::move(separator);
    return input;
}

// The plan grid's cell of a train: column origin-1, row N-destination.
void setPlanCell(TextTable& plan, int n, int origin, int destination, const std::string& text)
{
    plan.setCell(origin - 1, n - destination, text);
}

} // namespace

TEST(ReformingStations, TekGreaterThanZeroWithTheInputsSeparator)
{
    const CalcInput comma = lineOf(7, {"0", "0,5", "2", "", "-1", "abc", "0.5"}, ",");
    EXPECT_EQ(reformingStations(comma),
              (std::vector<bool>{false, true, true, false, false, false, false}));

    const CalcInput point = lineOf(4, {"0.5", "0,5", " 3 ", "1e9999"}, ".");
    // "0,5" does not convert with ".", and an overflowing Tек converts to nothing.
    EXPECT_EQ(reformingStations(point), (std::vector<bool>{true, false, true, false}));
}

TEST(PlanFromCalculation, SplitsEachCellIntoThroughAndLocalCars)
{
    const int n = 5;
    const CalcInput input = lineOf(n, {"0", "3", "0", "4", "0"});
    TextTable plan(n - 1, n - 1);
    setPlanCell(plan, n, 1, 5, "120"); // two fixed trains 1->5 (70 + 30), local rest 20
    setPlanCell(plan, n, 2, 4, "45");  // local only
    setPlanCell(plan, n, 1, 3, "60");  // through only
    setPlanCell(plan, n, 3, 5, "0");   // no train
    setPlanCell(plan, n, 4, 5, " 7 ");
    const std::vector<FixedTrain> fixed = {{1, 5, 70}, {1, 3, 60}, {1, 5, 30}};

    const DiagramPlan result = planFromCalculation(input, plan, fixed);
    EXPECT_EQ(result.stationCount, n);
    EXPECT_EQ(result.reforming, (std::vector<bool>{false, true, false, true, false}));
    const std::vector<DiagramTrain> expected = {
        {1, 5, 100, TrainKind::Through}, {1, 5, 20, TrainKind::Local},
        {1, 3, 60, TrainKind::Through},  {2, 4, 45, TrainKind::Local},
        {4, 5, 7, TrainKind::Local},
    };
    EXPECT_EQ(result.trains, expected);
    EXPECT_EQ(totalCars(result), 120 + 45 + 60 + 7);
}

TEST(PlanFromCalculation, CarsAddUpToTheCalculatedPlan)
{
    const int n = 6;
    CalcInput input = lineOf(n, {"0", "2.5", "1.5", "3", "2", "0"});
    for (int s = 0; s < n; ++s)
        input.stationParams.setCell(s, 0, std::to_string(300 + 40 * s));
    for (int c = 0; c < n - 1; ++c) {
        for (int r = 0; r < n - 1; ++r) {
            if (n - r > c + 1)
                input.flows.setCell(c, r, std::to_string(15 + 37 * c + 11 * r));
        }
    }
    ResultTables tables;
    const CalcResult calc = calculatePlan(input, tables);
    ASSERT_EQ(calc.status, CalcStatus::Completed);

    std::int64_t planSum = 0;
    for (int c = 0; c < n - 1; ++c) {
        for (int r = 0; r < n - 1; ++r) {
            const std::string& text = calc.plan.cell(c, r);
            if (!text.empty())
                planSum += std::stoll(text);
        }
    }
    const DiagramPlan diagram = planFromCalculation(input, calc.plan, calc.trains);
    EXPECT_EQ(totalCars(diagram), planSum);

    std::int64_t throughSum = 0;
    for (const FixedTrain& t : calc.trains)
        throughSum += t.cars;
    std::int64_t drawnThrough = 0;
    for (const DiagramTrain& t : diagram.trains) {
        if (t.kind == TrainKind::Through)
            drawnThrough += t.cars;
        EXPECT_GT(t.cars, 0);
        EXPECT_LT(t.origin, t.destination);
    }
    EXPECT_EQ(drawnThrough, throughSum);
}

TEST(PlanFromTrains, MergesEqualEndsAndLeavesOutTrainsOffTheLine)
{
    const std::vector<FixedTrain> trains = {{1, 3, 10}, {2, 4, 5}, {1, 3, 6}, {0, 2, 9},
                                            {2, 5, 9},  {3, 3, 4}, {2, 4, 0}};
    const DiagramPlan plan = planFromTrains(4, {false, true}, trains);
    EXPECT_EQ(plan.stationCount, 4);
    EXPECT_EQ(plan.reforming, (std::vector<bool>{false, true, false, false}));
    const std::vector<DiagramTrain> expected = {{1, 3, 16, TrainKind::Exact},
                                                {2, 4, 5, TrainKind::Exact}};
    EXPECT_EQ(plan.trains, expected);

    const DiagramPlan asThrough = planFromTrains(4, {}, {{1, 2, 3}}, TrainKind::Through);
    EXPECT_EQ(asThrough.trains.front().kind, TrainKind::Through);
}
