#include "workbook/exactplan.h"

#include <array>
#include <charconv>
#include <cmath>

#include "calc/numtext.h"
#include "report/report.h"

namespace zeltrac {

ExactPlan::ExactPlan(optimum::Solution solution, int stationCount)
    : m_solution(std::move(solution)), m_stationCount(stationCount)
{
}

double ExactPlan::saving() const
{
    return hasPlan() ? m_solution.analyticalCost - m_solution.cost : 0;
}

double ExactPlan::savingPercent() const
{
    if (!hasPlan() || m_solution.analyticalCost == 0)
        return 0;
    return saving() / m_solution.analyticalCost * 100;
}

bool ExactPlan::indicatorDiffers(int column, int station) const
{
    if (!hasPlan() || column < 2 || column > 6 || station < 1 || station >= m_stationCount)
        return false;
    return m_solution.tables.indicator(column, station) !=
           m_solution.analyticalTables.indicator(column, station);
}

bool ExactPlan::totalDiffers(int element) const
{
    if (!hasPlan() || element < 2 || element > 6)
        return false;
    return m_solution.tables.total(element) != m_solution.analyticalTables.total(element);
}

std::string ExactPlan::statusText() const
{
    if (!hasPlan())
        return "Точный оптимум не найден: " + m_solution.message;
    switch (m_solution.status) {
    case optimum::Status::Optimal:
        return "Оптимум доказан";
    case optimum::Status::TimeLimit:
        return "Предел времени исчерпан: лучший найденный план, нижняя граница " +
               fixedText(m_solution.bound, 2) + " ваг.-ч";
    case optimum::Status::Cancelled:
        return "Отменено: лучший найденный план, нижняя граница " + fixedText(m_solution.bound, 2) +
               " ваг.-ч";
    case optimum::Status::NotCovered:
    case optimum::Status::Infeasible:
        break;
    }
    return "Точный оптимум не найден: " + m_solution.message;
}

void ExactPlan::appendSection(std::vector<std::string>& lines) const
{
    lines.emplace_back();
    lines.emplace_back("ТОЧНЫЙ ОПТИМУМ");
    lines.emplace_back();
    lines.emplace_back("Статус: " + statusText());
    if (!hasPlan())
        return;
    lines.emplace_back();
    const TextTable& plan = m_solution.plan;
    for (int r = 1; r <= plan.rowCount(); ++r) {
        lines.emplace_back("     ");
        for (int c = 1; c <= plan.columnCount() - r + 1; ++c) {
            lines.back() += report::wholeField(numtext::toWholeLenient(plan.cell(c - 1, r - 1)), 6);
        }
    }
    lines.emplace_back();
    lines.emplace_back("ПОКАЗАТЕЛИ ТОЧНОГО ПЛАНА (* - отличаются от рассчитанного)");
    lines.emplace_back();
    lines.emplace_back(" №       ЧИСЛО      ПЕРЕРАБОТКА   ЗАТРАТЫ ВАГОНО-ЧАСОВ");
    lines.emplace_back(" СТАНЦИИ НАЗНАЧЕНИЙ ВАГОНОВ  НАКОПЛЕНИЕ ПЕРЕРАБОТ  ИТОГО");
    for (int station = 1; station <= m_stationCount - 1; ++station) {
        lines.emplace_back();
        bool differs = false;
        for (int column = 1; column <= 6; ++column) {
            lines.back() += report::indicatorField(m_solution.tables.indicator(column, station));
            differs = differs || indicatorDiffers(column, station);
        }
        if (differs)
            lines.back() += " *";
    }
    lines.emplace_back("  ВСЕГО  ");
    bool totalsDiffer = false;
    for (int element = 2; element <= 6; ++element) {
        lines.back() += report::indicatorField(m_solution.tables.total(element));
        totalsDiffer = totalsDiffer || totalDiffers(element);
    }
    if (totalsDiffer)
        lines.back() += " *";
    lines.emplace_back();
    lines.emplace_back("Рассчитанный план, ваг.-ч: " + fixedText(analyticalCost(), 2));
    lines.emplace_back("Точный оптимум, ваг.-ч:    " + fixedText(cost(), 2));
    lines.emplace_back("Экономия, ваг.-ч:          " + fixedText(saving(), 2) + " (" +
                       fixedText(savingPercent(), 2) + " %)");
    lines.emplace_back("Время решения, с:          " + fixedText(m_solution.seconds, 3));
}

std::string fixedText(double value, int decimals)
{
    if (!std::isfinite(value))
        return "-";
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed, decimals);
    if (error != std::errc())
        return "-";
    std::string text(buffer.data(), end);
    // No "-0.00" for a saving of nothing.
    if (text.find_first_not_of("-0.") == std::string::npos && text.front() == '-')
        text.erase(0, 1);
    return text;
}

} // namespace zeltrac
