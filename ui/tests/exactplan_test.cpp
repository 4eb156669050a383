// The window "Точный оптимум": opening it from the menu, the exact plan and
// the marked comparison, cancelling a solve, a solve that reaches its time
// limit, and closing or destroying the window while it solves.

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QBrush>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ui/ExactPlanWindow.h"
#include "ui/Unit1.h"
#include "ui/exactcomparison.h"
#include "ui/tabcontrol.h"
#include "ui/tests/uitestsupport.h"
#include "ui/textgrid.h"
#include "workbook/workbook.h"

using zeltrac::Workbook;
using zeltrac::optimum::Options;
using zeltrac::optimum::Solution;
using zeltrac::optimum::Status;
using zeltrac::testutil::namedChild;
using zeltrac::ui::ExactComparisonModel;

namespace {

// A solver that runs until it is cancelled, then gives the real solver's
// answer as a cancelled solve does. `started` is set once it runs.
zeltrac::AnalysisJob::Solver untilCancelled(std::shared_ptr<std::atomic<bool>> started)
{
    return [started](const zeltrac::AnalysisRequest& request, const Options& options) {
        *started = true;
        while (!options.cancel->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Solution solution = zeltrac::runAnalysis(request, {});
        solution.model = zeltrac::optimum::ModelStatus::Feasible;
        solution.call = zeltrac::optimum::CallStatus::Cancelled;
        solution.bound = solution.best.cost - 3;
        return solution;
    };
}

// Gives the window a solver that runs until it is cancelled; the flag returned
// is set once it runs.
std::shared_ptr<std::atomic<bool>> solveUntilCancelled(ExactPlanWindow& window)
{
    auto started = std::make_shared<std::atomic<bool>>(false);
    window.workbook().analysis().solver = untilCancelled(started);
    return started;
}

QStringList planRows(ExactPlanWindow& window)
{
    return zeltrac::testutil::rowTexts(window.planModel());
}

} // namespace

class ExactPlanWindowTest : public zeltrac::testutil::CalculatedLineTest
{
    Q_OBJECT

private slots:
    void showsTheOptimumBesideTheCalculatedPlan()
    {
        ExactPlanWindow window(*m_workbook);
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.show();
        window.start();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!window.isSolving());
        QCOMPARE(window.statusText(), QStringLiteral("Оптимум доказан"));
        QVERIFY(m_workbook->exactPlan() != nullptr);
        QCOMPARE(m_workbook->exactPlan()->cost(), 46.0);

        // Laid out like the plan grid: column = origin, row 0 = station 5.
        const QStringList expected = {"|6||10", "9|2|4|", "|8||", "11|||"};
        QCOMPARE(planRows(window), expected);
        QVERIFY(!namedChild<QWidget>(&window, "gridPlan")->isEnabled() ||
                !window.planModel()->isEditable());

        QCOMPARE(namedChild<QLabel>(&window, "labelAnalytical")->text(),
                 QLocale::system().toString(75.0, 'f', 2));
        QCOMPARE(namedChild<QLabel>(&window, "labelExact")->text(),
                 QLocale::system().toString(46.0, 'f', 2));
        QCOMPARE(namedChild<QLabel>(&window, "labelSaving")->text(),
                 QLocale::system().toString(29.0, 'f', 2) + QStringLiteral(" ваг.-ч (") +
                     QLocale::system().toString(29.0 / 75.0 * 100.0, 'f', 2) +
                     QStringLiteral(" %)"));
        // The wall time and the solver whose answer it is (ours by default).
        QVERIFY(namedChild<QLabel>(&window, "labelTime")
                    ->text()
                    .endsWith(QStringLiteral(" с, собственный решатель")));
        QVERIFY(!namedChild<QProgressBar>(&window, "progressBusy")->isVisible());
        QVERIFY(!namedChild<QPushButton>(&window, "buttonCancel")->isVisible());

        // Opening it again shows the stored result without solving.
        window.start();
        QVERIFY(!window.isSolving());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(planRows(window), expected);
    }

    void marksTheCellsThatDiffer()
    {
        ExactPlanWindow window(*m_workbook);
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.start();
        QTRY_COMPARE(finished.count(), 1);
        ExactComparisonModel* model = window.comparisonModel();
        QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        QCOMPARE(model->rowCount(), 5); // stations 1..4 and the totals
        QCOMPARE(model->columnCount(), 11);
        QCOMPARE(model->index(4, 0).data().toString(), QStringLiteral("Итого"));
        const zeltrac::ExactPlan& plan = *m_workbook->exactPlan();
        int marked = 0;
        for (int row = 0; row < 5; ++row) {
            for (int column = 1; column < 11; ++column) {
                const int indicator = 2 + (column - 1) / 2;
                const bool differs = row == 4 ? plan.totalDiffers(indicator)
                                              : plan.indicatorDiffers(indicator, row + 1);
                const QVariant background = model->index(row, column).data(Qt::BackgroundRole);
                QCOMPARE(background.isValid(), differs);
                if (differs) {
                    QCOMPARE(background.value<QBrush>().color(), ExactComparisonModel::markColor());
                    ++marked;
                }
            }
        }
        // Station 2: 3 destinations, 7 cars re-formed, 16 car-hours in all, in
        // the exact plan; the total 75 against 46.
        QCOMPARE(model->index(1, 4).data().toString(), QStringLiteral("7"));
        QVERIFY(model->index(1, 4).data(Qt::BackgroundRole).isValid());
        QCOMPARE(model->index(1, 10).data().toString(), QStringLiteral("16"));
        QCOMPARE(model->index(4, 9).data().toString(), QStringLiteral("75"));
        QCOMPARE(model->index(4, 10).data().toString(), QStringLiteral("46"));
        QVERIFY(model->index(4, 10).data(Qt::BackgroundRole).isValid());
        QVERIFY(marked >= 4);
        // Read-only.
        QVERIFY(!(model->flags(model->index(1, 4)) & Qt::ItemIsEditable));
    }

    void cancellingShowsTheBestPlanSoFarAndStoresNothing()
    {
        ExactPlanWindow window(*m_workbook);
        const auto started = solveUntilCancelled(window);
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.show();
        window.start();
        QVERIFY(window.isSolving());
        QCOMPARE(window.statusText(), QStringLiteral("Поиск точного оптимума…"));
        QVERIFY(namedChild<QProgressBar>(&window, "progressBusy")->isVisible());
        auto* cancel = namedChild<QPushButton>(&window, "buttonCancel");
        QVERIFY(cancel->isVisible());
        QCOMPARE(cancel->text(), QStringLiteral("Отмена"));
        QTRY_VERIFY(started->load());
        // The window answers while the solve runs.
        QCoreApplication::processEvents();
        QVERIFY(window.isSolving());
        QCOMPARE(finished.count(), 0);

        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!window.isSolving());
        QVERIFY(window.statusText().startsWith(QStringLiteral("Отменено")));
        QVERIFY(!namedChild<QProgressBar>(&window, "progressBusy")->isVisible());
        QVERIFY(!cancel->isVisible());
        QCOMPARE(m_workbook->exactPlan(), nullptr);
        QCOMPARE(planRows(window).size(), 4);

        // Opening it again solves anew.
        *started = false;
        window.start();
        QVERIFY(window.isSolving());
        QTRY_VERIFY(started->load());
        window.cancel();
        QTRY_COMPARE(finished.count(), 2);
    }

    void aTimeLimitShowsTheBestPlanAndItsBound()
    {
        ExactPlanWindow window(*m_workbook);
        double limitSeen = 0;
        window.timeLimitSeconds = 7.5;
        m_workbook->analysis().solver = [&limitSeen](const zeltrac::AnalysisRequest& request,
                                                     const Options& options) {
            limitSeen = options.timeLimitSeconds;
            Solution solution = zeltrac::runAnalysis(request, {});
            solution.model = zeltrac::optimum::ModelStatus::Feasible;
            solution.call = zeltrac::optimum::CallStatus::TimeLimit;
            solution.bound = 40.5;
            return solution;
        };
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.start();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(limitSeen, 7.5);
        QCOMPARE(window.statusText(),
                 QStringLiteral("Предел времени исчерпан: лучший найденный план, "
                                "нижняя граница 40.50 ваг.-ч"));
        // The best plan found is kept for the other commands.
        QVERIFY(m_workbook->exactPlan() != nullptr);
        QCOMPARE(m_workbook->exactPlan()->status(), Status::TimeLimit);
        QCOMPARE(planRows(window).size(), 4);
        QCOMPARE(window.comparisonModel()->rowCount(), 5);
    }

    void aRecalculationWhileSolvingDropsTheResult()
    {
        ExactPlanWindow window(*m_workbook);
        const auto started = solveUntilCancelled(window);
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.start();
        QTRY_VERIFY(started->load());
        QCOMPARE(m_workbook->calculate(), zeltrac::CalcStatus::Completed);
        window.cancel();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(window.statusText(),
                 QStringLiteral("План пересчитан: выберите «Точный оптимум…» снова."));
        QCOMPARE(m_workbook->exactPlan(), nullptr);
        QCOMPARE(window.planModel()->rowCount(), 0);
        QCOMPARE(window.comparisonModel()->rowCount(), 0);
    }

    void closingOrDestroyingWhileSolvingEndsTheSolve()
    {
        auto started = std::make_shared<std::atomic<bool>>(false);
        {
            ExactPlanWindow window(*m_workbook);
            m_workbook->analysis().solver = untilCancelled(started);
            QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
            window.show();
            window.start();
            QTRY_VERIFY(started->load());
            window.close();
            QTRY_COMPARE(finished.count(), 1);
            QVERIFY(!window.isSolving());

            // Closed and opened again before the cancelled solve ends: a new
            // solve follows it.
            *started = false;
            window.show();
            window.start();
            QTRY_VERIFY(started->load());
            window.close();
            *started = false;
            window.show();
            window.start();
            QTRY_COMPARE(finished.count(), 2);
            QVERIFY(window.isSolving());
            QTRY_VERIFY(started->load());
            window.cancel();
            QTRY_COMPARE(finished.count(), 3);
            QVERIFY(!window.isSolving());
        }
        // Destroyed while solving: the destructor cancels and waits; the
        // queued result finds no window.
        *started = false;
        auto* window = new ExactPlanWindow(*m_workbook);
        m_workbook->analysis().solver = untilCancelled(started);
        window->start();
        QTRY_VERIFY(started->load());
        delete window;
        QCoreApplication::processEvents();
        QCOMPARE(m_workbook->exactPlan(), nullptr);
    }

    void theMenuCommandOpensTheWindowInResultMode()
    {
        Form1 form;
        form.show();
        Workbook& workbook = form.workbook();
        zeltrac::testutil::typeFiveStationLine(workbook);
        auto* analysis = form.findChild<QAction*>(QStringLiteral("mmExactPlan"));
        QVERIFY(analysis);
        QCOMPARE(analysis->text(), QStringLiteral("Точный оптимум…"));
        QVERIFY(!analysis->isEnabled());

        auto* tabs = form.findChild<zeltrac::ui::TabControl*>(QStringLiteral("TabControl1"));
        QVERIFY(tabs);
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QTRY_VERIFY(analysis->isEnabled());

        auto started = std::make_shared<std::atomic<bool>>(false);
        form.exactSolver = untilCancelled(started);
        analysis->trigger();
        ExactPlanWindow* window = form.exactPlanWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Точный оптимум"));
        QVERIFY(window->isSolving());
        QTRY_VERIFY(started->load());

        // Back to the input: the window closes and its solve ends.
        QSignalSpy finished(window, &ExactPlanWindow::solveFinished);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
        QVERIFY(!analysis->isEnabled());
        QVERIFY(!window->isVisible());
        QTRY_COMPARE(finished.count(), 1);

        // The form, destroyed with a solve running, waits for it.
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        *started = false;
        analysis->trigger();
        QCOMPARE(form.exactPlanWindow(), window);
        QTRY_VERIFY(started->load());
    }

    // A train forced in the window, then "Выход": "Да" saves the conditions
    // into the file their dialog names, and the program ends.
    void yesOnExitSavesTheConditionsSetInTheWindow()
    {
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("conditions.json"));
        Form1 form;
        form.show();
        form.openFile(QStringLiteral(ZELTRAC_EXAMPLES_DIR "/five-stations.dat"));
        QTabBar* bar = form.findChild<zeltrac::ui::TabControl*>(u"TabControl1"_qs)->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        form.findChild<QAction*>(QStringLiteral("mmExactPlan"))->trigger();
        ExactPlanWindow* window = form.exactPlanWindow();
        QTRY_VERIFY(!window->isSolving());
        auto* grid = namedChild<zeltrac::ui::TextGrid>(window, "gridPlan");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(0, 0)).center());
        window->saveConditionsDialog = [&](const QString&) { return file; };

        QString asked;
        QVERIFY(zeltrac::testutil::answerDialog<QMessageBox>(
            [&] { form.findChild<QAction*>(QStringLiteral("mmExit"))->trigger(); },
            [&](QMessageBox* box) {
                asked = box->text();
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == QStringLiteral("Да"))
                        button->click();
            }));
        QCOMPARE(asked, QStringLiteral("Сохранить изменения в условиях точного оптимума?"));
        QVERIFY(!form.isVisible());
        zeltrac::optimum::Conditions saved;
        QCOMPARE(zeltrac::optimum::readConditions(zeltrac::testutil::readFile(file).toStdString(),
                                                  saved),
                 std::string());
        QVERIFY(!saved.empty());
        QCOMPARE(saved, form.workbook().conditions());
    }
};

ZELTRAC_REGISTER_TEST(ExactPlanWindowTest);

#include "exactplan_test.moc"
