#include "optimum/conditions.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include <nlohmann/json.hpp>

#include "optimum/jsonfile.h"

namespace zeltrac::optimum {

namespace {

using Json = nlohmann::ordered_json;

std::string number(std::int64_t value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string trainText(const TrainPair& train)
{
    return number(train.first) + "-" + number(train.second);
}

// A whole JSON number within [low, high], or a reason.
std::string wholeNumber(const Json& value, std::int64_t low, std::int64_t high,
                        const std::string& where, std::int64_t& out)
{
    if (value.is_number_integer()) {
        const bool fits =
            value.is_number_unsigned()
                ? value.get<std::uint64_t>() <= static_cast<std::uint64_t>(high)
                : value.get<std::int64_t>() >= low && value.get<std::int64_t>() <= high;
        if (fits) {
            out = value.get<std::int64_t>();
            return {};
        }
        return where + ": число вне допустимых пределов (" + jsonExcerpt(value) + ")";
    }
    return where + ": ожидается целое число, а не " + jsonExcerpt(value);
}

} // namespace

std::string readTrainList(const Json& list, const char* key, std::vector<TrainPair>& trains)
{
    if (!list.is_array())
        return std::string("\"") + key +
               "\": ожидается список поездов [[отправление, назначение], ...]";
    for (const Json& item : list) {
        if (!item.is_array() || item.size() != 2)
            return std::string("\"") + key + "\": поезд задается парой станций, а не " +
                   jsonExcerpt(item);
        std::int64_t origin = 0, destination = 0;
        const std::string where = std::string("\"") + key + "\"";
        constexpr auto kMax = std::numeric_limits<int>::max();
        if (auto e = wholeNumber(item[0], 0, kMax, where, origin); !e.empty())
            return e;
        if (auto e = wholeNumber(item[1], 0, kMax, where, destination); !e.empty())
            return e;
        // A train listed again adds nothing: the first entry stands for it.
        const TrainPair train(static_cast<int>(origin), static_cast<int>(destination));
        if (std::find(trains.begin(), trains.end(), train) == trains.end())
            trains.push_back(train);
    }
    return {};
}

namespace {

template <typename Limit>
std::string readLimits(const Json& object, const char* key, std::int64_t highest,
                       std::map<int, Limit>& limits)
{
    if (!object.is_object())
        return std::string("\"") + key + "\": ожидается объект {\"станция\": предел, ...}";
    for (const auto& [name, value] : object.items()) {
        int station = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), station);
        if (name.empty() || error != std::errc() || end != name.data() + name.size())
            return std::string("\"") + key + "\": " + jsonExcerpt(name) + " не номер станции";
        // "3" and "03" name one station.
        if (limits.count(station) != 0)
            return std::string("\"") + key + "\": станция " + number(station) + " названа дважды";
        std::int64_t limit = 0;
        const std::string where = std::string("\"") + key + "\", станция " + number(station);
        if (auto e = wholeNumber(value, 0, highest, where, limit); !e.empty())
            return e;
        limits[station] = static_cast<Limit>(limit);
    }
    return {};
}

} // namespace

std::string describeForced(const TrainPair& train)
{
    return "обязательный поезд " + trainText(train);
}

std::string describeForbidden(const TrainPair& train)
{
    return "запрещенный поезд " + trainText(train);
}

std::string describeMaxDestinations(int station, int limit)
{
    return "не более " + number(limit) + " назначений на станции " + number(station);
}

std::string describeMaxReprocessed(int station, std::int64_t limit)
{
    return "не более " + number(limit) + " перерабатываемых вагонов на станции " + number(station);
}

std::string checkConditions(const Conditions& conditions, int n)
{
    const std::string range = " (станции линии: 1.." + number(n) + ")";
    auto checkTrain = [&](const TrainPair& t, const char* kind) -> std::string {
        if (t.first < 1 || t.first > n || t.second < 1 || t.second > n)
            return std::string(kind) + " поезд " + trainText(t) + ": станция вне линии" + range;
        if (t.first >= t.second)
            return std::string(kind) + " поезд " + trainText(t) +
                   ": станция отправления должна быть раньше станции назначения";
        return {};
    };
    for (const TrainPair& t : conditions.forced) {
        if (auto e = checkTrain(t, "Обязательный"); !e.empty())
            return e;
    }
    for (const TrainPair& t : conditions.forbidden) {
        if (auto e = checkTrain(t, "Запрещенный"); !e.empty())
            return e;
    }
    for (const auto& [station, limit] : conditions.maxDestinations) {
        if (station < 1 || station > n)
            return "Предел назначений: станция " + number(station) + " вне линии" + range;
    }
    for (const auto& [station, limit] : conditions.maxReprocessed) {
        if (station < 1 || station > n)
            return "Предел переработки: станция " + number(station) + " вне линии" + range;
    }
    return {};
}

std::string readConditions(const std::string& text, Conditions& conditions)
{
    conditions = Conditions{};
    Json root;
    if (std::string reason = parseJson(text, root); !reason.empty())
        return "Файл условий " + reason;
    if (!root.is_object())
        return "Файл условий должен содержать объект JSON";
    Conditions read;
    for (const auto& [key, value] : root.items()) {
        std::string error;
        if (key == "forced")
            error = readTrainList(value, "forced", read.forced);
        else if (key == "forbidden")
            error = readTrainList(value, "forbidden", read.forbidden);
        else if (key == "max_destinations")
            error = readLimits(value, "max_destinations", std::numeric_limits<int>::max(),
                               read.maxDestinations);
        else if (key == "max_reprocessed")
            error = readLimits(value, "max_reprocessed", std::numeric_limits<std::int64_t>::max(),
                               read.maxReprocessed);
        else
            error = "Неизвестное условие " + jsonExcerpt(key);
        if (!error.empty())
            return "Файл условий: " + error;
    }
    conditions = std::move(read);
    return {};
}

std::string writeConditions(const Conditions& conditions)
{
    nlohmann::ordered_json root = nlohmann::ordered_json::object();
    auto trains = [](const std::vector<TrainPair>& list) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const TrainPair& t : list)
            out.push_back({t.first, t.second});
        return out;
    };
    if (!conditions.forced.empty())
        root["forced"] = trains(conditions.forced);
    if (!conditions.forbidden.empty())
        root["forbidden"] = trains(conditions.forbidden);
    if (!conditions.maxDestinations.empty()) {
        nlohmann::ordered_json limits = nlohmann::ordered_json::object();
        for (const auto& [station, limit] : conditions.maxDestinations)
            limits[number(station)] = limit;
        root["max_destinations"] = limits;
    }
    if (!conditions.maxReprocessed.empty()) {
        nlohmann::ordered_json limits = nlohmann::ordered_json::object();
        for (const auto& [station, limit] : conditions.maxReprocessed)
            limits[number(station)] = limit;
        root["max_reprocessed"] = limits;
    }
    return root.dump(2) + "\n";
}

} // namespace zeltrac::optimum
