#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <tuple>

#include "optimum/line.h"
#include "optimum/planner.h"
#include "optimum_test_support.h"

using namespace zeltrac;
using namespace zeltrac::optimum;
using namespace zeltrac::optimum::testing;

namespace {

constexpr long double kNo = std::numeric_limits<long double>::infinity();

bool near(long double x, long double y)
{
    return std::fabs(x - y) <= 1e-6L * std::max<long double>(1, std::fabs(y));
}

// Every set of trains of a small line, in bit order.
std::vector<TrainSet> everySet(int n)
{
    std::vector<TrainPair> pairs;
    for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j)
            pairs.emplace_back(i, j);
    std::vector<TrainSet> sets;
    for (unsigned bits = 0; bits < (1u << pairs.size()); ++bits) {
        TrainSet set{};
        for (std::size_t t = 0; t < pairs.size(); ++t)
            set[pairs[t].first][pairs[t].second] = (bits >> t) & 1u;
        sets.push_back(set);
    }
    return sets;
}

int differ(const TrainSet& x, const TrainSet& y)
{
    int count = 0;
    for (int i = 1; i < kDim; ++i)
        for (int j = i + 1; j < kDim; ++j)
            count += x[i][j] != y[i][j];
    return count;
}

Line lineOf(const CalcInput& input)
{
    Line line;
    EXPECT_EQ(readLine(input, line), "");
    return line;
}

} // namespace

// For k = 1..4 the ladder's cost is that of the cheapest set of trains within
// k of the plan in force that meets the conditions and runs only trains with
// cars or required ones.
TEST(ChangeLadder, CostsWhatTheCheapestPlanWithinKChangesCosts)
{
    Random random(19);
    for (int round = 0; round < 30; ++round) {
        const int n = 4 + round % 3;
        const CalcInput input =
            randomLine({.stations = n, .zeroTekPercent = 25, .zeroFlowPercent = 20}, random);
        const auto pick = [&] { return randomTrain(n, random); };
        std::vector<TrainPair> through;
        for (int t = random.between(0, 3); t > 0; --t)
            through.push_back(pick());
        Conditions conditions;
        if (random.chance(30))
            conditions.forced.push_back(pick());
        if (random.chance(30))
            conditions.forbidden.push_back(pick());
        if (random.chance(25))
            conditions.maxDestinations[random.between(1, n - 1)] = random.between(1, 2);
        const std::string label = "round " + std::to_string(round);
        const Ladder ladder = changeLadder(input, calculated(input), conditions, through, 4);
        ASSERT_TRUE(ladder.current.valid()) << label << ladder.current.message;

        const Line line = lineOf(input);
        const TrainSet current = openSet(ladder.current.plan.trains);
        TrainSet forced{};
        for (const auto& [i, j] : conditions.forced)
            forced[i][j] = true;
        std::vector<long double> best(5, kNo);
        for (const TrainSet& set : everySet(n)) {
            bool fits = true;
            for (const auto& [i, j] : conditions.forced)
                fits = fits && set[i][j];
            for (const auto& [i, j] : conditions.forbidden)
                fits = fits && !set[i][j];
            for (const auto& [s, limit] : conditions.maxDestinations) {
                int count = 0;
                for (int j = s + 1; j <= n; ++j)
                    count += set[s][j];
                fits = fits && count <= limit;
            }
            const Routing routing = route(line, set);
            if (!fits || !routing.covered)
                continue;
            TrainSet runs = openSet(routing.trains);
            long double cost = routing.cost;
            for (int i = 1; i < n; ++i) {
                for (int j = i + 1; j <= n; ++j) {
                    if (forced[i][j] && !runs[i][j]) {
                        runs[i][j] = true;
                        cost += line.cm[i];
                    }
                }
            }
            if (runs != set)
                continue; // a train without cars: the plan is the smaller set
            for (int k = differ(set, current); k <= 4; ++k)
                best[std::max(k, 1)] = std::min(best[std::max(k, 1)], cost);
        }
        if (ladder.optimum.status() == Status::Infeasible) {
            EXPECT_EQ(best[4], kNo) << label;
            continue;
        }
        ASSERT_EQ(ladder.call, CallStatus::Completed) << label << ladder.message;
        for (const LadderStep& step : ladder.steps) {
            if (best[step.k] == kNo) {
                EXPECT_EQ(step.solution.model, ModelStatus::Infeasible) << label << " k " << step.k;
                continue;
            }
            ASSERT_EQ(step.solution.model, ModelStatus::Optimal) << label << " k " << step.k;
            EXPECT_TRUE(near(step.solution.best.cost, best[step.k])) << label << " k " << step.k;
            EXPECT_LE(step.added.size() + step.removed.size(), static_cast<std::size_t>(step.k));
        }
        // Steps stop only at the optimum.
        ASSERT_FALSE(ladder.steps.empty()) << label;
        if (ladder.steps.size() < 4) {
            EXPECT_TRUE(ladder.optimumReached) << label;
            EXPECT_TRUE(near(ladder.steps.back().solution.best.cost, ladder.optimum.best.cost));
        }
    }
}

// At every sampled g the envelope costs what the cheapest set of trains costs
// with the scoped flows multiplied by g; the pieces cover the range in order,
// each but the first with trains of its own.
TEST(Stability, EnvelopeEqualsTheCheapestPlanAtEverySampledFactor)
{
    Random random(7);
    for (int round = 0; round < 24; ++round) {
        const int n = 4 + round % 3;
        const CalcInput input = randomLine({.stations = n, .zeroTekPercent = 20}, random);
        Scope scope;
        scope.kind = static_cast<Scope::Kind>(round % 3);
        std::tie(scope.origin, scope.destination) = randomTrain(n, random);
        // Split at g = 1, or (a range above it) at its middle.
        const double low = round % 4 == 3 ? 1.5 : 0.2, high = 3;
        const Line line = lineOf(input);
        struct Costed
        {
            TrainSet set;
            long double a = 0, b = 0;
        };
        std::vector<Costed> lines;
        for (const TrainSet& set : everySet(n)) {
            const Routing routing = route(line, set);
            if (!routing.covered)
                continue;
            Costed c{set};
            for (const FixedTrain& t : routing.trains)
                c.a += line.cm[t.origin];
            for (int b = 2; b <= n; ++b) {
                for (int a = 1; a < b; ++a) {
                    for (int v = routing.next[b][a]; v != b && v != 0; v = routing.next[b][v])
                        (scope.contains(a, b) ? c.b : c.a) += line.tek[v] * line.flow[a][b];
                }
            }
            lines.push_back(c);
        }
        const PlanInForce fixed = evaluatePlanInForce(input, {});
        const Stability s = stabilityOf(input, {}, scope, low, high, fixed.plan.trains);
        const std::string label = "round " + std::to_string(round) + " " + scopeText(scope);
        ASSERT_EQ(s.model, ModelStatus::Optimal) << label << s.message;
        ASSERT_FALSE(s.pieces.empty());
        EXPECT_EQ(s.pieces.front().from, low);
        EXPECT_EQ(s.pieces.back().to, high);
        for (std::size_t k = 1; k < s.pieces.size(); ++k) {
            EXPECT_EQ(s.pieces[k].from, s.pieces[k - 1].to) << label;
            EXPECT_FALSE(s.pieces[k].added.empty() && s.pieces[k].removed.empty()) << label;
        }
        for (int step = 0; step <= 400; ++step) {
            const double g = low + (high - low) * step / 400;
            long double cheapest = kNo;
            for (const Costed& c : lines)
                cheapest = std::min(cheapest, c.a + g * c.b);
            EXPECT_TRUE(near(s.optimalCost(g), cheapest)) << label << " g " << g;
        }
        EXPECT_TRUE(near(s.fixed.at(1), fixed.plan.cost)) << label;
    }
}

// The envelope's parts of the range on two threads: the same solves and the
// same pieces as one at a time, with the callbacks called one at a time and
// the solves counted in order.
TEST(Stability, TwoThreadsGiveTheSolvesAndPiecesOfOne)
{
    Random random(11);
    for (int k = 0; k < 5; ++k) {
        // The last long enough that parts are put off while both threads solve.
        const CalcInput input = k < 4
                                    ? randomLine({.stations = 8 + k, .zeroTekPercent = 20}, random)
                                    : randomLine({.stations = 21, .minCm = 400}, random);
        Options options;
        options.solver = k == 3 ? Solver::Cbc : Solver::Own;
        options.threads = 1;
        const Stability one = stabilityOf(input, {}, Scope{}, 0.5, 1.5, {}, options);
        std::vector<int> begun;
        int reports = 0; // not atomic: the calls must not overlap
        options.threads = 2;
        options.solveBegun = [&](int solve) { begun.push_back(solve); };
        options.progress = [&](double, double) { ++reports; };
        const Stability two = stabilityOf(input, {}, Scope{}, 0.5, 1.5, {}, options);
        const std::string label = "line " + std::to_string(k);
        ASSERT_EQ(two.model, ModelStatus::Optimal) << label;
        EXPECT_EQ(two.solves, one.solves) << label;
        EXPECT_GT(reports, 0) << label;
        ASSERT_EQ(static_cast<int>(begun.size()), two.solves) << label;
        for (int s = 0; s < two.solves; ++s)
            EXPECT_EQ(begun[s], s + 1) << label;
        ASSERT_EQ(two.pieces.size(), one.pieces.size()) << label;
        for (std::size_t p = 0; p < one.pieces.size(); ++p) {
            EXPECT_EQ(two.pieces[p].from, one.pieces[p].from) << label;
            EXPECT_EQ(openSet(two.pieces[p].trains), openSet(one.pieces[p].trains)) << label;
        }
        // Cancelled on the way, with both threads solving: it ends and says so.
        std::atomic<bool> cancel = false;
        options.cancel = &cancel;
        options.solveBegun = [&](int solve) { cancel = cancel || solve == 4; };
        const Stability cancelled = stabilityOf(input, {}, Scope{}, 0.5, 1.5, {}, options);
        EXPECT_EQ(cancelled.call, two.solves > 4 ? CallStatus::Cancelled : CallStatus::Completed)
            << label;
    }
}

// A failure in any solve, on either thread, with parts put off or taken by
// the other, fails the envelope with its message and leaves no part running
// (the sanitizers watch the frames the parts read).
TEST(Stability, TwoThreadsFailingMidwayFailTheWholeCall)
{
    Random random(12);
    const CalcInput input = randomLine({.stations = 16, .minCm = 400}, random);
    for (const int failing : {1, 2, 5, 20}) {
        Options options;
        options.threads = 2;
        options.solveBegun = [&](int solve) {
            if (solve == failing)
                throw std::runtime_error("сбой");
        };
        const Stability s = stabilityOf(input, {}, Scope{}, 0.5, 1.5, {}, options);
        EXPECT_EQ(s.call, CallStatus::Failed) << failing;
        EXPECT_EQ(s.message, "Ошибка точного расчёта: сбой") << failing;
        EXPECT_TRUE(s.pieces.empty()) << failing;
    }
}

TEST(PlanFile, WritesWhatItReadsAndNamesTheFileBesideTheData)
{
    const std::vector<TrainPair> trains{{1, 8}, {2, 5}, {3, 4}};
    std::vector<TrainPair> read;
    EXPECT_EQ(readPlan(writePlan(trains), read), "");
    EXPECT_EQ(read, trains);
    EXPECT_EQ(planFileFor("/a/b/line21.dat"), "/a/b/line21.план.json");
    EXPECT_EQ(planFileFor("/a.b/line"), "/a.b/line.план.json");
}

// Each bad input gets its own reason.
TEST(PlannerInput, BadInputsAreRefusedWithTheirReason)
{
    const auto plan = [](const char* text) {
        std::vector<TrainPair> trains;
        return readPlan(text, trains);
    };
    const auto scope = [](const char* text) {
        Scope s;
        const std::string e = parseScope(text, s);
        return e.empty() ? checkScope(s, 8) : e;
    };
    const auto range = [](const char* text) {
        double lo = 0, hi = 0;
        return parseRange(text, lo, hi);
    };
    const struct
    {
        std::string reason;
        std::string expected;
    } cases[] = {
        {plan("[1, 2]"), "Файл плана должен содержать объект JSON"},
        {plan("{\"trains\": [[1, 8]"), "Файл плана не является правильным JSON"},
        {plan("{\"train\": []}"), "Файл плана: неизвестный ключ \"train\""},
        {plan("{}"), "Файл плана: нет списка поездов \"trains\""},
        {plan("{\"trains\": [[1, 2, 3]]}"), "Файл плана: \"trains\": поезд задается парой станций"},
        {checkPlan({{2, 9}}, 8), "Поезд 2-9 действующего плана: станция вне линии"},
        {checkPlan({{5, 3}}, 8), "Поезд 5-3 действующего плана: станция отправления должна"},
        {scope("from"), "Неверная область потоков \"from\""},
        {scope("from:8"), "Область потоков: со станции 8 потоки не отправляются"},
        {scope("flow:3-3"), "Область потоков: потока 3-3 на линии нет"},
        {range("1.5:0.5"), "Неверный диапазон коэффициента изменения потоков \"1.5:0.5\""},
        {range("0:1"), "Неверный диапазон"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.reason.substr(0, c.expected.size()), c.expected) << c.reason;
}

// A through train that no flow can use is named, the others priced.
TEST(PlanInForce, NamesTheTrainsNoFlowCanUse)
{
    // Tек 0 everywhere: train 1-3 could only carry the flow 1->3, which is 0.
    const CalcInput input = makeInput(4, {"10", "10", "10"}, {"0", "0", "0"},
                                      {{1, 3, "0"}, {1, 4, "5"}, {2, 4, "7"}, {1, 2, "3"}});
    const PlanInForce plan = evaluatePlanInForce(input, {{1, 3}, {1, 4}});
    ASSERT_TRUE(plan.valid()) << plan.message;
    EXPECT_EQ(plan.unusable, (std::vector<TrainPair>{{1, 3}}));
    EXPECT_EQ(describeUnusable(plan.unusable[0]),
              "поезд 1-3 действующего плана не может взять ни один поток");
    EXPECT_EQ(plan.plan.cost, 30); // Cm of trains 1-2, 1-4 and 2-4
    EXPECT_EQ(describeChanges({{1, 8}}, {{2, 5}}), "+1→8, −2→5");
}
