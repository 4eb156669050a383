#include "optimum_test_support.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "calc/error.h"
#include "calc/numtext.h"

namespace zeltrac::optimum::testing {

TrainPair randomTrain(int stations, Random& random)
{
    const int origin = random.between(1, stations - 1);
    return {origin, random.between(origin + 1, stations)};
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

CalculatedPlan calculated(const CalcInput& input)
{
    try {
        return calculatedPlanOf(input);
    } catch (const Error&) {
        return {};
    }
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

namespace zeltrac::optimum::testing {

namespace {

struct SmallLine
{
    int n = 0;
    long double cm[8] = {}, tek[8] = {};
    std::int64_t flow[8][8] = {};
};

SmallLine smallLine(const CalcInput& input)
{
    SmallLine line;
    line.n = input.stationCount;
    for (int i = 1; i <= line.n - 1; ++i) {
        const auto cmText = numtext::trim(input.stationParams.cell(i - 1, 0));
        line.cm[i] = cmText.empty() ? 0 : numtext::toWhole(cmText);
        const auto tekText = numtext::trim(input.stationParams.cell(i - 1, 1));
        line.tek[i] =
            tekText.empty() ? 0 : numtext::toReal40(tekText, input.decimalSeparator).wide();
    }
    line.tek[1] = 0;
    for (int a = 1; a < line.n; ++a) {
        for (int b = a + 1; b <= line.n; ++b) {
            const auto text = numtext::trim(input.flows.cell(a - 1, line.n - b));
            line.flow[a][b] = text.empty() ? 0 : numtext::toWhole(text);
        }
    }
    return line;
}

using Open = bool[8][8];

// Every chain of open trains from a to b re-formed only where Tек > 0:
// {re-forming cost per car, stations re-formed at}.
void chains(const SmallLine& line, const Open& open, int v, int b, long double cost,
            std::vector<int>& at, std::vector<std::pair<long double, std::vector<int>>>& out)
{
    for (int j = v + 1; j <= b; ++j) {
        if (!open[v][j])
            continue;
        if (j == b) {
            out.emplace_back(cost, at);
        } else if (line.tek[j] > 0) {
            at.push_back(j);
            chains(line, open, j, b, cost + line.tek[j], at, out);
            at.pop_back();
        }
    }
}

constexpr long double kNone = std::numeric_limits<long double>::infinity();

// The cheapest choice of chains for the flows in `limited` (by trying every
// combination within the limits), from flow index k on.
long double
limitedChoice(const std::vector<std::int64_t>& cars,
              const std::vector<std::vector<std::pair<long double, std::vector<int>>>>& options,
              std::size_t k, std::int64_t (&reformed)[8], const Conditions& conditions)
{
    if (k == options.size())
        return 0;
    long double best = kNone;
    for (const auto& [cost, at] : options[k]) {
        bool fits = true;
        for (const int s : at) {
            reformed[s] += cars[k];
            const auto limit = conditions.maxReprocessed.find(s);
            fits =
                fits && (limit == conditions.maxReprocessed.end() || reformed[s] <= limit->second);
        }
        if (fits) {
            const long double rest = limitedChoice(cars, options, k + 1, reformed, conditions);
            best = std::min(best, cars[k] * cost + rest);
        }
        for (const int s : at)
            reformed[s] -= cars[k];
    }
    return best;
}

long double setCost(const SmallLine& line, const Open& open, const Conditions& conditions)
{
    long double cost = 0;
    for (int i = 1; i < line.n; ++i)
        for (int j = i + 1; j <= line.n; ++j)
            cost += open[i][j] ? line.cm[i] : 0;
    std::vector<std::int64_t> cars;
    std::vector<std::vector<std::pair<long double, std::vector<int>>>> options;
    for (int a = 1; a < line.n; ++a) {
        for (int b = a + 1; b <= line.n; ++b) {
            if (line.flow[a][b] == 0)
                continue;
            std::vector<std::pair<long double, std::vector<int>>> found;
            std::vector<int> at;
            chains(line, open, a, b, 0, at, found);
            if (found.empty())
                return kNone;
            bool limited = false;
            for (int s = a + 1; s < b; ++s)
                limited = limited || (line.tek[s] > 0 && conditions.maxReprocessed.count(s) > 0);
            if (limited) {
                cars.push_back(line.flow[a][b]);
                options.push_back(std::move(found));
            } else {
                long double cheapest = kNone;
                for (const auto& chain : found)
                    cheapest = std::min(cheapest, chain.first);
                cost += line.flow[a][b] * cheapest;
            }
        }
    }
    std::int64_t reformed[8] = {};
    return cost + limitedChoice(cars, options, 0, reformed, conditions);
}

bool notAbove(long double cost, long double than)
{
    return cost <= than + 1e-9L * (than < 0 ? -than : than);
}

} // namespace

std::vector<BrutePlan> bruteForcePlans(const CalcInput& input, const Conditions& conditions)
{
    const SmallLine line = smallLine(input);
    const int n = line.n;
    if (n > 6 || (n > 5 && !conditions.maxReprocessed.empty()))
        throw std::invalid_argument("too many stations to try every plan");
    std::vector<std::pair<int, int>> trains;
    for (int i = 1; i < n; ++i)
        for (int j = i + 1; j <= n; ++j)
            trains.emplace_back(i, j);
    auto listed = [](const std::vector<std::pair<int, int>>& list, std::pair<int, int> t) {
        return std::find(list.begin(), list.end(), t) != list.end();
    };
    // Every set's cost once (kNone: breaks a condition or leaves a flow
    // without a chain); the limits on destinations and the required trains
    // are checked on the set itself.
    const unsigned sets = 1u << trains.size();
    std::vector<long double> costs(sets, kNone);
    std::vector<bool> allowed(sets, true);
    for (unsigned set = 0; set < sets; ++set) {
        Open open = {};
        int starting[8] = {};
        bool forbiddenIn = false;
        for (std::size_t t = 0; t < trains.size(); ++t) {
            const bool in = (set >> t) & 1u;
            open[trains[t].first][trains[t].second] = in;
            starting[trains[t].first] += in;
            forbiddenIn = forbiddenIn || (in && listed(conditions.forbidden, trains[t]));
            if (!in && listed(conditions.forced, trains[t]))
                allowed[set] = false;
        }
        bool within = !forbiddenIn;
        for (const auto& [station, limit] : conditions.maxDestinations)
            within = within && starting[station] <= limit;
        if (within)
            costs[set] = setCost(line, open, conditions);
    }
    std::vector<BrutePlan> plans;
    for (unsigned set = 0; set < sets; ++set) {
        if (!allowed[set] || costs[set] == kNone)
            continue;
        bool minimal = true;
        for (std::size_t t = 0; t < trains.size() && minimal; ++t) {
            if (((set >> t) & 1u) && !listed(conditions.forced, trains[t]))
                minimal = !notAbove(costs[set & ~(1u << t)], costs[set]);
        }
        if (!minimal)
            continue;
        BrutePlan plan{costs[set], {}};
        for (std::size_t t = 0; t < trains.size(); ++t)
            if ((set >> t) & 1u)
                plan.trains.push_back(trains[t]);
        plans.push_back(std::move(plan));
    }
    std::stable_sort(plans.begin(), plans.end(),
                     [](const BrutePlan& x, const BrutePlan& y) { return x.cost < y.cost; });
    return plans;
}

} // namespace zeltrac::optimum::testing
