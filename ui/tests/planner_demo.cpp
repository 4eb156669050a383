// Opens the windows "Действующий план" (its ladder solved) and "Устойчивость
// плана" (its envelope over all flows solved after it) on a data file, for
// looking at them. Not a test.
//   planner_demo FILE.dat
#include <QApplication>
#include <cstdio>

#include "ui/PlanInForceWindow.h"
#include "ui/StabilityWindow.h"
#include "workbook/workbook.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: planner_demo FILE.dat\n");
        return 2;
    }
    zeltrac::Workbook workbook;
    workbook.load(QString::fromLocal8Bit(argv[1]));
    if (workbook.calculate() != zeltrac::CalcStatus::Completed) {
        std::fprintf(stderr, "the calculation did not complete\n");
        return 1;
    }
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
