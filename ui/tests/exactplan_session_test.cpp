// The window "Точный оптимум" over the session's analysis: nothing changes
// the conditions while a solve runs, and its result is not the session's
// optimum; another line starts without conditions, in a grid that fits the
// screen; a cancel is reported as one. Solves are held by a gate, never timed.

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
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
using zeltrac::testutil::namedChild;
using zeltrac::ui::TrainMark;

namespace {

// The real solver, held until `open` is set or the job cancels.
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

} // namespace

class ExactPlanSessionTest : public QObject
{
    Q_OBJECT

    Workbook m_workbook;
    std::unique_ptr<ExactPlanWindow> m_window;

    void open(const char* file)
    {
        m_workbook.load(QStringLiteral(ZELTRAC_EXAMPLES_DIR "/") + QLatin1String(file));
        QCOMPARE(m_workbook.calculate(), zeltrac::CalcStatus::Completed);
        if (!m_window) // opened again, as the main window does
            m_window = std::make_unique<ExactPlanWindow>(m_workbook);
        m_window->show();
        QSignalSpy finished(m_window.get(), &ExactPlanWindow::solveFinished);
        m_window->start();
        QTRY_COMPARE(finished.count(), 1);
    }

private slots:
    void cleanup() { m_window.reset(); }

    void whileSolvingNothingChangesTheConditionsNorTheSessionsOptimum()
    {
        open("five-stations.dat");
        QAbstractItemModel* limits = namedChild<QTableView>(m_window.get(), "tableLimits")->model();
        QAbstractItemModelTester tester(limits,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int row = 0; row < limits->rowCount(); ++row)
            QVERIFY(limits->setData(limits->index(row, 0), QStringLiteral("1")));
        const zeltrac::optimum::Conditions set = m_workbook.conditions();
        const auto gate = gateSolver(m_workbook);
        namedChild<QSpinBox>(m_window.get(), "spinVariants")->setValue(1);
        QSignalSpy finished(m_window.get(), &ExactPlanWindow::solveFinished);
        m_window->resolve();
        int dialogs = 0;
        m_window->saveConditionsDialog =
            m_window->openConditionsDialog = [&](const QString&) { return ++dialogs, QString(); };
        for (const char* name : {"tableLimits", "buttonSaveConditions", "buttonOpenConditions"})
            QVERIFY(!namedChild<QWidget>(m_window.get(), name)->isEnabled());
        QVERIFY(!limits->setData(limits->index(0, 0), QString()));
        m_window->saveConditions();
        m_window->openConditions();
        m_window->cycleCell(0, 0);
        m_window->setConditions({});
        QCOMPARE(dialogs, 0);
        QCOMPARE(m_workbook.conditions(), set);

        *gate = true;
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(m_window->statusText(), QStringLiteral("Оптимум при условиях доказан"));
        QCOMPARE(namedChild<QLabel>(m_window.get(), "captionExact")->text(),
                 QStringLiteral("Оптимум при условиях, ваг.-ч:"));
        QCOMPARE(m_workbook.exactPlan()->cost(), 290.0);
    }

    void anotherLineStartsWithoutConditionsInAGridThatFitsTheScreen()
    {
        open("line8.dat");
        m_window->cycleCell(0, 0); // 1-8 forced
        m_window->cycleCell(0, 5);
        m_window->cycleCell(0, 5); // 1-3 forbidden
        QCOMPARE(m_window->cellMark(0, 5), TrainMark::Forbidden);
        open("line21-dense.dat");
        QVERIFY(m_workbook.conditions().empty());
        QCOMPARE(m_window->cellMark(0, 0), TrainMark::None);
        QCOMPARE(m_window->statusText(), QStringLiteral("Оптимум доказан"));
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(m_window->screen()->availableGeometry().contains(m_window->frameGeometry()));

        auto* grid = namedChild<zeltrac::ui::TextGrid>(m_window.get(), "gridPlan");
        QVERIFY(grid->horizontalHeader()->isVisible() && grid->verticalHeader()->isVisible());
        const QStringList heads = {grid->model()->headerData(0, Qt::Horizontal).toString(),
                                   grid->model()->headerData(19, Qt::Horizontal).toString(),
                                   grid->model()->headerData(0, Qt::Vertical).toString(),
                                   grid->model()->headerData(19, Qt::Vertical).toString()};
        QCOMPARE(heads, (QStringList{"1", "20", "21", "2"}));
        QVERIFY(grid->width() >= namedChild<QWidget>(m_window.get(), "groupPlan")->width() - 30);
        QVERIFY(grid->columnWidth(19) >= 30);

        // A forced cell and a plain one, both selected: the mark shows through.
        m_window->cycleCell(0, 0);
        grid->selectAll();
        const QImage shot = grid->viewport()->grab().toImage();
        const auto colourAt = [&](int column) {
            return shot.pixelColor(grid->visualRect(grid->model()->index(0, column)).center() +
                                   QPoint(0, 4));
        };
        QCOMPARE(colourAt(1), grid->palette().color(QPalette::Active, QPalette::Highlight));
        QVERIFY(colourAt(0) != colourAt(1));
    }

    void aCancelledRunOfVariantsSaysSo()
    {
        open("line21-dense.dat");
        gateSolver(m_workbook);
        namedChild<QSpinBox>(m_window.get(), "spinVariants")->setValue(10);
        QSignalSpy finished(m_window.get(), &ExactPlanWindow::solveFinished);
        m_window->resolve();
        QTest::mouseClick(namedChild<QPushButton>(m_window.get(), "buttonCancel"), Qt::LeftButton);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY2(m_window->statusText().startsWith(QStringLiteral("Отменено")),
                 qPrintable(m_window->statusText()));
        const QStringList variants = m_window->variantTexts();
        QVERIFY(variants.isEmpty() ||
                variants.back() == QStringLiteral("Список неполон: поиск вариантов прерван"));
    }
};

ZELTRAC_REGISTER_TEST(ExactPlanSessionTest);
#include "exactplan_session_test.moc"
