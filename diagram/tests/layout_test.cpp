// The diagram's geometry, without pixels: a label's size is a function of its
// text, as a font would give it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "diagram/layout.h"

using namespace zeltrac::diagram;

namespace {

// A font of digits 7 wide and 12 high.
TextSize fixedMeasure(const std::string& text)
{
    return {7.0 * static_cast<double>(text.size()), 12.0};
}

DiagramPlan planOf(int n, std::vector<DiagramTrain> trains)
{
    DiagramPlan plan;
    plan.stationCount = n;
    plan.reforming.assign(static_cast<std::size_t>(n), false);
    plan.trains = std::move(trains);
    return plan;
}

// A random plan: every pair of stations may hold a through train, a local
// train, both or none.
DiagramPlan randomPlan(std::mt19937& random, int n)
{
    std::uniform_int_distribution<int> kind(0, 3);
    std::uniform_int_distribution<int> digits(1, 6);
    DiagramPlan plan = planOf(n, {});
    for (int o = 1; o < n; ++o) {
        for (int d = o + 1; d <= n; ++d) {
            const int k = kind(random);
            for (TrainKind t : {TrainKind::Through, TrainKind::Local}) {
                if ((k == 1 && t == TrainKind::Through) || (k == 2 && t == TrainKind::Local) ||
                    k == 3) {
                    const int length = digits(random);
                    std::int64_t c = 1;
                    for (int i = 1; i < length; ++i)
                        c *= 10;
                    c += std::uniform_int_distribution<std::int64_t>(0, c * 9 - 1)(random);
                    plan.trains.push_back({o, d, c, t});
                }
            }
        }
    }
    return plan;
}

bool within(const ArcLayout& inner, const ArcLayout& outer)
{
    return std::min(inner.origin, inner.destination) >= std::min(outer.origin, outer.destination) &&
           std::max(inner.origin, inner.destination) <= std::max(outer.origin, outer.destination);
}

// The length of the longest chain of spans each within the next (equal spans
// count as nested): the fewest lanes nested spans can take.
int nestingDepth(const DiagramLayout& layout)
{
    std::vector<int> order(layout.arcs.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    auto length = [&](int i) {
        return std::abs(layout.arcs[static_cast<std::size_t>(i)].destination -
                        layout.arcs[static_cast<std::size_t>(i)].origin);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return length(a) < length(b); });
    std::vector<int> depth(order.size(), 1);
    int best = 0;
    for (std::size_t a = 0; a < order.size(); ++a) {
        for (std::size_t b = 0; b < a; ++b) {
            if (within(layout.arcs[static_cast<std::size_t>(order[b])],
                       layout.arcs[static_cast<std::size_t>(order[a])]))
                depth[a] = std::max(depth[a], depth[b] + 1);
        }
        best = std::max(best, depth[a]);
    }
    return best;
}

} // namespace

TEST(DiagramLayout, EveryArcEndsOnItsTwoStations)
{
    const DiagramPlan plan = planOf(5, {{1, 5, 300, TrainKind::Through},
                                        {2, 3, 12, TrainKind::Local},
                                        {4, 2, 7, TrainKind::Local}});
    LayoutOptions options;
    options.width = 500;
    const DiagramLayout layout = layoutDiagram(plan, fixedMeasure, options);

    ASSERT_EQ(layout.stations.size(), 5u);
    EXPECT_DOUBLE_EQ(layout.stations.front().x, options.sideMargin);
    EXPECT_DOUBLE_EQ(layout.stations.back().x, options.width - options.sideMargin);
    ASSERT_EQ(layout.arcs.size(), plan.trains.size());
    for (const ArcLayout& arc : layout.arcs) {
        SCOPED_TRACE(arc.label);
        EXPECT_DOUBLE_EQ(arc.x1, layout.stations[static_cast<std::size_t>(arc.origin - 1)].x);
        EXPECT_DOUBLE_EQ(arc.x2, layout.stations[static_cast<std::size_t>(arc.destination - 1)].x);
        const Point start = arcPoint(arc, layout.baselineY, 0);
        const Point end = arcPoint(arc, layout.baselineY, 1);
        const Point apex = arcPoint(arc, layout.baselineY, 0.5);
        EXPECT_DOUBLE_EQ(start.x, arc.x1);
        EXPECT_DOUBLE_EQ(start.y, layout.baselineY);
        EXPECT_DOUBLE_EQ(end.x, arc.x2);
        EXPECT_DOUBLE_EQ(end.y, layout.baselineY);
        EXPECT_NEAR(apex.x, (arc.x1 + arc.x2) / 2, 1e-9);
        EXPECT_NEAR(apex.y, arc.apexY, 1e-9);
        EXPECT_LT(arc.apexY, layout.baselineY);
        // The label sits just above the apex, on the arc's middle.
        EXPECT_LE(arc.labelBox.bottom(), arc.apexY - arc.stroke / 2);
        EXPECT_NEAR(arc.labelBox.x + arc.labelBox.width / 2, apex.x, 1e-9);
    }
    EXPECT_EQ(layout.arcs[2].origin, 4); // a train drawn backwards keeps its ends
    EXPECT_EQ(layout.arcs[2].label, "7");
}

TEST(DiagramLayout, RandomPlansKeepLabelsApartAndSpansNested)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 60; ++round) {
        const int n = 3 + round % 19;
        const DiagramPlan plan = randomPlan(random, n);
        LayoutOptions options;
        options.width = std::uniform_real_distribution<double>(300, 1600)(random);
        // Label widths that vary with the text, as a proportional font's do.
        const LabelMeasure measure = [](const std::string& text) {
            return TextSize{6.5 * static_cast<double>(text.size()) + (text[0] == '1' ? 1.5 : 0),
                            11.0 + static_cast<double>(text.size() % 2)};
        };
        const DiagramLayout layout = layoutDiagram(plan, measure, options);
        SCOPED_TRACE("stations " + std::to_string(n) + ", round " + std::to_string(round));
        ASSERT_EQ(layout.arcs.size(), plan.trains.size());

        std::int64_t cars = 0;
        for (std::size_t a = 0; a < layout.arcs.size(); ++a) {
            const ArcLayout& arc = layout.arcs[a];
            cars += arc.cars;
            EXPECT_EQ(arc.train, static_cast<int>(a));
            EXPECT_GE(arc.labelBox.x, 0.0);
            EXPECT_LE(arc.labelBox.right(), layout.width + 1e-9);
            EXPECT_GE(arc.labelBox.y, 0.0);
            EXPECT_GE(arc.lane, 0);
            EXPECT_LT(arc.lane, layout.laneCount);
            for (std::size_t b = a + 1; b < layout.arcs.size(); ++b) {
                const ArcLayout& other = layout.arcs[b];
                ASSERT_FALSE(arc.labelBox.overlaps(other.labelBox))
                    << arc.origin << "-" << arc.destination << " and " << other.origin << "-"
                    << other.destination;
                // Nested spans nest: the inner arc lies in a lower lane.
                if (within(arc, other)) {
                    EXPECT_LT(arc.lane, other.lane);
                } else if (within(other, arc)) {
                    EXPECT_LT(other.lane, arc.lane);
                }
            }
        }
        EXPECT_EQ(cars, totalCars(plan));
        EXPECT_GE(layout.laneCount, nestingDepth(layout));
    }
}

TEST(DiagramLayout, NestedSpansTakeTheFewestLanes)
{
    LayoutOptions options;
    options.width = 2000; // labels far apart: only the nesting sets the lanes

    // A chain: 1-8 around 2-7 around 3-6 around 4-5.
    const DiagramPlan chain = planOf(8, {{1, 8, 5, TrainKind::Through},
                                         {4, 5, 6, TrainKind::Local},
                                         {2, 7, 7, TrainKind::Through},
                                         {3, 6, 8, TrainKind::Local}});
    const DiagramLayout chainLayout = layoutDiagram(chain, fixedMeasure, options);
    EXPECT_EQ(chainLayout.laneCount, 4);
    EXPECT_EQ(chainLayout.arcs[1].lane, 0);
    EXPECT_EQ(chainLayout.arcs[3].lane, 1);
    EXPECT_EQ(chainLayout.arcs[2].lane, 2);
    EXPECT_EQ(chainLayout.arcs[0].lane, 3);

    // Siblings share a lane under their common outer span; a cell with a
    // through and a local train takes two lanes.
    const DiagramPlan siblings = planOf(9, {{1, 9, 5, TrainKind::Through},
                                            {1, 3, 5, TrainKind::Through},
                                            {3, 5, 5, TrainKind::Local},
                                            {5, 9, 5, TrainKind::Through},
                                            {6, 8, 5, TrainKind::Through},
                                            {6, 8, 9, TrainKind::Local}});
    const DiagramLayout siblingLayout = layoutDiagram(siblings, fixedMeasure, options);
    EXPECT_EQ(siblingLayout.laneCount, nestingDepth(siblingLayout));
    EXPECT_EQ(siblingLayout.laneCount, 4);
    EXPECT_EQ(siblingLayout.arcs[1].lane, 0);
    EXPECT_EQ(siblingLayout.arcs[2].lane, 0);
    EXPECT_EQ(siblingLayout.arcs[4].lane, 0);
    EXPECT_EQ(siblingLayout.arcs[5].lane, 1);

    // Random laminar families (no two spans cross) with room for every label:
    // exactly as many lanes as the deepest nesting.
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        const int n = 3 + round % 19;
        std::vector<DiagramTrain> trains;
        std::uniform_int_distribution<int> station(1, n);
        for (int tries = 0; tries < 40; ++tries) {
            int a = station(random), b = station(random);
            if (a == b)
                continue;
            if (a > b)
                std::swap(a, b);
            const bool crosses = std::any_of(trains.begin(), trains.end(), [&](const auto& t) {
                return (t.origin < a && a < t.destination && t.destination < b) ||
                       (a < t.origin && t.origin < b && b < t.destination);
            });
            if (!crosses)
                trains.push_back({a, b, 3, TrainKind::Local});
        }
        LayoutOptions wide;
        wide.width = 40.0 * n * 20;
        const DiagramLayout layout = layoutDiagram(planOf(n, trains), fixedMeasure, wide);
        EXPECT_EQ(layout.laneCount, nestingDepth(layout)) << "round " << round;
    }
}

TEST(DiagramLayout, StrokeGrowsWithCarsAndStationsKeepTheirMarks)
{
    DiagramPlan plan = planOf(6, {{1, 2, 10, TrainKind::Local},
                                  {2, 3, 500, TrainKind::Through},
                                  {3, 4, 250, TrainKind::Local},
                                  {4, 5, 0, TrainKind::Local},
                                  {5, 9, 40, TrainKind::Local}}); // off the line: not drawn
    plan.reforming = {false, true, false, true};                  // shorter than the line
    LayoutOptions options;
    const DiagramLayout layout = layoutDiagram(plan, fixedMeasure, options);
    ASSERT_EQ(layout.arcs.size(), 4u);
    EXPECT_DOUBLE_EQ(layout.arcs[1].stroke, options.maxStroke);
    EXPECT_DOUBLE_EQ(layout.arcs[3].stroke, options.minStroke);
    EXPECT_LT(layout.arcs[0].stroke, layout.arcs[2].stroke);
    EXPECT_LT(layout.arcs[2].stroke, layout.arcs[1].stroke);

    std::vector<bool> marks;
    for (const StationMark& s : layout.stations)
        marks.push_back(s.reforming);
    EXPECT_EQ(marks, (std::vector<bool>{false, true, false, true, false, false}));

    // An empty plan still draws its stations.
    const DiagramLayout empty = layoutDiagram(planOf(3, {}), fixedMeasure, options);
    EXPECT_EQ(empty.stations.size(), 3u);
    EXPECT_EQ(empty.laneCount, 0);
    EXPECT_GT(empty.height, empty.baselineY);
}

TEST(DiagramLayout, FindsTheArcAndTheStationUnderAPoint)
{
    const DiagramPlan plan = planOf(4, {{1, 4, 300, TrainKind::Through},
                                        {1, 2, 50, TrainKind::Local},
                                        {3, 4, 60, TrainKind::Local}});
    const DiagramLayout layout = layoutDiagram(plan, fixedMeasure, {});
    for (std::size_t i = 0; i < layout.arcs.size(); ++i) {
        const ArcLayout& arc = layout.arcs[i];
        const Point apex = arcPoint(arc, layout.baselineY, 0.5);
        EXPECT_EQ(arcAt(layout, apex.x, apex.y + 1), static_cast<int>(i));
        const Point side = arcPoint(arc, layout.baselineY, 0.3);
        EXPECT_EQ(arcAt(layout, side.x + 2, side.y), static_cast<int>(i));
        EXPECT_EQ(arcAt(layout, arc.labelBox.x + 1, arc.labelBox.y + 1), static_cast<int>(i));
    }
    // Below the long arc, between the short ones: nothing.
    const double middle = (layout.stations[1].x + layout.stations[2].x) / 2;
    EXPECT_EQ(arcAt(layout, middle, layout.baselineY - 3), -1);
    EXPECT_EQ(arcAt(layout, middle, 0.5), -1);

    for (const StationMark& s : layout.stations) {
        EXPECT_EQ(stationAt(layout, s.x, layout.baselineY), s.number);
        EXPECT_EQ(stationAt(layout, s.x + 2, layout.baselineY + 15), s.number); // its number
    }
    EXPECT_EQ(stationAt(layout, middle, layout.baselineY), 0);
    EXPECT_EQ(stationAt(layout, layout.stations[0].x, layout.baselineY - 40), 0);
}
