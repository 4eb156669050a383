#pragma once

#include <QColor>
#include <QFont>
#include <QSizeF>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "diagram/layout.h"

class QPainter;

// The diagram as a picture: one or more plans one above the other, each with
// its title and legend, painted with a QPainter on any device (a widget, an
// image, a printer, an SVG or PDF file). Needs a QGuiApplication, not widgets.
namespace zeltrac::diagram {

// The width a picture is composed at when no window sets it.
inline constexpr double kDefaultPictureWidth = 1280;

struct DiagramPanel
{
    QString title;
    DiagramPlan plan;
};

// Which plans a picture shows.
enum class PlanChoice
{
    Analytical,
    Exact,
    Both, // one above the other, the analytical plan on top
};

// The titled panels of the chosen plans; without an exact plan, the
// analytical plan alone whatever the choice.
std::vector<DiagramPanel> planPanels(const DiagramPlan& analytical,
                                     const std::optional<DiagramPlan>& exact,
                                     PlanChoice choice = PlanChoice::Both);

struct PicturePanel
{
    QString title;
    double top = 0;       // of the title line
    double layoutTop = 0; // where the layout's own coordinates start
    std::vector<TrainKind> legend;
    DiagramLayout layout;
};

struct DiagramPicture
{
    double width = 0;
    double height = 0;
    std::vector<PicturePanel> panels;
};

// What the window marks: the trains of a station, the arc under the mouse.
struct Highlight
{
    int station = 0; // 0: none
    int panel = -1;
    int arc = -1; // of that panel
};

// The font of the labels, numbers and titles (a pixel size, so that the sizes
// measured for the layout hold on every device).
QFont diagramFont();
LabelMeasure fontMeasure(const QFont& font);

QColor arcColor(TrainKind kind);
QColor stationColor(bool reforming);
// The name of a train's kind as the legend and the hint show it.
QString kindName(TrainKind kind);

DiagramPicture composePicture(const std::vector<DiagramPanel>& panels, double width,
                              const QFont& font = diagramFont());

// Paints from the painter's origin; white background included.
void paintPicture(QPainter& painter, const DiagramPicture& picture,
                  const QFont& font = diagramFont(), const Highlight& highlight = {});

// The file formats the picture is saved in.
enum class ImageFormat
{
    Svg,
    Png,
    Pdf,
};

// The format of a file name's extension (case does not matter); throws
// zeltrac::Error for any other.
ImageFormat formatOfFile(const QString& path);

// Writes the picture; a file that cannot be written throws zeltrac::Error and
// leaves any earlier file of that name as it was.
void savePicture(const DiagramPicture& picture, const QString& path, ImageFormat format,
                 const QFont& font = diagramFont());

// Writes what `paint` paints on a white page of the given size, in the
// format, as savePicture writes the diagram. Throws zeltrac::Error.
void savePainting(QSizeF size, const QString& title, const std::function<void(QPainter&)>& paint,
                  const QString& path, ImageFormat format);

// The plans composed at the given width and written in the format the file
// name's extension names (what the command line writes). Throws zeltrac::Error.
void writeDiagramFile(const std::vector<DiagramPanel>& panels, const QString& path,
                      double width = kDefaultPictureWidth);
// The same in the given format, whatever the name's extension.
void writeDiagramFile(const std::vector<DiagramPanel>& panels, const QString& path,
                      ImageFormat format, double width = kDefaultPictureWidth);

} // namespace zeltrac::diagram
