#pragma once

#include <string>
#include <vector>

#include "optimum/planner.h"

// The texts of the plan in force, its ladder of changes and the stability
// pieces, as the windows and zeltrac-cli show them.
namespace zeltrac {

// "1→8, 2→5" (trains by origin then destination); "нет" when none.
std::string trainsText(const std::vector<optimum::TrainPair>& trains);
std::string trainsText(const std::vector<FixedTrain>& trains);

// The columns of a ladder line: changes k, the cost, the saving in car-hours
// and in %, the share of the whole possible saving in %, the trains changed.
std::vector<std::string> ladderHeader();
std::vector<std::string> ladderRow(const optimum::LadderStep& step);

// The columns of a stability piece: g from, g to, the cost at both ends,
// the trains changed where it starts, the optimum's trains there.
std::vector<std::string> pieceHeader();
std::vector<std::string> pieceRow(const optimum::StabilityPiece& piece);

// The status of a ladder or an envelope in words.
std::string ladderStatusText(const optimum::Ladder& ladder);
std::string stabilityStatusText(const optimum::Stability& stability);

// The lines zeltrac-cli prints after the report.
std::vector<std::string> ladderLines(const optimum::Ladder& ladder);
std::vector<std::string> stabilityLines(const optimum::Stability& stability);

} // namespace zeltrac
