#include "workbook/workbook.h"

#include <algorithm>

#include "calc/error.h"
#include "datafile/datafile.h"
#include "datafile/safefile.h"
#include "optimum/planner.h"
#include "report/report.h"

namespace zeltrac {

namespace {

// The flow table at its widest: "0" in the triangle of 21 stations.
void fillWidestTriangle(CellTableModel& flows)
{
    const int size = kMaxStations - 1;
    for (int c = 0; c < size; ++c)
        for (int r = 0; r < size - c; ++r)
            flows.setCell(c, r, QStringLiteral("0"));
}

// The data file's lines, then the operator's name.
QStringList inputTexts(const Workbook& book)
{
    const int n = book.stationCount();
    QStringList texts{QString::number(n)};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            texts << book.param(c, r);
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            texts << book.flow(c, r);
    texts << book.operatorName();
    return texts;
}

// inputTexts() of a line of n stations has this many texts.
qsizetype inputTextCount(int n)
{
    return 1 + 2 * n + (n - 1) * (n - 1) + 1;
}

bool inputFits(const QStringList& texts)
{
    bool number = false;
    const int n = texts.value(0).toInt(&number);
    return number && n >= kMinStations && n <= kMaxStations && texts.size() == inputTextCount(n);
}

void restoreInput(Workbook& book, const QStringList& texts)
{
    book.setStationCount(texts.front().toInt());
    const int n = book.stationCount();
    qsizetype next = 1;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            book.setParam(c, r, texts.at(next++));
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            book.setFlow(c, r, texts.at(next++));
    book.setOperatorName(texts.at(next));
}

// No conditions, no texts; else their JSON text.
QStringList conditionsTexts(const optimum::Conditions& conditions)
{
    if (conditions.empty())
        return {};
    return {QString::fromStdString(optimum::writeConditions(conditions))};
}

bool readConditionsTexts(const QStringList& texts, optimum::Conditions& conditions)
{
    return texts.isEmpty() ||
           (texts.size() == 1 &&
            optimum::readConditions(texts.front().toStdString(), conditions).empty());
}

// No plan in force, no texts; else the JSON text of its plan file.
QStringList planInForceTexts(const std::optional<std::vector<optimum::TrainPair>>& plan)
{
    if (!plan)
        return {};
    return {QString::fromStdString(optimum::writePlan(*plan))};
}

bool readPlanTexts(const QStringList& texts, std::optional<std::vector<optimum::TrainPair>>& plan)
{
    if (texts.isEmpty()) {
        plan.reset();
        return true;
    }
    return texts.size() == 1 &&
           optimum::readPlan(texts.front().toStdString(), plan.emplace()).empty();
}

} // namespace

Workbook::Workbook(QObject* parent)
    : QObject(parent), m_analysis(std::make_unique<AnalysisJob>(*this)),
      m_inputDocument({[this] { return inputTexts(*this); }, inputFits,
                       [this](const QStringList& texts) { restoreInput(*this, texts); }}),
      m_conditionsDocument({[this] { return conditionsTexts(m_conditions); },
                            [](const QStringList& texts) {
                                optimum::Conditions read;
                                return readConditionsTexts(texts, read);
                            },
                            [this](const QStringList& texts) {
                                optimum::Conditions read;
                                readConditionsTexts(texts, read);
                                setConditions(read);
                            }}),
      m_planInForceDocument({[this] { return planInForceTexts(m_planInForce); },
                             [](const QStringList& texts) {
                                 std::optional<std::vector<optimum::TrainPair>> read;
                                 return readPlanTexts(texts, read);
                             },
                             [this](const QStringList& texts) {
                                 std::optional<std::vector<optimum::TrainPair>> read;
                                 readPlanTexts(texts, read);
                                 setPlanInForce(read);
                             }})
{
    fillWidestTriangle(m_flows);
    m_params.setHeads(csv::parameterHeads());
    setStationCount(kStartupStations);
    m_plan.setColumns(kStartupStations - 1);
    m_plan.setRows(kStartupStations - 1);
    m_lastInput.stationParams = TextTable(kStartupStations, 2);
    m_lastInput.flows = TextTable(kStartupStations - 1, kStartupStations - 1);
    for (CellTableModel* table : {&m_params, &m_flows})
        connect(table, &QAbstractItemModel::dataChanged, &m_inputDocument, &Document::update);
    m_inputDocument.setSaved({});
    m_conditionsDocument.setSaved({});
    m_planInForceDocument.setSaved({});
}

Workbook::~Workbook() = default;

void Workbook::setConditions(const optimum::Conditions& conditions)
{
    if (conditions == m_conditions)
        return;
    m_conditions = conditions;
    emit conditionsChanged();
    m_conditionsDocument.update();
}

void Workbook::forgetConditions()
{
    setConditions({});
    m_conditionsDocument.setSaved({});
    setPlanInForce(std::nullopt);
    m_planInForceDocument.setSaved({});
}

void Workbook::setOperatorName(const QString& name)
{
    if (name == m_operatorName)
        return;
    m_operatorName = name;
    emit operatorNameChanged(name);
    m_inputDocument.update();
}

void Workbook::setPlanInForce(const std::optional<std::vector<optimum::TrainPair>>& through)
{
    if (through == m_planInForce)
        return;
    m_planInForce = through;
    emit planInForceChanged();
    m_planInForceDocument.update();
}

optimum::CalculatedPlan Workbook::calculatedPlan() const
{
    return {m_lastPlan, m_tables};
}

void Workbook::setStationCount(int count)
{
    const int n = std::clamp(count, kMinStations, kMaxStations);
    if (n != m_stationCount)
        forgetConditions();
    m_stationCount = n;
    m_params.setColumns(n);
    m_params.setRows(2);
    m_flows.setColumns(n - 1);
    m_flows.setRows(n - 1);
    m_flows.setHeads(csv::matrixHeads(n));

    // Only the texts "" and "0" follow the triangle; any other text stays.
    for (int c = 0; c <= n - 2; ++c) {
        for (int r = 0; r <= n - 2; ++r) {
            const QString text = m_flows.cell(c, r);
            if (text.isEmpty() || text == u"0")
                m_flows.setCell(c, r, r < (n - 1) - c ? QStringLiteral("0") : QString());
        }
    }
    emit stationCountChanged(n);
    m_inputDocument.update();
}

TextTable Workbook::stationParams() const
{
    return m_params.texts(m_stationCount, 2);
}

TextTable Workbook::flows() const
{
    return m_flows.texts(m_stationCount - 1, m_stationCount - 1);
}

CalcInput Workbook::calcInput() const
{
    CalcInput input;
    input.stationCount = m_stationCount;
    input.stationParams = stationParams();
    input.flows = flows();
    input.decimalSeparator = m_decimalSeparator.toStdString();
    return input;
}

void Workbook::load(const QString& path)
{
    // Everything is read and checked before anything changes.
    const datafile::InitialData data = datafile::load(path);
    forgetConditions();
    setStationCount(data.stationCount);
    const int n = m_stationCount;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            m_params.setCell(c, r, data.param(c, r));
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            m_flows.setCell(c, r, data.flow(c, r));
    m_inputDocument.setSaved(path);
}

void Workbook::save(const QString& path)
{
    datafile::InitialData data;
    const int n = m_stationCount;
    data.stationCount = n;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            data.stationParams << m_params.cell(c, r);
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            data.flows << m_flows.cell(c, r);
    datafile::save(path, data);
    m_inputDocument.setSaved(path);
}

CalcStatus Workbook::calculate(const CalcHooks& hooks)
{
    const CalcInput input = calcInput();
    m_plan.setColumns(input.stationCount - 1);
    m_plan.setRows(input.stationCount - 1);
    m_trains.clear();
    m_completed = false;
    ++m_calculationNumber;
    if (m_exact) {
        m_exact.reset();
        emit exactPlanChanged();
    }

    CalcHooks own;
    own.onTrainFixed = [this, &hooks](const StepView& step) {
        m_trains.push_back(step.train());
        if (hooks.onTrainFixed)
            hooks.onTrainFixed(step);
    };
    own.onPlan = [this, &hooks](const TextTable& plan) {
        m_plan.setTexts(plan);
        if (hooks.onPlan)
            hooks.onPlan(plan);
    };
    const CalcResult result = calculatePlan(input, m_tables, own);
    if (result.status != CalcStatus::Completed)
        return result.status;
    m_plan.setTexts(result.plan);
    m_trains = result.trains;
    // They were set on another line; what was restored before the first
    // calculation belongs to this one.
    if (input.stationCount != m_lastInput.stationCount && m_lastPlan.rowCount() > 0)
        forgetConditions();
    m_lastInput = input;
    m_lastPlan = result.plan;
    m_completed = true;
    return result.status;
}

const ExactPlan& Workbook::computeExactPlan(const optimum::Options& options,
                                            const ExactSolver& solve)
{
    if (!m_completed)
        throw Error("Нет рассчитанного плана.");
    const optimum::CalculatedPlan calculated = calculatedPlan();
    optimum::Solution solution = solve ? solve(m_lastInput, calculated, options)
                                       : optimum::solveExact(m_lastInput, calculated, options);
    if (storeExactPlan(m_calculationNumber, solution))
        return *m_exact;
    m_unstored =
        std::make_unique<ExactPlan>(std::move(solution), calculated, m_lastInput.stationCount);
    return *m_unstored;
}

bool Workbook::storeExactPlan(quint64 calculation, optimum::Solution solution)
{
    if (calculation != m_calculationNumber || !m_completed ||
        solution.status() == optimum::Status::Cancelled ||
        solution.status() == optimum::Status::Failed)
        return false;
    m_exact = std::make_unique<ExactPlan>(std::move(solution), calculatedPlan(),
                                          m_lastInput.stationCount);
    emit exactPlanChanged();
    return true;
}

std::optional<diagram::DiagramPlan> Workbook::diagramData() const
{
    if (!m_completed)
        return std::nullopt;
    return diagram::planFromCalculation(m_lastInput, m_lastPlan, m_trains);
}

std::optional<diagram::DiagramPlan>
Workbook::exactDiagramData(const std::vector<FixedTrain>& exactTrains) const
{
    if (!m_completed)
        return std::nullopt;
    return diagram::planFromTrains(m_lastInput.stationCount,
                                   diagram::reformingStations(m_lastInput), exactTrains,
                                   diagram::TrainKind::Exact);
}

std::optional<diagram::DiagramPlan> Workbook::exactDiagramData() const
{
    if (!m_exact || !m_exact->hasPlan())
        return std::nullopt;
    return exactDiagramData(m_exact->solution().best.trains);
}

TextTable Workbook::planTexts() const
{
    return m_plan.texts(m_stationCount - 1, m_stationCount - 1);
}

void Workbook::composeReport(const std::string& dateTime, std::vector<std::string>& lines) const
{
    report::ReportInput input;
    input.operatorName = m_operatorName.toStdString();
    input.dateTime = dateTime;
    input.decimalSeparator = m_decimalSeparator.toStdString();
    input.stationParams = stationParams();
    input.flows = flows();
    input.plan = m_plan.texts(m_plan.columnCount(), m_plan.rowCount());
    input.tables = &m_tables;
    report::composeReport(input, lines);
}

namespace {

// The triangle of a plan table: row r holds its first N-1-r cells.
tabtext::Block planTriangle(const TextTable& plan)
{
    tabtext::Block block;
    const int size = plan.rowCount();
    for (int r = 0; r < size; ++r) {
        QStringList cells;
        for (int c = 0; c < size - r; ++c)
            cells << QString::fromStdString(plan.cell(c, r));
        block << cells;
    }
    return block;
}

} // namespace

std::optional<csv::PlanSection> Workbook::exactPlanSection() const
{
    // A line outside the exact model has no exact plan to show.
    if (!m_exact || !m_exact->hasPlan())
        return std::nullopt;
    return csv::PlanSection{m_exact->solution().best.plan, m_exact->solution().best.tables};
}

QString Workbook::planClipboardText() const
{
    QString text = tabtext::format(planTriangle(planTexts()));
    if (const std::optional<csv::PlanSection> exact = exactPlanSection()) {
        text += u'\n';
        text += tabtext::format(planTriangle(exact->plan));
    }
    return text;
}

std::unique_ptr<QMimeData> Workbook::planClipboardData() const
{
    const tabtext::TableHeads heads = csv::matrixHeads(m_stationCount);
    QList<tabtext::HeadedBlock> blocks{heads.around(planTriangle(planTexts()))};
    if (const std::optional<csv::PlanSection> exact = exactPlanSection()) {
        blocks.front().title = csv::planTitle();
        blocks << heads.around(planTriangle(exact->plan));
        blocks.back().title = csv::exactPlanTitle();
    }
    return tabtext::mimeData(planClipboardText(), blocks);
}

csv::ExportInput Workbook::csvExport() const
{
    csv::ExportInput input;
    input.stationCount = m_stationCount;
    input.operatorName = m_operatorName;
    input.stationParams = stationParams();
    input.flows = flows();
    input.calculated = {planTexts(), m_tables};
    input.exact = exactPlanSection();
    input.decimalSeparator = m_decimalSeparator;
    return input;
}

void Workbook::exportCsv(const QString& path) const
{
    datafile::writeFileSafely(path, csv::compose(csvExport()), "Stream write error");
}

} // namespace zeltrac
