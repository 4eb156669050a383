#pragma once

#include <QFont>
#include <QWidget>
#include <vector>

#include "diagram/picture.h"

// The formation-plan diagram on screen: scaled to the widget, with a hint for
// the arc under the mouse and the trains of a clicked station marked.
class PlanDiagramView : public QWidget
{
    Q_OBJECT

public:
    explicit PlanDiagramView(QWidget* parent = nullptr);

    void setPanels(std::vector<zeltrac::diagram::DiagramPanel> panels);
    const std::vector<zeltrac::diagram::DiagramPanel>& panels() const { return m_panels; }

    // The picture as shown: composed for the widget's size, painted scaled
    // by scale().
    const zeltrac::diagram::DiagramPicture& picture() const { return m_picture; }
    double scale() const { return m_scale; }
    QFont diagramFont() const { return m_font; }

    // The station whose trains are marked; 0 for none.
    int selectedStation() const { return m_highlight.station; }
    void setSelectedStation(int station);

    // The arc under a point of the widget: its panel and index, or -1s.
    struct ArcHit
    {
        int panel = -1;
        int arc = -1;
    };
    ArcHit arcAt(const QPoint& point) const;
    int stationAt(const QPoint& point) const;
    // Where an arc's apex is on the widget (for hints and tests).
    QPointF apexOnScreen(int panel, int arc) const;
    QPointF stationOnScreen(int panel, int station) const;
    ArcHit hoveredArc() const { return {m_highlight.panel, m_highlight.arc}; }
    // The hint for the arc under a point; empty when none.
    QString hintAt(const QPoint& point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void stationSelected(int station);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void recompose();
    // A widget point in the picture's coordinates, and the panel it falls in.
    int panelAt(const QPointF& picturePoint) const;

    std::vector<zeltrac::diagram::DiagramPanel> m_panels;
    zeltrac::diagram::DiagramPicture m_picture;
    zeltrac::diagram::Highlight m_highlight;
    QFont m_font;
    double m_scale = 1;
};
