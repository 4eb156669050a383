#include <benchmark/benchmark.h>

#include "bench_inputs.h"
#include "calc/plan.h"

using namespace zeltrac;

namespace {

void runPlan(benchmark::State& state, const CalcInput& input)
{
    ResultTables tables;
    std::size_t trains = 0;
    for (auto _ : state) {
        CalcResult result = calculatePlan(input, tables);
        trains = result.trains.size();
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    state.counters["trains"] = static_cast<double>(trains);
    state.counters["per_train"] = benchmark::Counter(static_cast<double>(trains + 1),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void denseTwentyOne(benchmark::State& state)
{
    runPlan(state, bench::denseLine(bench::DenseLine{}));
}

void longestSearch(benchmark::State& state)
{
    runPlan(state, bench::longestSearch());
}

void denseEight(benchmark::State& state)
{
    bench::DenseLine line;
    line.stations = 8;
    runPlan(state, bench::denseLine(line));
}

} // namespace

BENCHMARK(denseTwentyOne)->Unit(benchmark::kMicrosecond);
BENCHMARK(longestSearch)->Unit(benchmark::kMicrosecond);
BENCHMARK(denseEight)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
