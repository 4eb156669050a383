#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calc/plan.h"
#include "calc/texttable.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"
#include "workbook/analysisjob.h"
#include "workbook/celltable.h"
#include "workbook/csvexport.h"
#include "workbook/diagramplan.h"
#include "workbook/document.h"
#include "workbook/exactplan.h"

namespace zeltrac {

// One planning session, shared by the window and the command-line tool: the
// input (station count, the texts of the parameter and flow tables, the
// operator's name, the decimal separator of the Tек texts) and the results
// of the calculations run on it (the program-wide result tables, the plan
// texts and the fixed through trains).
//
// The tables are item models: the window's grids show and edit them, and a
// load or a calculation reaches the grids through them. Every table keeps
// the texts of cells beyond its current size.
//
//   parameterModel(): "Cm" (row 0) and "Tек" (row 1), N columns x 2 rows;
//   flowModel():      car flows, (N-1) x (N-1); cell (c, r) = origin c+1,
//                     destination N-r;
//   planModel():      the plan texts, (N-1) x (N-1) as of the last
//                     calculation started; also shows the steps when the
//                     caller's step hook writes them there.
class Workbook : public QObject
{
    Q_OBJECT

public:
    explicit Workbook(QObject* parent = nullptr);
    ~Workbook() override;

    // --- Input -------------------------------------------------------------

    int stationCount() const { return m_stationCount; }
    // Clamps to 3..21 and sizes the input tables. Within the new size the
    // flow texts "" and "0" follow the triangle ("0" where origin precedes
    // destination, "" elsewhere); any other text stays as it is. Applies
    // that rule even when the count does not change.
    void setStationCount(int count);

    QString param(int column, int row) const { return m_params.cell(column, row); }
    void setParam(int column, int row, const QString& text) { m_params.setCell(column, row, text); }
    QString flow(int column, int row) const { return m_flows.cell(column, row); }
    void setFlow(int column, int row, const QString& text) { m_flows.setCell(column, row, text); }

    // The texts within the current size: N x 2 and (N-1) x (N-1).
    TextTable stationParams() const;
    TextTable flows() const;

    // "Имя оператора" at first.
    QString operatorName() const { return m_operatorName; }
    void setOperatorName(const QString& name);

    // The decimal separator the Tек texts are read with ("." at first).
    QString decimalSeparator() const { return m_decimalSeparator; }
    void setDecimalSeparator(const QString& separator) { m_decimalSeparator = separator; }

    // The calculation's input for the current size.
    CalcInput calcInput() const;

    CellTableModel* parameterModel() { return &m_params; }
    CellTableModel* flowModel() { return &m_flows; }
    CellTableModel* planModel() { return &m_plan; }

    // --- Unsaved changes ---------------------------------------------------

    // The input as the data file holds it (the station count, the "Cm",
    // "Tек" and flow texts within it) together with the operator's name;
    // load() and save() name its file.
    Document& inputDocument() { return m_inputDocument; }
    const Document& inputDocument() const { return m_inputDocument; }
    // The conditions as their file holds them. A new line (loading a data
    // file, another station count) starts them afresh, with no file.
    Document& conditionsDocument() { return m_conditionsDocument; }
    const Document& conditionsDocument() const { return m_conditionsDocument; }
    // The plan in force as its file holds it; starts afresh with the
    // conditions.
    Document& planInForceDocument() { return m_planInForceDocument; }
    const Document& planInForceDocument() const { return m_planInForceDocument; }
    bool hasUnsavedChanges() const
    {
        return m_inputDocument.modified() || m_conditionsDocument.modified() ||
               m_planInForceDocument.modified();
    }

    // --- Data file ---------------------------------------------------------

    // Reads and checks the whole file first: on an error (zeltrac::Error)
    // nothing of the session changes. Then sets the station count (with
    // its flow rule) and writes the file's texts; texts beyond the file's
    // size stay.
    void load(const QString& path);
    // Writes the texts within the current size; the target is replaced only
    // when everything was written. Throws zeltrac::Error.
    void save(const QString& path);

    // --- Calculation -------------------------------------------------------

    // Sizes the plan table to (N-1) x (N-1) and runs the calculation on
    // calcInput(). The plan texts go into the plan table before the
    // indicators are computed. The hooks are called as the calculation
    // calls them, after the session has taken note of the train or the plan.
    // Throws zeltrac::Error as the calculation does; the trains fixed until
    // then stay readable, and hasCompletedPlan() is false.
    CalcStatus calculate(const CalcHooks& hooks = {});

    // The program-wide result tables: a completed calculation overwrites
    // the totals and the rows of stations 1..N-1 only.
    const ResultTables& resultTables() const { return m_tables; }
    // The plan texts, (N-1) x (N-1) of the current station count.
    TextTable planTexts() const;
    // The through trains fixed by the last calculation, in the order fixed,
    // with their car counts.
    const std::vector<FixedTrain>& fixedTrains() const { return m_trains; }
    // Whether the last calculation completed; lastInput() is the input of
    // the last calculation that did.
    bool hasCompletedPlan() const { return m_completed; }
    const CalcInput& lastInput() const { return m_lastInput; }

    // The number of calculations started in this session: a result worked
    // out elsewhere for one calculation is stored only while it is the last.
    quint64 calculationNumber() const { return m_calculationNumber; }

    // --- Exact optimum -----------------------------------------------------

    using ExactSolver = std::function<optimum::Solution(
        const CalcInput&, const optimum::CalculatedPlan&, const optimum::Options&)>;

    // Solves lastInput() exactly with `solve` (the optimum library's solver
    // when empty), stores the result and returns it. Without a completed
    // calculation throws zeltrac::Error. A cancelled solve is returned but
    // not stored.
    const ExactPlan& computeExactPlan(const optimum::Options& options = {},
                                      const ExactSolver& solve = {});
    // The last completed calculation's plan and its tables, as the solver
    // starts from them.
    optimum::CalculatedPlan calculatedPlan() const;

    // The planner's conditions on the exact plan of this line. Loading a
    // data file, changing the station count and completing a calculation of
    // a line of another station count than the last completed one clear
    // them.
    const optimum::Conditions& conditions() const { return m_conditions; }
    void setConditions(const optimum::Conditions& conditions);

    // The plan in force on this line (its through trains), when the planner
    // gave one; cleared with the conditions.
    const std::optional<std::vector<optimum::TrainPair>>& planInForce() const
    {
        return m_planInForce;
    }
    void setPlanInForce(const std::optional<std::vector<optimum::TrainPair>>& through);

    // The analyses of the last calculation: the one job of the session.
    AnalysisJob& analysis() { return *m_analysis; }
    // Stores a solution of lastInput() worked out elsewhere (another
    // thread) for the calculation numbered `calculation`. Stored only when
    // that calculation is still the last one, it completed, and the solve
    // was not cancelled; returns whether it was.
    bool storeExactPlan(quint64 calculation, optimum::Solution solution);
    // The stored exact optimum of the last calculation, or none. A new
    // calculation clears it.
    const ExactPlan* exactPlan() const { return m_exact.get(); }
    // The diagram data of the last completed calculation: its plan with the
    // through trains it fixed, the stations of its input. None when the last
    // calculation did not complete (a plan shown then would be stale).
    std::optional<diagram::DiagramPlan> diagramData() const;
    // The exact optimum's trains on the line of the last completed
    // calculation, as the diagram draws them beside diagramData(). None when
    // the last calculation did not complete.
    std::optional<diagram::DiagramPlan>
    exactDiagramData(const std::vector<FixedTrain>& exactTrains) const;
    // The stored exact optimum's plan as the diagram draws it; none without
    // an exact plan of the last calculation.
    std::optional<diagram::DiagramPlan> exactDiagramData() const;

    // --- Report ------------------------------------------------------------

    // Appends the report's lines to `lines` for the given date-and-time
    // text: the input tables within the current size, the plan table within
    // its size, the result tables. A Tек text that is not a real number
    // throws zeltrac::Error; the lines composed before it stay in `lines`.
    void composeReport(const std::string& dateTime, std::vector<std::string>& lines) const;

    // --- Export ------------------------------------------------------------

    // The plan triangle as tab-separated text, the form spreadsheets paste:
    // row r of the plan table holds its first N-1-r cells. The exact plan
    // follows after an empty line when one has been computed.
    QString planClipboardText() const;
    // What "Копировать план" puts on the clipboard: planClipboardText() and
    // the same plans as an HTML table with the station heads, each plan
    // under its title when the exact plan follows.
    std::unique_ptr<QMimeData> planClipboardData() const;

    // The input, the plan texts and the result tables (and the exact plan
    // when one has been computed) for a CSV file; numbers are written with
    // the session's decimal separator.
    csv::ExportInput csvExport() const;
    // Writes csvExport() as a CSV file; the target is replaced only when
    // everything was written. Throws zeltrac::Error.
    void exportCsv(const QString& path) const;

signals:
    // After setStationCount() and after a load has set the count, before
    // the file's texts are written.
    void stationCountChanged(int count);
    // After an exact optimum was stored or cleared.
    void exactPlanChanged();
    // After the conditions were set or cleared.
    void conditionsChanged();
    void operatorNameChanged(const QString& name);
    // After the plan in force was set or cleared.
    void planInForceChanged();

private:
    // The exact plan and its indicators when one has been computed for the
    // plan shown.
    std::optional<csv::PlanSection> exactPlanSection() const;
    // The conditions of the line before: cleared, with no file.
    void forgetConditions();

    int m_stationCount = kStartupStations;
    CellTableModel m_params;
    CellTableModel m_flows;
    CellTableModel m_plan;
    QString m_operatorName = QStringLiteral("Имя оператора");
    QString m_decimalSeparator = QStringLiteral(".");

    ResultTables m_tables;
    std::vector<FixedTrain> m_trains;
    bool m_completed = false;
    CalcInput m_lastInput;
    quint64 m_calculationNumber = 0;
    std::unique_ptr<ExactPlan> m_exact;
    std::unique_ptr<ExactPlan> m_unstored; // the last result not stored
    TextTable m_lastPlan;                  // the plan texts of the last completed calculation
    optimum::Conditions m_conditions;
    std::optional<std::vector<optimum::TrainPair>> m_planInForce;
    std::unique_ptr<AnalysisJob> m_analysis;
    Document m_inputDocument;
    Document m_conditionsDocument;
    Document m_planInForceDocument;
};

} // namespace zeltrac
