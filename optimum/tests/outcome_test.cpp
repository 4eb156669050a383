#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <new>
#include <stdexcept>

#include <coin/CoinError.hpp>

#include "calc/error.h"
#include "calc/numtext.h"
#include "optimum/program.h"
#include "optimum/variants.h"
#include "optimum_test_support.h"

using namespace zeltrac;
using namespace zeltrac::optimum;
using namespace zeltrac::optimum::testing;

namespace {

std::string text(double value, bool whole = false)
{
    char buffer[64];
    const auto end =
        whole
            ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0).ptr
            : std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

// The line with every Tек multiplied by `scale`, and every Cm (whole
// numbers) by as much of it as they hold: by 1e6 at most, by none below 1.
CalcInput scaled(CalcInput input, double scale)
{
    for (int c = 0; c < input.stationCount; ++c) {
        for (int r = 0; r < 2; ++r) {
            const std::string cell(numtext::trim(input.stationParams.cell(c, r)));
            if (cell.empty())
                continue;
            const double value = std::stod(cell);
            input.stationParams.setCell(c, r,
                                        r == 1 ? text(value * scale)
                                               : text(value * std::clamp(scale, 1.0, 1e6), true));
        }
    }
    return input;
}

// N stations, every Cm `cm`, every Tек `tek`, 100 cars between every pair.
CalcInput uniformLine(int n, const std::string& cm, const std::string& tek)
{
    std::vector<std::string> cms(n - 1, cm), teks(n - 1, tek);
    cms.push_back("");
    teks.front() = "0";
    teks.push_back("");
    std::vector<Flow> flows;
    for (int a = 1; a < n; ++a)
        for (int b = a + 1; b <= n; ++b)
            flows.push_back({a, b, "100"});
    return makeInput(n, cms, teks, flows);
}

void expectRelativelyEqual(double reported, long double exact, const std::string& what)
{
    EXPECT_LE(std::fabs(reported - static_cast<double>(exact)),
              1e-9 * std::fabs(static_cast<double>(exact)))
        << what << ": " << reported << " against " << static_cast<double>(exact);
}

} // namespace

// "optimal" holds at every magnitude of the costs: the optimum and the first
// variant equal the cheapest of every plan, relatively, for costs from 1e-9
// to 1e9, and the bound equals the cost.
TEST(ExactMagnitudes, OptimumMatchesEveryPlanFromTinyToHugeCosts)
{
    Random random(505);
    for (const double scale : {1e-9, 1e-6, 1e-3, 1.0, 1e3, 1e6, 1e9}) {
        for (int k = 0; k < 12; ++k) {
            LineShape shape;
            shape.stations = random.between(3, 6);
            shape.minCm = scale < 1 ? 0 : 1;
            shape.maxCm = scale < 1 ? 0 : 700;
            const CalcInput input = scaled(randomLine(shape, random), scale);
            const std::string label = "scale " + text(scale) + " line " + std::to_string(k);
            const long double reference = bruteForceOptimum(input);
            for (const int variants : {0, 2}) {
                const Solution s =
                    variants == 0 ? solveExact(input, calculated(input))
                                  : solveExact(input, calculated(input), Conditions{}, variants);
                ASSERT_EQ(s.status(), Status::Optimal) << label << ": " << s.message;
                expectRelativelyEqual(s.best.cost, reference, label);
                EXPECT_EQ(s.bound, s.best.cost) << label;
                if (variants > 0)
                    expectRelativelyEqual(s.variants.at(0).cost, reference, label);
            }
        }
    }
}

// Cm 0 and Tек 1e-9: every train direct costs nothing, and nothing dearer is
// "optimal"; every value tied: the optimum whatever the variants asked for.
TEST(ExactMagnitudes, TinyAndTiedLinesKeepTheirOptimumWithVariants)
{
    struct Case
    {
        CalcInput input;
        double optimum;
    };
    const Case cases[] = {
        {uniformLine(21, "0", "1e-9"), 0},
        {uniformLine(21, "500", "5.0"), 105000},
    };
    for (const Case& c : cases) {
        for (const int variants : {0, 1, 2, 10}) {
            Options options;
            options.timeLimitSeconds = 1;
            const Solution s = variants == 0 ? solveExact(c.input, calculated(c.input), options)
                                             : solveExact(c.input, calculated(c.input),
                                                          Conditions{}, variants, options);
            ASSERT_EQ(s.status(), Status::Optimal) << c.optimum << " " << variants;
            EXPECT_EQ(s.best.cost, c.optimum) << variants;
            if (variants == 0)
                continue;
            ASSERT_FALSE(s.variants.empty());
            EXPECT_EQ(s.variants.front().cost, c.optimum);
            // A short list says so, and why.
            if (static_cast<int>(s.variants.size()) < variants && !s.variantsComplete) {
                EXPECT_EQ(s.call, CallStatus::TimeLimit);
            }
        }
    }
}

// A variant list cut short is not "complete"; one with every plan there is.
TEST(ExactVariants, CompletenessIsToldApartFromTheProof)
{
    const CalcInput three =
        makeInput(3, {"5", "4"}, {"0", "1"}, {{1, 3, "10"}, {1, 2, "5"}, {2, 3, "7"}});
    const Solution all = solveExact(three, calculated(three), Conditions{}, 10);
    EXPECT_EQ(all.variants.size(), 2u);
    EXPECT_TRUE(all.variantsComplete);
    EXPECT_EQ(all.call, CallStatus::Completed);

    Random random(77);
    LineShape shape;
    shape.stations = 14;
    const CalcInput dense = randomLine(shape, random);
    Options options;
    options.timeLimitSeconds = 1;
    const Solution cut = solveExact(dense, calculated(dense), Conditions{}, 10, options);
    ASSERT_EQ(cut.status(), Status::Optimal);
    EXPECT_EQ(cut.variantsComplete, cut.variants.size() == 10u);
    if (!cut.variantsComplete) {
        EXPECT_EQ(cut.call, CallStatus::TimeLimit);
    }
}

// Advice names a condition only when dropping it is proven to leave a plan:
// every train of a line forbidden (each listed twice), at any time limit.
TEST(ExactConditions, InfeasibleAdviceIsProvenOrSaysTheTimeRanOut)
{
    const CalcInput input = uniformLine(6, "10", "1");
    Conditions all;
    for (int twice = 0; twice < 2; ++twice)
        for (int a = 1; a < 6; ++a)
            for (int b = a + 1; b <= 6; ++b)
                all.forbidden.push_back({a, b});
    const std::string none = "Нет плана, удовлетворяющего условиям";
    for (const double limit : {1e-4, 1e-3, 1e-2, 0.05, 10.0}) {
        Options options;
        options.timeLimitSeconds = limit;
        const Solution s = solveExact(input, calculated(input), all, 1, options);
        if (s.model == ModelStatus::NoPlan) {
            EXPECT_NE(s.call, CallStatus::Completed) << limit;
            continue;
        }
        ASSERT_EQ(s.status(), Status::Infeasible) << limit;
        EXPECT_TRUE(
            s.message ==
                none + "; ни одно условие в отдельности этого не меняет, ослабьте несколько" ||
            s.message == none + "; время истекло раньше, чем проверено, какое условие ослабить")
            << limit << ": " << s.message;
        if (limit == 10.0) {
            EXPECT_EQ(s.message,
                      none + "; ни одно условие в отдельности этого не меняет, ослабьте несколько");
        }
    }
}

// A starting plan that leaves a flow without a train: the solve still ends,
// with the optimum.
TEST(ExactStart, AStartingPlanLeavingAFlowUncoveredIsSolvedPast)
{
    const CalcInput input = uniformLine(7, "10", "1");
    const Solution reference = solveExact(input, calculated(input));
    CalculatedPlan empty;
    empty.plan = TextTable(6, 6);
    const Solution s = solveExact(input, empty);
    ASSERT_EQ(s.status(), Status::Optimal);
    EXPECT_EQ(s.best.cost, reference.best.cost);
}

// Whatever the solve throws becomes an outcome with its message.
TEST(ExactFailures, EveryExceptionBecomesAFailedCallWithItsMessage)
{
    struct Case
    {
        std::function<void()> raise;
        std::string message;
    };
    const Case cases[] = {
        {[] { throw Error("Числа слишком велики"); }, "Числа слишком велики"},
        {[] { throw CoinError("singular", "factorize", "ClpSimplex"); },
         "Ошибка решателя: singular (ClpSimplex::factorize)"},
        {[] { throw std::bad_alloc(); }, "Недостаточно памяти для точного расчёта"},
        {[] { throw std::runtime_error("сбой"); }, "Ошибка точного расчёта: сбой"},
        {[] { throw 42; }, "Ошибка точного расчёта"},
    };
    const CalcInput input = uniformLine(4, "10", "1");
    for (const Case& c : cases) {
        const Solution s = detail::runSolve(
            input, {}, [&](const Line&, const detail::Deadline&, Solution& solution) {
                solution.model = ModelStatus::Feasible;
                c.raise();
            });
        EXPECT_EQ(s.call, CallStatus::Failed) << c.message;
        EXPECT_EQ(s.status(), Status::Failed) << c.message;
        EXPECT_STREQ(statusName(s.status()), "failed");
        EXPECT_FALSE(s.hasPlan()) << c.message;
        EXPECT_EQ(s.message, c.message);
    }
}
