// Opens the plan diagram window with the plan of a dense 21-station line (for
// looking at it and for the README's screenshot). Not a test.
//   plan_diagram_demo [--exact] [--width W --height H]
// --exact also shows, as the exact plan, the analytical plan's trains merged
// per cell (a stand-in that exercises the switch and the stacked view).
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <random>

#include "calc/numtext.h"
#include "calc/plan.h"
#include "ui/PlanDiagramWindow.h"
#include "workbook/diagramplan.h"

namespace {

zeltrac::CalcInput denseLine(int n, unsigned seed)
{
    std::mt19937 random(seed);
    auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    zeltrac::CalcInput input;
    input.stationCount = n;
    input.stationParams = zeltrac::TextTable(n, 2);
    input.flows = zeltrac::TextTable(n - 1, n - 1);
    for (int c = 0; c < n - 1; ++c) {
        input.stationParams.setCell(c, 0, zeltrac::numtext::wholeToText(between(400, 700)));
        const int tenths = between(20, 80);
        input.stationParams.setCell(c, 1,
                                    zeltrac::numtext::wholeToText(tenths / 10) + "." +
                                        zeltrac::numtext::wholeToText(tenths % 10));
    }
    for (int c = 0; c < n - 1; ++c) {
        for (int r = 0; c + r <= n - 2; ++r)
            input.flows.setCell(c, r, zeltrac::numtext::wholeToText(between(20, 300)));
    }
    return input;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("exact"), QStringLiteral("Show a second plan.")});
    parser.addOption({QStringLiteral("width"), QStringLiteral("Window width."), QStringLiteral("W"),
                      QStringLiteral("1280")});
    parser.addOption({QStringLiteral("height"), QStringLiteral("Window height."),
                      QStringLiteral("H"), QStringLiteral("800")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Random seed."), QStringLiteral("S"),
                      QStringLiteral("18")});
    parser.process(app);

    const zeltrac::CalcInput input = denseLine(21, parser.value(QStringLiteral("seed")).toUInt());
    zeltrac::ResultTables tables;
    const zeltrac::CalcResult result = zeltrac::calculatePlan(input, tables);
    const zeltrac::diagram::DiagramPlan plan =
        zeltrac::diagram::planFromCalculation(input, result.plan, result.trains);
    std::fprintf(stderr, "%zu trains, %zu fixed by the search\n", plan.trains.size(),
                 result.trains.size());

    std::optional<zeltrac::diagram::DiagramPlan> exact;
    if (parser.isSet(QStringLiteral("exact"))) {
        std::vector<zeltrac::FixedTrain> trains;
        for (const auto& t : plan.trains)
            trains.push_back({t.origin, t.destination, static_cast<std::int32_t>(t.cars)});
        exact = zeltrac::diagram::planFromTrains(plan.stationCount, plan.reforming, trains);
    }

    PlanDiagramWindow window;
    window.setPlans(plan, exact);
    window.move(0, 0);
    window.resize(parser.value(QStringLiteral("width")).toInt(),
                  parser.value(QStringLiteral("height")).toInt());
    window.show();
    return app.exec();
}
