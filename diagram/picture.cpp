#include "diagram/picture.h"

#include <functional>

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <optional>

#include "calc/error.h"
#include "datafile/safefile.h"

namespace zeltrac::diagram {

namespace {

constexpr double kHeaderGap = 6;     // below a panel's title line
constexpr double kPanelGap = 10;     // between two panels
constexpr double kLegendSample = 26; // length of a legend's line sample
constexpr double kPdfScale = 4;      // device pixels per point in a PDF

const QColor kLineColor(0x30, 0x30, 0x30);
const QColor kFaded(0xd8, 0xd8, 0xd8);

double headerHeight(const QFont& font)
{
    return QFontMetricsF(font).height() + kHeaderGap;
}

QPen arcPen(TrainKind kind, double width, const QColor& color)
{
    QPen pen(color, width);
    pen.setCapStyle(Qt::FlatCap);
    if (kind == TrainKind::Local)
        pen.setDashPattern({4, 2});
    return pen;
}

std::vector<TrainKind> legendKinds(const DiagramPlan& plan)
{
    bool exact = false;
    for (const DiagramTrain& t : plan.trains)
        exact = exact || t.kind == TrainKind::Exact;
    if (exact)
        return {TrainKind::Exact};
    return {TrainKind::Through, TrainKind::Local};
}

void paintLegend(QPainter& painter, const PicturePanel& panel, double width, const QFont& font)
{
    const QFontMetricsF metrics(font);
    const double y = panel.top;
    const double lineY = y + metrics.ascent() - metrics.xHeight() / 2;
    painter.setPen(kLineColor);
    painter.drawText(QPointF(4, y + metrics.ascent()), panel.title);

    // The legend from the right edge leftwards.
    struct Item
    {
        QString text;
        std::optional<TrainKind> kind;
    };
    std::vector<Item> items;
    for (TrainKind kind : panel.legend)
        items.push_back({kindName(kind), kind});
    items.push_back({QStringLiteral("станция переработки"), std::nullopt});

    double x = width - 4;
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const double textWidth = metrics.horizontalAdvance(it->text);
        x -= textWidth;
        painter.setPen(kLineColor);
        painter.drawText(QPointF(x, y + metrics.ascent()), it->text);
        x -= 4;
        if (it->kind) {
            painter.setPen(arcPen(*it->kind, 2.5, arcColor(*it->kind)));
            painter.drawLine(QPointF(x - kLegendSample, lineY), QPointF(x, lineY));
            x -= kLegendSample;
        } else {
            const double r = panel.layout.stationRadius;
            painter.setPen(QPen(kLineColor, 1));
            painter.setBrush(stationColor(true));
            painter.drawEllipse(QPointF(x - r, lineY), r, r);
            painter.setBrush(Qt::NoBrush);
            x -= 2 * r;
        }
        x -= 16;
    }
}

void paintPanel(QPainter& painter, const PicturePanel& panel, double width, const QFont& font,
                const Highlight& highlight, int panelIndex)
{
    paintLegend(painter, panel, width, font);

    const DiagramLayout& layout = panel.layout;
    painter.save();
    painter.translate(0, panel.layoutTop);
    const double base = layout.baselineY;
    const bool stationChosen = highlight.station > 0;
    auto marked = [&](const ArcLayout& arc) {
        return !stationChosen || arc.origin == highlight.station ||
               arc.destination == highlight.station;
    };
    const int hovered = highlight.panel == panelIndex ? highlight.arc : -1;

    // The line and the arcs: faded ones first, so that the marked lie on top.
    painter.setPen(QPen(kLineColor, 1.5));
    if (!layout.stations.empty())
        painter.drawLine(QPointF(layout.stations.front().x, base),
                         QPointF(layout.stations.back().x, base));
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < layout.arcs.size(); ++i) {
            const ArcLayout& arc = layout.arcs[i];
            if (marked(arc) != (pass == 1))
                continue;
            QPainterPath path(QPointF(arc.x1, base));
            const double c = arcControlY(arc, base);
            path.cubicTo(QPointF(arc.x1, c), QPointF(arc.x2, c), QPointF(arc.x2, base));
            const bool isHovered = static_cast<int>(i) == hovered;
            if (isHovered) {
                painter.setPen(QPen(QColor(0xff, 0xd0, 0x40), arc.stroke + 4));
                painter.setBrush(Qt::NoBrush);
                painter.drawPath(path);
            }
            painter.setPen(arcPen(arc.kind, arc.stroke, pass == 1 ? arcColor(arc.kind) : kFaded));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
        }
    }

    // The labels over every line.
    painter.setFont(font);
    for (std::size_t i = 0; i < layout.arcs.size(); ++i) {
        const ArcLayout& arc = layout.arcs[i];
        const QRectF box(arc.labelBox.x, arc.labelBox.y, arc.labelBox.width, arc.labelBox.height);
        const QColor color = marked(arc) ? arcColor(arc.kind) : kFaded;
        painter.setPen(QPen(color, static_cast<int>(i) == hovered ? 2 : 0.8));
        painter.setBrush(Qt::white);
        painter.drawRect(box);
        painter.setPen(marked(arc) ? kLineColor : kFaded);
        painter.drawText(box, Qt::AlignCenter, QString::fromStdString(arc.label));
    }

    // The stations and their numbers.
    const QFontMetricsF metrics(font);
    for (const StationMark& s : layout.stations) {
        const double r = layout.stationRadius;
        if (s.number == highlight.station) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0xff, 0xd0, 0x40));
            painter.drawEllipse(QPointF(s.x, base), r + 4, r + 4);
        }
        painter.setPen(QPen(kLineColor, 1.2));
        painter.setBrush(stationColor(s.reforming));
        painter.drawEllipse(QPointF(s.x, base), r, r);
        const QString number = QString::number(s.number);
        painter.setPen(kLineColor);
        painter.drawText(
            QPointF(s.x - metrics.horizontalAdvance(number) / 2, base + r + 3 + metrics.ascent()),
            number);
    }
    painter.restore();
}

} // namespace

QFont diagramFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    return font;
}

LabelMeasure fontMeasure(const QFont& font)
{
    return [metrics = QFontMetricsF(font)](const std::string& text) {
        const QRectF bounds = metrics.boundingRect(QString::fromStdString(text));
        return TextSize{
            std::max(bounds.width(), metrics.horizontalAdvance(QString::fromStdString(text))),
            metrics.height()};
    };
}

QColor arcColor(TrainKind kind)
{
    switch (kind) {
    case TrainKind::Through:
        return QColor(0x1f, 0x4f, 0xbf);
    case TrainKind::Local:
        return QColor(0xe0, 0x6a, 0x00);
    case TrainKind::Exact:
        return QColor(0x1a, 0x8f, 0x3a);
    }
    return Qt::black;
}

QColor stationColor(bool reforming)
{
    return reforming ? QColor(0xb0, 0x10, 0x30) : QColor(Qt::white);
}

QString kindName(TrainKind kind)
{
    switch (kind) {
    case TrainKind::Through:
        return QStringLiteral("сквозной поезд");
    case TrainKind::Local:
        return QStringLiteral("местный поезд");
    case TrainKind::Exact:
        return QStringLiteral("поезд точного оптимума");
    }
    return {};
}

DiagramPicture composePicture(const std::vector<DiagramPanel>& panels, double width,
                              const QFont& font)
{
    DiagramPicture picture;
    picture.width = width;
    const LabelMeasure measure = fontMeasure(font);
    LayoutOptions options;
    options.width = width;
    options.bottomSpace = options.stationRadius + 5 + QFontMetricsF(font).height();
    double y = 0;
    for (const DiagramPanel& source : panels) {
        if (!picture.panels.empty())
            y += kPanelGap;
        PicturePanel panel;
        panel.title = source.title;
        panel.legend = legendKinds(source.plan);
        panel.top = y;
        panel.layoutTop = y + headerHeight(font);
        panel.layout = layoutDiagram(source.plan, measure, options);
        y = panel.layoutTop + panel.layout.height;
        picture.panels.push_back(std::move(panel));
    }
    picture.height = y;
    return picture;
}

void paintPicture(QPainter& painter, const DiagramPicture& picture, const QFont& font,
                  const Highlight& highlight)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(QRectF(0, 0, picture.width, picture.height), Qt::white);
    painter.setFont(font);
    for (std::size_t i = 0; i < picture.panels.size(); ++i)
        paintPanel(painter, picture.panels[i], picture.width, font, highlight, static_cast<int>(i));
    painter.restore();
}

ImageFormat formatOfFile(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("svg"))
        return ImageFormat::Svg;
    if (suffix == QLatin1String("png"))
        return ImageFormat::Png;
    if (suffix == QLatin1String("pdf"))
        return ImageFormat::Pdf;
    throw Error("Схема сохраняется только в файлы SVG, PNG и PDF");
}

void savePainting(QSizeF size, const QString& title, const std::function<void(QPainter&)>& paint,
                  const QString& path, ImageFormat format)
{
    const int width = static_cast<int>(std::ceil(size.width()));
    const int height = std::max(1, static_cast<int>(std::ceil(size.height())));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool painted = false;
    switch (format) {
    case ImageFormat::Svg: {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(QSize(width, height));
        generator.setViewBox(QRectF(0, 0, width, height));
        generator.setTitle(title);
        QPainter painter;
        if (painter.begin(&generator)) {
            paint(painter);
            painted = painter.end();
        }
        break;
    }
    case ImageFormat::Png: {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter;
        if (painter.begin(&image)) {
            paint(painter);
            painter.end();
            painted = image.save(&buffer, "PNG");
        }
        break;
    }
    case ImageFormat::Pdf: {
        QPdfWriter writer(&buffer);
        writer.setResolution(static_cast<int>(72 * kPdfScale));
        writer.setPageSize(QPageSize(QSizeF(width, height), QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(title);
        QPainter painter;
        if (painter.begin(&writer)) {
            painter.scale(kPdfScale, kPdfScale);
            paint(painter);
            painted = painter.end();
        }
        break;
    }
    }
    buffer.close();
    if (!painted || bytes.isEmpty())
        throw Error("Не удалось построить рисунок схемы");
    datafile::writeFileSafely(path, bytes, "Не удалось записать файл схемы",
                              "Не удалось создать файл схемы %s");
}

void savePicture(const DiagramPicture& picture, const QString& path, ImageFormat format,
                 const QFont& font)
{
    savePainting(
        QSizeF(picture.width, picture.height),
        picture.panels.empty() ? QString() : picture.panels.front().title,
        [&](QPainter& painter) { paintPicture(painter, picture, font); }, path, format);
}

std::vector<DiagramPanel> planPanels(const DiagramPlan& analytical,
                                     const std::optional<DiagramPlan>& exact, PlanChoice choice)
{
    std::vector<DiagramPanel> panels;
    if (!exact || choice != PlanChoice::Exact)
        panels.push_back({QStringLiteral("Аналитический план"), analytical});
    if (exact && choice != PlanChoice::Analytical)
        panels.push_back({QStringLiteral("Точный оптимум"), *exact});
    return panels;
}

void writeDiagramFile(const std::vector<DiagramPanel>& panels, const QString& path, double width)
{
    writeDiagramFile(panels, path, formatOfFile(path), width);
}

void writeDiagramFile(const std::vector<DiagramPanel>& panels, const QString& path,
                      ImageFormat format, double width)
{
    const QFont font = diagramFont();
    savePicture(composePicture(panels, width, font), path, format, font);
}

} // namespace zeltrac::diagram
