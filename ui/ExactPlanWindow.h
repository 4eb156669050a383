#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "workbook/celltable.h"
#include "workbook/workbook.h"

namespace Ui {
class ExactPlanWindow;
}

namespace zeltrac::ui {
class ExactComparisonModel;
}

// The exact optimum of the plan on the main window: the exact plan laid out
// like the plan grid, the station indicators of both plans with the
// differing cells marked, both totals, the saving, the solve time and the
// status. The solve runs on a thread of its own; "Отмена" ends it. Closing
// the window cancels a running solve; destroying it waits for the thread.
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
    bool isSolving() const { return m_solving; }
    // Asks the running solve to stop; its best plan so far is then shown.
    void cancel();

    // Seams that tests replace: the solver (the optimum library's when
    // empty) and its time limit.
    zeltrac::Workbook::ExactSolver solver;
    double timeLimitSeconds = 10;

    // The status line, the plan grid's texts and the comparison table.
    QString statusText() const;
    zeltrac::CellTableModel* planModel() { return &m_planModel; }
    zeltrac::ui::ExactComparisonModel* comparisonModel() const { return m_comparison; }

signals:
    // A solve ended and its result is shown.
    void solveFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void finishSolve(quint64 calculation, const zeltrac::optimum::Solution& solution);
    void showPlan(const std::optional<zeltrac::ExactPlan>& plan, const QString& status);
    void setBusy(bool busy);
    void joinSolve();

    std::unique_ptr<Ui::ExactPlanWindow> ui;
    zeltrac::Workbook& m_workbook;
    zeltrac::CellTableModel m_planModel;
    zeltrac::ui::ExactComparisonModel* m_comparison;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
    bool m_solving = false;
    bool m_solveAgain = false;
    bool m_placed = false;
};
