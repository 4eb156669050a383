// Timing of the exact plan, and how far the calculated plan lies above it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "optimum/exact.h"
#include "optimum/line.h"
#include "optimum/planner.h"
#include "optimum/tests/optimum_test_support.h"
#include "optimum/variants.h"

namespace {

using namespace zeltrac;

// A 21-station line with a third of its flows 0 and every third station
// re-forming nothing.
CalcInput sparseLine(std::uint64_t seed)
{
    bench::DenseLine shape;
    shape.minCm = 150;
    shape.maxCm = 450;
    shape.seed = seed;
    CalcInput input = bench::denseLine(shape);
    const int n = input.stationCount;
    for (int i = 3; i <= n - 1; i += 3)
        input.stationParams.setCell(i - 1, 1, "0");
    int k = 0;
    for (int c = 0; c < n - 1; ++c) {
        for (int r = 0; c + r <= n - 2; ++r) {
            if (++k % 3 == 0)
                input.flows.setCell(c, r, "0");
        }
    }
    return input;
}

// Range 0 of each benchmark below: the solver (0: CBC, 1: our own).
optimum::Options solverOptions(const benchmark::State& state)
{
    optimum::Options options;
    options.solver = state.range(0) == 1 ? optimum::Solver::Own : optimum::Solver::Cbc;
    options.timeLimitSeconds = 120;
    return options;
}

void solve(benchmark::State& state, const CalcInput& input)
{
    const optimum::CalculatedPlan calculated = optimum::calculatedPlanOf(input);
    bool handedOver = false;
    for (auto _ : state) {
        const optimum::Solution solution =
            optimum::solveExact(input, calculated, solverOptions(state));
        if (solution.status() != optimum::Status::Optimal)
            state.SkipWithError("not solved to optimality");
        handedOver = handedOver || solution.handedOver;
        benchmark::DoNotOptimize(solution.best.cost);
    }
    state.counters["handed_over"] = handedOver ? 1 : 0;
}

void BM_ExactDense21(benchmark::State& state)
{
    solve(state, bench::denseLine(bench::DenseLine{}));
}
BENCHMARK(BM_ExactDense21)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

void BM_ExactSparse21(benchmark::State& state)
{
    solve(state, sparseLine(18));
}
BENCHMARK(BM_ExactSparse21)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// How much dearer the calculated plan is than the optimum (percent), over a
// hundred generated lines of 21, 17, 13 and 8 stations; dense lines (range 0)
// or lines with Tек 0 at some stations and a lower Cm (range 1). Also the
// longest solve among them.
void BM_CalculatedPlanAboveOptimum(benchmark::State& state)
{
    const bool sparse = state.range(1) == 1;
    std::vector<double> gaps;
    double longest = 0;
    for (auto _ : state) {
        gaps.clear();
        const int sizes[] = {21, 17, 13, 8};
        for (int k = 0; k < 100; ++k) {
            bench::DenseLine shape;
            shape.stations = sizes[k % 4];
            shape.seed = 1000 + static_cast<std::uint64_t>(k);
            CalcInput input;
            if (sparse) {
                shape.minCm = 100;
                shape.maxCm = 400;
                input = bench::denseLine(shape);
                for (int i = 2 + k % 3; i <= shape.stations - 1; i += 3)
                    input.stationParams.setCell(i - 1, 1, "0");
            } else {
                input = bench::denseLine(shape);
            }
            const optimum::Solution solution =
                optimum::solveExact(input, optimum::calculatedPlanOf(input), solverOptions(state));
            if (solution.status() != optimum::Status::Optimal) {
                state.SkipWithError("not solved to optimality");
                return;
            }
            longest = std::max(longest, solution.seconds);
            gaps.push_back(100.0 * (optimum::calculatedPlanOf(input).cost() - solution.best.cost) /
                           solution.best.cost);
        }
    }
    std::sort(gaps.begin(), gaps.end());
    state.counters["gap_min_pct"] = gaps.front();
    state.counters["gap_median_pct"] = (gaps[49] + gaps[50]) / 2;
    state.counters["gap_max_pct"] = gaps.back();
    state.counters["longest_s"] = longest;
}
BENCHMARK(BM_CalculatedPlanAboveOptimum)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

namespace {

// Two conditions of each kind on the dense 21-station line: trains 1-21 and
// 5-12 required, 2-20 and 3-10 forbidden, at most 4 destinations at stations
// 6 and 14, at most 2000 cars re-formed at stations 8 and 16.
optimum::Conditions twoOfEachKind()
{
    optimum::Conditions c;
    c.forced = {{1, 21}, {5, 12}};
    c.forbidden = {{2, 20}, {3, 10}};
    c.maxDestinations = {{6, 4}, {14, 4}};
    c.maxReprocessed = {{8, 2000}, {16, 2000}};
    return c;
}

void solveWith(benchmark::State& state, const optimum::Conditions& conditions, int variants)
{
    const CalcInput input = bench::denseLine(bench::DenseLine{});
    std::size_t found = 0;
    for (auto _ : state) {
        // Time enough for the whole work on a loaded machine: fewer variants
        // than asked for would make the figure look better than it is.
        const optimum::Options options = solverOptions(state);
        const optimum::Solution solution = optimum::solveExact(
            input, optimum::calculatedPlanOf(input), conditions, variants, options);
        if (solution.status() != optimum::Status::Optimal)
            state.SkipWithError("not solved to optimality");
        found = solution.variants.size();
        state.counters["handed_over"] = solution.handedOver ? 1 : 0;
        if (found != static_cast<std::size_t>(variants))
            state.SkipWithError("fewer variants than asked for");
        benchmark::DoNotOptimize(solution.best.cost);
    }
    state.counters["variants"] = static_cast<double>(found);
}

void BM_ExactDense21TwoConditionsOfEachKind(benchmark::State& state)
{
    solveWith(state, twoOfEachKind(), 1);
}
BENCHMARK(BM_ExactDense21TwoConditionsOfEachKind)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Only the re-forming limits of twoOfEachKind().
void BM_ExactDense21TwoReformingLimits(benchmark::State& state)
{
    optimum::Conditions limits;
    limits.maxReprocessed = twoOfEachKind().maxReprocessed;
    solveWith(state, limits, 1);
}
BENCHMARK(BM_ExactDense21TwoReformingLimits)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_ExactDense21FiveVariants(benchmark::State& state)
{
    solveWith(state, optimum::Conditions{}, 5);
}
BENCHMARK(BM_ExactDense21FiveVariants)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_ExactDense21FiveVariantsUnderConditions(benchmark::State& state)
{
    solveWith(state, twoOfEachKind(), 5);
}
BENCHMARK(BM_ExactDense21FiveVariantsUnderConditions)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The same without the limits on re-forming: conditions on the trains alone.
void BM_ExactDense21FiveVariantsUnderTrainConditions(benchmark::State& state)
{
    optimum::Conditions conditions = twoOfEachKind();
    conditions.maxReprocessed.clear();
    solveWith(state, conditions, 5);
}
BENCHMARK(BM_ExactDense21FiveVariantsUnderTrainConditions)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

namespace {

// A 21-station line with a third of its flows 0 and every third station
// re-forming nothing.
CalcInput sparse21()
{
    return sparseLine(18);
}

// The ladder of five changes from the calculated plan (its through trains).
void ladder(benchmark::State& state, const CalcInput& input)
{
    const optimum::CalculatedPlan calculated = optimum::calculatedPlanOf(input);
    const auto through = optimum::throughTrainsOfPlan(calculated.plan, input.stationCount);
    optimum::Options options = solverOptions(state);
    options.timeLimitSeconds = 600;
    for (auto _ : state) {
        const optimum::Ladder ladder =
            optimum::changeLadder(input, calculated, {}, through, 5, options);
        if (ladder.call != optimum::CallStatus::Completed)
            state.SkipWithError("a step not solved to optimality");
        state.counters["steps"] = static_cast<double>(ladder.steps.size());
        int handedOver = 0;
        for (const optimum::LadderStep& step : ladder.steps)
            handedOver += step.solution.handedOver;
        state.counters["handed_over"] = handedOver;
        state.counters["solves"] = ladder.solves;
        state.counters["distance"] = ladder.distance;
    }
}

void BM_LadderDense21(benchmark::State& state)
{
    ladder(state, bench::denseLine(bench::DenseLine{}));
}
BENCHMARK(BM_LadderDense21)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LadderSparse21(benchmark::State& state)
{
    ladder(state, sparse21());
}
BENCHMARK(BM_LadderSparse21)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// The envelope over every flow, g from 0.5 to 1.5, the calculated plan fixed,
// its parts of the range on range(1) threads: the time is the wall's and the
// CPU time that of every thread.
void envelope(benchmark::State& state, const CalcInput& input)
{
    const optimum::CalculatedPlan calculated = optimum::calculatedPlanOf(input);
    const optimum::PlanInForce fixed = optimum::evaluatePlanInForce(
        input, optimum::throughTrainsOfPlan(calculated.plan, input.stationCount));
    optimum::Options options = solverOptions(state);
    options.timeLimitSeconds = 600;
    options.threads = static_cast<int>(state.range(1));
    for (auto _ : state) {
        const optimum::Stability stability =
            optimum::stabilityOf(input, {}, optimum::Scope{}, 0.5, 1.5, fixed.plan.trains, options);
        if (stability.model != optimum::ModelStatus::Optimal)
            state.SkipWithError("a solve not proven");
        state.counters["solves"] = stability.solves;
        state.counters["pieces"] = static_cast<double>(stability.pieces.size());
    }
}

// CBC on two threads (its solves one at a time), ours on one and on two.
void envelopeRuns(benchmark::internal::Benchmark* runs)
{
    runs->Args({0, 2})
        ->Args({1, 1})
        ->Args({1, 2})
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

void BM_EnvelopeDense21(benchmark::State& state)
{
    envelope(state, bench::denseLine(bench::DenseLine{}));
}
BENCHMARK(BM_EnvelopeDense21)->Apply(envelopeRuns);

void BM_EnvelopeSparse21(benchmark::State& state)
{
    envelope(state, sparse21());
}
BENCHMARK(BM_EnvelopeSparse21)->Apply(envelopeRuns);

} // namespace

namespace {

// Dense generated lines of 21, 30, 40 and 60 stations (range 1), longer than
// the calculation takes, solved through the library from no start plan; a
// solve not done within a minute is reported as such.
void BM_ExactDenseLength(benchmark::State& state)
{
    bench::DenseLine shape;
    shape.stations = static_cast<int>(state.range(1));
    optimum::Line line;
    if (!optimum::readLine(bench::denseLine(shape), line, optimum::kMaxLineStations).empty()) {
        state.SkipWithError("line outside the model");
        return;
    }
    optimum::Options options = solverOptions(state);
    options.timeLimitSeconds = 60;
    optimum::Solution solution;
    for (auto _ : state) {
        solution = optimum::solveLine(line, options);
        if (solution.status() == optimum::Status::TimeLimit)
            state.SkipWithError("not proven within 60 s");
        else if (solution.status() != optimum::Status::Optimal)
            state.SkipWithError("not solved to optimality");
    }
    state.counters["nodes"] = static_cast<double>(solution.nodes);
    state.counters["handed_over"] = solution.handedOver ? 1 : 0;
    state.counters["cost"] = solution.best.cost;
}
BENCHMARK(BM_ExactDenseLength)
    ->ArgsProduct({{0, 1}, {21, 30, 40, 60}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

// Our solver over 200 generated 21-station lines of one kind (range 0, of
// the kinds the solvers are compared on), as the planner solves them (from
// the calculated plan, the default options): the longest solve and the line
// that gave it, the solves over 1 s, those not proven, the hand-overs to CBC.
void BM_OwnWorstOfGenerated21(benchmark::State& state)
{
    const optimum::testing::LineKind& kind = optimum::testing::kLineKinds[state.range(0)];
    double worst = 0;
    int worstLine = 0;
    int overOneSecond = 0;
    int unproven = 0;
    int handedOver = 0;
    for (auto _ : state) {
        optimum::testing::Random random(static_cast<std::uint64_t>(100 + state.range(0)));
        optimum::testing::LineShape shape = kind.shape;
        shape.stations = kMaxStations;
        for (int k = 0; k < 200; ++k) {
            const CalcInput input = optimum::testing::randomLine(shape, random);
            const optimum::Solution solution =
                optimum::solveExact(input, optimum::testing::calculated(input));
            unproven += solution.status() == optimum::Status::Optimal ? 0 : 1;
            handedOver += solution.handedOver ? 1 : 0;
            overOneSecond += solution.seconds > 1 ? 1 : 0;
            if (solution.seconds > worst) {
                worst = solution.seconds;
                worstLine = k;
            }
        }
    }
    state.counters["worst_s"] = worst;
    state.counters["over_1s"] = overOneSecond;
    state.counters["unproven"] = unproven;
    state.counters["handed_over"] = handedOver;
    state.SetLabel(std::string(kind.name) + ", worst: line " + std::to_string(worstLine));
}
BENCHMARK(BM_OwnWorstOfGenerated21)
    ->DenseRange(0, static_cast<int>(std::size(optimum::testing::kLineKinds)) - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
