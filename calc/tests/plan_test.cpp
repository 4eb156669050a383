#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calc/error.h"
#include "calc/plan.h"
#include "plan_test_support.h"

using namespace zeltrac;
using namespace zeltrac::testing;

namespace {

using Row = std::vector<double>;

Row indicatorRow(const ResultTables& tables, int station)
{
    Row row;
    for (int c = 1; c <= 6; ++c)
        row.push_back(tables.indicator(c, station).toDouble());
    return row;
}

Row totalsOf(const ResultTables& tables)
{
    Row row;
    for (int e = 1; e <= 6; ++e)
        row.push_back(tables.total(e).toDouble());
    return row;
}

std::vector<FixedTrain> trains(std::initializer_list<FixedTrain> list)
{
    return list;
}

struct Recorder
{
    std::vector<FixedTrain> trains;
    std::vector<TextTable> snapshots;
    std::vector<TextTable> plans;

    CalcHooks hooks()
    {
        CalcHooks h;
        h.onTrainFixed = [this](const StepView& view) {
            trains.push_back(view.train());
            snapshots.push_back(view.workFlowTexts());
        };
        h.onPlan = [this](const TextTable& plan) { plans.push_back(plan); };
        return h;
    }
};

std::string errorOf(const CalcInput& input, ResultTables& tables, const CalcHooks& hooks = {})
{
    try {
        calculatePlan(input, tables, hooks);
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

void expectUntouched(const ResultTables& tables, double marker)
{
    for (int c = 1; c <= 6; ++c) {
        for (int s = 1; s <= kMaxStations; ++s)
            EXPECT_EQ(tables.indicator(c, s).toDouble(), marker) << c << ' ' << s;
        EXPECT_EQ(tables.total(c).toDouble(), marker);
    }
}

CalcInput fourStations()
{
    return makeInput(
        4, {"100", "80", "60"}, {"7", "3", "2"},
        {{1, 4, "40"}, {1, 3, "30"}, {1, 2, "10"}, {2, 4, "50"}, {2, 3, "20"}, {3, 4, "25"}});
}

} // namespace

// ---- The search on the worked lines ----

TEST(PlanSearch, ThreeStations)
{
    ResultTables tables;
    auto result = calculatePlan(makeInput(3, {"15"}, {"", "2"}, {{1, 3, "10"}}), tables);
    EXPECT_EQ(result.trains, trains({{1, 3, 10}}));
    result = calculatePlan(makeInput(3, {"25"}, {"", "2"}, {{1, 3, "10"}}), tables);
    EXPECT_TRUE(result.trains.empty());
}

TEST(PlanSearch, FourStationsTwoTrains)
{
    ResultTables tables;
    const auto result = calculatePlan(fourStations(), tables);
    ASSERT_EQ(result.status, CalcStatus::Completed);
    EXPECT_EQ(result.trains, trains({{1, 3, 70}, {2, 4, 50}}));
    // The remaining 1->2, 2->3 and 3->4 go as local trains.
    EXPECT_EQ(columnTexts(result.plan, 0), (std::vector<std::string>{"", "70", "10"}));
    EXPECT_EQ(columnTexts(result.plan, 1), (std::vector<std::string>{"50", "20", ""}));
    EXPECT_EQ(columnTexts(result.plan, 2), (std::vector<std::string>{"65", "", ""}));
    EXPECT_EQ(indicatorRow(tables, 1), (Row{1, 2, 0, 200, 0, 200}));
    EXPECT_EQ(indicatorRow(tables, 2), (Row{2, 2, 0, 160, 0, 160}));
    EXPECT_EQ(indicatorRow(tables, 3), (Row{3, 1, 40, 60, 80, 140}));
    EXPECT_EQ(totalsOf(tables), (Row{0, 5, 40, 420, 80, 500}));
}

TEST(PlanSearch, RefinementMovesTheOrigin)
{
    ResultTables tables;
    const auto result = calculatePlan(makeInput(5, {"60", "40", "20", "10"}, {"", "4", "3", "1"},
                                                {{1, 5, "5"},
                                                 {1, 4, "15"},
                                                 {1, 3, "5"},
                                                 {1, 2, "10"},
                                                 {2, 5, "15"},
                                                 {2, 4, "10"},
                                                 {2, 3, "15"},
                                                 {3, 5, "20"},
                                                 {3, 4, "15"},
                                                 {4, 5, "20"}}),
                                      tables);
    // 2->4 is chosen, its origin moves to station 1; then 2->4 with 25 cars;
    // then 3->5 with an effect of exactly 0.
    EXPECT_EQ(result.trains, trains({{1, 4, 20}, {2, 4, 25}, {3, 5, 20}}));
}

TEST(PlanSearch, RefinementMovesTheDestination)
{
    ResultTables tables;
    const auto result = calculatePlan(makeInput(5, {"20", "30", "60", "50"}, {"", "4", "1", "1"},
                                                {{1, 5, "15"},
                                                 {1, 4, "10"},
                                                 {1, 3, "20"},
                                                 {1, 2, "5"},
                                                 {2, 5, "5"},
                                                 {2, 4, "15"},
                                                 {2, 3, "20"},
                                                 {3, 5, "20"},
                                                 {3, 4, "15"},
                                                 {4, 5, "15"}}),
                                      tables);
    ASSERT_GE(result.trains.size(), 2u);
    EXPECT_EQ(result.trains[0], (FixedTrain{1, 4, 25}));
    EXPECT_EQ(result.trains[1], (FixedTrain{1, 3, 20}));
}

TEST(PlanSearch, ZeroTekLimitsTheBlock)
{
    ResultTables tables;
    const auto result = calculatePlan(
        makeInput(
            4, {"30", "20", "10"}, {"", "3", "0"},
            {{1, 4, "10"}, {1, 3, "20"}, {1, 2, "5"}, {2, 4, "10"}, {2, 3, "10"}, {3, 4, "10"}}),
        tables);
    EXPECT_EQ(result.trains, trains({{1, 3, 20}, {1, 4, 10}}));
}

TEST(PlanSearch, NoFlowsNoTrains)
{
    ResultTables tables;
    const auto result = calculatePlan(
        makeInput(6, {"1", "2", "3", "4", "5"}, {"", "1", "2", "3", "4"}, {}), tables);
    EXPECT_TRUE(result.trains.empty());
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(columnTexts(result.plan, c), std::vector<std::string>(5, ""));
}

TEST(PlanSearch, EqualEffectsFirstInScanOrderWins)
{
    // 1->4 and 2->4 both have effect 20 (no refinement: the origin's Tek
    // is 0 for 1->4 and the gains are negative for 2->4).
    ResultTables tables;
    auto result = calculatePlan(
        makeInput(4, {"10", "10", "10"}, {"", "0", "1"}, {{1, 4, "30"}, {2, 4, "30"}}), tables);
    ASSERT_FALSE(result.trains.empty());
    EXPECT_EQ(result.trains[0], (FixedTrain{1, 4, 30}));
    // Same origin: the farther destination wins (1->4 over 1->3, both 10).
    result = calculatePlan(
        makeInput(4, {"10", "10", "10"}, {"", "1", "0"}, {{1, 4, "20"}, {1, 3, "20"}}), tables);
    ASSERT_FALSE(result.trains.empty());
    EXPECT_EQ(result.trains[0], (FixedTrain{1, 4, 20}));
}

TEST(PlanSearch, EffectJustBelowZeroEndsTheSearch)
{
    // Effect -0.00005 beats the start value but is below 0.
    ResultTables tables;
    auto result = calculatePlan(makeInput(3, {"0"}, {"", "0.00005"}, {{1, 3, "-1"}}), tables);
    EXPECT_TRUE(result.trains.empty());
    // An effect of exactly 0 is fixed.
    result = calculatePlan(makeInput(3, {"20"}, {"", "2"}, {{1, 3, "10"}}), tables);
    EXPECT_EQ(result.trains, trains({{1, 3, 10}}));
}

// ---- Step snapshots ----

TEST(StepDisplay, WorkingFlowsAfterEachTrain)
{
    ResultTables tables;
    Recorder recorder;
    const auto result = calculatePlan(fourStations(), tables, recorder.hooks());
    ASSERT_EQ(recorder.snapshots.size(), 2u);
    EXPECT_EQ(recorder.trains, trains({{1, 3, 70}, {2, 4, 50}}));
    using Texts = std::vector<std::string>;
    const auto& first = recorder.snapshots[0];
    EXPECT_EQ(first.columnCount(), 3);
    EXPECT_EQ(first.rowCount(), 3);
    EXPECT_EQ(columnTexts(first, 0), (Texts{"0", "0", "10"}));
    EXPECT_EQ(columnTexts(first, 1), (Texts{"50", "20", ""}));
    EXPECT_EQ(columnTexts(first, 2), (Texts{"65", "", ""}));
    const auto& second = recorder.snapshots[1];
    EXPECT_EQ(columnTexts(second, 0), (Texts{"0", "0", "10"}));
    EXPECT_EQ(columnTexts(second, 1), (Texts{"0", "20", ""}));
    EXPECT_EQ(columnTexts(second, 2), (Texts{"65", "", ""}));
    ASSERT_EQ(recorder.plans.size(), 1u);
    EXPECT_EQ(recorder.plans[0], result.plan);
}

TEST(StepDisplay, NoTrainNoSnapshot)
{
    ResultTables tables;
    Recorder recorder;
    calculatePlan(makeInput(3, {"25"}, {"", "2"}, {{1, 3, "10"}}), tables, recorder.hooks());
    EXPECT_TRUE(recorder.snapshots.empty());
    EXPECT_EQ(recorder.plans.size(), 1u);
}

TEST(StepDisplay, SameResultWithAndWithoutSteps)
{
    ResultTables plain;
    ResultTables stepped;
    Recorder recorder;
    const auto a = calculatePlan(fourStations(), plain);
    const auto b = calculatePlan(fourStations(), stepped, recorder.hooks());
    EXPECT_EQ(a.plan, b.plan);
    EXPECT_EQ(a.trains, b.trains);
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(indicatorRow(plain, s), indicatorRow(stepped, s));
    EXPECT_EQ(totalsOf(plain), totalsOf(stepped));
}

// ---- Plan completion and indicators ----

TEST(PlanIndicators, ThreeStationsWithoutThroughTrain)
{
    ResultTables tables;
    const auto result = calculatePlan(
        makeInput(3, {"20", "4"}, {"", "1"}, {{1, 3, "10"}, {1, 2, "5"}, {2, 3, "7"}}), tables);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_EQ(result.plan.cell(0, 0), "");
    EXPECT_EQ(result.plan.cell(1, 1), "");
    EXPECT_EQ(result.plan.cell(0, 1), "15");
    EXPECT_EQ(result.plan.cell(1, 0), "17");
    EXPECT_EQ(indicatorRow(tables, 1), (Row{1, 1, 0, 20, 0, 20}));
    EXPECT_EQ(indicatorRow(tables, 2), (Row{2, 1, 10, 4, 10, 14}));
    EXPECT_EQ(totalsOf(tables), (Row{0, 2, 10, 24, 10, 34}));
}

TEST(PlanIndicators, ThreeStationsWithThroughTrain)
{
    ResultTables tables;
    const auto result = calculatePlan(
        makeInput(3, {"5", "4"}, {"", "1"}, {{1, 3, "10"}, {1, 2, "5"}, {2, 3, "7"}}), tables);
    EXPECT_EQ(result.trains, trains({{1, 3, 10}}));
    EXPECT_EQ(result.plan.cell(0, 0), "10");
    EXPECT_EQ(result.plan.cell(0, 1), "5");
    EXPECT_EQ(result.plan.cell(1, 0), "7");
    EXPECT_EQ(indicatorRow(tables, 1), (Row{1, 2, 0, 10, 0, 10}));
    EXPECT_EQ(indicatorRow(tables, 2), (Row{2, 1, 0, 4, 0, 4}));
    EXPECT_EQ(totalsOf(tables), (Row{0, 3, 0, 14, 0, 14}));
}

TEST(PlanIndicators, AllTekZeroGivesTheInputBack)
{
    ResultTables tables;
    const auto input = makeInput(5, {"10", "20", "30", "40"}, {},
                                 {{1, 5, "3"}, {1, 3, "4"}, {2, 5, "6"}, {3, 4, "7"}, {4, 5, "8"}});
    const auto result = calculatePlan(input, tables);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_EQ(result.plan, input.flows);
    for (int s = 1; s <= 4; ++s) {
        EXPECT_EQ(tables.indicator(3, s).toDouble(), 0);
        EXPECT_EQ(tables.indicator(5, s).toDouble(), 0);
    }
}

TEST(PlanIndicators, LocalTrainsStopAtPositiveTekOnly)
{
    // 1->5 with Tek 2: -1, 3: 0, 4: 2 goes 1->4 and 4->5; stations 2 and 3
    // are passed. Cm is high, so no through train is fixed.
    ResultTables tables;
    const auto result = calculatePlan(
        makeInput(5, {"1000", "1000", "1000", "1000"}, {"", "-1", "0", "2"}, {{1, 5, "9"}}),
        tables);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_EQ(planCell(result, 5, 1, 4), "9");
    EXPECT_EQ(planCell(result, 5, 4, 5), "9");
    EXPECT_EQ(planCell(result, 5, 1, 5), "");
    EXPECT_EQ(indicatorRow(tables, 4), (Row{4, 1, 9, 1000, 18, 1018}));
    EXPECT_EQ(tables.indicator(3, 2).toDouble(), 0);
}

TEST(PlanIndicators, NegativeFlowsAndFractionalTek)
{
    ResultTables tables;
    const auto result =
        calculatePlan(makeInput(3, {"100", "5"}, {"", "1.5"}, {{1, 3, "3"}, {1, 2, "-4"}}), tables);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_EQ(planCell(result, 3, 1, 2), "-1");
    EXPECT_EQ(planCell(result, 3, 2, 3), "3");
    // The negative element is no destination; 3 cars reprocessed at 1.5.
    EXPECT_EQ(indicatorRow(tables, 1), (Row{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(indicatorRow(tables, 2), (Row{2, 1, 3, 5, 4.5, 9.5}));
    EXPECT_EQ(totalsOf(tables), (Row{0, 1, 3, 5, 4.5, 9.5}));
}

TEST(PlanIndicators, ValuesOutsideTheTriangle)
{
    // Cell (1, 1) of a 3-station line is station 2's self element.
    ResultTables tables;
    auto input = makeInput(3, {"5", "4"}, {"", "1"}, {{1, 3, "10"}, {2, 3, "7"}});
    input.flows.setCell(1, 1, "6");
    const auto result = calculatePlan(input, tables);
    EXPECT_EQ(result.trains, trains({{1, 3, 10}}));
    EXPECT_EQ(result.plan.cell(1, 1), "");
    EXPECT_EQ(tables.indicator(3, 2).toDouble(), -6);
    EXPECT_EQ(tables.indicator(5, 2).toDouble(), -6);
}

TEST(PlanIndicators, RowsBeyondTheLineKeepTheirValues)
{
    ResultTables tables = markedTables(77);
    calculatePlan(makeInput(8, {"1", "1", "1", "1", "1", "1", "1"}, {"", "1"}, {{1, 8, "5"}}),
                  tables);
    calculatePlan(makeInput(5, {"3"}, {}, {}), tables);
    EXPECT_EQ(indicatorRow(tables, 4), (Row{4, 0, 0, 0, 0, 0}));
    EXPECT_EQ(indicatorRow(tables, 5)[0], 5); // from the 8-station run
    EXPECT_EQ(indicatorRow(tables, 7)[0], 7);
    EXPECT_EQ(indicatorRow(tables, 8), Row(6, 77)); // never written
    EXPECT_EQ(tables.total(1).toDouble(), 0);
}

// ---- Reading the input ----

TEST(PlanInput, NotEnoughData)
{
    ResultTables tables = markedTables(3);
    Recorder recorder;
    // Flows are not even read: their letters raise nothing.
    auto input = makeInput(4, {}, {}, {{1, 4, "abc"}});
    input.stationParams.setCell(3, 0, "5"); // station N is not read
    input.stationParams.setCell(3, 1, "5");
    const auto result = calculatePlan(input, tables, recorder.hooks());
    EXPECT_EQ(result.status, CalcStatus::NotEnoughData);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_TRUE(recorder.plans.empty());
    expectUntouched(tables, 3);
}

TEST(PlanInput, BlanksAreZeroButCountAsData)
{
    ResultTables tables;
    const auto result =
        calculatePlan(makeInput(3, {" "}, {}, {{1, 3, "  \t"}, {1, 2, " 4 "}}), tables);
    EXPECT_EQ(result.status, CalcStatus::Completed);
    EXPECT_EQ(planCell(result, 3, 1, 2), "4");
    EXPECT_EQ(planCell(result, 3, 1, 3), "");
}

TEST(PlanInput, ErrorOrder)
{
    ResultTables tables = markedTables(9);
    Recorder recorder;
    auto input = makeInput(4, {"1", " c2 ", "c3"}, {"1", "t2", "t3"}, {{1, 4, "f"}});
    // Column by column, Cm before Tek: station 2's Cm comes first, trimmed.
    EXPECT_EQ(errorOf(input, tables, recorder.hooks()), "'c2' is not a valid integer value");
    input.stationParams.setCell(1, 0, "2");
    EXPECT_EQ(errorOf(input, tables), "'t2' is not a valid floating point value");
    input.stationParams.setCell(1, 1, "2");
    EXPECT_EQ(errorOf(input, tables), "'c3' is not a valid integer value");
    input.stationParams.setCell(2, 0, "3");
    input.stationParams.setCell(2, 1, "3");
    // Then the flows row by row: (2, 0) before (0, 1).
    input.flows.setCell(0, 0, "");
    input.flows.setCell(0, 1, " r1 ");
    input.flows.setCell(2, 0, "r0");
    EXPECT_EQ(errorOf(input, tables), "'r0' is not a valid integer value");
    input.flows.setCell(2, 0, "");
    EXPECT_EQ(errorOf(input, tables), "'r1' is not a valid integer value");
    // Outside the triangle too.
    input.flows.setCell(0, 1, "");
    input.flows.setCell(2, 2, "x");
    EXPECT_EQ(errorOf(input, tables), "'x' is not a valid integer value");
    EXPECT_TRUE(recorder.plans.empty());
    expectUntouched(tables, 9);
}

TEST(PlanInput, BadCellWithOtherwiseEmptyParams)
{
    ResultTables tables;
    EXPECT_EQ(errorOf(makeInput(4, {"", "", "1e3"}, {}, {}), tables),
              "'1e3' is not a valid integer value");
}

TEST(PlanInput, TekOfFirstStationIsConvertedButIgnored)
{
    ResultTables tables;
    EXPECT_EQ(errorOf(makeInput(3, {"5"}, {"x"}, {}), tables),
              "'x' is not a valid floating point value");
    EXPECT_EQ(errorOf(makeInput(3, {"5"}, {"1e39"}, {}), tables), "Floating point overflow");
    calculatePlan(makeInput(3, {"5", "1"}, {"1000", "1"}, {{1, 3, "10"}, {1, 2, "2"}}), tables);
    EXPECT_EQ(tables.indicator(5, 1).toDouble(), 0);
}

TEST(PlanInput, DecimalComma)
{
    ResultTables tables;
    EXPECT_EQ(errorOf(makeInput(3, {"5"}, {"", "1.5"}, {}, ","), tables),
              "'1.5' is not a valid floating point value");
    const auto result =
        calculatePlan(makeInput(3, {"100", "1"}, {"", " 1,5 "}, {{1, 3, "2"}}, ","), tables);
    EXPECT_EQ(result.status, CalcStatus::Completed);
    EXPECT_EQ(tables.indicator(5, 2).toDouble(), 3.0); // 1.5 x 2 cars
}

TEST(PlanInput, WholeNumberForms)
{
    ResultTables tables;
    const auto result =
        calculatePlan(makeInput(3, {"$64", "+1"}, {"", "0"}, {{1, 3, "$A"}, {2, 3, "-0"}}), tables);
    EXPECT_EQ(planCell(result, 3, 1, 3), "10");
    EXPECT_EQ(tables.indicator(4, 1).toDouble(), 100);
}

// ---- Rounding at the store points ----

TEST(PlanRounding, EffectsTieAfterRounding)
{
    // 1->3: (1 + 2^-39) * 2^20 - 1 = 2^20 - 1 + 2^-19 exactly.
    // 2->4: (1 + 2^-39) * (2^20 + 1) - 2 = 2^20 - 1 + 2^-19 + 2^-39, stored
    // as the same 40-bit value. The tie goes to 1->3, first in scan order.
    const std::string tek = "1.000000000001818989403545856475830078125";
    ResultTables tables;
    const auto result = calculatePlan(
        makeInput(4, {"1", "2", "1"}, {"", tek, tek}, {{1, 3, "1048576"}, {2, 4, "1048577"}}),
        tables);
    ASSERT_FALSE(result.trains.empty());
    EXPECT_EQ(result.trains[0], (FixedTrain{1, 3, 1048576}));
}

TEST(PlanRounding, TekSumStoredAfterEachAddition)
{
    // 2->6 passes Tek 1, 2^-40, 2^-40: stored after each addition the sum is
    // 1 + 2^-38 (two ties, each away from zero), rounded once it would be
    // 1 + 2^-39. 1->3 has effect (1 + 2^-39) * 2^20 - 1, which 2->6 beats
    // only with the sum stored step by step.
    const std::string tek2 = "1.000000000001818989403545856475830078125";
    const std::string tiny = "9.094947017729282379150390625E-13";
    ResultTables tables;
    const auto result =
        calculatePlan(makeInput(6, {"1", "1", "1", "1", "1"}, {"", tek2, "1", tiny, tiny},
                                {{1, 3, "1048576"}, {2, 6, "1048576"}}),
                      tables);
    ASSERT_FALSE(result.trains.empty());
    EXPECT_EQ(result.trains[0], (FixedTrain{2, 6, 1048576}));
}

TEST(PlanRounding, IndicatorsStoredFromStoredValues)
{
    // Tek 0.1 is stored as 0x1.999999999ap-4; 3 cars give 0.3 formed from
    // that stored value and stored again.
    ResultTables tables;
    calculatePlan(makeInput(3, {"100", "0"}, {"", "0.1"}, {{1, 3, "3"}}), tables);
    const Wide tek = Real40::fromWide(0.1L).wide();
    EXPECT_EQ(tables.indicator(5, 2), Real40::fromWide(tek * 3));
    EXPECT_EQ(tables.indicator(6, 2), Real40::fromWide(Real40::fromWide(tek * 3).wide()));
    EXPECT_NE(tables.indicator(5, 2).toDouble(), 0.3);
}

// ---- Faults: searches that would not end, counts beyond 32 bits ----

TEST(PlanFaults, EmptyBlockEndsTheSearch)
{
    // The scan chooses 2->4 (effect 239); both gains are 1, so origin and
    // destination move together onto 1->5, whose block is empty. Fixing it
    // would change nothing and be repeated forever: the search ends there,
    // with nothing moved, and every pair goes in local trains.
    ResultTables tables;
    Recorder recorder;
    const auto result = calculatePlan(makeInput(5, {"1", "1", "100", "1"}, {"", "1", "10", "1"},
                                                {{2, 4, "20"}, {1, 4, "2"}, {2, 5, "2"}}),
                                      tables, recorder.hooks());
    EXPECT_EQ(result.status, CalcStatus::Completed);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_TRUE(recorder.snapshots.empty());
    ASSERT_EQ(recorder.plans.size(), 1u);
    using Texts = std::vector<std::string>;
    EXPECT_EQ(columnTexts(result.plan, 0), (Texts{"", "", "", "2"}));
    EXPECT_EQ(columnTexts(result.plan, 1), (Texts{"", "", "24", ""}));
    EXPECT_EQ(columnTexts(result.plan, 2), (Texts{"", "24", "", ""}));
    EXPECT_EQ(columnTexts(result.plan, 3), (Texts{"2", "", "", ""}));
    EXPECT_EQ(indicatorRow(tables, 3), (Row{3, 1, 24, 100, 240, 340}));
}

TEST(PlanFaults, ZeroCmWithoutCarsEndsTheSearch)
{
    ResultTables tables;
    Recorder recorder;
    const auto result =
        calculatePlan(makeInput(4, {"", "", ""}, {"", "1", "1"}, {}), tables, recorder.hooks());
    EXPECT_EQ(result.status, CalcStatus::Completed);
    EXPECT_TRUE(result.trains.empty());
    EXPECT_TRUE(recorder.snapshots.empty());
}

TEST(PlanFaults, CandidateCarsBeyond32Bits)
{
    ResultTables tables = markedTables(5);
    Recorder recorder;
    // 2->4's block holds 1->4 and 2->4.
    const auto input =
        makeInput(4, {"1", "1", "1"}, {"", "1", "1"}, {{1, 4, "2147483647"}, {2, 4, "1"}});
    EXPECT_EQ(errorOf(input, tables, recorder.hooks()), "Integer overflow");
    EXPECT_TRUE(recorder.plans.empty());
    expectUntouched(tables, 5);
}

TEST(PlanFaults, MoveBeyond32Bits)
{
    // 1->3 is fixed and moves the 1->4 cars onto 3->4.
    ResultTables tables = markedTables(5);
    Recorder recorder;
    const auto input =
        makeInput(4, {"0", "1", "1"}, {"", "2", "-1"}, {{1, 4, "2147483647"}, {3, 4, "1"}});
    EXPECT_EQ(errorOf(input, tables, recorder.hooks()), "Integer overflow");
    EXPECT_TRUE(recorder.snapshots.empty());
    expectUntouched(tables, 5);
}

TEST(PlanFaults, LocalTrainBeyond32Bits)
{
    ResultTables tables = markedTables(5);
    const auto input =
        makeInput(3, {"2147483647", "1"}, {"", "0.5"}, {{1, 3, "2147483647"}, {2, 3, "1"}});
    EXPECT_EQ(errorOf(input, tables), "Integer overflow");
    expectUntouched(tables, 5);
}

TEST(PlanFaults, ReprocessedCarsCheckedAsAWhole)
{
    // Station 2: (-10 from the negative flow) + (0 - (-2^31)) outside the
    // triangle = 2^31 - 10, within range although one term is not.
    ResultTables tables;
    auto input = makeInput(3, {"1000", "1"}, {"", "1"}, {{1, 3, "-10"}});
    input.flows.setCell(1, 1, "-2147483648");
    calculatePlan(input, tables);
    EXPECT_EQ(tables.indicator(3, 2).toDouble(), 2147483638.0);
    // With one car instead the whole is 2^31 + 1.
    input.flows.setCell(0, 0, "1");
    EXPECT_EQ(errorOf(input, tables), "Integer overflow");
}

TEST(PlanFaults, FloatOverflowInTheSearch)
{
    ResultTables tables = markedTables(5);
    Recorder recorder;
    EXPECT_EQ(errorOf(makeInput(4, {"1"}, {"", "1e38", "1e38"}, {}), tables, recorder.hooks()),
              "Floating point overflow");
    EXPECT_EQ(errorOf(makeInput(3, {"1"}, {"", "1e38"}, {{1, 3, "2"}}), tables),
              "Floating point overflow");
    EXPECT_TRUE(recorder.plans.empty());
    expectUntouched(tables, 5);
}

TEST(PlanFaults, FloatOverflowInTheIndicators)
{
    // Station 2 reprocesses the 10 cars taken off its self element.
    ResultTables tables = markedTables(5);
    Recorder recorder;
    auto input = makeInput(3, {"5", "7"}, {"", "1.7e38"}, {});
    input.flows.setCell(1, 1, "-10");
    EXPECT_EQ(errorOf(input, tables, recorder.hooks()), "Floating point overflow");
    ASSERT_EQ(recorder.plans.size(), 1u); // the plan was delivered first
    EXPECT_EQ(indicatorRow(tables, 1), (Row{1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(indicatorRow(tables, 2), (Row{2, 0, 10, 0, 5, 5}));
    EXPECT_EQ(totalsOf(tables), (Row{0, 0, 0, 0, 0, 0}));
}

TEST(PlanInput, StationCountKeptWithinTheLineLimits)
{
    // Like the station-count control, the calculation keeps N within 3..21.
    ResultTables tables;
    auto input = makeInput(3, {"5", "4"}, {"", "1"}, {{1, 3, "10"}, {1, 2, "5"}, {2, 3, "7"}});
    input.stationCount = 2;
    EXPECT_EQ(calculatePlan(input, tables).plan.columnCount(), 2);
    input.stationCount = 40;
    EXPECT_EQ(calculatePlan(input, tables).plan.columnCount(), kMaxStations - 1);
}

// ---- The indicators of a given plan ----

TEST(PlanEvaluation, CalculatedPlanGivesTheCalculatedIndicators)
{
    const CalcInput input = fourStations();
    ResultTables calculated;
    const CalcResult result = calculatePlan(input, calculated);
    // The final plan read back from its texts: 1-3 70, 1-2 10, 2-4 50, 2-3 20, 3-4 65.
    const std::vector<FixedTrain> plan = {
        {1, 3, 70}, {1, 2, 10}, {2, 4, 50}, {2, 3, 20}, {3, 4, 65}};
    ResultTables evaluated = markedTables(9);
    const CalcResult again = evaluatePlan(input, plan, evaluated);
    ASSERT_EQ(again.status, CalcStatus::Completed);
    EXPECT_EQ(again.plan, result.plan);
    EXPECT_EQ(again.trains, plan);
    for (int s = 1; s <= 3; ++s)
        EXPECT_EQ(indicatorRow(evaluated, s), indicatorRow(calculated, s)) << s;
    EXPECT_EQ(totalsOf(evaluated), (Row{0, 5, 40, 420, 80, 500}));
    // Rows beyond N - 1 are left as they were.
    EXPECT_EQ(evaluated.indicator(1, 4).toDouble(), 9);
}

TEST(PlanEvaluation, EntriesOfOneTrainAddUpAndEmptyTrainsAreNoDestinations)
{
    ResultTables tables;
    const CalcResult result =
        evaluatePlan(fourStations(), {{1, 4, 30}, {1, 4, 10}, {2, 3, 0}}, tables);
    EXPECT_EQ(result.plan.cell(0, 0), "40");
    EXPECT_EQ(result.plan.cell(1, 1), "");
    EXPECT_EQ(tables.indicator(2, 1).toDouble(), 1);
    EXPECT_EQ(tables.indicator(2, 2).toDouble(), 0);
}

TEST(PlanEvaluation, NotEnoughDataAndTrainsOffTheLine)
{
    ResultTables tables = markedTables(3);
    EXPECT_EQ(evaluatePlan(makeInput(4, {}, {}, {{1, 4, "40"}}), {{1, 4, 40}}, tables).status,
              CalcStatus::NotEnoughData);
    expectUntouched(tables, 3);
    EXPECT_THROW(evaluatePlan(fourStations(), {{3, 3, 1}}, tables), std::invalid_argument);
    EXPECT_THROW(evaluatePlan(fourStations(), {{1, 5, 1}}, tables), std::invalid_argument);
    EXPECT_THROW(evaluatePlan(fourStations(), {{0, 2, 1}}, tables), std::invalid_argument);
}
