#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "optimum/planner.h"
#include "workbook/analysisjob.h"

namespace Ui {
class StabilityWindow;
}

namespace zeltrac {
class Workbook;
namespace ui {
class StabilityChartView;
}
} // namespace zeltrac

// "Устойчивость плана": the optimal cost as the flows of a scope are
// multiplied by a factor over a range, the plan in force held fixed beside
// it, as a chart and a table of the pieces, solved by the session's job.
class StabilityWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StabilityWindow(zeltrac::Workbook& workbook, QWidget* parent = nullptr);
    ~StabilityWindow() override;

    void start(); // sets the station ranges of the scope
    void solve();
    void cancel();
    bool isSolving() const;
    QString statusText() const;
    const std::optional<zeltrac::optimum::Stability>& stability() const { return m_stability; }
    zeltrac::ui::StabilityChartView* chartView() const;

    // The save dialog of the chart (a seam for tests).
    std::function<QString(const QString& offered)> saveChartDialog;

signals:
    void solveFinished();

private:
    void finishSolve(const zeltrac::AnalysisResult& result);
    bool ownSolve() const; // the job solves this window's envelope
    void setBusy(bool busy);
    void saveChart();
    zeltrac::optimum::Scope scope() const;

    std::unique_ptr<Ui::StabilityWindow> ui;
    zeltrac::Workbook& m_workbook;
    std::optional<zeltrac::optimum::Stability> m_stability; // the last answer shown
    int m_solve = 0; // the number of the envelope's solve running, as last reported
};
