#include "workbook/plannertext.h"

#include "workbook/exactplan.h"

namespace zeltrac {

namespace {

std::string pairText(int origin, int destination)
{
    return std::to_string(origin) + "→" + std::to_string(destination);
}

std::string joined(const std::vector<std::string>& cells)
{
    std::string text;
    for (const std::string& cell : cells)
        text += (text.empty() ? "" : " | ") + cell;
    return text;
}

} // namespace

std::string trainsText(const std::vector<optimum::TrainPair>& trains)
{
    std::string text;
    for (const auto& [origin, destination] : trains)
        text += (text.empty() ? "" : ", ") + pairText(origin, destination);
    return text.empty() ? "нет" : text;
}

std::string trainsText(const std::vector<FixedTrain>& trains)
{
    return trainsText(optimum::throughTrainsOf(trains));
}

std::vector<std::string> ladderHeader()
{
    return {"Изменений",   "Стоимость, ваг.-ч",          "Экономия, ваг.-ч",
            "Экономия, %", "Доля возможной экономии, %", "Изменения"};
}

std::vector<std::string> ladderRow(const optimum::LadderStep& step)
{
    const optimum::Solution& s = step.solution;
    if (!s.hasPlan())
        return {std::to_string(step.k),
                "—",
                "—",
                "—",
                "—",
                s.message.empty() ? "план не найден" : s.message};
    const double percent = step.currentCost != 0 ? 100 * step.saving() / step.currentCost : 0;
    std::string changes = optimum::describeChanges(step.added, step.removed);
    if (changes.empty())
        changes = "без изменений";
    if (s.model != optimum::ModelStatus::Optimal)
        changes += " (не доказан)";
    return {std::to_string(step.k), fixedText(s.best.cost, 1),        fixedText(step.saving(), 1),
            fixedText(percent, 2),  fixedText(100 * step.share(), 1), changes};
}

std::vector<std::string> pieceHeader()
{
    return {"g от",
            "g до",
            "Стоимость в начале",
            "Стоимость в конце",
            "Изменения в начале",
            "Сквозные поезда оптимума"};
}

std::vector<std::string> pieceRow(const optimum::StabilityPiece& piece)
{
    const std::string changes = optimum::describeChanges(piece.added, piece.removed);
    return {fixedText(piece.from, 4),
            fixedText(piece.to, 4),
            fixedText(piece.cost.at(piece.from), 1),
            fixedText(piece.cost.at(piece.to), 1),
            changes.empty() ? "—" : changes,
            trainsText(piece.trains)};
}

std::string ladderStatusText(const optimum::Ladder& ladder)
{
    if (!ladder.message.empty())
        return ladder.message;
    std::string text;
    switch (ladder.call) {
    case optimum::CallStatus::Completed:
        text = "Каждая ступень доказана";
        break;
    case optimum::CallStatus::TimeLimit:
        text = "Время истекло: не все ступени доказаны";
        break;
    case optimum::CallStatus::Cancelled:
        text = "Расчет отменен";
        break;
    case optimum::CallStatus::Failed:
        text = "Ошибка расчета";
        break;
    }
    if (ladder.optimumReached)
        text += "; оптимум достигнут за " + std::to_string(ladder.steps.back().k) +
                " изменений, лестница остановлена";
    return text;
}

std::string stabilityStatusText(const optimum::Stability& stability)
{
    if (!stability.message.empty())
        return stability.message;
    std::string text;
    switch (stability.call) {
    case optimum::CallStatus::Completed:
        text = "Огибающая доказана";
        break;
    case optimum::CallStatus::TimeLimit:
        text = "Время истекло: огибающая не доказана";
        break;
    case optimum::CallStatus::Cancelled:
        text = "Расчет отменен";
        break;
    case optimum::CallStatus::Failed:
        return "Ошибка расчета";
    }
    return text + "; участков: " + std::to_string(stability.pieces.size()) +
           ", точных расчетов: " + std::to_string(stability.solves);
}

std::vector<std::string> ladderLines(const optimum::Ladder& ladder)
{
    std::vector<std::string> lines{"", "ДЕЙСТВУЮЩИЙ ПЛАН И ЛУЧШИЕ ИЗМЕНЕНИЯ"};
    if (ladder.current.valid()) {
        lines.push_back("Стоимость действующего плана: " + fixedText(ladder.current.plan.cost, 1) +
                        " ваг.-ч");
        for (const auto& t : ladder.current.unusable)
            lines.push_back("Внимание: " + optimum::describeUnusable(t));
    }
    if (ladder.optimum.hasPlan())
        lines.push_back("Стоимость оптимума: " + fixedText(ladder.optimum.best.cost, 1) +
                        " ваг.-ч");
    lines.push_back(joined(ladderHeader()));
    for (const optimum::LadderStep& step : ladder.steps)
        lines.push_back(joined(ladderRow(step)));
    lines.push_back(ladderStatusText(ladder));
    return lines;
}

std::vector<std::string> stabilityLines(const optimum::Stability& stability)
{
    std::vector<std::string> lines{"", "УСТОЙЧИВОСТЬ ПЛАНА: " +
                                           optimum::describeScope(stability.scope)};
    lines.push_back(joined(pieceHeader()));
    for (const optimum::StabilityPiece& piece : stability.pieces)
        lines.push_back(joined(pieceRow(piece)));
    lines.push_back(stabilityStatusText(stability));
    return lines;
}

} // namespace zeltrac
