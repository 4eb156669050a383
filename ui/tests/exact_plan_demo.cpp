// Opens the exact optimum window on a data file, with a forced and a
// forbidden train and a limit set and solved again for 5 variants (for
// looking at the window). Not a test.
//   exact_plan_demo FILE.dat
#include <QApplication>
#include <cstdio>

#include "ui/ExactPlanWindow.h"
#include "workbook/workbook.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: exact_plan_demo FILE.dat\n");
        return 2;
    }
    zeltrac::Workbook workbook;
    workbook.load(QString::fromLocal8Bit(argv[1]));
    if (workbook.calculate() != zeltrac::CalcStatus::Completed) {
        std::fprintf(stderr, "the calculation did not complete\n");
        return 1;
    }
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
