#include "bench_inputs.h"

#include <string>

#include "calc/numtext.h"
#include "calc/testing/line_inputs.h"

namespace zeltrac::bench {

namespace {

std::string tenthsText(int tenths)
{
    return numtext::wholeToText(tenths / 10) + "." + numtext::wholeToText(tenths % 10);
}

} // namespace

CalcInput denseLine(const DenseLine& line)
{
    zeltrac::testing::Random random(line.seed);
    const int n = line.stations;
    CalcInput input;
    input.stationCount = n;
    input.stationParams = TextTable(n, 2);
    input.flows = TextTable(n - 1, n - 1);
    for (int c = 0; c < n - 1; ++c) {
        input.stationParams.setCell(c, 0,
                                    numtext::wholeToText(random.between(line.minCm, line.maxCm)));
        input.stationParams.setCell(
            c, 1, tenthsText(random.between(line.minTekTenths, line.maxTekTenths)));
    }
    for (int c = 0; c < n - 1; ++c) {
        for (int r = 0; c + r <= n - 2; ++r)
            input.flows.setCell(c, r,
                                numtext::wholeToText(random.between(line.minFlow, line.maxFlow)));
    }
    return input;
}

CalcInput longestSearch()
{
    // Small Cm against large savings: nearly every pair gets its own train.
    // 190 steps, one for each of the 190 candidate trains of 21 stations;
    // random search and hill climbing over tens of thousands of lines
    // (negative and zero values included) found none longer.
    DenseLine line;
    line.minFlow = 0;
    line.maxFlow = 300;
    line.minCm = 1;
    line.maxCm = 10;
    line.minTekTenths = 10;
    line.maxTekTenths = 100;
    line.seed = 1;
    return denseLine(line);
}

} // namespace zeltrac::bench
