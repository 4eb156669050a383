#include "optimum/line.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "calc/error.h"
#include "calc/numtext.h"

namespace zeltrac::optimum {

namespace {

std::string stationCell(int station, const char* parameter)
{
    return "Станция " + numtext::wholeToText(station) + ", " + parameter + ": ";
}

std::string flowCell(int origin, int destination)
{
    return "Поток из станции " + numtext::wholeToText(origin) + " на станцию " +
           numtext::wholeToText(destination) + ": ";
}

constexpr const char* kBelowZero = "значение меньше 0";
constexpr const char* kNegative = "значение меньше 0 (";

// Beyond this the costs no longer add up exactly enough in the solver.
constexpr long double kLargestCost = 1e15L;

std::string stationCountOutside(int stations, int most)
{
    return "Число станций " + numtext::wholeToText(stations) + " вне пределов от " +
           numtext::wholeToText(kMinStations) + " до " + numtext::wholeToText(most);
}

// Every car on one train, and every car re-formed at every station, must
// stay within the numbers the indicators and the solver hold exactly.
std::string sizeCheck(const Line& line)
{
    long double totalFlow = 0;
    long double tekSum = 0;
    long double cmSum = 0;
    for (int i = 1; i <= line.n; ++i) {
        tekSum += line.tek[i];
        cmSum += line.cm[i];
        for (int j = i + 1; j <= line.n; ++j)
            totalFlow += static_cast<long double>(line.flow[i][j]);
    }
    if (totalFlow > std::numeric_limits<std::int32_t>::max() ||
        !(tekSum * totalFlow + cmSum * line.n < kLargestCost))
        return "Числа слишком велики для точного расчёта";
    return {};
}

} // namespace

std::string checkLine(const Line& line)
{
    if (line.n < kMinStations || line.n > kMaxLineStations)
        return stationCountOutside(line.n, kMaxLineStations);
    for (int i = 1; i <= line.n; ++i) {
        if (!(line.cm[i] >= 0))
            return stationCell(i, "Cm") + kBelowZero;
        if (!(line.tek[i] >= 0))
            return stationCell(i, "Tек") + kBelowZero;
        for (int j = i + 1; j <= line.n; ++j) {
            if (line.flow[i][j] < 0)
                return flowCell(i, j) + kBelowZero;
        }
    }
    return sizeCheck(line);
}

std::string readLine(const CalcInput& input, Line& line, int mostStations)
{
    line = Line{};
    const int most = std::min(mostStations, kMaxLineStations);
    if (input.stationCount < kMinStations || input.stationCount > most)
        return stationCountOutside(input.stationCount, most);
    const int n = input.stationCount;
    line.n = n;
    bool haveData = false;
    for (int i = 1; i <= n - 1; ++i) {
        const std::string& cmText = input.stationParams.cell(i - 1, 0);
        const std::string_view cm = numtext::trim(cmText);
        haveData = haveData || !cmText.empty();
        if (!cm.empty()) {
            try {
                line.cm[i] = numtext::toWhole(cm);
            } catch (const Error& e) {
                return stationCell(i, "Cm") + e.what();
            }
            if (line.cm[i] < 0)
                return stationCell(i, "Cm") + kNegative + std::string(cm) + ")";
        }
        const std::string& tekText = input.stationParams.cell(i - 1, 1);
        const std::string_view tek = numtext::trim(tekText);
        haveData = haveData || !tekText.empty();
        if (!tek.empty()) {
            try {
                line.tek[i] = numtext::toReal40(tek, input.decimalSeparator).wide();
            } catch (const Error& e) {
                return stationCell(i, "Tек") + e.what();
            }
            // Station 1 re-forms nothing whatever its Tек (as in the calculation).
            if (line.tek[i] < 0 && i != 1)
                return stationCell(i, "Tек") + kNegative + std::string(tek) + ")";
        }
    }
    line.tek[1] = 0;
    line.tek[n] = 0;
    if (!haveData)
        return messages::notEnoughData; // as the calculation says, before reading the flows

    for (int r = 0; r <= n - 2; ++r) {
        for (int c = 0; c <= n - 2; ++c) {
            const int origin = c + 1;
            const int destination = n - r;
            const std::string_view text = numtext::trim(input.flows.cell(c, r));
            if (text.empty())
                continue;
            std::int32_t cars = 0;
            try {
                cars = numtext::toWhole(text);
            } catch (const Error& e) {
                return flowCell(origin, destination) + e.what();
            }
            if (cars < 0)
                return flowCell(origin, destination) + kNegative + std::string(text) + ")";
            if (destination <= origin) {
                if (cars != 0)
                    return flowCell(origin, destination) + "ячейка вне треугольника потоков (" +
                           std::string(text) + ")";
                continue;
            }
            line.flow[origin][destination] = cars;
        }
    }
    return sizeCheck(line);
}

Routing route(const Line& line, const TrainSet& open)
{
    const int n = line.n;
    Routing routing;
    routing.covered = true;
    // Room for the longest line; only the line's own stations are zeroed and read.
    std::array<std::array<std::int64_t, kDim>, kDim> cars;
    for (int i = 1; i <= n; ++i)
        std::fill_n(cars[i].begin(), n + 1, 0);
    // best[v]: the cheapest re-forming cost from v to the destination, with
    // its train count and the next station (0: no chain).
    std::array<long double, kDim> best{};
    std::array<int, kDim> hops{};
    for (int b = 2; b <= n; ++b) {
        std::array<int, kDim>& next = routing.next[b];
        best[b] = 0;
        hops[b] = 0;
        for (int v = b - 1; v >= 1; --v) {
            next[v] = 0;
            for (int j = b; j > v; --j) {
                if (!open[v][j] || (j != b && (!line.reforms(j) || next[j] == 0)))
                    continue;
                const long double cost = j == b ? 0 : line.tek[j] + best[j];
                const int count = hops[j] + 1;
                if (next[v] == 0 || cost < best[v] || (cost == best[v] && count < hops[v])) {
                    best[v] = cost;
                    hops[v] = count;
                    next[v] = j;
                }
            }
        }
        for (int a = 1; a < b; ++a) {
            const std::int64_t f = line.flow[a][b];
            if (f == 0)
                continue;
            if (next[a] == 0) {
                routing.covered = false;
                continue;
            }
            routing.cost += static_cast<long double>(f) * best[a];
            for (int v = a; v != b; v = next[v])
                cars[v][next[v]] += f;
        }
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            if (cars[i][j] > 0) {
                routing.cost += line.cm[i];
                routing.trains.push_back(FixedTrain{i, j, static_cast<std::int32_t>(cars[i][j])});
            }
        }
    }
    return routing;
}

TrainSet openSet(const std::vector<FixedTrain>& trains)
{
    TrainSet open{};
    for (const FixedTrain& t : trains) {
        if (t.origin >= 1 && t.origin < t.destination && t.destination < kDim)
            open[t.origin][t.destination] = true;
    }
    return open;
}

} // namespace zeltrac::optimum
