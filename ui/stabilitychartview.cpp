#include "ui/stabilitychartview.h"

#include <QPainter>

namespace zeltrac::ui {

void StabilityChartView::setChart(std::optional<diagram::StabilityChart> chart)
{
    m_chart = std::move(chart);
    update();
}

void StabilityChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_chart)
        diagram::paintStabilityChart(painter, QRectF(rect()), *m_chart);
    else
        painter.fillRect(rect(), Qt::white);
}

} // namespace zeltrac::ui
