// The windows "Действующий план" and "Устойчивость плана": a plan in force
// set by clicking, taken from the optimum, the ladder and its lines, the
// stability chart on screen.

#include <QImage>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "ui/ExactPlanWindow.h"
#include "ui/PlanInForceWindow.h"
#include "ui/StabilityWindow.h"
#include "ui/stabilitychartview.h"
#include "ui/tests/uitestsupport.h"
#include "ui/traingrid.h"
#include "workbook/workbook.h"

using zeltrac::Workbook;
using zeltrac::optimum::TrainPair;
using zeltrac::testutil::namedChild;

class PlannerWindowsTest : public zeltrac::testutil::CalculatedLineTest
{
    Q_OBJECT

private slots:
    void clicksSetThePlanInForceAndTheLadderReachesTheOptimum()
    {
        PlanInForceWindow window(*m_workbook);
        QSignalSpy finished(&window, &PlanInForceWindow::solveFinished);
        window.show();
        window.start();
        QCOMPARE(window.current().plan.cost, 75.0); // the calculated plan's trains
        // Column 0 (origin 1), row 0 (destination 5): train 1-5.
        const bool before = window.gridModel()->inForce(1, 5);
        auto* grid = namedChild<QTableView>(&window, "gridPlan");
        const QRect cell = grid->visualRect(grid->model()->index(0, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(m_workbook->planInForce().has_value());
        QCOMPARE(window.gridModel()->inForce(1, 5), !before);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(window.gridModel()->inForce(1, 5), before);

        window.solve();
        QTRY_COMPARE(finished.count(), 1);
        const auto& ladder = *window.ladder();
        QVERIFY(ladder.optimumReached);
        QCOMPARE(ladder.steps.back().solution.best.cost, 46.0);
        auto* table = namedChild<QTableWidget>(&window, "tableLadder");
        QCOMPARE(table->rowCount(), static_cast<int>(ladder.steps.size()) + 1);
        // Selecting a line shows that plan's cars in the grid.
        table->selectRow(table->rowCount() - 1);
        const zeltrac::FixedTrain shown = ladder.steps.back().solution.best.trains.front();
        // Column = origin - 1, row = 5 - destination.
        const QModelIndex at = grid->model()->index(5 - shown.destination, shown.origin - 1);
        QCOMPARE(at.data().toInt(), shown.cars);
        // Beside the calculated plan and the optimum, differences marked.
        QAbstractItemModel* comparison =
            namedChild<QTableView>(&window, "tableComparison")->model();
        const int totals = comparison->rowCount() - 1;
        QCOMPARE(comparison->headerData(15, Qt::Horizontal).toString(), u"\nоптимум"_qs);
        QCOMPARE(comparison->headerData(13, Qt::Horizontal).toString(),
                 QStringLiteral("Итого\nступень %1").arg(table->rowCount() - 1));
        for (const auto& [column, marked] : {std::pair{13, true}, {14, true}, {15, false}})
            QCOMPARE(comparison->index(totals, column).data(Qt::BackgroundRole).isValid(), marked);

        window.takeOptimum();
        QCOMPARE(window.current().plan.cost, 46.0);
        QVERIFY(!window.ladder()); // the ladder answered another plan in force

        // Saved and opened again: its file's, nothing unsaved.
        const QTemporaryDir dir;
        window.savePlanDialog =
            window.openPlanDialog = [&](const QString&) { return dir.filePath(u"a.план.json"_qs); };
        window.savePlan();
        window.takeCalculated();
        window.openPlan();
        QCOMPARE(window.current().plan.cost, 46.0);
        QVERIFY(!m_workbook->planInForceDocument().modified());
    }

    void takesTheVariantSelectedInTheExactWindow()
    {
        ExactPlanWindow exact(*m_workbook);
        QSignalSpy solved(&exact, &ExactPlanWindow::solveFinished);
        namedChild<QSpinBox>(&exact, "spinVariants")->setValue(3);
        exact.resolve();
        QTRY_COMPARE(solved.count(), 1);
        exact.selectVariant(1);
        PlanInForceWindow window(*m_workbook);
        QCOMPARE(namedChild<QPushButton>(&window, "buttonFromVariant")->text(),
                 u"Из варианта 2"_qs);
        window.takeVariant();
        const auto& variant = m_workbook->analysis().lastExact()->solution.variants.at(1);
        QCOMPARE(*m_workbook->planInForce(), zeltrac::optimum::throughTrainsOf(variant.trains));
    }

    void drawsTheStabilityChart()
    {
        StabilityWindow window(*m_workbook);
        QSignalSpy finished(&window, &StabilityWindow::solveFinished);
        QSignalSpy begun(&m_workbook->analysis(), &zeltrac::AnalysisJob::solveBegun);
        window.resize(900, 600);
        window.show();
        window.start();
        window.solve();
        QTRY_COMPARE(finished.count(), 1);
        const auto& stability = *window.stability();
        QCOMPARE(stability.model, zeltrac::optimum::ModelStatus::Optimal);
        QCOMPARE(begun.count(), stability.solves); // each solve counted as it began
        QCOMPARE(namedChild<QTableWidget>(&window, "tablePieces")->rowCount(),
                 static_cast<int>(stability.pieces.size()));
        const QImage image = window.chartView()->grab().toImage();
        int blue = 0; // the optimal cost's line
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                blue += image.pixelColor(x, y) == QColor(0x1f, 0x5f, 0xbf);
        QVERIFY(blue > 100);
    }
};

ZELTRAC_REGISTER_TEST(PlannerWindowsTest);
#include "planner_windows_test.moc"
