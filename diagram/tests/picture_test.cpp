// Painting the diagram on the offscreen platform and saving it as SVG, PNG
// and PDF: a few pixels and the files' structure, no golden images.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "calc/error.h"
#include "diagram/picture.h"

using namespace zeltrac::diagram;

namespace {

DiagramPlan smallPlan()
{
    DiagramPlan plan;
    plan.stationCount = 4;
    plan.reforming = {false, true, false, false};
    plan.trains = {{1, 3, 400, TrainKind::Through}, {3, 4, 90, TrainKind::Local}};
    return plan;
}

QImage render(const DiagramPicture& picture, const Highlight& highlight = {})
{
    QImage image(static_cast<int>(std::ceil(picture.width)),
                 static_cast<int>(std::ceil(picture.height)), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    paintPicture(painter, picture, diagramFont(), highlight);
    painter.end();
    return image;
}

QRgb pixelAt(const QImage& image, double x, double y)
{
    return image.pixel(static_cast<int>(x), static_cast<int>(y)) & 0xffffff;
}

QRgb rgb(const QColor& color)
{
    return color.rgb() & 0xffffff;
}

} // namespace

TEST(DiagramPicture, PaintsArcsAtTheirApexAndMarksTheStations)
{
    const DiagramPicture picture = composePicture({{QStringLiteral("План"), smallPlan()}}, 600);
    ASSERT_EQ(picture.panels.size(), 1u);
    const PicturePanel& panel = picture.panels.front();
    const DiagramLayout& layout = panel.layout;
    ASSERT_EQ(layout.arcs.size(), 2u);
    const QImage image = render(picture);
    ASSERT_FALSE(image.isNull());

    const ArcLayout& through = layout.arcs[0];
    const double apexX = (through.x1 + through.x2) / 2;
    EXPECT_EQ(pixelAt(image, apexX, panel.layoutTop + through.apexY),
              rgb(arcColor(TrainKind::Through)));
    // White around the picture, not the image's black.
    EXPECT_EQ(pixelAt(image, 1, picture.height - 2), rgb(Qt::white));

    const double base = panel.layoutTop + layout.baselineY;
    EXPECT_EQ(pixelAt(image, layout.stations[1].x, base), rgb(stationColor(true)));
    EXPECT_EQ(pixelAt(image, layout.stations[0].x, base), rgb(stationColor(false)));
    EXPECT_NE(stationColor(true), stationColor(false));
    EXPECT_NE(arcColor(TrainKind::Through), arcColor(TrainKind::Local));
    EXPECT_NE(arcColor(TrainKind::Exact), arcColor(TrainKind::Through));

    // A station chosen elsewhere fades the trains that do not touch it.
    Highlight chosen;
    chosen.station = 4;
    const QImage faded = render(picture, chosen);
    const QRgb fadedApex = pixelAt(faded, apexX, panel.layoutTop + through.apexY);
    EXPECT_NE(fadedApex, rgb(arcColor(TrainKind::Through)));
    EXPECT_NE(fadedApex, rgb(Qt::white));
    chosen.station = 3;
    EXPECT_EQ(pixelAt(render(picture, chosen), apexX, panel.layoutTop + through.apexY),
              rgb(arcColor(TrainKind::Through)));
}

TEST(DiagramPicture, StacksTwoPlansOneAboveTheOther)
{
    DiagramPlan exact = smallPlan();
    exact.trains = {{1, 4, 490, TrainKind::Exact}};
    const DiagramPicture picture =
        composePicture({{QStringLiteral("А"), smallPlan()}, {QStringLiteral("Б"), exact}}, 500);
    ASSERT_EQ(picture.panels.size(), 2u);
    const PicturePanel& lower = picture.panels[1];
    EXPECT_GE(lower.top, picture.panels[0].layoutTop + picture.panels[0].layout.height);
    EXPECT_DOUBLE_EQ(picture.height, lower.layoutTop + lower.layout.height);
    EXPECT_EQ(lower.legend, std::vector<TrainKind>{TrainKind::Exact});
    EXPECT_EQ(picture.panels[0].legend,
              (std::vector<TrainKind>{TrainKind::Through, TrainKind::Local}));

    const QImage image = render(picture);
    const ArcLayout& arc = lower.layout.arcs.at(0);
    EXPECT_EQ(pixelAt(image, (arc.x1 + arc.x2) / 2, lower.layoutTop + arc.apexY),
              rgb(arcColor(TrainKind::Exact)));
}

TEST(DiagramPicture, SvgFileParsesAndHoldsTheArcs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    DiagramPlan plan = smallPlan();
    plan.trains.push_back({2, 4, 150, TrainKind::Through});
    plan.trains.push_back({1, 2, 35, TrainKind::Through});
    const DiagramPicture picture = composePicture({{QStringLiteral("Схема"), plan}}, 700);
    const QString path = dir.filePath(QStringLiteral("plan.svg"));
    ASSERT_EQ(formatOfFile(path), ImageFormat::Svg);
    savePicture(picture, path, ImageFormat::Svg);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    const QString through = arcColor(TrainKind::Through).name();
    const QString local = arcColor(TrainKind::Local).name();
    int throughPaths = 0, localPaths = 0, texts = 0;
    bool sawSvgRoot = false;
    // The generator puts the pen on a group around the path: the stroke is
    // inherited.
    QStringList strokes{QString()};
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement)
            strokes.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString own = xml.attributes().value(QLatin1String("stroke")).toString();
        strokes.append(own.isEmpty() ? strokes.last() : own);
        if (xml.name() == QLatin1String("svg"))
            sawSvgRoot = true;
        if (xml.name() == QLatin1String("text"))
            ++texts;
        if (xml.name() != QLatin1String("path"))
            continue;
        // The arcs are the curves ("C") in a train's colour.
        const QString d = xml.attributes().value(QLatin1String("d")).toString();
        const QString stroke = strokes.last();
        if (!d.contains(u'C'))
            continue;
        throughPaths += stroke == through;
        localPaths += stroke == local;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_TRUE(sawSvgRoot);
    EXPECT_EQ(throughPaths, 3);
    EXPECT_EQ(localPaths, 1);
    EXPECT_GE(texts, 4 + 4); // the labels and the station numbers at least
}

TEST(DiagramPicture, SavesPngAndPdfAndRefusesOtherFormats)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const DiagramPicture picture = composePicture({{QStringLiteral("П"), smallPlan()}}, 640);

    const QString png = dir.filePath(QStringLiteral("plan.PNG"));
    savePicture(picture, png, formatOfFile(png));
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 640);
    EXPECT_EQ(image.height(), static_cast<int>(std::ceil(picture.height)));

    const QString pdf = dir.filePath(QStringLiteral("plan.pdf"));
    savePicture(picture, pdf, formatOfFile(pdf));
    QFile pdfFile(pdf);
    ASSERT_TRUE(pdfFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdfFile.readAll().startsWith("%PDF-"));

    try {
        formatOfFile(dir.filePath(QStringLiteral("plan.bmp")));
        FAIL() << "a BMP name was taken";
    } catch (const zeltrac::Error& e) {
        EXPECT_STREQ(e.what(), "Схема сохраняется только в файлы SVG, PNG и PDF");
    }

    // A folder that does not exist: an error, and no file.
    const QString missing = dir.filePath(QStringLiteral("нет/plan.svg"));
    EXPECT_THROW(savePicture(picture, missing, ImageFormat::Svg), zeltrac::Error);
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(DiagramPicture, WritesAFileInTheFormatItsNameNames)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<DiagramPanel> panels = {{QStringLiteral("План"), smallPlan()}};
    const QString png = dir.filePath(QStringLiteral("plan.png"));
    writeDiagramFile(panels, png, 800);
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 800);
    // The through arc 1 -> 3 at its apex, as the window would paint it.
    const DiagramPicture picture = composePicture(panels, 800);
    const ArcLayout& arc = picture.panels[0].layout.arcs[0];
    EXPECT_EQ(pixelAt(image, (arc.x1 + arc.x2) / 2, picture.panels[0].layoutTop + arc.apexY),
              rgb(arcColor(TrainKind::Through)));

    const QString svg = dir.filePath(QStringLiteral("plan.svg"));
    writeDiagramFile(panels, svg);
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.contains("<svg"));
    EXPECT_TRUE(bytes.contains("width=\"1280"));

    EXPECT_THROW(writeDiagramFile(panels, dir.filePath(QStringLiteral("plan"))), zeltrac::Error);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("plan"))));
}
