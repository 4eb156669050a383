// The exact optimum kept by the planning session: solving the last completed
// calculation's input, what is stored and when it is cleared, the comparison
// with the calculated plan and the text section that follows the report.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "calc/error.h"
#include "calc/testing/line_inputs.h"
#include "workbook/exactplan.h"
#include "workbook/workbook.h"

using zeltrac::ExactPlan;
using zeltrac::Workbook;
using zeltrac::optimum::Options;
using zeltrac::optimum::Solution;
using zeltrac::optimum::Status;

namespace {

// A line typed into the session cell by cell, the empty cells left alone.
void typeInput(Workbook& workbook, const zeltrac::CalcInput& input)
{
    workbook.setStationCount(input.stationCount);
    const auto typeCells = [](const zeltrac::TextTable& table, const auto& type) {
        for (int c = 0; c < table.columnCount(); ++c)
            for (int r = 0; r < table.rowCount(); ++r)
                if (!table.cell(c, r).empty())
                    type(c, r, QString::fromStdString(table.cell(c, r)));
    };
    typeCells(input.stationParams,
              [&](int c, int r, const QString& text) { workbook.setParam(c, r, text); });
    typeCells(input.flows,
              [&](int c, int r, const QString& text) { workbook.setFlow(c, r, text); });
}

// A five-station line whose calculated plan costs 75 car-hours while the
// cheapest costs 46 (checked by brute force in the optimum library's tests).
void typeDearLine(Workbook& workbook)
{
    typeInput(workbook, zeltrac::testing::dearLine());
}

std::vector<std::string> sectionOf(const ExactPlan& plan)
{
    std::vector<std::string> lines;
    plan.appendSection(lines);
    return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(SessionExactPlan, NeedsACompletedCalculation)
{
    Workbook workbook;
    try {
        workbook.computeExactPlan();
        FAIL() << "no error";
    } catch (const zeltrac::Error& e) {
        EXPECT_STREQ(e.what(), "Нет рассчитанного плана.");
    }
    EXPECT_EQ(workbook.exactPlan(), nullptr);

    // A calculation without data leaves none to solve either.
    typeDearLine(workbook);
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    for (int column = 0; column < 5; ++column)
        for (int row = 0; row < 2; ++row)
            workbook.setParam(column, row, QString());
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::NotEnoughData);
    EXPECT_THROW(workbook.computeExactPlan(), zeltrac::Error);
}

TEST(SessionExactPlan, SolvesTheLastCalculationAndKeepsItUntilTheNext)
{
    Workbook workbook;
    typeDearLine(workbook);
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    // Input typed after the calculation is not what gets solved.
    workbook.setFlow(0, 3, QStringLiteral("400"));

    QSignalSpy changed(&workbook, &Workbook::exactPlanChanged);
    const ExactPlan& plan = workbook.computeExactPlan();
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(workbook.exactPlan(), &plan);
    EXPECT_EQ(plan.status(), Status::Optimal);
    EXPECT_EQ(plan.stationCount(), 5);
    EXPECT_EQ(plan.analyticalCost(), 75);
    EXPECT_EQ(plan.cost(), 46);
    EXPECT_EQ(plan.saving(), 29);
    EXPECT_DOUBLE_EQ(plan.savingPercent(), 29.0 / 75.0 * 100.0);
    // The calculated plan's tables are the session's own.
    for (int station = 1; station <= 4; ++station)
        for (int column = 1; column <= 6; ++column)
            EXPECT_EQ(plan.calculated().tables.indicator(column, station),
                      workbook.resultTables().indicator(column, station));

    // Station 2 re-forms 7 cars in the exact plan; the total differs.
    EXPECT_TRUE(plan.indicatorDiffers(3, 2));
    EXPECT_TRUE(plan.totalDiffers(6));
    // The station column and addresses outside the plan never differ.
    EXPECT_FALSE(plan.indicatorDiffers(1, 2));
    EXPECT_FALSE(plan.indicatorDiffers(3, 5));
    EXPECT_FALSE(plan.totalDiffers(1));

    // The copied plans: the exact one under its title after the calculated one.
    const QString html = workbook.planClipboardData()->html();
    const qsizetype exactTitle =
        html.indexOf(QStringLiteral("<th>Точный оптимум: план формирования"));
    EXPECT_GT(exactTitle, html.indexOf(QStringLiteral("<tr><th>План формирования</th></tr>")));
    EXPECT_EQ(html.count(QStringLiteral("<th>Назначение \\ Отправление</th><th>1</th>")), 2);
    EXPECT_EQ(workbook.planClipboardData()->text(), workbook.planClipboardText());

    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    EXPECT_EQ(workbook.exactPlan(), nullptr);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(workbook.planClipboardData()->html().contains(QStringLiteral("Точный")));
}

TEST(SessionExactPlan, CancelledOrStaleSolutionsAreNotStored)
{
    Workbook workbook;
    typeDearLine(workbook);
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    const quint64 first = workbook.calculationNumber();

    const auto cancelled = [](const zeltrac::CalcInput& input,
                              const zeltrac::optimum::CalculatedPlan& calculated,
                              const Options& options) {
        Solution solution = zeltrac::optimum::solveExact(input, calculated, options);
        solution.model = zeltrac::optimum::ModelStatus::Feasible;
        solution.call = zeltrac::optimum::CallStatus::Cancelled;
        return solution;
    };
    const ExactPlan& plan = workbook.computeExactPlan({}, cancelled);
    EXPECT_EQ(plan.status(), Status::Cancelled);
    EXPECT_EQ(plan.cost(), 46);
    EXPECT_EQ(workbook.exactPlan(), nullptr);

    // A result for a calculation that is no longer the last one.
    const Solution solved =
        zeltrac::optimum::solveExact(workbook.lastInput(), workbook.calculatedPlan());
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    EXPECT_GT(workbook.calculationNumber(), first);
    EXPECT_FALSE(workbook.storeExactPlan(first, solved));
    EXPECT_EQ(workbook.exactPlan(), nullptr);
    EXPECT_TRUE(workbook.storeExactPlan(workbook.calculationNumber(), solved));
    ASSERT_NE(workbook.exactPlan(), nullptr);
    EXPECT_EQ(workbook.exactPlan()->cost(), 46);
}

TEST(SessionExactPlan, TheSolverGetsTheCallersOptions)
{
    Workbook workbook;
    typeDearLine(workbook);
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    double limit = 0;
    int stations = 0;
    Options options;
    options.timeLimitSeconds = 2.5;
    workbook.computeExactPlan(options, [&](const zeltrac::CalcInput& input,
                                           const zeltrac::optimum::CalculatedPlan& calculated,
                                           const Options& o) {
        limit = o.timeLimitSeconds;
        stations = input.stationCount;
        return zeltrac::optimum::solveExact(input, calculated, o);
    });
    EXPECT_EQ(limit, 2.5);
    EXPECT_EQ(stations, 5);
}

TEST(ExactPlanSection, ShowsThePlanTheMarkedRowsAndTheComparison)
{
    Workbook workbook;
    typeDearLine(workbook);
    ASSERT_EQ(workbook.calculate(), zeltrac::CalcStatus::Completed);
    const ExactPlan& plan = workbook.computeExactPlan();
    const std::vector<std::string> lines = sectionOf(plan);

    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "ТОЧНЫЙ ОПТИМУМ");
    EXPECT_EQ(lines[3], "Статус: Оптимум доказан");
    // The plan's first row: 1->5 none, 2->5 6 cars, 3->5 none, 4->5 10 cars
    // (trains 1-2 11, 1-4 9, 2-3 8, 2-4 2, 2-5 6, 3-4 4, 4-5 10).
    EXPECT_TRUE(contains(lines, "          0     6     0    10"));
    EXPECT_TRUE(contains(lines, "          9     2     4"));
    EXPECT_TRUE(contains(lines, "          0     8"));
    EXPECT_TRUE(contains(lines, "         11"));
    // Station 2: 3 destinations, 7 cars, 9 + 7 car-hours; differs.
    EXPECT_TRUE(contains(lines, "        2        3        7        9        7       16 *"));
    EXPECT_TRUE(contains(lines, "Рассчитанный план, ваг.-ч: 75.00"));
    EXPECT_TRUE(contains(lines, "Точный оптимум, ваг.-ч:    46.00"));
    EXPECT_TRUE(contains(lines, "Экономия, ваг.-ч:          29.00 (38.67 %)"));
    EXPECT_EQ(lines.back().rfind("Время решения, с:          ", 0), 0u);

    // Every station row ends with " *" exactly when one of its indicators differs.
    int rows = 0;
    for (const std::string& line : lines) {
        for (int station = 1; station <= 4; ++station) {
            const std::string start = "        " + std::to_string(station) + "        ";
            if (line.rfind(start, 0) != 0 || line.size() < 54)
                continue;
            ++rows;
            bool differs = false;
            for (int column = 2; column <= 6; ++column)
                differs = differs || plan.indicatorDiffers(column, station);
            EXPECT_EQ(line.size() >= 2 && line.substr(line.size() - 2) == " *", differs) << line;
        }
    }
    EXPECT_EQ(rows, 4);
}

TEST(ExactPlanSection, OutsideTheModelGivesTheReasonOnly)
{
    Solution solution;
    solution.model = zeltrac::optimum::ModelStatus::NotCovered;
    solution.message = "Отрицательное Cm станции 2";
    const ExactPlan plan(solution, {}, 4);
    EXPECT_FALSE(plan.hasPlan());
    EXPECT_EQ(plan.saving(), 0);
    EXPECT_EQ(plan.savingPercent(), 0);
    const std::vector<std::string> expected = {
        "", "ТОЧНЫЙ ОПТИМУМ", "", "Статус: Точный оптимум не найден: Отрицательное Cm станции 2"};
    EXPECT_EQ(sectionOf(plan), expected);
}

TEST(ExactPlanSection, TimeLimitNamesTheBound)
{
    using zeltrac::PlanKind;
    using zeltrac::optimum::CallStatus;
    using zeltrac::optimum::ModelStatus;
    // What the solve found and how it ended, told apart, for either kind.
    struct Case
    {
        ModelStatus model;
        CallStatus call;
        bool complete;
        PlanKind kind;
        std::string text;
    };
    const std::string bound = ": лучший найденный план, нижняя граница 101.13 ваг.-ч";
    const Case cases[] = {
        {ModelStatus::Feasible, CallStatus::TimeLimit, true, PlanKind::Optimum,
         "Предел времени исчерпан" + bound},
        {ModelStatus::Feasible, CallStatus::Cancelled, true, PlanKind::Optimum, "Отменено" + bound},
        {ModelStatus::NoPlan, CallStatus::TimeLimit, true, PlanKind::OptimumUnderConditions,
         "Время истекло раньше, чем найден план, удовлетворяющий условиям"},
        {ModelStatus::NoPlan, CallStatus::Cancelled, true, PlanKind::OptimumUnderConditions,
         "Отменено раньше, чем найден план, удовлетворяющий условиям"},
        {ModelStatus::Optimal, CallStatus::Completed, true, PlanKind::OptimumUnderConditions,
         "Оптимум при условиях доказан"},
        {ModelStatus::Optimal, CallStatus::Cancelled, false, PlanKind::Optimum,
         "Оптимум доказан; список вариантов неполон: поиск отменен"},
        {ModelStatus::Optimal, CallStatus::TimeLimit, false, PlanKind::OptimumUnderConditions,
         "Оптимум при условиях доказан; список вариантов неполон: время истекло"},
    };
    for (const Case& c : cases) {
        Solution solution;
        solution.model = c.model;
        solution.call = c.call;
        solution.variantsComplete = c.complete;
        solution.best.cost = 120;
        solution.bound = 101.126;
        const ExactPlan plan(solution, {}, 3, c.kind);
        EXPECT_EQ(plan.statusText(), c.text);
    }
}

TEST(ExactPlanSection, FixedTextIsLocaleFreeAndNeverNegativeZero)
{
    EXPECT_EQ(zeltrac::fixedText(38.666666, 2), "38.67");
    EXPECT_EQ(zeltrac::fixedText(-0.001, 2), "0.00");
    EXPECT_EQ(zeltrac::fixedText(-1.5, 1), "-1.5");
    EXPECT_EQ(zeltrac::fixedText(0.0126, 3), "0.013");
    EXPECT_EQ(zeltrac::fixedText(std::numeric_limits<double>::quiet_NaN(), 2), "-");
}
