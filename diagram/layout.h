#pragma once

#include <functional>
#include <string>
#include <vector>

#include "workbook/diagramplan.h"

// Where the diagram's pieces go: stations on a horizontal line, every train an
// arc above it, stacked in lanes, labelled with its cars. Standard C++ only;
// the painter and the tests supply the size of a label's text.
namespace zeltrac::diagram {

struct Box
{
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double right() const { return x + width; }
    double bottom() const { return y + height; }
    bool contains(double px, double py) const
    {
        return px >= x && px <= right() && py >= y && py <= bottom();
    }
    // Interiors meet (boxes that only touch do not overlap).
    bool overlaps(const Box& other) const
    {
        return x < other.right() && other.x < right() && y < other.bottom() && other.y < bottom();
    }
};

struct TextSize
{
    double width = 0;
    double height = 0;
};

// The size of a label's text as it will be painted.
using LabelMeasure = std::function<TextSize(const std::string& text)>;

struct LayoutOptions
{
    double width = 1000;       // of the whole diagram
    double sideMargin = 30;    // left and right of the first and last station
    double topMargin = 8;      // above the highest label
    double bottomSpace = 30;   // below the line, for the station numbers
    double firstLaneRise = 14; // apex of lane 0 above the line
    double laneGap = 2;        // between a label and the next lane's apex
    double labelPadding = 2;   // around a label's text
    double minStroke = 1.0;
    double maxStroke = 6.0;
    double stationRadius = 5;
};

struct ArcLayout
{
    int train = 0; // index into the plan's trains
    int origin = 0;
    int destination = 0;
    std::int64_t cars = 0;
    TrainKind kind = TrainKind::Local;
    int lane = 0;
    double x1 = 0;     // at the origin
    double x2 = 0;     // at the destination
    double apexY = 0;  // the highest point of the arc's centre line
    double stroke = 1; // width of the line
    std::string label;
    Box labelBox; // just above the apex
};

struct StationMark
{
    int number = 0;
    double x = 0;
    bool reforming = false;
};

struct DiagramLayout
{
    double width = 0;
    double height = 0;
    double baselineY = 0;
    double stationRadius = 0;
    int laneCount = 0;
    std::vector<StationMark> stations;
    std::vector<ArcLayout> arcs; // in the plan's train order
};

// Lanes: an arc's lane is above the lanes of every arc whose span lies within
// its own (equal spans are stacked in plan order), and its label does not
// overlap any other label; each arc takes the lowest such lane.
DiagramLayout layoutDiagram(const DiagramPlan& plan, const LabelMeasure& measure,
                            const LayoutOptions& options = {});

// The point of an arc's centre line at t in 0..1 (the arc is a cubic curve
// from its origin over its apex to its destination).
struct Point
{
    double x = 0;
    double y = 0;
};
Point arcPoint(const ArcLayout& arc, double baselineY, double t);
// The control points' height that puts the curve's middle at the apex.
double arcControlY(const ArcLayout& arc, double baselineY);

// The arc under a point: its label, or its line within the tolerance (the
// nearest). -1 when none.
int arcAt(const DiagramLayout& layout, double x, double y, double tolerance = 4);

// The station whose mark (or number below it) is under the point; 0 when none.
int stationAt(const DiagramLayout& layout, double x, double y);

} // namespace zeltrac::diagram
