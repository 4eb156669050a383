#include "optimum_test_support.h"

#include <limits>
#include <stdexcept>

#include "calc/numtext.h"

namespace zeltrac::optimum::testing {

int Random::between(int low, int high)
{
    m_state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return low + static_cast<int>(z % static_cast<std::uint64_t>(high - low + 1));
}

CalcInput makeInput(int n, const std::vector<std::string>& cm, const std::vector<std::string>& tek,
                    const std::vector<Flow>& flows, std::string separator)
{
    CalcInput input;
    input.stationCount = n;
    input.stationParams = TextTable(n, 2);
    input.flows = TextTable(n - 1, n - 1);
    input.decimalSeparator = std::move(separator);
    for (std::size_t i = 0; i < cm.size(); ++i)
        input.stationParams.setCell(static_cast<int>(i), 0, cm[i]);
    for (std::size_t i = 0; i < tek.size(); ++i)
        input.stationParams.setCell(static_cast<int>(i), 1, tek[i]);
    for (const Flow& f : flows)
        input.flows.setCell(f.origin - 1, n - f.destination, f.cars);
    return input;
}

CalcInput randomLine(const LineShape& shape, Random& random)
{
    const int n = shape.stations;
    std::vector<std::string> cm, tek;
    for (int i = 1; i <= n - 1; ++i) {
        cm.push_back(numtext::wholeToText(random.between(shape.minCm, shape.maxCm)));
        const bool zero = i == 1 || random.chance(shape.zeroTekPercent);
        const int tenths = zero ? 0 : random.between(1, shape.maxTekTenths);
        tek.push_back(numtext::wholeToText(tenths / 10) + "." + numtext::wholeToText(tenths % 10));
    }
    std::vector<Flow> flows;
    for (int a = 1; a < n; ++a) {
        for (int b = a + 1; b <= n; ++b) {
            if (random.chance(shape.zeroFlowPercent))
                flows.push_back({a, b, random.chance(50) ? "0" : ""});
            else
                flows.push_back({a, b, numtext::wholeToText(random.between(1, shape.maxFlow))});
        }
    }
    return makeInput(n, cm, tek, flows);
}

long double bruteForceOptimum(const CalcInput& input)
{
    const int n = input.stationCount;
    if (n > 6)
        throw std::invalid_argument("too many stations to try every plan");
    long double cm[8] = {}, tek[8] = {};
    long double flow[8][8] = {};
    for (int i = 1; i <= n - 1; ++i) {
        const auto cmText = numtext::trim(input.stationParams.cell(i - 1, 0));
        cm[i] = cmText.empty() ? 0 : numtext::toWhole(cmText);
        const auto tekText = numtext::trim(input.stationParams.cell(i - 1, 1));
        tek[i] = tekText.empty() ? 0 : numtext::toReal40(tekText, input.decimalSeparator).wide();
    }
    tek[1] = 0;
    for (int a = 1; a < n; ++a) {
        for (int b = a + 1; b <= n; ++b) {
            const auto text = numtext::trim(input.flows.cell(a - 1, n - b));
            flow[a][b] = text.empty() ? 0 : numtext::toWhole(text);
        }
    }
    std::vector<std::pair<int, int>> trains;
    for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j)
            trains.emplace_back(i, j);
    const long double none = std::numeric_limits<long double>::infinity();
    long double best = none;
    for (unsigned set = 0; set < (1u << trains.size()); ++set) {
        bool open[8][8] = {};
        long double cost = 0;
        for (std::size_t t = 0; t < trains.size(); ++t) {
            if (set & (1u << t)) {
                open[trains[t].first][trains[t].second] = true;
                cost += cm[trains[t].first];
            }
        }
        // chain[v][b]: the cheapest re-forming cost from v to b.
        long double chain[8][8];
        for (int b = 2; b <= n; ++b) {
            for (int v = b - 1; v >= 1; --v) {
                chain[v][b] = open[v][b] ? 0 : none;
                for (int j = v + 1; j < b; ++j) {
                    if (open[v][j] && tek[j] > 0 && chain[j][b] + tek[j] < chain[v][b])
                        chain[v][b] = chain[j][b] + tek[j];
                }
            }
        }
        for (int a = 1; a < n && cost < none; ++a) {
            for (int b = a + 1; b <= n; ++b) {
                if (flow[a][b] == 0)
                    continue;
                if (chain[a][b] == none) {
                    cost = none;
                    break;
                }
                cost += flow[a][b] * chain[a][b];
            }
        }
        if (cost < best)
            best = cost;
    }
    return best;
}

} // namespace zeltrac::optimum::testing
