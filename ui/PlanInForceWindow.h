#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "optimum/planner.h"
#include "workbook/analysisjob.h"

class PlanDiagramWindow;

namespace Ui {
class PlanInForceWindow;
}

namespace zeltrac {
class Workbook;
namespace ui {
class ExactComparisonModel;
class TrainGridModel;
} // namespace ui
} // namespace zeltrac

// "Действующий план": the plan in force set by clicking its through trains
// in a grid laid out like the plan grid (or taken from the calculated plan,
// the exact optimum, a variant or a file), its cost and indicators beside
// the calculated plan's and the optimum's, and the ladder of the best changes to it, solved
// by the session's analysis job. Selecting a line of the ladder shows that
// plan in the grid and the comparison.
class PlanInForceWindow : public QWidget
{
    Q_OBJECT

public:
    explicit PlanInForceWindow(zeltrac::Workbook& workbook, QWidget* parent = nullptr);
    ~PlanInForceWindow() override;

    // Shows the session's plan in force (the calculated plan's when none).
    void start();
    // Solves the ladder for the spin box's K.
    void solve();
    void cancel();
    bool isSolving() const;

    // Through train (origin, destination) on or off in the plan in force.
    void toggleTrain(int origin, int destination);
    void takeCalculated();
    void takeOptimum(); // the session's exact optimum, or the ladder's
    // The variant selected in the exact optimum window (the session's).
    void takeVariant();

    QString statusText() const;
    const std::optional<zeltrac::optimum::Ladder>& ladder() const { return m_ladder; }
    const zeltrac::optimum::PlanInForce& current() const { return m_current; }
    zeltrac::ui::TrainGridModel* gridModel() const { return m_grid; }
    void selectStep(int row); // 0: the plan in force, k: step k

    // The plan in force into the file the dialog names, or from it; either
    // is then the plan's file, with nothing unsaved.
    void openPlan();
    void savePlan();

    // The data file beside which the plan file is offered; seams for tests.
    QString dataFileName;
    std::function<QString(const QString& offered)> openPlanDialog;
    std::function<QString(const QString& offered)> savePlanDialog;

signals:
    void solveFinished();

private:
    void showCurrent();
    void finishSolve(const zeltrac::AnalysisResult& result);
    void setBusy(bool busy);
    // The plan of ladder step `step` (0: the plan in force) in the grid and
    // the diagram, and compared with the calculated plan and the optimum.
    void showPlan(const zeltrac::optimum::Variant& plan, int step);
    // The ladder's optimum, else the session's exact optimum; none yet.
    const zeltrac::optimum::Solution* optimum() const;
    std::vector<zeltrac::optimum::TrainPair> through() const;
    // The plan shown beside the calculated plan in the diagram window.
    void showDiagram();
    void updateDiagram();

    std::unique_ptr<Ui::PlanInForceWindow> ui;
    zeltrac::Workbook& m_workbook;
    zeltrac::ui::TrainGridModel* m_grid;
    zeltrac::ui::ExactComparisonModel* m_comparison;
    zeltrac::optimum::PlanInForce m_current;
    std::optional<zeltrac::optimum::Ladder> m_ladder; // the last ladder, for its plan in force
    std::vector<zeltrac::FixedTrain> m_shownTrains;   // the plan shown in the grid
    int m_solve = 0; // the number of the ladder's solve running, as last reported
    QPointer<PlanDiagramWindow> m_diagram;
};
