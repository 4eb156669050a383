#pragma once

#include <string>
#include <vector>

#include "calc/plan.h"
#include "optimum/exact.h"
#include "workbook/analysisjob.h"

namespace zeltrac {

// The exact optimum of a completed calculation's input, beside the calculated
// plan: what the window, the command-line tool and the exports show of it.
class ExactPlan
{
public:
    // `kind` names the solution's best plan (a variant when shown in its place).
    ExactPlan(optimum::Solution solution, optimum::CalculatedPlan calculated, int stationCount,
              PlanKind kind = PlanKind::Optimum, int variant = 0);

    const optimum::Solution& solution() const { return m_solution; }
    const optimum::CalculatedPlan& calculated() const { return m_calculated; }
    optimum::Status status() const { return m_solution.status(); }
    int stationCount() const { return m_stationCount; }
    PlanKind kind() const { return m_kind; }
    // "Точный оптимум", "Оптимум при условиях" or "Вариант N".
    std::string label() const { return planLabel(m_kind, m_variant); }
    // Whether a plan was found; the status text says why not.
    bool hasPlan() const { return m_solution.hasPlan(); }

    // Car-hours: the calculated plan's total, the exact plan's total, and
    // what the exact plan saves (at least 0 whenever a plan was found).
    double analyticalCost() const { return m_calculated.cost(); }
    double cost() const { return m_solution.best.cost; }
    double saving() const;
    // The saving in percent of the calculated plan's total; 0 when that is 0.
    double savingPercent() const;

    // Whether the plans differ in the indicator `column` (2..6) of a station
    // (1..N-1), or in the total `element` (2..6).
    bool indicatorDiffers(int column, int station) const;
    bool totalDiffers(int element) const;

    // The status in words, e.g. "Оптимум доказан".
    std::string statusText() const;

    // Appends the text section that follows the report: the exact plan laid
    // out like the report's plan, its station indicators (a row that differs
    // from the calculated plan's ends with " *") and the comparison lines.
    void appendSection(std::vector<std::string>& lines) const;

private:
    optimum::Solution m_solution;
    optimum::CalculatedPlan m_calculated;
    int m_stationCount;
    PlanKind m_kind;
    int m_variant;
};

// A number with the given decimals, "." as separator, independent of the locale.
std::string fixedText(double value, int decimals);

} // namespace zeltrac
