#include "diagram/stabilitychart.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace zeltrac::diagram {

StabilityChart stabilityChartOf(const optimum::Stability& stability, const QString& fixedName)
{
    StabilityChart chart;
    chart.scope = QString::fromStdString(optimum::describeScope(stability.scope));
    chart.low = stability.low;
    chart.high = stability.high;
    for (const optimum::StabilityPiece& piece : stability.pieces) {
        chart.pieces.push_back(
            {piece.from, piece.to, piece.cost.at(piece.from), piece.cost.at(piece.to),
             QString::fromStdString(optimum::describeChanges(piece.added, piece.removed))});
    }
    if (!stability.fixedTrains.empty())
        chart.fixed =
            std::pair(stability.fixed.at(stability.low), stability.fixed.at(stability.high));
    chart.fixedName = fixedName;
    return chart;
}

namespace {

// About `count` round steps over [low, high].
double tickStep(double low, double high, int count)
{
    const double raw = (high - low) / std::max(1, count);
    if (!(raw > 0))
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (raw <= m * power)
            return m * power;
    }
    return 10 * power;
}

// first, first + step, ... up to `last`: at most 100 of them, however the
// steps round.
std::vector<double> ticks(double first, double last, double step)
{
    std::vector<double> values;
    for (int k = 0; k <= 100 && first + k * step <= last; ++k)
        values.push_back(first + k * step);
    return values;
}

QString number(double value)
{
    return QString::number(value, 'g', 10).replace(u'.', u',');
}

const QColor kOptimal(0x1f, 0x5f, 0xbf);
const QColor kFixed(0xd0, 0x70, 0x10);
const QColor kGrid(0xdd, 0xdd, 0xdd);

} // namespace

void paintStabilityChart(QPainter& painter, const QRectF& area, const StabilityChart& chart,
                         const QFont& font)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, Qt::white);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();

    // Title, legend and plot area.
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(bold);
    const QString title =
        chart.scope.isEmpty() ? chart.title : chart.title + QStringLiteral(": ") + chart.scope;
    painter.drawText(QRectF(area.left(), area.top() + 4, area.width(), line),
                     Qt::AlignHCenter | Qt::AlignVCenter, title);
    painter.setFont(font);

    double minCost = 0, maxCost = 0;
    bool any = false;
    const auto include = [&](double c) {
        if (!std::isfinite(c))
            return;
        minCost = any ? std::min(minCost, c) : c;
        maxCost = any ? std::max(maxCost, c) : c;
        any = true;
    };
    for (const auto& p : chart.pieces) {
        include(p.costFrom);
        include(p.costTo);
    }
    if (chart.fixed) {
        include(chart.fixed->first);
        include(chart.fixed->second);
    }
    if (!any || maxCost <= minCost) {
        minCost -= 1;
        maxCost += 1;
    }
    const double yStep = tickStep(minCost, maxCost, 6);
    minCost = std::floor(minCost / yStep) * yStep;
    maxCost = std::ceil(maxCost / yStep) * yStep;
    const std::vector<double> yTicks = ticks(minCost, maxCost + yStep / 2, yStep);

    const double leftText = metrics.horizontalAdvance(number(maxCost)) + 8;
    const QRectF plot(area.left() + leftText + line + 6, area.top() + 3 * line + 8,
                      area.width() - leftText - line - 26, area.height() - 6 * line - 12);
    if (plot.width() < 20 || plot.height() < 20) {
        painter.restore();
        return;
    }
    const double span = chart.high > chart.low ? chart.high - chart.low : 1;
    const auto x = [&](double g) { return plot.left() + (g - chart.low) / span * plot.width(); };
    const auto y = [&](double c) {
        return plot.bottom() - (c - minCost) / (maxCost - minCost) * plot.height();
    };

    // Legend under the title.
    double legendX = plot.left();
    const double legendY = area.top() + 1.5 * line + 8;
    const auto legend = [&](const QColor& color, Qt::PenStyle style, const QString& text) {
        painter.setPen(QPen(color, 2.5, style));
        painter.drawLine(QPointF(legendX, legendY + line / 2),
                         QPointF(legendX + 28, legendY + line / 2));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(legendX + 34, legendY + metrics.ascent()), text);
        legendX += 34 + metrics.horizontalAdvance(text) + 24;
    };
    legend(kOptimal, Qt::SolidLine, QStringLiteral("Оптимальная стоимость"));
    if (chart.fixed)
        legend(kFixed, Qt::DashLine, chart.fixedName);

    // Grid and axes.
    painter.setPen(QPen(kGrid, 1));
    for (const double c : yTicks)
        painter.drawLine(QPointF(plot.left(), y(c)), QPointF(plot.right(), y(c)));
    const double xStep = tickStep(chart.low, chart.high, 8);
    const std::vector<double> xTicks =
        ticks(std::ceil(chart.low / xStep) * xStep, chart.high + xStep / 1e6, xStep);
    for (const double g : xTicks)
        painter.drawLine(QPointF(x(g), plot.top()), QPointF(x(g), plot.bottom()));
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    for (const double c : yTicks)
        painter.drawText(QRectF(area.left(), y(c) - line / 2, leftText + line, line),
                         Qt::AlignRight | Qt::AlignVCenter, number(c));
    for (const double g : xTicks)
        painter.drawText(QRectF(x(g) - 40, plot.bottom() + 2, 80, line), Qt::AlignCenter,
                         number(std::round(g / xStep) * xStep));
    painter.drawText(QRectF(plot.left(), plot.bottom() + line + 4, plot.width(), line),
                     Qt::AlignCenter, QStringLiteral("коэффициент изменения потоков g"));
    painter.save();
    painter.translate(area.left() + line / 2 + 2, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -line / 2, plot.height(), line), Qt::AlignCenter,
                     QStringLiteral("стоимость плана, ваг.-ч"));
    painter.restore();

    // g = 1.
    if (chart.low <= 1 && 1 <= chart.high) {
        painter.setPen(QPen(Qt::darkGray, 1.5, Qt::DotLine));
        painter.drawLine(QPointF(x(1), plot.top()), QPointF(x(1), plot.bottom()));
        painter.setPen(Qt::darkGray);
        painter.drawText(QPointF(x(1) + 4, plot.bottom() - 4), QStringLiteral("g = 1"));
    }

    // The fixed plan, then the optimum over it.
    painter.setClipRect(plot.adjusted(-3, -3, 3, 3));
    if (chart.fixed) {
        painter.setPen(QPen(kFixed, 2, Qt::DashLine));
        painter.drawLine(QPointF(x(chart.low), y(chart.fixed->first)),
                         QPointF(x(chart.high), y(chart.fixed->second)));
    }
    QPainterPath path;
    for (std::size_t k = 0; k < chart.pieces.size(); ++k) {
        const auto& p = chart.pieces[k];
        if (k == 0)
            path.moveTo(x(p.from), y(p.costFrom));
        else
            path.lineTo(x(p.from), y(p.costFrom));
        path.lineTo(x(p.to), y(p.costTo));
    }
    painter.setPen(QPen(kOptimal, 2.5));
    painter.drawPath(path);

    // Breakpoints, their labels where they fit (staggered over three rows).
    double lastRight[3] = {-1e9, -1e9, -1e9};
    for (std::size_t k = 1; k < chart.pieces.size(); ++k) {
        const auto& p = chart.pieces[k];
        const QPointF at(x(p.from), y(p.costFrom));
        painter.setPen(QPen(kOptimal, 1.5));
        painter.setBrush(Qt::white);
        painter.drawEllipse(at, 3.5, 3.5);
        const QString text = metrics.elidedText(p.changes, Qt::ElideRight, 160);
        const double width = metrics.horizontalAdvance(text);
        const double left = std::clamp(at.x() - width / 2, plot.left() + 2,
                                       std::max(plot.left() + 2, plot.right() - width - 2));
        for (int row = 0; row < 3; ++row) {
            if (left <= lastRight[row] + 6)
                continue;
            const double top = plot.top() + 4 + row * line;
            painter.setPen(QPen(kGrid, 1));
            painter.drawLine(at, QPointF(at.x(), top + line));
            painter.setPen(Qt::black);
            painter.drawText(QRectF(left, top, width, line), Qt::AlignCenter, text);
            lastRight[row] = left + width;
            break;
        }
    }
    painter.restore();
}

void writeStabilityChart(const StabilityChart& chart, const QString& path, QSizeF size)
{
    const QFont font = diagramFont();
    savePainting(
        size, chart.title,
        [&](QPainter& painter) {
            paintStabilityChart(painter, QRectF(QPointF(0, 0), size), chart, font);
        },
        path, formatOfFile(path));
}

} // namespace zeltrac::diagram
