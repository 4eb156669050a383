// "Анализ" -> "Схема плана…" in the main window: when it is open, and the
// diagram window it opens showing the plan on screen.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <utility>

#include "calc/numtext.h"
#include "diagram/picture.h"
#include "ui/PlanDiagramWindow.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/filedialog.h"
#include "ui/plandiagramview.h"
#include "ui/tabcontrol.h"
#include "ui/tests/uitestsupport.h"
#include "ui/textgrid.h"

using zeltrac::diagram::TrainKind;
using zeltrac::testutil::answerDialog;
using zeltrac::testutil::BoxAnswerer;

namespace {

QString example(const char* name)
{
    return QStringLiteral(ZELTRAC_EXAMPLES_DIR "/") + QString::fromLatin1(name);
}

using CellCars = std::map<std::pair<int, int>, long long>;

// The cars of every non-empty cell of the plan grid on screen, by origin and
// destination (column c: origin c+1; row r: destination N-r).
CellCars cellsOnScreen(const zeltrac::ui::TextGrid* grid)
{
    CellCars cells;
    const int n = grid->colCount() + 1;
    for (int c = 0; c < grid->colCount(); ++c) {
        for (int r = 0; r < grid->rowCount(); ++r) {
            const auto cars = zeltrac::numtext::parseWhole(grid->cell(c, r).toStdString());
            if (cars && *cars > 0)
                cells[{c + 1, n - r}] = *cars;
        }
    }
    return cells;
}

// The cars of the shown arcs of one panel, summed by origin and destination.
CellCars cellsOfArcs(const PlanDiagramWindow* window, int panel = 0)
{
    CellCars cells;
    for (const auto& arc : window->view()->picture().panels.at(panel).layout.arcs)
        cells[{arc.origin, arc.destination}] += arc.cars;
    return cells;
}

} // namespace

class AnalysisDiagramTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Form2> m_result;
    std::unique_ptr<Form1> m_form;

    QAction* diagramAction() const
    {
        return m_form->findChild<QAction*>(QStringLiteral("mmPlanDiagram"));
    }
    zeltrac::ui::TextGrid* planGrid() const
    {
        return m_form->findChild<zeltrac::ui::TextGrid*>(QStringLiteral("StringGrid4"));
    }
    // Selects a tab with the mouse, as the planner does; returns the texts
    // of the boxes the calculation showed.
    QStringList clickTab(int index)
    {
        BoxAnswerer boxes;
        QTabBar* bar =
            m_form->findChild<zeltrac::ui::TabControl*>(QStringLiteral("TabControl1"))->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        return boxes.texts();
    }

private slots:
    void init()
    {
        m_result = std::make_unique<Form2>();
        m_form = std::make_unique<Form1>();
        m_form->setResultWindow(m_result.get());
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    void cleanup()
    {
        m_form.reset();
        m_result.reset();
    }

    void openOnlyInResultModeAfterACompletedCalculation()
    {
        QAction* action = diagramAction();
        QVERIFY(action);
        QCOMPARE(action->text(), QStringLiteral("Схема плана…"));
        QVERIFY(!action->isEnabled()); // input mode at start
        action->trigger();             // a disabled command opens nothing
        QVERIFY(!m_form->planDiagramWindow());

        m_form->openFile(example("five-stations.dat"));
        QVERIFY(!action->isEnabled());
        QCOMPARE(clickTab(1), QStringList{});
        QVERIFY(action->isEnabled());
        QCOMPARE(clickTab(0), QStringList{});
        QVERIFY(!action->isEnabled());

        // A calculation that fails with an error.
        m_form->workbook().setFlow(0, 0, QStringLiteral("12a"));
        QCOMPARE(clickTab(1), QStringList{QStringLiteral("'12a' is not a valid integer value.")});
        QVERIFY(!action->isEnabled());
        QCOMPARE(clickTab(0), QStringList{});

        // One with not enough data.
        m_form->workbook().setFlow(0, 0, QStringLiteral("20"));
        for (int c = 0; c < 5; ++c) {
            m_form->workbook().setParam(c, 0, QString());
            m_form->workbook().setParam(c, 1, QString());
        }
        QCOMPARE(clickTab(1), QStringList{QStringLiteral("Данных недостаточно!")});
        QVERIFY(!action->isEnabled());
        action->trigger();
        QVERIFY(!m_form->planDiagramWindow());

        // Completed again: open again.
        QCOMPARE(clickTab(0), QStringList{});
        m_form->openFile(example("three-stations.dat"));
        QCOMPARE(clickTab(1), QStringList{});
        QVERIFY(action->isEnabled());
    }

    void opensTheDiagramOfThePlanOnScreen()
    {
        m_form->openFile(example("five-stations.dat"));
        QCOMPARE(clickTab(1), QStringList{});
        diagramAction()->trigger();
        PlanDiagramWindow* window = m_form->planDiagramWindow();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("Схема плана"));
        QVERIFY(window->isWindow());
        QVERIFY(window->minimumSize() != window->maximumSize()); // resizable
        QVERIFY(!window->hasExactPlan());
        QVERIFY(!window->findChild<QComboBox*>(QStringLiteral("PlanChoice"))->isVisible());

        // Every cell of the plan grid is drawn with its cars, the fixed
        // through trains as through arcs: 3 through and 4 local arcs.
        QCOMPARE(window->view()->picture().panels.size(), 1u);
        QCOMPARE(window->view()->picture().panels[0].title, QStringLiteral("Аналитический план"));
        const CellCars onScreen = cellsOnScreen(planGrid());
        QCOMPARE(onScreen.size(), 7u);
        QCOMPARE(cellsOfArcs(window), onScreen);
        CellCars through;
        for (const auto& arc : window->view()->picture().panels[0].layout.arcs) {
            if (arc.kind == TrainKind::Through)
                through[{arc.origin, arc.destination}] += arc.cars;
        }
        CellCars fixed;
        for (const zeltrac::FixedTrain& train : m_form->workbook().fixedTrains())
            fixed[{train.origin, train.destination}] += train.cars;
        QCOMPARE(through.size(), 3u);
        QCOMPARE(through, fixed);

        // A new calculation redraws the open window; the command brings the
        // same window forward.
        QCOMPARE(clickTab(0), QStringList{});
        QCOMPARE((cellsOfArcs(window)[{4, 5}]), 40);
        m_form->workbook().setFlow(3, 0, QStringLiteral("55")); // 4 -> 5: 20 before
        QCOMPARE(clickTab(1), QStringList{});
        QCOMPARE(cellsOfArcs(window), cellsOnScreen(planGrid()));
        QCOMPARE((cellsOfArcs(window)[{4, 5}]), 75); // 35 cars more
        window->close();
        diagramAction()->trigger();
        QCOMPARE(m_form->planDiagramWindow(), window);
        QVERIFY(window->isVisible());

        // A failed calculation leaves no plan to show: the window goes.
        QCOMPARE(clickTab(0), QStringList{});
        m_form->workbook().setFlow(3, 0, QStringLiteral("x"));
        QCOMPARE(clickTab(1).size(), 1);
        QVERIFY(!window->isVisible());
    }

    void showsTheExactPlanBesideTheAnalyticalOne()
    {
        // The window takes both plans from the session's diagram data.
        m_form->openFile(example("five-stations.dat"));
        QCOMPARE(clickTab(1), QStringList{});
        const auto analytical = m_form->workbook().diagramData();
        const auto exact = m_form->workbook().exactDiagramData({{1, 5, 35}, {2, 4, 45}});
        QVERIFY(analytical && exact);
        PlanDiagramWindow window;
        window.setPlans(*analytical, exact);
        QCOMPARE(window.planChoice(), PlanDiagramWindow::PlanChoice::Both);
        QCOMPARE(window.view()->picture().panels.size(), 2u);
        QCOMPARE(cellsOfArcs(&window, 0), cellsOnScreen(planGrid()));
        QCOMPARE(cellsOfArcs(&window, 1), (CellCars{{{1, 5}, 35}, {{2, 4}, 45}}));
        window.setPlanChoice(PlanDiagramWindow::PlanChoice::Exact);
        QCOMPARE(window.view()->picture().panels.size(), 1u);
        QCOMPARE(window.view()->picture().panels[0].title, QStringLiteral("Точный оптимум"));
    }

    void exactOptimumComputedLaterJoinsTheOpenDiagram()
    {
        m_form->openFile(example("five-stations.dat"));
        QCOMPARE(clickTab(1), QStringList{});
        diagramAction()->trigger();
        PlanDiagramWindow* window = m_form->planDiagramWindow();
        QVERIFY(window && !window->hasExactPlan());
        const zeltrac::ExactPlan& exact = m_form->workbook().computeExactPlan();
        QVERIFY(exact.hasPlan());
        QVERIFY(window->hasExactPlan());
        QCOMPARE(window->view()->picture().panels.size(), 2u);
        CellCars trains;
        for (const zeltrac::FixedTrain& train : exact.solution().best.trains)
            trains[{train.origin, train.destination}] += train.cars;
        QCOMPARE(cellsOfArcs(window, 1), trains);
        // A new calculation drops the exact plan with the plan it belonged to.
        QCOMPARE(clickTab(0), QStringList{});
        QCOMPARE(clickTab(1), QStringList{});
        QVERIFY(!window->hasExactPlan());
    }

    void saveDialogIsTheProgramsFileDialog()
    {
        QCOMPARE(zeltrac::ui::filterSuffix(QStringLiteral("Рисунок PNG (*.png)")),
                 QStringLiteral("png"));
        QCOMPARE(zeltrac::ui::filterSuffix(QStringLiteral("Все (*.pdf *.svg)")),
                 QStringLiteral("pdf"));
        QCOMPARE(zeltrac::ui::filterSuffix(QStringLiteral("Все файлы (*)")), QString());

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        m_form->openFile(example("three-stations.dat"));
        QCOMPARE(clickTab(1), QStringList{});
        diagramAction()->trigger();
        PlanDiagramWindow* window = m_form->planDiagramWindow();
        QVERIFY(window);
        auto* save = window->findChild<QPushButton*>(QStringLiteral("SaveButton"));
        QVERIFY(save);

        // A name typed without an extension takes the suffix of the type
        // chosen in the dialog: PNG here.
        QVERIFY(answerDialog<QFileDialog>(
            [&] { save->click(); },
            [&](QFileDialog* d) {
                QCOMPARE(d->objectName(), QStringLiteral("DiagramSaveDialog"));
                QCOMPARE(d->windowTitle(), QStringLiteral("Сохранить схему"));
                QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
                QCOMPARE(d->nameFilters().size(), 3);
                QCOMPARE(d->defaultSuffix(), QStringLiteral("svg"));
                auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                QVERIFY(types);
                types->setCurrentIndex(1);
                // As choosing it in the list does:
                emit types->activated(1);
                emit types->textActivated(types->itemText(1));
                QCOMPARE(d->defaultSuffix(), QStringLiteral("png"));
                auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(dir.filePath(QStringLiteral("plan")));
                static_cast<QDialog*>(d)->accept();
            }));
        const QImage png(dir.filePath(QStringLiteral("plan.png")));
        QVERIFY(!png.isNull());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("plan.png")});
    }
};

ZELTRAC_REGISTER_TEST(AnalysisDiagramTest);

#include "analysis_diagram_test.moc"
