#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

// The planner's conditions on the exact plan, and their JSON form:
// {"forced": [[1, 8]], "forbidden": [[2, 5]], "max_destinations": {"3": 2},
//  "max_reprocessed": {"4": 500}}, every key optional.
namespace zeltrac::optimum {

using TrainPair = std::pair<int, int>; // origin, destination

struct Conditions
{
    // Trains in the plan whatever they carry (each pays its origin's Cm).
    std::vector<TrainPair> forced;
    // Trains never in the plan.
    std::vector<TrainPair> forbidden;
    // Station -> at most this many trains start there.
    std::map<int, int> maxDestinations;
    // Station -> at most this many cars arrive there on one train and leave
    // on another, over all flows.
    std::map<int, std::int64_t> maxReprocessed;

    bool empty() const
    {
        return forced.empty() && forbidden.empty() && maxDestinations.empty() &&
               maxReprocessed.empty();
    }
    bool operator==(const Conditions&) const = default;
};

// The reason the conditions do not fit a line of n stations (a station
// outside 1..n, a train whose origin is not before its destination), or the
// empty text.
std::string checkConditions(const Conditions& conditions, int n);

// Reads the JSON text. Either the reason it is not a set of conditions comes
// back and `conditions` is left empty, or they are filled and the empty text
// comes back. Never throws.
std::string readConditions(const std::string& text, Conditions& conditions);

// Reads a JSON list of trains [[origin, destination], ...] under the key
// named in the reason; a train listed again is kept once. Empty text or the
// reason.
std::string readTrainList(const nlohmann::ordered_json& list, const char* key,
                          std::vector<TrainPair>& trains);

// The JSON text of the conditions (readConditions gives them back equal).
std::string writeConditions(const Conditions& conditions);

// The condition as the planner reads it, e.g. "обязательный поезд 1-8".
std::string describeForced(const TrainPair& train);
std::string describeForbidden(const TrainPair& train);
std::string describeMaxDestinations(int station, int limit);
std::string describeMaxReprocessed(int station, std::int64_t limit);

} // namespace zeltrac::optimum
