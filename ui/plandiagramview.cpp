#include "ui/plandiagramview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

using namespace zeltrac::diagram;

PlanDiagramView::PlanDiagramView(QWidget* parent)
    : QWidget(parent), m_font(zeltrac::diagram::diagramFont())
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    recompose();
}

void PlanDiagramView::setPanels(std::vector<DiagramPanel> panels)
{
    m_panels = std::move(panels);
    m_highlight.panel = -1;
    m_highlight.arc = -1;
    recompose();
    update();
}

void PlanDiagramView::setSelectedStation(int station)
{
    if (station == m_highlight.station)
        return;
    m_highlight.station = station;
    update();
    emit stationSelected(station);
}

void PlanDiagramView::recompose()
{
    const double w = std::max(width(), 200);
    const double h = std::max(height(), 100);
    // Laid out for the widget's width; a picture taller than the widget is
    // laid out once more on a wider canvas and scaled down to fit.
    m_picture = composePicture(m_panels, w, m_font);
    m_scale = 1;
    if (m_picture.height > h) {
        const double shrink = h / m_picture.height;
        m_picture = composePicture(m_panels, w / shrink, m_font);
        m_scale = std::min(w / m_picture.width, h / m_picture.height);
    }
}

QSize PlanDiagramView::sizeHint() const
{
    return {1000, 560};
}

QSize PlanDiagramView::minimumSizeHint() const
{
    return {300, 160};
}

void PlanDiagramView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.scale(m_scale, m_scale);
    paintPicture(painter, m_picture, m_font, m_highlight);
}

void PlanDiagramView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    recompose();
}

int PlanDiagramView::panelAt(const QPointF& p) const
{
    for (std::size_t i = 0; i < m_picture.panels.size(); ++i) {
        const PicturePanel& panel = m_picture.panels[i];
        if (p.y() >= panel.top && p.y() <= panel.layoutTop + panel.layout.height)
            return static_cast<int>(i);
    }
    return -1;
}

PlanDiagramView::ArcHit PlanDiagramView::arcAt(const QPoint& point) const
{
    const QPointF p = QPointF(point) / m_scale;
    const int panel = panelAt(p);
    if (panel < 0)
        return {};
    const PicturePanel& pp = m_picture.panels[static_cast<std::size_t>(panel)];
    const int arc = zeltrac::diagram::arcAt(pp.layout, p.x(), p.y() - pp.layoutTop, 4 / m_scale);
    return arc < 0 ? ArcHit{} : ArcHit{panel, arc};
}

int PlanDiagramView::stationAt(const QPoint& point) const
{
    const QPointF p = QPointF(point) / m_scale;
    const int panel = panelAt(p);
    if (panel < 0)
        return 0;
    const PicturePanel& pp = m_picture.panels[static_cast<std::size_t>(panel)];
    return zeltrac::diagram::stationAt(pp.layout, p.x(), p.y() - pp.layoutTop);
}

QPointF PlanDiagramView::apexOnScreen(int panel, int arc) const
{
    const PicturePanel& pp = m_picture.panels.at(static_cast<std::size_t>(panel));
    const ArcLayout& a = pp.layout.arcs.at(static_cast<std::size_t>(arc));
    return QPointF((a.x1 + a.x2) / 2, pp.layoutTop + a.apexY) * m_scale;
}

QPointF PlanDiagramView::stationOnScreen(int panel, int station) const
{
    const PicturePanel& pp = m_picture.panels.at(static_cast<std::size_t>(panel));
    const StationMark& s = pp.layout.stations.at(static_cast<std::size_t>(station - 1));
    return QPointF(s.x, pp.layoutTop + pp.layout.baselineY) * m_scale;
}

QString PlanDiagramView::hintAt(const QPoint& point) const
{
    const ArcHit hit = arcAt(point);
    if (hit.panel < 0)
        return {};
    const ArcLayout& a = m_picture.panels[static_cast<std::size_t>(hit.panel)]
                             .layout.arcs[static_cast<std::size_t>(hit.arc)];
    QString kind = kindName(a.kind);
    kind[0] = kind[0].toUpper();
    return QStringLiteral("%1\nСтанция формирования: %2\nСтанция назначения: %3\nВагонов: %4")
        .arg(kind)
        .arg(a.origin)
        .arg(a.destination)
        .arg(a.cars);
}

void PlanDiagramView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    const ArcHit hit = arcAt(point);
    if (hit.panel != m_highlight.panel || hit.arc != m_highlight.arc) {
        m_highlight.panel = hit.panel;
        m_highlight.arc = hit.arc;
        update();
    }
    const QString hint = hintAt(point);
    if (hint.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), hint, this);
}

void PlanDiagramView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // A click on a station marks its trains; on the marked station again or
    // off the stations, it clears the mark.
    const int station = stationAt(event->position().toPoint());
    setSelectedStation(station == m_highlight.station ? 0 : station);
}

void PlanDiagramView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (m_highlight.arc >= 0) {
        m_highlight.panel = -1;
        m_highlight.arc = -1;
        update();
    }
}
