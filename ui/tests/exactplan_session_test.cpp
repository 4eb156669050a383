// The window "Точный оптимум" over the session's analysis: nothing of the
// conditions changes while a solve runs and a solve under conditions never
// becomes the session's optimum; conditions do not follow the user to
// another line; a cancel is reported as one; the plan grid at 21 stations.
// The solves are held by a gate the test opens, never timed.

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ui/ExactPlanWindow.h"
#include "ui/planconditions.h"
#include "ui/tests/uitestsupport.h"
#include "ui/textgrid.h"
#include "workbook/workbook.h"

using zeltrac::Workbook;
using zeltrac::optimum::Conditions;
using zeltrac::testutil::namedChild;
using zeltrac::ui::TrainMark;

namespace {

const QString kExamples = QStringLiteral(ZELTRAC_EXAMPLES_DIR);

// Gives the session's job the real solver, held until `open` is set or the
// job cancels.
std::shared_ptr<std::atomic<bool>> gateSolver(Workbook& workbook)
{
    auto open = std::make_shared<std::atomic<bool>>(false);
    workbook.analysis().solver = [open](const zeltrac::AnalysisRequest& request,
                                        const zeltrac::optimum::Options& options) {
        while (!*open && !options.cancel->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return zeltrac::runAnalysis(request, options);
    };
    return open;
}

void solve(ExactPlanWindow& window, bool resolve)
{
    QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
    resolve ? window.resolve() : window.start();
    QTRY_COMPARE(finished.count(), 1);
}

} // namespace

class ExactPlanSessionTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Workbook> m_workbook;

private slots:
    void init()
    {
        m_workbook = std::make_unique<Workbook>();
        zeltrac::testutil::typeFiveStationLine(*m_workbook);
        QCOMPARE(m_workbook->calculate(), zeltrac::CalcStatus::Completed);
    }

    void cleanup() { m_workbook.reset(); }

    void nothingChangesTheConditionsWhileSolvingAndTheResultIsLabelledSo()
    {
        ExactPlanWindow window(*m_workbook);
        window.show();
        solve(window, false);
        QCOMPARE(m_workbook->exactPlan()->cost(), 46.0);
        auto* table = namedChild<QTableView>(&window, "tableLimits");
        QAbstractItemModel* limits = table->model();
        QAbstractItemModelTester tester(limits,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int row = 0; row < limits->rowCount(); ++row)
            QVERIFY(limits->setData(limits->index(row, 0), QStringLiteral("1")));
        const Conditions set = window.conditions();
        QCOMPARE(set.maxDestinations.size(), std::size_t(4));

        const auto open = gateSolver(*m_workbook);
        namedChild<QSpinBox>(&window, "spinVariants")->setValue(1);
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.resolve();
        QVERIFY(window.isSolving());
        // Every way to change the conditions is closed while it runs.
        int dialogs = 0;
        window.saveConditionsDialog = window.openConditionsDialog = [&](const QString&) {
            ++dialogs;
            return QString();
        };
        QVERIFY(!table->isEnabled());
        QVERIFY(!(limits->flags(limits->index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(!limits->setData(limits->index(0, 0), QString()));
        for (const char* button : {"buttonSaveConditions", "buttonOpenConditions", "buttonResolve"})
            QVERIFY(!namedChild<QPushButton>(&window, button)->isEnabled());
        window.saveConditions();
        window.openConditions();
        window.cycleCell(0, 0);
        window.setConditions({});
        QCOMPARE(dialogs, 0);
        QCOMPARE(window.conditions(), set);

        *open = true;
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(window.statusText(), QStringLiteral("Оптимум при условиях доказан"));
        QCOMPARE(namedChild<QLabel>(&window, "captionExact")->text(),
                 QStringLiteral("Оптимум при условиях, ваг.-ч:"));
        QVERIFY(namedChild<QLabel>(&window, "labelExact")->text() !=
                QLocale::system().toString(46.0, 'f', 2));
        // The session's optimum is still the one without conditions.
        QCOMPARE(m_workbook->exactPlan()->cost(), 46.0);
        QVERIFY(limits->flags(limits->index(0, 0)) & Qt::ItemIsEditable);
    }

    void conditionsStayWithTheirLine()
    {
        m_workbook->load(kExamples + QStringLiteral("/line8.dat"));
        QCOMPARE(m_workbook->calculate(), zeltrac::CalcStatus::Completed);
        ExactPlanWindow window(*m_workbook);
        window.show();
        solve(window, false);
        window.cycleCell(0, 0); // 1-8 forced
        window.cycleCell(0, 5);
        window.cycleCell(0, 5); // 1-3 forbidden
        QCOMPARE(window.cellMark(0, 5), TrainMark::Forbidden);
        window.close();

        m_workbook->load(kExamples + QStringLiteral("/line21-dense.dat"));
        QCOMPARE(m_workbook->calculate(), zeltrac::CalcStatus::Completed);
        window.show();
        solve(window, false);
        QVERIFY(window.conditions().empty());
        for (int row = 0; row < window.planModel()->rowCount(); ++row)
            for (int column = 0; column < window.planModel()->columnCount(); ++column)
                QCOMPARE(window.cellMark(column, row), TrainMark::None);
        QAbstractItemModel* limits = namedChild<QTableView>(&window, "tableLimits")->model();
        QCOMPARE(limits->rowCount(), 20);
        QCOMPARE(window.statusText(), QStringLiteral("Оптимум доказан"));
    }

    void aCancelIsReportedAsOneAndTheVariantsAsIncomplete()
    {
        m_workbook->load(kExamples + QStringLiteral("/line21-dense.dat"));
        QCOMPARE(m_workbook->calculate(), zeltrac::CalcStatus::Completed);
        ExactPlanWindow window(*m_workbook);
        window.show();
        solve(window, false);
        gateSolver(*m_workbook);
        window.timeLimitSeconds = 600;
        namedChild<QSpinBox>(&window, "spinVariants")->setValue(10);
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.resolve();
        QVERIFY(window.isSolving());
        QTest::mouseClick(namedChild<QPushButton>(&window, "buttonCancel"), Qt::LeftButton);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY2(window.statusText().startsWith(QStringLiteral("Отменено")),
                 qPrintable(window.statusText()));
        QVERIFY(!window.statusText().contains(QStringLiteral("Время истекло")));
        const QStringList variants = window.variantTexts();
        QVERIFY(variants.isEmpty() ||
                variants.back() == QStringLiteral("Список неполон: поиск вариантов прерван"));
    }

    void thePlanGridAtTwentyOneStations()
    {
        m_workbook->load(kExamples + QStringLiteral("/line21-dense.dat"));
        QCOMPARE(m_workbook->calculate(), zeltrac::CalcStatus::Completed);
        ExactPlanWindow window(*m_workbook);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        solve(window, false);
        // Opened within the screen.
        QVERIFY(window.screen()->availableGeometry().contains(window.frameGeometry()));

        auto* grid = namedChild<zeltrac::ui::TextGrid>(&window, "gridPlan");
        QVERIFY(grid->horizontalHeader()->isVisible() && grid->verticalHeader()->isVisible());
        QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("1"));
        QCOMPARE(grid->model()->headerData(19, Qt::Horizontal).toString(), QStringLiteral("20"));
        QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("21"));
        QCOMPARE(grid->model()->headerData(19, Qt::Vertical).toString(), QStringLiteral("2"));
        // The grid takes its group's width, every column at least 30 pixels.
        auto* group = namedChild<QWidget>(&window, "groupPlan");
        QVERIFY2(grid->width() >= group->contentsRect().width() - 30,
                 qPrintable(QStringLiteral("%1 of %2").arg(grid->width()).arg(group->width())));
        QVERIFY(grid->columnWidth(19) >= 30);

        // A forced cell and a plain one, both selected: the mark shows through.
        window.cycleCell(0, 0);
        grid->selectAll();
        const QImage shot = grid->viewport()->grab().toImage();
        const auto colourAt = [&](int column) {
            return shot.pixelColor(grid->visualRect(grid->model()->index(0, column)).center() +
                                   QPoint(0, 4));
        };
        QVERIFY(colourAt(0) != colourAt(1));
        QCOMPARE(colourAt(1), grid->palette().color(QPalette::Active, QPalette::Highlight));
    }
};

ZELTRAC_REGISTER_TEST(ExactPlanSessionTest);
#include "exactplan_session_test.moc"
