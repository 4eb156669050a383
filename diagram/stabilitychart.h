#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <optional>
#include <vector>

#include "diagram/picture.h"
#include "optimum/planner.h"

class QPainter;

// The chart of a plan's stability: the optimal cost over the factor g by
// which the flows change, the fixed plan's cost over it, the breakpoints
// labelled with the trains that change there, g = 1 marked.
namespace zeltrac::diagram {

inline constexpr QSizeF kDefaultChartSize{1000, 560};

struct StabilityChart
{
    QString title = QStringLiteral("Устойчивость плана");
    QString scope; // "все потоки", ...
    double low = 0, high = 1;
    struct Piece
    {
        double from = 0, to = 0;
        double costFrom = 0, costTo = 0;
        QString changes; // at `from`, e.g. "+1→8, −2→5" (empty for the first)
    };
    std::vector<Piece> pieces;
    std::optional<std::pair<double, double>> fixed; // its cost at low and at high
    QString fixedName = QStringLiteral("Действующий план");
};

StabilityChart stabilityChartOf(const optimum::Stability& stability,
                                const QString& fixedName = QStringLiteral("Действующий план"));

// Paints the chart into `area` (white background included).
void paintStabilityChart(QPainter& painter, const QRectF& area, const StabilityChart& chart,
                         const QFont& font = diagramFont());

// Writes the chart in the format the name's extension names (SVG, PNG, PDF).
// Throws zeltrac::Error.
void writeStabilityChart(const StabilityChart& chart, const QString& path,
                         QSizeF size = kDefaultChartSize);

} // namespace zeltrac::diagram
