#include "diagram/layout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "calc/numtext.h"

namespace zeltrac::diagram {

namespace {

// The curve's middle lies three quarters of the way from the ends' height to
// the control points' height.
constexpr double kApexShare = 0.75;

struct Span
{
    int low = 0;
    int high = 0;
    int length() const { return high - low; }
    bool within(const Span& outer) const { return low >= outer.low && high <= outer.high; }
};

Span spanOf(const DiagramTrain& t)
{
    return {std::min(t.origin, t.destination), std::max(t.origin, t.destination)};
}

} // namespace

DiagramLayout layoutDiagram(const DiagramPlan& plan, const LabelMeasure& measure,
                            const LayoutOptions& options)
{
    DiagramLayout layout;
    const int n = std::max(plan.stationCount, 0);
    layout.width = std::max(options.width, 2 * options.sideMargin + 1);
    layout.stationRadius = options.stationRadius;

    const double spacing = n > 1 ? (layout.width - 2 * options.sideMargin) / (n - 1) : 0.0;
    auto stationX = [&](int s) { return options.sideMargin + (s - 1) * spacing; };
    for (int s = 1; s <= n; ++s) {
        const bool reforming = static_cast<std::size_t>(s - 1) < plan.reforming.size() &&
                               plan.reforming[static_cast<std::size_t>(s - 1)];
        layout.stations.push_back({s, stationX(s), reforming});
    }

    // Only trains between two stations of the line are drawn.
    std::vector<int> drawn;
    std::int64_t maxCars = 0;
    for (int i = 0; i < static_cast<int>(plan.trains.size()); ++i) {
        const DiagramTrain& t = plan.trains[static_cast<std::size_t>(i)];
        if (t.origin < 1 || t.origin > n || t.destination < 1 || t.destination > n ||
            t.origin == t.destination)
            continue;
        drawn.push_back(i);
        maxCars = std::max(maxCars, t.cars);
    }

    // Every label box gets the height of the tallest, so that one lane's
    // labels sit on one line.
    std::vector<TextSize> textSizes;
    double labelHeight = 0;
    for (int i : drawn) {
        const DiagramTrain& t = plan.trains[static_cast<std::size_t>(i)];
        const TextSize size = measure(numtext::wholeToText(t.cars));
        textSizes.push_back(size);
        labelHeight = std::max(labelHeight, size.height + 2 * options.labelPadding);
    }
    const double pitch = labelHeight + options.maxStroke + 1 + options.laneGap;

    // Heights relative to the line (negative above it) until the lanes are known.
    auto apexOf = [&](int lane) { return -options.firstLaneRise - lane * pitch; };

    std::vector<int> order(drawn.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const Span sa = spanOf(plan.trains[static_cast<std::size_t>(drawn[a])]);
        const Span sb = spanOf(plan.trains[static_cast<std::size_t>(drawn[b])]);
        if (sa.length() != sb.length())
            return sa.length() < sb.length();
        return sa.low < sb.low;
    });

    std::vector<ArcLayout> arcs(drawn.size());
    std::vector<bool> placed(drawn.size(), false);
    for (int k : order) {
        const DiagramTrain& t = plan.trains[static_cast<std::size_t>(drawn[k])];
        const Span span = spanOf(t);
        ArcLayout& arc = arcs[static_cast<std::size_t>(k)];
        arc.train = drawn[k];
        arc.origin = t.origin;
        arc.destination = t.destination;
        arc.cars = t.cars;
        arc.kind = t.kind;
        arc.x1 = stationX(t.origin);
        arc.x2 = stationX(t.destination);
        arc.stroke = options.minStroke;
        if (maxCars > 0)
            arc.stroke += (options.maxStroke - options.minStroke) * static_cast<double>(t.cars) /
                          static_cast<double>(maxCars);
        arc.label = numtext::wholeToText(t.cars);

        int lane = 0;
        for (std::size_t j = 0; j < arcs.size(); ++j) {
            if (placed[j] &&
                spanOf(plan.trains[static_cast<std::size_t>(arcs[j].train)]).within(span))
                lane = std::max(lane, arcs[j].lane + 1);
        }

        const TextSize text = textSizes[static_cast<std::size_t>(k)];
        Box box;
        box.width = text.width + 2 * options.labelPadding;
        box.height = labelHeight;
        box.x = (arc.x1 + arc.x2) / 2 - box.width / 2;
        box.x = std::clamp(box.x, 0.0, std::max(0.0, layout.width - box.width));
        for (;; ++lane) {
            box.y = apexOf(lane) - arc.stroke / 2 - 1 - box.height;
            bool clear = true;
            for (std::size_t j = 0; j < arcs.size() && clear; ++j)
                clear = !(placed[j] && arcs[j].labelBox.overlaps(box));
            if (clear)
                break;
        }
        arc.lane = lane;
        arc.apexY = apexOf(lane);
        arc.labelBox = box;
        placed[static_cast<std::size_t>(k)] = true;
        layout.laneCount = std::max(layout.laneCount, lane + 1);
    }

    // Now the line's height: the highest label below the top margin.
    double top = 0;
    for (const ArcLayout& arc : arcs)
        top = std::min(top, arc.labelBox.y);
    layout.baselineY = options.topMargin - top + options.stationRadius;
    for (ArcLayout& arc : arcs) {
        arc.apexY += layout.baselineY;
        arc.labelBox.y += layout.baselineY;
    }
    layout.height = layout.baselineY + options.bottomSpace;
    layout.arcs = std::move(arcs);
    return layout;
}

double arcControlY(const ArcLayout& arc, double baselineY)
{
    return baselineY + (arc.apexY - baselineY) / kApexShare;
}

Point arcPoint(const ArcLayout& arc, double baselineY, double t)
{
    const double c = arcControlY(arc, baselineY);
    const double u = 1 - t;
    const double b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
    return {b0 * arc.x1 + b1 * arc.x1 + b2 * arc.x2 + b3 * arc.x2,
            b0 * baselineY + b1 * c + b2 * c + b3 * baselineY};
}

int arcAt(const DiagramLayout& layout, double x, double y, double tolerance)
{
    for (std::size_t i = layout.arcs.size(); i-- > 0;) {
        if (layout.arcs[i].labelBox.contains(x, y))
            return static_cast<int>(i);
    }
    constexpr int kSegments = 48;
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < layout.arcs.size(); ++i) {
        const ArcLayout& arc = layout.arcs[i];
        const double reach = tolerance + arc.stroke / 2;
        if (x < std::min(arc.x1, arc.x2) - reach || x > std::max(arc.x1, arc.x2) + reach ||
            y < arc.apexY - reach || y > layout.baselineY + reach)
            continue;
        Point a = arcPoint(arc, layout.baselineY, 0);
        for (int s = 1; s <= kSegments; ++s) {
            const Point b = arcPoint(arc, layout.baselineY, static_cast<double>(s) / kSegments);
            const double dx = b.x - a.x, dy = b.y - a.y;
            const double lengthSquared = dx * dx + dy * dy;
            double t = lengthSquared > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / lengthSquared : 0;
            t = std::clamp(t, 0.0, 1.0);
            const double distance = std::hypot(a.x + t * dx - x, a.y + t * dy - y);
            if (distance <= reach && distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(i);
            }
            a = b;
        }
    }
    return best;
}

int stationAt(const DiagramLayout& layout, double x, double y)
{
    const double r = layout.stationRadius + 3;
    if (y < layout.baselineY - r || y > layout.height)
        return 0;
    double halfSpacing = r;
    if (layout.stations.size() > 1)
        halfSpacing = std::min(halfSpacing * 2, (layout.stations[1].x - layout.stations[0].x) / 2);
    for (const StationMark& s : layout.stations) {
        if (std::abs(x - s.x) <= halfSpacing)
            return s.number;
    }
    return 0;
}

} // namespace zeltrac::diagram
