#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "calc/plan.h"
#include "ui/ExactPlanWindow.h"
#include "ui/PlanInForceWindow.h"
#include "ui/StabilityWindow.h"
#include "ui/Unit2.h"
#include "workbook/workbook.h"

namespace Ui {
class Form1;
}

class PlanDiagramWindow;

namespace zeltrac {
class Workbook;
} // namespace zeltrac

// The main window: the station count, the operator's name, the input grids,
// the plan grid, and the menu commands.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // The window that shows the report ("Печать результатов").
    void setResultWindow(Form2* form);

    // The planning session the window shows and edits; it lives as long as
    // the window.
    zeltrac::Workbook& workbook() const { return *m_workbook; }
    // The program-wide result tables; the report reads them.
    const zeltrac::ResultTables& resultTables() const { return m_workbook->resultTables(); }

    // Opens an initial-data file exactly as "Открыть" does once its dialog
    // has returned the name; an error is shown in the error box.
    void openFile(const QString& name);

    // The calculation on screen: reads the station count and the input grids,
    // writes the plan grid and the result tables. Throws zeltrac::Error.
    void CalcResultMetod1();
    // Composes the report into the result window. Throws zeltrac::Error; the
    // lines composed before the error stay in the window.
    void print2RE();

    // The plan diagram window once "Схема плана…" has opened it, else null.
    PlanDiagramWindow* planDiagramWindow() const;
    // Shows the session's plans in the diagram window when it is open (call
    // it whenever the plans change); hides the window when the last
    // calculation did not complete.
    void refreshPlanDiagram();

    // Seams that tests replace. The file dialogs get the initial folder and
    // the name last chosen in them and return the chosen name, or an empty
    // one when cancelled. The clock gives the report's date and time.
    std::function<QString(const QString& folder, const QString& lastName)> openFileDialog;
    std::function<QString(const QString& folder, const QString& lastName)> saveFileDialog;
    std::function<QDateTime()> currentDateTime;
    // The save dialog of "Экспорт в CSV…", like the file dialogs above.
    std::function<QString(const QString& folder, const QString& lastName)> csvFileDialog;
    // The exact solver the window "Точный оптимум" uses (the optimum
    // library's when empty).
    zeltrac::AnalysisJob::Solver exactSolver;

    // The window "Точный оптимум", once opened.
    ExactPlanWindow* exactPlanWindow() const { return m_exactWindow; }
    // The windows "Действующий план" and "Устойчивость плана", once opened.
    PlanInForceWindow* planInForceWindow() const { return m_planInForceWindow; }
    // The window "Действующий план", made when first needed.
    PlanInForceWindow* planWindow();
    StabilityWindow* stabilityWindow() const { return m_stabilityWindow; }

protected:
    bool event(QEvent* event) override;
    // Closes only when the planner lets unsaved changes go.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void Edit1Change();
    void TabControl1Change();
    void N5Click();
    void mmOpenClick();
    void mmSaveClick();
    void mmPrResClick();
    void mmExitClick();
    void updateAnalysisCommands();
    // "Анализ": the exact optimum.
    void mmExactPlanClick();
    // The window "Точный оптимум", made when first needed.
    ExactPlanWindow* exactWindow();
    // "Анализ": the plan in force and its changes, the stability of a plan.
    void mmPlanInForceClick();
    void mmStabilityClick();

    // "Анализ": the plan diagram.
    void mmPlanDiagramClick();

    // "Анализ": the plan to the clipboard, the CSV export.
    void mmCopyPlanClick();
    void mmExportCsvClick();

    // Runs a handler through the common error box.
    void handle(void (Form1::*handler)());
    void applyFonts();
    void loadDataFile(const QString& path);
    // Asks about every file of the session with unsaved changes; false when
    // the planner chose "Отмена" or a save asked for did not succeed.
    bool mayDiscardChanges();
    // Asks whether to save `document` when it has unsaved changes and runs
    // `save` if so; false on "Отмена" or when it is still unsaved after.
    bool maySaveOrDiscard(const zeltrac::Document& document, const QString& question,
                          const std::function<void()>& save);
    // Saves the input as "Сохранить" does, into its file when it has one.
    bool saveInput();
    // The spinner and the grids' sizes follow the session's station count.
    void showStationCount(int count);

    std::unique_ptr<Ui::Form1> ui;
    // A child object, created after the grids that show its tables, so
    // that it outlives them.
    zeltrac::Workbook* m_workbook = nullptr;
    QPointer<Form2> m_resultWindow;
    QPointer<ExactPlanWindow> m_exactWindow;
    QPointer<PlanInForceWindow> m_planInForceWindow;
    QPointer<StabilityWindow> m_stabilityWindow;
    QPointer<PlanDiagramWindow> m_diagramWindow;
    QString m_openFileName;
    QString m_saveFileName;
    QString m_csvFileName;
    bool m_shownOnce = false;
};
