#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "calc/error.h"
#include "calc/numtext.h"
#include "calc/plan.h"
#include "plan_test_support.h"
#include "reference_plan.h"

using namespace zeltrac;
using namespace zeltrac::testing;

namespace {

enum class Kind
{
    Realistic,   // Cm 100..700, Tek with one decimal, flows 0..300
    SmallTies,   // tiny whole numbers: many equal effects, zero Cm
    FineTek,     // Tek with many digits, large flows
    Signed,      // negative Cm, Tek and flows, numbers outside the triangle
    Sparse,      // mostly empty cells, zero Tek
    Overflowing, // flows near the 32-bit limit and enormous Tek
    Count
};

class Generator
{
public:
    explicit Generator(std::uint64_t seed) : m_random(seed) {}

    int uniform(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }
    bool chance(int percent) { return uniform(1, 100) <= percent; }

    std::string decimal(int low, int high, int places)
    {
        const int tenths = uniform(low, high);
        std::string text = numtext::wholeToText(tenths);
        if (places == 0)
            return text;
        const bool negative = tenths < 0;
        std::string digits =
            numtext::wholeToText(negative ? -static_cast<long long>(tenths) : tenths);
        while (static_cast<int>(digits.size()) <= places)
            digits.insert(digits.begin(), '0');
        digits.insert(digits.end() - places, '.');
        return (negative ? "-" : "") + digits;
    }

    std::string cm(Kind kind)
    {
        switch (kind) {
        case Kind::Realistic:
            return numtext::wholeToText(uniform(100, 700));
        case Kind::SmallTies:
            return chance(10) ? "" : numtext::wholeToText(uniform(0, 6));
        case Kind::FineTek:
            return numtext::wholeToText(uniform(0, 2000000));
        case Kind::Signed:
            return numtext::wholeToText(uniform(-50, 50));
        case Kind::Sparse:
            return chance(30) ? "" : numtext::wholeToText(uniform(1, 100));
        case Kind::Overflowing:
            return numtext::wholeToText(uniform(0, 2147483647));
        case Kind::Count:
            break;
        }
        return "";
    }

    std::string tek(Kind kind)
    {
        switch (kind) {
        case Kind::Realistic:
            return decimal(10, 80, 1);
        case Kind::SmallTies:
            return numtext::wholeToText(uniform(0, 3));
        case Kind::FineTek:
            return chance(20) ? "0" : decimal(1, 9999999, uniform(3, 7));
        case Kind::Signed:
            return decimal(-30, 30, 1);
        case Kind::Sparse:
            return chance(40) ? "" : decimal(0, 50, 1);
        case Kind::Overflowing:
            return chance(15) ? decimal(100, 170, 1) + "e36" : decimal(0, 100, 1);
        case Kind::Count:
            break;
        }
        return "";
    }

    std::string flow(Kind kind)
    {
        switch (kind) {
        case Kind::Realistic:
            return chance(10) ? "" : numtext::wholeToText(uniform(0, 300));
        case Kind::SmallTies:
            return numtext::wholeToText(uniform(0, 5));
        case Kind::FineTek:
            return numtext::wholeToText(uniform(0, 3000000));
        case Kind::Signed:
            return numtext::wholeToText(uniform(-20, 20));
        case Kind::Sparse:
            return chance(80) ? "" : numtext::wholeToText(uniform(1, 100));
        case Kind::Overflowing:
            return numtext::wholeToText(chance(50) ? uniform(0, 1000)
                                                   : uniform(100000000, 2147483647));
        case Kind::Count:
            break;
        }
        return "";
    }

    CalcInput input(Kind kind, int n, bool outsideTriangle)
    {
        CalcInput in;
        in.stationCount = n;
        in.stationParams = TextTable(n, 2);
        in.flows = TextTable(n - 1, n - 1);
        for (int c = 0; c < n - 1; ++c) {
            in.stationParams.setCell(c, 0, cm(kind));
            in.stationParams.setCell(c, 1, tek(kind));
        }
        for (int c = 0; c < n - 1; ++c) {
            for (int r = 0; r < n - 1; ++r) {
                if (c + r <= n - 2)
                    in.flows.setCell(c, r, flow(kind));
                else if (outsideTriangle && chance(20))
                    in.flows.setCell(c, r, flow(kind));
            }
        }
        return in;
    }

    int stations()
    {
        // Mostly shorter lines: the plain calculation is slow on long ones.
        return chance(15) ? uniform(15, kMaxStations) : uniform(kMinStations, 12);
    }

private:
    std::mt19937_64 m_random;
};

struct Outcome
{
    std::optional<CalcResult> result;
    std::string error;
    ResultTables tables;
    std::vector<TextTable> snapshots;
    std::vector<TextTable> plans;
};

template <class Calculate> Outcome run(const CalcInput& input, bool withSteps, Calculate calculate)
{
    Outcome outcome;
    outcome.tables = markedTables(-3.25);
    CalcHooks hooks;
    if (withSteps) {
        hooks.onTrainFixed = [&](const StepView& view) {
            outcome.snapshots.push_back(view.workFlowTexts());
        };
    }
    hooks.onPlan = [&](const TextTable& plan) { outcome.plans.push_back(plan); };
    try {
        outcome.result = calculate(input, outcome.tables, hooks);
    } catch (const Error& e) {
        outcome.error = e.what();
    }
    return outcome;
}

bool sameBits(Real40 a, Real40 b)
{
    unsigned char x[6];
    unsigned char y[6];
    a.toBytes(x);
    b.toBytes(y);
    return std::memcmp(x, y, 6) == 0;
}

void expectSame(const Outcome& fast, const Outcome& plain, const std::string& what)
{
    ASSERT_EQ(fast.error, plain.error) << what;
    ASSERT_EQ(fast.result.has_value(), plain.result.has_value()) << what;
    if (fast.result) {
        ASSERT_EQ(fast.result->status, plain.result->status) << what;
        ASSERT_EQ(fast.result->trains, plain.result->trains) << what;
        ASSERT_EQ(fast.result->plan, plain.result->plan) << what;
    }
    ASSERT_EQ(fast.snapshots, plain.snapshots) << what;
    ASSERT_EQ(fast.plans, plain.plans) << what;
    for (int c = 1; c <= 6; ++c) {
        for (int s = 1; s <= kMaxStations; ++s) {
            ASSERT_TRUE(sameBits(fast.tables.indicator(c, s), plain.tables.indicator(c, s)))
                << what << " column " << c << " station " << s;
        }
        ASSERT_TRUE(sameBits(fast.tables.total(c), plain.tables.total(c))) << what;
    }
}

std::int64_t planValue(const CalcResult& result, int n, int origin, int destination)
{
    const std::string& text = planCell(result, n, origin, destination);
    return text.empty() ? 0 : numtext::toWhole(text);
}

std::int64_t inputValue(const CalcInput& input, int origin, int destination)
{
    const auto text = numtext::trim(input.flows.cell(origin - 1, input.stationCount - destination));
    return text.empty() ? 0 : numtext::toWhole(text);
}

} // namespace

TEST(PlanAgainstPlainCalculation, GeneratedInputs)
{
    Generator generator(20240611);
    int completed = 0;
    std::size_t trains = 0;
    std::map<std::string, int> errors;
    for (int i = 0; i < 3000; ++i) {
        const auto kind = static_cast<Kind>(i % static_cast<int>(Kind::Count));
        const CalcInput input = generator.input(kind, generator.stations(), generator.chance(30));
        const bool withSteps = i % 3 == 0;
        const Outcome fast = run(input, withSteps, [](const auto& in, auto& t, const auto& h) {
            return calculatePlan(in, t, h);
        });
        const Outcome plain = run(input, withSteps, [](const auto& in, auto& t, const auto& h) {
            return referencePlan(in, t, h);
        });
        expectSame(fast, plain, "input " + std::to_string(i));
        if (HasFatalFailure())
            return;
        if (fast.result) {
            ++completed;
            trains += fast.result->trains.size();
        } else {
            errors[fast.error] += 1;
        }
    }
    // The generated inputs reach every outcome.
    EXPECT_GT(completed, 2000);
    EXPECT_GT(errors["Integer overflow"], 20);
    EXPECT_GT(errors["Floating point overflow"], 20);
    EXPECT_GT(trains, 10000u);
}

TEST(PlanInvariants, CarsReachTheirDestinations)
{
    Generator generator(99);
    for (int i = 0; i < 3000; ++i) {
        static const Kind kinds[] = {Kind::Realistic, Kind::SmallTies, Kind::FineTek, Kind::Signed,
                                     Kind::Sparse};
        const Kind kind = kinds[i % 5];
        const int n = generator.uniform(kMinStations, kMaxStations);
        const CalcInput input = generator.input(kind, n, false);
        ResultTables tables;
        const CalcResult result = calculatePlan(input, tables);
        ASSERT_EQ(result.status, CalcStatus::Completed);
        const std::string what = "input " + std::to_string(i);

        // Station balance: the cars a station re-forms are those that trains
        // bring to it less those whose journey ends there.
        for (int j = 1; j <= n; ++j) {
            std::int64_t arriving = 0;
            std::int64_t ending = 0;
            for (int a = 1; a < j; ++a) {
                arriving += planValue(result, n, a, j);
                ending += inputValue(input, a, j);
            }
            if (j < n) {
                EXPECT_EQ(tables.indicator(3, j).toDouble(), static_cast<double>(arriving - ending))
                    << what << " station " << j;
            } else {
                EXPECT_EQ(arriving, ending) << what; // everything reaches the last station
            }
        }
        EXPECT_EQ(tables.indicator(3, 1).toDouble(), 0) << what;
        EXPECT_EQ(tables.indicator(5, 1).toDouble(), 0) << what;

        // Every section of the line carries the cars that cross it.
        for (int j = 1; j < n; ++j) {
            std::int64_t planned = 0;
            std::int64_t typed = 0;
            for (int a = 1; a <= j; ++a) {
                for (int d = j + 1; d <= n; ++d) {
                    planned += planValue(result, n, a, d);
                    typed += inputValue(input, a, d);
                }
            }
            EXPECT_EQ(planned, typed) << what << " section " << j;
        }

        // With no negative numbers typed no plan element is negative.
        if (kind != Kind::Signed) {
            for (int a = 1; a < n; ++a) {
                for (int d = a + 1; d <= n; ++d)
                    EXPECT_GE(planValue(result, n, a, d), 0) << what;
            }
        }

        // Column 2 counts the positive plan elements; totals add the rows.
        double sums[7] = {};
        for (int s = 1; s < n; ++s) {
            int destinations = 0;
            for (int d = s + 1; d <= n; ++d)
                destinations += planValue(result, n, s, d) > 0;
            EXPECT_EQ(tables.indicator(1, s).toDouble(), s);
            EXPECT_EQ(tables.indicator(2, s).toDouble(), destinations) << what;
            for (int c = 2; c <= 6; ++c)
                sums[c] += tables.indicator(c, s).toDouble();
        }
        EXPECT_EQ(tables.total(2).toDouble(), sums[2]) << what;
        EXPECT_EQ(tables.total(3).toDouble(), sums[3]) << what;
        EXPECT_EQ(tables.total(4).toDouble(), sums[4]) << what;
        if (HasFailure())
            return;
    }
}
