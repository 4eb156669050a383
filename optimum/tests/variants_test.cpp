#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>

#include "calc/plan.h"
#include "optimum/line.h"
#include "optimum/variants.h"
#include "optimum_test_support.h"

using namespace zeltrac;
using namespace zeltrac::optimum;
using namespace zeltrac::optimum::testing;

namespace {

using Trains = std::vector<std::pair<int, int>>;

Trains trainsOf(const Variant& variant)
{
    Trains trains;
    for (const FixedTrain& t : variant.trains)
        trains.emplace_back(t.origin, t.destination);
    return trains;
}

// The three-station line of the indicator examples: Cm 20 (or `cm1`) and 4,
// Tек of station 2 is 1; 10 cars 1->3, 5 cars 1->2, 7 cars 2->3.
CalcInput threeStations(const char* cm1 = "20")
{
    return makeInput(3, {cm1, "4"}, {"0", "1"}, {{1, 3, "10"}, {1, 2, "5"}, {2, 3, "7"}});
}

Conditions parsed(const char* text)
{
    Conditions c;
    EXPECT_EQ(readConditions(text, c), "");
    return c;
}

// The variants against every set of trains: as many as there are (up to the
// count), each as cheap as the plan of its rank, each one of the sets of that
// cost, no set twice.
void expectLikeBruteForce(const CalcInput& input, const Conditions& conditions, int count,
                          const std::string& label)
{
    const std::vector<BrutePlan> plans = bruteForcePlans(input, conditions);
    Options options;
    options.timeLimitSeconds = 60;
    const Solution solution = solveExact(input, calculated(input), conditions, count, options);
    if (plans.empty()) {
        EXPECT_EQ(solution.status(), Status::Infeasible) << label;
        EXPECT_TRUE(solution.variants.empty()) << label;
        return;
    }
    ASSERT_EQ(solution.status(), Status::Optimal) << label << ": " << solution.message;
    ASSERT_EQ(solution.variants.size(), std::min<std::size_t>(count, plans.size())) << label;
    EXPECT_EQ(solution.best.cost, solution.variants[0].cost) << label;
    std::set<Trains> seen;
    for (std::size_t k = 0; k < solution.variants.size(); ++k) {
        const Variant& variant = solution.variants[k];
        const double expected = static_cast<double>(plans[k].cost);
        EXPECT_NEAR(variant.cost, expected, 1e-9 * expected + 1e-9) << label << " variant " << k;
        const Trains trains = trainsOf(variant);
        EXPECT_TRUE(seen.insert(trains).second) << label << " variant " << k << " repeats a set";
        const bool listed = std::any_of(plans.begin(), plans.end(), [&](const BrutePlan& p) {
            return p.trains == trains &&
                   std::fabs(static_cast<double>(p.cost) - variant.cost) <= 1e-9 * variant.cost;
        });
        EXPECT_TRUE(listed) << label << " variant " << k << " is not a counted plan of its cost";
    }
}

} // namespace

TEST(PlanVariants, MatchEveryCountedSetOfTrainsOnSmallLines)
{
    Random random(314);
    for (int round = 0; round < 24; ++round) {
        const CalcInput input = randomLine({.stations = 4 + round % 3,
                                            .maxFlow = 60,
                                            .maxCm = 300,
                                            .zeroTekPercent = 20,
                                            .zeroFlowPercent = 25},
                                           random);
        expectLikeBruteForce(input, Conditions{}, 10, "line " + std::to_string(round));
    }
}

TEST(PlanVariants, MatchTheBruteForceUnderRandomConditions)
{
    Random random(2718);
    for (int round = 0; round < 60; ++round) {
        const int n = 4 + round % 2 + (round % 5 == 0);
        const CalcInput input =
            randomLine({.stations = n, .maxFlow = 40, .maxCm = 200, .zeroTekPercent = 10}, random);
        Conditions c;
        c.forced.push_back(randomTrain(n, random));
        const int b = random.between(1, n - 2);
        c.forbidden.emplace_back(b, random.between(b + 2, n));
        if (c.forbidden[0] == c.forced[0])
            c.forbidden.clear();
        c.maxDestinations[random.between(1, n - 1)] = random.between(1, 3);
        if (n <= 5)
            c.maxReprocessed[random.between(2, n - 1)] = random.between(0, 60);
        expectLikeBruteForce(input, c, 5,
                             "line " + std::to_string(round) + " " + writeConditions(c));
    }
}

TEST(PlanVariants, WorkedThreeStationLinesRankTheirPlans)
{
    // Cm 5 at station 1: {1-2, 1-3, 2-3} costs 5 + 5 + 4 = 14; {1-2, 2-3}
    // costs 5 + 4 + 10 re-formed at 2 = 19. Without 1-2 or 2-3 a flow has no
    // train, so both count.
    const Solution two =
        solveExact(threeStations("5"), calculated(threeStations("5")), Conditions{}, 10);
    ASSERT_EQ(two.status(), Status::Optimal) << two.message;
    ASSERT_EQ(two.variants.size(), 2u);
    EXPECT_EQ(two.variants[0].cost, 14);
    EXPECT_EQ(trainsOf(two.variants[0]), (Trains{{1, 2}, {1, 3}, {2, 3}}));
    EXPECT_EQ(two.variants[0].plan.cell(0, 0), "10");
    EXPECT_EQ(two.variants[1].cost, 19);
    EXPECT_EQ(trainsOf(two.variants[1]), (Trains{{1, 2}, {2, 3}}));
    EXPECT_EQ(two.variants[1].plan.cell(0, 1), "15");
    EXPECT_EQ(two.variants[1].tables.total(6).toDouble(), 19);
    // Cm 20: {1-2, 2-3} costs 34, and {1-2, 1-3, 2-3} (44) is that plan plus
    // a train whose dropping lowers the cost: it does not count.
    const Solution one = solveExact(threeStations(), calculated(threeStations()), Conditions{}, 10);
    ASSERT_EQ(one.status(), Status::Optimal) << one.message;
    ASSERT_EQ(one.variants.size(), 1u);
    EXPECT_EQ(one.variants[0].cost, 34);
    EXPECT_EQ(trainsOf(one.variants[0]), (Trains{{1, 2}, {2, 3}}));
}

TEST(PlanVariants, NoConditionsAndOneVariantIsThePlainOptimum)
{
    const CalcInput input = threeStations();
    const Solution plain = solveExact(input, calculated(input));
    const Solution one = solveExact(input, calculated(input), Conditions{}, 1);
    EXPECT_EQ(one.status(), plain.status());
    EXPECT_EQ(one.best.cost, plain.best.cost);
    EXPECT_EQ(one.best.plan, plain.best.plan);
    ASSERT_EQ(one.variants.size(), 1u);
    EXPECT_EQ(one.variants[0].cost, plain.best.cost);
    // Counts outside 1..10 are brought into it.
    EXPECT_EQ(solveExact(input, calculated(input), parsed(R"({"max_destinations": {"1": 2}})"), 0)
                  .variants.size(),
              1u);
    EXPECT_EQ(solveExact(threeStations("5"), calculated(threeStations("5")), Conditions{}, 99)
                  .variants.size(),
              2u);
    EXPECT_EQ(solveExact(threeStations("5"), calculated(threeStations("5")), Conditions{}, -3)
                  .variants.size(),
              1u);
}

TEST(PlanConditions, EachKindChangesTheOptimumOfAHandBuiltLine)
{
    {
        // Required 1-3: the ten cars go direct instead of through station 2.
        const Solution s = solveExact(threeStations(), calculated(threeStations()),
                                      parsed(R"({"forced": [[1, 3]]})"), 1);
        ASSERT_EQ(s.status(), Status::Optimal) << s.message;
        EXPECT_EQ(s.best.cost, 44);
        EXPECT_EQ(s.best.plan.cell(0, 0), "10");
    }
    {
        // With Cm 5 at station 1 the direct train pays (5 + 5 + 4 = 14);
        // forbidding it brings back re-forming at 2 (5 + 4 + 10 = 19).
        EXPECT_EQ(solveExact(threeStations("5"), calculated(threeStations("5")), Conditions{}, 1)
                      .best.cost,
                  14);
        const Solution s = solveExact(threeStations("5"), calculated(threeStations("5")),
                                      parsed(R"({"forbidden": [[1, 3]]})"), 1);
        ASSERT_EQ(s.status(), Status::Optimal) << s.message;
        EXPECT_EQ(s.best.cost, 19);
        EXPECT_EQ(s.best.plan.cell(0, 0), "");
        EXPECT_EQ(s.best.plan.cell(0, 1), "15");
        // So does one destination at station 1.
        const Solution one = solveExact(threeStations("5"), calculated(threeStations("5")),
                                        parsed(R"({"max_destinations": {"1": 1}})"), 1);
        EXPECT_EQ(one.best.cost, 19);
        EXPECT_EQ(one.best.tables.indicator(2, 1).toDouble(), 1);
    }
    {
        // Re-forming 10 cars at station 2 is allowed; 9 is not, so they go direct.
        EXPECT_EQ(solveExact(threeStations(), calculated(threeStations()),
                             parsed(R"({"max_reprocessed": {"2": 10}})"), 1)
                      .best.cost,
                  34);
        const Solution s = solveExact(threeStations(), calculated(threeStations()),
                                      parsed(R"({"max_reprocessed": {"2": 9}})"), 1);
        ASSERT_EQ(s.status(), Status::Optimal) << s.message;
        EXPECT_EQ(s.best.cost, 44);
        EXPECT_EQ(s.best.tables.indicator(3, 2).toDouble(), 0);
    }
}

TEST(PlanConditions, ARequiredTrainWithNoCarsPaysItsCm)
{
    // Only local flows; 1-4 carries nothing but is required: 30 + Cm 10.
    const CalcInput input =
        makeInput(4, {"10", "10", "10"}, {"0", "2", "2"}, {{1, 2, "5"}, {2, 3, "5"}, {3, 4, "5"}});
    const Solution s = solveExact(input, calculated(input), parsed(R"({"forced": [[1, 4]]})"), 3);
    ASSERT_EQ(s.status(), Status::Optimal) << s.message;
    EXPECT_EQ(s.best.cost, 40);
    EXPECT_EQ(s.best.tables.total(6).toDouble(), 30); // the indicators count trains with cars
    ASSERT_EQ(s.best.trains.size(), 4u);
    EXPECT_EQ(s.best.trains[1].origin, 1);
    EXPECT_EQ(s.best.trains[1].destination, 4);
    EXPECT_EQ(s.best.trains[1].cars, 0);
    EXPECT_EQ(s.best.plan.cell(0, 0), "");
    // Exempt from the rule on dropping: the optimum is still counted, and it
    // is the only plan (every other train would be useless).
    EXPECT_EQ(s.variants.size(), 1u);
}

TEST(PlanConditions, InfeasibleConditionsNameOneToRelax)
{
    auto message = [](const CalcInput& input, const char* text) {
        const Solution s = solveExact(input, calculated(input), parsed(text), 3);
        EXPECT_EQ(s.status(), Status::Infeasible) << text;
        EXPECT_TRUE(s.variants.empty()) << text;
        EXPECT_TRUE(s.best.trains.empty()) << text;
        return s.message;
    };
    const std::string none = "Нет плана, удовлетворяющего условиям";
    EXPECT_EQ(message(threeStations(), R"({"forbidden": [[2, 3]]})"),
              none + "; ослабьте условие: запрещенный поезд 2-3");
    EXPECT_EQ(message(threeStations(), R"({"forced": [[1, 3]], "max_destinations": {"1": 1}})"),
              none + "; ослабьте условие: не более 1 назначений на станции 1");
    EXPECT_EQ(message(threeStations(), R"({"max_destinations": {"2": 0}})"),
              none + "; ослабьте условие: не более 0 назначений на станции 2");
    EXPECT_EQ(message(threeStations(), R"({"forced": [[1, 3]], "forbidden": [[1, 3]]})"),
              none + ": поезд 1-3 и обязательный, и запрещенный; снимите одно из этих условий");
    // Re-forming at 2 capped while the direct train is forbidden.
    EXPECT_EQ(message(threeStations(), R"({"forbidden": [[1, 3]], "max_reprocessed": {"2": 9}})"),
              none + "; ослабьте условие: запрещенный поезд 1-3");
    // Two conditions each enough on their own: neither alone is the cause.
    EXPECT_EQ(message(threeStations(), R"({"forbidden": [[1, 2], [2, 3]]})"),
              none + "; ни одно условие в отдельности этого не меняет, ослабьте несколько");
}

TEST(PlanConditions, ConditionsOutsideTheLineOrInputOutsideTheModelSolveNothing)
{
    const Solution s = solveExact(threeStations(), calculated(threeStations()),
                                  parsed(R"({"forced": [[1, 4]]})"), 1);
    EXPECT_EQ(s.status(), Status::NotCovered);
    EXPECT_EQ(s.message, "Обязательный поезд 1-4: станция вне линии (станции линии: 1..3)");
    CalcInput bad = threeStations();
    bad.flows.setCell(0, 0, "x");
    const Solution b = solveExact(bad, calculated(bad), parsed(R"({"forced": [[1, 3]]})"), 2);
    EXPECT_EQ(b.status(), Status::NotCovered);
    EXPECT_EQ(b.message, checkInput(bad));
    EXPECT_TRUE(b.variants.empty());
}

TEST(PlanVariants, EveryVariantOfALongerLineIsDistinctRisingAndMinimal)
{
    Random random(99);
    LineShape shape;
    shape.stations = 9;
    shape.minCm = 100;
    shape.maxCm = 400;
    const CalcInput input = randomLine(shape, random);
    const Conditions c = parsed(R"({"forbidden": [[1, 9]], "max_destinations": {"2": 3}})");
    Options options;
    options.timeLimitSeconds = 120;
    const Solution s = solveExact(input, calculated(input), c, 5, options);
    ASSERT_EQ(s.status(), Status::Optimal) << s.message;
    ASSERT_EQ(s.variants.size(), 5u);
    Line line;
    ASSERT_EQ(readLine(input, line), "");
    std::set<Trains> seen;
    for (std::size_t k = 0; k < s.variants.size(); ++k) {
        const Variant& v = s.variants[k];
        if (k > 0) {
            EXPECT_GE(v.cost, s.variants[k - 1].cost);
        }
        EXPECT_TRUE(seen.insert(trainsOf(v)).second);
        int fromTwo = 0;
        for (const FixedTrain& t : v.trains) {
            EXPECT_FALSE(t.origin == 1 && t.destination == 9);
            fromTwo += t.origin == 2;
        }
        EXPECT_LE(fromTwo, 3);
        // Dropping any train either leaves a flow without a chain or costs more.
        const TrainSet all = openSet(v.trains);
        const Routing own = route(line, all);
        EXPECT_NEAR(static_cast<double>(own.cost), v.cost, 1e-9 * v.cost);
        for (const FixedTrain& t : v.trains) {
            TrainSet fewer = all;
            fewer[t.origin][t.destination] = false;
            const Routing r = route(line, fewer);
            if (r.covered) {
                EXPECT_GT(r.cost, own.cost)
                    << "variant " << k << " train " << t.origin << "-" << t.destination;
            }
        }
    }
}

TEST(PlanConditions, NoTimeOrACancelBeforeTheStartFindNoPlanAndSaySo)
{
    Random random(7);
    LineShape shape;
    shape.stations = 12;
    const CalcInput input = randomLine(shape, random);
    const Conditions c = parsed(R"({"max_reprocessed": {"5": 100}})");
    Options none;
    none.timeLimitSeconds = 0;
    const Solution late = solveExact(input, calculated(input), c, 3, none);
    EXPECT_EQ(late.status(), Status::TimeLimit);
    EXPECT_EQ(late.model, ModelStatus::NoPlan);
    EXPECT_TRUE(late.variants.empty());
    EXPECT_TRUE(late.best.trains.empty());

    std::atomic<bool> cancel{true};
    Options cancelled;
    cancelled.cancel = &cancel;
    const Solution stopped = solveExact(input, calculated(input), c, 3, cancelled);
    EXPECT_EQ(stopped.status(), Status::Cancelled);
    EXPECT_EQ(stopped.call, CallStatus::Cancelled);
    EXPECT_TRUE(stopped.variants.empty());
    EXPECT_FALSE(stopped.variantsComplete);
}
