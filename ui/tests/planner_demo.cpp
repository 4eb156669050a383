// Opens the windows "Действующий план" (its ladder solved) and "Устойчивость
// плана" (its envelope over all flows solved after it) on a data file, for
// looking at them. Not a test.
//   planner_demo FILE.dat
#include <QApplication>

#include "ui/PlanInForceWindow.h"
#include "ui/StabilityWindow.h"
#include "ui/tests/uitestsupport.h"
#include "workbook/workbook.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    zeltrac::Workbook workbook;
    if (const int failed =
            zeltrac::testutil::loadCalculatedFile(workbook, argc, argv, "planner_demo"))
        return failed;
    PlanInForceWindow plan(workbook);
    plan.resize(1024, 740);
    plan.show();
    plan.start();
    plan.solve();
    StabilityWindow stability(workbook);
    stability.resize(1024, 740);
    QObject::connect(&plan, &PlanInForceWindow::solveFinished, &stability, [&] {
        plan.selectStep(2);
        stability.show();
        stability.start();
        stability.solve();
    });
    return app.exec();
}
