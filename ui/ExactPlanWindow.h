#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "optimum/conditions.h"
#include "ui/planconditions.h"
#include "workbook/workbook.h"

class PlanDiagramWindow;

namespace Ui {
class ExactPlanWindow;
}

namespace zeltrac::ui {
class ExactComparisonModel;
}

// The exact optimum of the plan on the main window: the exact plan laid out
// like the plan grid, the station indicators of both plans with the
// differing cells marked, both totals, the saving, the solve time and the
// status. The session's analysis job solves; "Отмена" cancels it. Closing
// the window cancels a running solve.
//
// The planner's conditions: a click on a cell of the plan cycles its train
// through none, forced and forbidden; the limits table (the session's
// LimitsModel) holds each station's most destinations and most re-formed
// cars. The plan grid names the stations beside its cells, grows with the
// window, and shows a mark through the selection. "Пересчитать" solves under them
// for the number of variants asked for; the variants list shows each with
// its cost and how far it lies above the optimum, and selecting one shows it
// in the grid and the comparison. Conditions are the session's, kept in a
// JSON file; they cannot be changed while a solve runs. A solve under
// conditions is shown here only; the session keeps the exact optimum
// without conditions for the report and the exports.
class ExactPlanWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ExactPlanWindow(zeltrac::Workbook& workbook, QWidget* parent = nullptr);
    ~ExactPlanWindow() override;

    // Shows the stored exact optimum of the session's last calculation, or
    // starts solving it. While a solve runs, does nothing, unless that solve
    // was cancelled: then a new one starts when it ends.
    void start();
    zeltrac::Workbook& workbook() const { return m_workbook; }
    bool isSolving() const { return m_workbook.analysis().isRunning(); }
    // Asks the running solve to stop; its best plan so far is then shown.
    void cancel();

    // Solves again under the conditions set, with the variants asked for.
    void resolve();
    // Clicks on the plan cell (column, row): the train's next condition.
    void cycleCell(int column, int row);
    // "Сохранить условия…" and "Открыть условия…".
    void saveConditions();
    void openConditions();

    // The session's conditions.
    const zeltrac::optimum::Conditions& conditions() const { return m_workbook.conditions(); }
    // Replaces the session's conditions (not while a solve runs).
    void setConditions(const zeltrac::optimum::Conditions& conditions);
    zeltrac::ui::TrainMark cellMark(int column, int row) const
    {
        return m_planModel->markAt(column, row);
    }

    // "Схема плана…": the diagram window with the calculated plan and the
    // plan shown here; it follows the variant chosen while it is open.
    void showDiagram();
    PlanDiagramWindow* diagramWindow() const { return m_diagram; }

    // The variants of the last solve: list texts, and showing one (0-based).
    QStringList variantTexts() const;
    void selectVariant(int index);

    // Seams that tests replace: the time limit and the conditions file
    // dialogs (they get the name offered and return the chosen one, or an
    // empty one when cancelled). The solver is the session's analysis job's.
    double timeLimitSeconds = 10;
    std::function<QString(const QString& offered)> saveConditionsDialog;
    std::function<QString(const QString& offered)> openConditionsDialog;
    // The data file the conditions file is offered beside; none offers
    // "условия.json" in the working folder.
    QString dataFileName;

    // The status line, the plan grid's texts and the comparison table.
    QString statusText() const;
    zeltrac::CellTableModel* planModel() { return m_planModel; }
    zeltrac::ui::ExactComparisonModel* comparisonModel() const { return m_comparison; }

signals:
    // A solve ended and its result is shown.
    void solveFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void runSolve(int variants);
    void finishSolve(const zeltrac::AnalysisResult& result);
    // The variants list of the session's last exact answer (or of its
    // stored exact plan); the list stays empty while solving.
    const zeltrac::optimum::Solution* variantsShown() const;
    void showVariants();
    // The plan grid's share of the window for a plan of `cells` x `cells`.
    void fitPlanArea(int cells);
    void updateDiagram();
    QString offeredConditionsName() const;
    void showPlan(const std::optional<zeltrac::ExactPlan>& plan, const QString& status);
    void setBusy(bool busy);

    std::unique_ptr<Ui::ExactPlanWindow> ui;
    zeltrac::Workbook& m_workbook;
    // A child made after the grid that shows it, so destroyed after it.
    zeltrac::ui::ConditionPlanModel* m_planModel = nullptr;
    int m_stations = 0; // of the line the conditions are set on
    std::optional<std::vector<zeltrac::FixedTrain>> m_shownTrains; // of the plan shown
    PlanDiagramWindow* m_diagram = nullptr;
    zeltrac::ui::ExactComparisonModel* m_comparison;
    bool m_solveAgain = false;
    bool m_placed = false;
};
