#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "bench_inputs.h"
#include "calc/plan.h"
#include "datafile/datafile.h"
#include "report/report.h"
#include "report/rtf.h"

using namespace zeltrac;

namespace {

// The dense 21-station line as the window would save it.
datafile::InitialData denseFile()
{
    const CalcInput input = bench::denseLine(bench::DenseLine{});
    const int n = input.stationCount;
    datafile::InitialData data;
    data.stationCount = n;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < n; ++column)
            data.stationParams.append(
                QString::fromStdString(input.stationParams.cell(column, row)));
    }
    for (int row = 0; row < n - 1; ++row) {
        for (int column = 0; column < n - 1; ++column)
            data.flows.append(QString::fromStdString(input.flows.cell(column, row)));
    }
    return data;
}

void saveTwentyOne(benchmark::State& state)
{
    const datafile::InitialData data = denseFile();
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("line21.dat"));
    for (auto _ : state)
        datafile::save(path, data);
}

void loadTwentyOne(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("line21.dat"));
    datafile::save(path, denseFile());
    for (auto _ : state) {
        datafile::InitialData data = datafile::load(path);
        benchmark::DoNotOptimize(data);
    }
}

// The report of the dense 21-station line after its calculation (82 lines),
// and its RTF document.
struct ComposedReport
{
    ResultTables tables;
    report::ReportInput input;
};

ComposedReport reportOfDenseLine()
{
    ComposedReport composed;
    const CalcInput calcInput = bench::denseLine(bench::DenseLine{});
    const CalcResult result = calculatePlan(calcInput, composed.tables);
    composed.input.operatorName = "Имя оператора";
    composed.input.dateTime = "05.03.01 14:07:09";
    composed.input.stationParams = calcInput.stationParams;
    composed.input.flows = calcInput.flows;
    composed.input.plan = result.plan;
    return composed;
}

void composeTwentyOne(benchmark::State& state)
{
    ComposedReport composed = reportOfDenseLine();
    composed.input.tables = &composed.tables;
    for (auto _ : state) {
        std::vector<std::string> lines;
        report::composeReport(composed.input, lines);
        benchmark::DoNotOptimize(lines);
    }
}

void rtfTwentyOne(benchmark::State& state)
{
    ComposedReport composed = reportOfDenseLine();
    composed.input.tables = &composed.tables;
    std::vector<std::string> lines;
    report::composeReport(composed.input, lines);
    QStringList text;
    for (const std::string& line : lines)
        text.append(QString::fromStdString(line));
    for (auto _ : state) {
        QByteArray document = report::toRtf(text);
        benchmark::DoNotOptimize(document);
    }
}

} // namespace

BENCHMARK(saveTwentyOne)->Unit(benchmark::kMicrosecond);
BENCHMARK(loadTwentyOne)->Unit(benchmark::kMicrosecond);
BENCHMARK(composeTwentyOne)->Unit(benchmark::kMicrosecond);
BENCHMARK(rtfTwentyOne)->Unit(benchmark::kMicrosecond);
