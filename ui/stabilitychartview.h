#pragma once

#include <QWidget>
#include <optional>

#include "diagram/stabilitychart.h"

namespace zeltrac::ui {

// The stability chart on screen, painted as it is saved.
class StabilityChartView : public QWidget
{
public:
    using QWidget::QWidget;
    void setChart(std::optional<diagram::StabilityChart> chart);
    const std::optional<diagram::StabilityChart>& chart() const { return m_chart; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<diagram::StabilityChart> m_chart;
};

} // namespace zeltrac::ui
