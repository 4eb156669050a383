#include "line_inputs.h"

#include <utility>

namespace zeltrac::testing {

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
    input.decimalSeparator = std::move(separator);
    input.stationParams = TextTable(n, 2);
    for (std::size_t i = 0; i < cm.size(); ++i)
        input.stationParams.setCell(static_cast<int>(i), 0, cm[i]);
    for (std::size_t i = 0; i < tek.size(); ++i)
        input.stationParams.setCell(static_cast<int>(i), 1, tek[i]);
    input.flows = TextTable(n - 1, n - 1);
    for (const Flow& flow : flows)
        input.flows.setCell(flow.origin - 1, n - flow.destination, flow.cars);
    return input;
}

CalcInput dearLine()
{
    return makeInput(5, {"8", "3", "8", "2"}, {"0", "1", "2", "2"},
                     {{1, 2, "4"},
                      {1, 3, "3"},
                      {1, 4, "9"},
                      {1, 5, "4"},
                      {2, 3, "5"},
                      {2, 4, "2"},
                      {2, 5, "2"},
                      {3, 4, "2"},
                      {3, 5, "2"},
                      {4, 5, "8"}});
}

} // namespace zeltrac::testing
