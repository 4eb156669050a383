#pragma once

#include <string>
#include <vector>

#include "calc/plan.h"
#include "optimum/exact.h"

namespace zeltrac {

// The exact optimum of a completed calculation's input, beside the calculated
// plan: what the window, the command-line tool and the exports show of it.
class ExactPlan
{
public:
    ExactPlan(optimum::Solution solution, int stationCount);

    const optimum::Solution& solution() const { return m_solution; }
    optimum::Status status() const { return m_solution.status; }
    int stationCount() const { return m_stationCount; }
    // Whether a plan was found (every status but "outside the model").
    // False for a line outside the model, conditions no plan meets, and a
    // time limit reached before any plan met them; the message says which.
    bool hasPlan() const
    {
        return m_solution.status != optimum::Status::NotCovered &&
               m_solution.status != optimum::Status::Infeasible && m_solution.message.empty();
    }

    // Car-hours: the calculated plan's total, the exact plan's total, and
    // what the exact plan saves (at least 0 whenever a plan was found).
    double analyticalCost() const { return m_solution.analyticalCost; }
    double cost() const { return m_solution.cost; }
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
    int m_stationCount;
};

// A number with the given decimals, "." as separator, independent of the locale.
std::string fixedText(double value, int decimals);

} // namespace zeltrac
