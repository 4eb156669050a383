// The planner's conditions and the variants in the window "Точный оптимум":
// cycling a train's condition in the plan grid, solving again under the
// conditions, browsing the variants, keeping the conditions in a file, and
// conditions no plan meets.

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "optimum/jsonfile.h"
#include "optimum/variants.h"
#include "ui/ExactPlanWindow.h"
#include "ui/PlanDiagramWindow.h"
#include "ui/errorbox.h"
#include "ui/planconditions.h"
#include "ui/plandiagramview.h"
#include "ui/tests/uitestsupport.h"
#include "workbook/diagramplan.h"
#include "workbook/workbook.h"

using zeltrac::Workbook;
using zeltrac::optimum::Conditions;
using zeltrac::optimum::Solution;
using zeltrac::optimum::TrainPair;
using zeltrac::testutil::namedChild;
using zeltrac::ui::ConditionPlanModel;
using zeltrac::ui::TrainMark;

namespace {

QString number(double value)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

bool hasTrain(const Solution& solution, const TrainPair& train)
{
    for (const auto& t : solution.best.trains)
        if (t.origin == train.first && t.destination == train.second)
            return true;
    return false;
}

QStringList planTexts(zeltrac::CellTableModel* model)
{
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c)
            texts << model->cell(c, r);
    return texts;
}

QStringList planTexts(const zeltrac::TextTable& plan)
{
    QStringList texts;
    for (int r = 0; r < plan.rowCount(); ++r)
        for (int c = 0; c < plan.columnCount(); ++c)
            texts << QString::fromStdString(plan.cell(c, r));
    return texts;
}

} // namespace

class WhatIfTest : public zeltrac::testutil::CalculatedLineTest
{
    Q_OBJECT

    // Opens the window on the solved optimum.
    static void open(ExactPlanWindow& window)
    {
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.show();
        window.start();
        if (window.isSolving())
            QTRY_COMPARE(finished.count(), 1);
    }

    static void clickCell(ExactPlanWindow& window, int column, int row)
    {
        auto* grid = namedChild<QAbstractItemView>(&window, "gridPlan");
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

    static void resolveAndWait(ExactPlanWindow& window)
    {
        QSignalSpy finished(&window, &ExactPlanWindow::solveFinished);
        window.resolve();
        QVERIFY(window.isSolving());
        QTRY_COMPARE(finished.count(), 1);
    }

private slots:
    void clickingACellCyclesItsTrainAndMarksIt()
    {
        ExactPlanWindow window(*m_workbook);
        open(window);
        zeltrac::CellTableModel* model = window.planModel();
        QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Column 0, row 0 is train 1-5; column 3, row 0 train 4-5.
        const QModelIndex cell = model->index(0, 0);
        const QString text = model->cell(0, 0);

        clickCell(window, 0, 0);
        QCOMPARE(window.cellMark(0, 0), TrainMark::Forced);
        QCOMPARE(window.conditions().forced, (std::vector<TrainPair>{{1, 5}}));
        QVERIFY(window.conditions().forbidden.empty());
        QCOMPARE(cell.data(Qt::BackgroundRole).value<QBrush>().color(),
                 ConditionPlanModel::forcedColor());
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(),
                 QString::fromStdString(zeltrac::optimum::describeForced({1, 5})));
        QCOMPARE(window.cellMark(3, 0), TrainMark::None);
        QVERIFY(!model->index(0, 3).data(Qt::BackgroundRole).isValid());

        clickCell(window, 0, 0);
        QCOMPARE(window.cellMark(0, 0), TrainMark::Forbidden);
        QVERIFY(window.conditions().forced.empty());
        QCOMPARE(window.conditions().forbidden, (std::vector<TrainPair>{{1, 5}}));
        QCOMPARE(cell.data(Qt::BackgroundRole).value<QBrush>().color(),
                 ConditionPlanModel::forbiddenColor());

        clickCell(window, 0, 0);
        QCOMPARE(window.cellMark(0, 0), TrainMark::None);
        QVERIFY(window.conditions().empty());
        QVERIFY(!cell.data(Qt::BackgroundRole).isValid());
        // The plan's text stays as it was throughout.
        QCOMPARE(model->cell(0, 0), text);

        // Below the triangle (origin 4, destination 2) there is no train.
        clickCell(window, 3, 3);
        QVERIFY(window.conditions().empty());
        QCOMPARE(window.cellMark(3, 3), TrainMark::None);
    }

    void resolvingPutsTheForcedTrainInAndKeepsTheForbiddenOneOut()
    {
        ExactPlanWindow window(*m_workbook);
        open(window);
        clickCell(window, 0, 0); // 1-5 forced
        clickCell(window, 1, 1);
        clickCell(window, 1, 1); // 2-4 forbidden
        const Conditions conditions = window.conditions();
        QCOMPARE(conditions.forced, (std::vector<TrainPair>{{1, 5}}));
        QCOMPARE(conditions.forbidden, (std::vector<TrainPair>{{2, 4}}));
        QVERIFY(!window.planModel()->cell(1, 1).isEmpty()); // 2-4 in the optimum
        namedChild<QSpinBox>(&window, "spinVariants")->setValue(1);

        resolveAndWait(window);
        const Solution expected = zeltrac::optimum::solveExact(
            m_workbook->lastInput(), m_workbook->calculatedPlan(), conditions, 1);
        QVERIFY(hasTrain(expected, {1, 5}));
        QCOMPARE(expected.status(), zeltrac::optimum::Status::Optimal);
        QVERIFY(!hasTrain(expected, {2, 4}));
        QCOMPARE(planTexts(window.planModel()), planTexts(expected.best.plan));
        QVERIFY(window.planModel()->cell(1, 1).isEmpty()); // no train 2-4
        QVERIFY(expected.best.cost > 46);
        QCOMPARE(namedChild<QLabel>(&window, "labelExact")->text(), number(expected.best.cost));
        // The marks stay on the new plan.
        QCOMPARE(window.cellMark(0, 0), TrainMark::Forced);
        QCOMPARE(window.cellMark(1, 1), TrainMark::Forbidden);
        // The session's exact optimum is still the one without conditions.
        QVERIFY(m_workbook->exactPlan() != nullptr);
        QCOMPARE(m_workbook->exactPlan()->cost(), 46.0);
    }

    void selectingAVariantShowsItsCostAndPlan()
    {
        ExactPlanWindow window(*m_workbook);
        open(window);
        QCOMPARE(window.variantTexts(), QStringList{QStringLiteral("1. ") + number(46) +
                                                    QStringLiteral(" ваг.-ч — оптимум")});
        QCOMPARE(namedChild<QSpinBox>(&window, "spinVariants")->value(), 5);

        resolveAndWait(window);
        const Solution expected = zeltrac::optimum::solveExact(
            m_workbook->lastInput(), m_workbook->calculatedPlan(), Conditions(), 5);
        QVERIFY(expected.variants.size() >= 3);
        const QStringList texts = window.variantTexts();
        QCOMPARE(texts.size(), static_cast<int>(expected.variants.size()));
        for (int k = 1; k < texts.size(); ++k) {
            const double cost = expected.variants[k].cost;
            QCOMPARE(texts[k], QString::number(k + 1) + QStringLiteral(". ") + number(cost) +
                                   QStringLiteral(" ваг.-ч, +") + number(cost - 46) +
                                   QStringLiteral(" ваг.-ч (+") + number((cost - 46) / 46 * 100) +
                                   QStringLiteral(" %)"));
        }

        // Chosen in the list: the grid, the totals, the comparison and the
        // open diagram follow.
        window.showDiagram();
        QVERIFY(window.diagramWindow() && window.diagramWindow()->hasExactPlan());
        namedChild<QListWidget>(&window, "listVariants")->setCurrentRow(2);
        const auto& variant = expected.variants[2];
        QCOMPARE(planTexts(window.planModel()), planTexts(variant.plan));
        QCOMPARE(namedChild<QLabel>(&window, "labelExact")->text(), number(variant.cost));
        QVERIFY(window.statusText().startsWith(QStringLiteral("Вариант 3; ")));
        QAbstractItemModel* comparison =
            namedChild<QAbstractItemView>(&window, "tableComparison")->model();
        const int totals = comparison->rowCount() - 1;
        QCOMPARE(comparison->index(totals, 10).data().toString(),
                 QLocale::system().toString(variant.tables.total(6).toDouble(), 'g', 10));
        const auto& panels = window.diagramWindow()->view()->panels();
        QCOMPARE(panels.size(), std::size_t(2));
        const zeltrac::CalcInput& input = m_workbook->lastInput();
        QVERIFY(panels.back().plan.trains ==
                zeltrac::diagram::planFromTrains(5, zeltrac::diagram::reformingStations(input),
                                                 variant.trains)
                    .trains);
        QVERIFY(panels.front().plan.trains != panels.back().plan.trains);

        // Back to the optimum.
        window.selectVariant(0);
        QCOMPARE(planTexts(window.planModel()), planTexts(expected.variants[0].plan));
        QCOMPARE(namedChild<QLabel>(&window, "labelExact")->text(), number(46));
    }

    void savedConditionsOpenAgainEqual()
    {
        QTemporaryDir dir;
        ExactPlanWindow window(*m_workbook);
        window.dataFileName = dir.filePath(QStringLiteral("линия.dat"));
        open(window);
        clickCell(window, 0, 0);
        clickCell(window, 1, 0);
        clickCell(window, 1, 0);
        QAbstractItemModel* limits = namedChild<QTableView>(&window, "tableLimits")->model();
        QAbstractItemModelTester tester(limits,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(limits->rowCount(), 4);
        QVERIFY(limits->setData(limits->index(1, 0), QStringLiteral("2")));
        QVERIFY(limits->setData(limits->index(2, 1), QStringLiteral(" 7 ")));

        QString offered;
        const QString path = dir.filePath(QStringLiteral("условия.json"));
        window.saveConditionsDialog = [&](const QString& name) {
            offered = name;
            return path;
        };
        window.saveConditions();
        QCOMPARE(offered, dir.filePath(QStringLiteral("линия.условия.json")));
        Conditions saved;
        saved.forced = {{1, 5}};
        saved.forbidden = {{2, 5}};
        saved.maxDestinations = {{2, 2}};
        saved.maxReprocessed = {{3, 7}};
        QCOMPARE(window.conditions(), saved);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        Conditions read;
        QCOMPARE(zeltrac::optimum::readConditions(file.readAll().toStdString(), read),
                 std::string());
        QCOMPARE(read, saved);

        ExactPlanWindow other(*m_workbook);
        open(other);
        other.openConditionsDialog = [&](const QString&) { return path; };
        other.openConditions();
        QCOMPARE(other.conditions(), saved);
        QCOMPARE(other.cellMark(0, 0), TrainMark::Forced);
        QCOMPARE(other.cellMark(1, 0), TrainMark::Forbidden);
        QAbstractItemModel* otherLimits = namedChild<QTableView>(&other, "tableLimits")->model();
        QCOMPARE(otherLimits->index(1, 0).data().toString(), QStringLiteral("2"));
        QCOMPARE(otherLimits->index(2, 1).data().toString(), QStringLiteral("7"));
        QVERIFY(otherLimits->index(0, 0).data().toString().isEmpty());

        // A file that is not a set of conditions: the error box, nothing changes.
        const QString bad = dir.filePath(QStringLiteral("плохой.json"));
        QFile badFile(bad);
        QVERIFY(badFile.open(QIODevice::WriteOnly));
        badFile.write("{\"forced\": [[1]]}");
        badFile.close();
        other.openConditionsDialog = [&](const QString&) { return bad; };
        zeltrac::testutil::BoxAnswerer answerer;
        other.openConditions();
        // The command line's reader and message.
        Conditions none;
        QCOMPARE(answerer.texts(), QStringList{zeltrac::ui::errorBoxText(
                                       QString::fromStdString(zeltrac::optimum::loadConditionsFile(
                                           QFile::encodeName(bad).toStdString(), none)))});
        QCOMPARE(other.conditions(), saved);

        // A cancelled dialog saves nothing.
        QVERIFY(QFile::remove(path));
        window.saveConditionsDialog = [](const QString&) { return QString(); };
        window.saveConditions();
        QVERIFY(!QFile::exists(path));
    }

    void limitsThatAreNotNumbersAreReportedAndNothingIsSolved()
    {
        ExactPlanWindow window(*m_workbook);
        open(window);
        QAbstractItemModel* limits = namedChild<QTableView>(&window, "tableLimits")->model();
        zeltrac::testutil::BoxAnswerer answerer;
        QVERIFY(!limits->setData(limits->index(0, 1), QStringLiteral("-3")));
        QCOMPARE(answerer.texts(),
                 QStringList{
                     QStringLiteral("Ограничение станции 1 — не целое число не меньше 0: «-3».")});
        QVERIFY(window.conditions().empty());
    }

    void conditionsNoPlanMeetsShowTheirMessage()
    {
        ExactPlanWindow window(*m_workbook);
        open(window);
        // No train may start at station 1, yet its cars must leave.
        QAbstractItemModel* limits = namedChild<QTableView>(&window, "tableLimits")->model();
        QVERIFY(limits->setData(limits->index(0, 0), QStringLiteral("0")));
        resolveAndWait(window);
        Conditions conditions;
        conditions.maxDestinations = {{1, 0}};
        const Solution expected = zeltrac::optimum::solveExact(
            m_workbook->lastInput(), m_workbook->calculatedPlan(), conditions, 5);
        QCOMPARE(expected.status(), zeltrac::optimum::Status::Infeasible);
        QCOMPARE(window.statusText(), QStringLiteral("Точный оптимум не найден: ") +
                                          QString::fromStdString(expected.message));
        QVERIFY(!expected.message.empty());
        QVERIFY(window.variantTexts().isEmpty());
        QCOMPARE(window.planModel()->rowCount(), 0);
        QVERIFY(namedChild<QLabel>(&window, "labelExact")->text().isEmpty());
        QCOMPARE(m_workbook->exactPlan()->cost(), 46.0);
    }
};

ZELTRAC_REGISTER_TEST(WhatIfTest);
#include "whatif_test.moc"
