#include "workbook/workbook.h"

#include <algorithm>

#include "datafile/datafile.h"
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

} // namespace

Workbook::Workbook(QObject* parent) : QObject(parent)
{
    fillWidestTriangle(m_flows);
    setStationCount(kStartupStations);
    m_plan.setColumns(kStartupStations - 1);
    m_plan.setRows(kStartupStations - 1);
    m_lastInput.stationParams = TextTable(kStartupStations, 2);
    m_lastInput.flows = TextTable(kStartupStations - 1, kStartupStations - 1);
}

Workbook::~Workbook() = default;

void Workbook::setStationCount(int count)
{
    const int n = std::clamp(count, kMinStations, kMaxStations);
    m_stationCount = n;
    m_params.setColumns(n);
    m_params.setRows(2);
    m_flows.setColumns(n - 1);
    m_flows.setRows(n - 1);

    // Only the texts "" and "0" follow the triangle; any other text stays.
    for (int c = 0; c <= n - 2; ++c) {
        for (int r = 0; r <= n - 2; ++r) {
            const QString text = m_flows.cell(c, r);
            if (text.isEmpty() || text == u"0")
                m_flows.setCell(c, r, r < (n - 1) - c ? QStringLiteral("0") : QString());
        }
    }
    emit stationCountChanged(n);
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
    setStationCount(data.stationCount);
    const int n = m_stationCount;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < n; ++c)
            m_params.setCell(c, r, data.param(c, r));
    for (int r = 0; r < n - 1; ++r)
        for (int c = 0; c < n - 1; ++c)
            m_flows.setCell(c, r, data.flow(c, r));
}

void Workbook::save(const QString& path) const
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
}

CalcStatus Workbook::calculate(const CalcHooks& hooks)
{
    const CalcInput input = calcInput();
    m_plan.setColumns(input.stationCount - 1);
    m_plan.setRows(input.stationCount - 1);
    m_trains.clear();
    m_completed = false;

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
    m_lastInput = input;
    m_lastPlan = result.plan;
    m_completed = true;
    return result.status;
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

} // namespace zeltrac
