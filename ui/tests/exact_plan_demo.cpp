// Opens the exact optimum window on a data file, with a forced and a
// forbidden train and a limit set and solved again for 5 variants (for
// looking at the window). Not a test.
//   exact_plan_demo FILE.dat
#include <QApplication>

#include "ui/ExactPlanWindow.h"
#include "ui/tests/uitestsupport.h"
#include "workbook/workbook.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    zeltrac::Workbook workbook;
    if (const int failed =
            zeltrac::testutil::loadCalculatedFile(workbook, argc, argv, "exact_plan_demo"))
        return failed;
    ExactPlanWindow window(workbook);
    window.dataFileName = QString::fromLocal8Bit(argv[1]);
    window.show();
    window.start();
    QObject::connect(
        &window, &ExactPlanWindow::solveFinished, &window,
        [&window, resolved = false]() mutable {
            if (resolved)
                return;
            resolved = true;
            const int n = window.planModel()->rowCount() + 1;
            zeltrac::optimum::Conditions conditions;
            conditions.forced = {{1, n}};
            conditions.forbidden = {{1, n - 1}};
            conditions.maxDestinations = {{2, 2}};
            if (n > 3)
                window.setConditions(conditions);
            window.resolve();
        },
        Qt::QueuedConnection);
    return app.exec();
}
