// The planning session: its input rules, the data file, the calculation's
// results and the report, and its table models.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "calc/error.h"
#include "datafile/datafile.h"
#include "report/report.h"
#include "workbook/workbook.h"

using zeltrac::CalcStatus;
using zeltrac::FixedTrain;
using zeltrac::TextTable;
using zeltrac::Workbook;

namespace {

QString example(const char* name)
{
    return QStringLiteral(ZELTRAC_EXAMPLES_DIR "/") + QString::fromUtf8(name);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every text of both input tables, sizes aside, up to the widest line.
std::vector<QString> allInputTexts(const Workbook& book)
{
    std::vector<QString> texts;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < zeltrac::kMaxStations; ++c)
            texts.push_back(book.param(c, r));
    for (int r = 0; r < zeltrac::kMaxStations - 1; ++r)
        for (int c = 0; c < zeltrac::kMaxStations - 1; ++c)
            texts.push_back(book.flow(c, r));
    return texts;
}

bool sameInput(const zeltrac::CalcInput& a, const zeltrac::CalcInput& b)
{
    return a.stationCount == b.stationCount && a.stationParams == b.stationParams &&
           a.flows == b.flows && a.decimalSeparator == b.decimalSeparator;
}

} // namespace

namespace zeltrac {
bool operator==(const FixedTrain& a, const FixedTrain& b)
{
    return a.origin == b.origin && a.destination == b.destination && a.cars == b.cars;
}
} // namespace zeltrac

TEST(WorkbookInput, StartsAtEightStationsWithTheFlowTriangle)
{
    Workbook book;
    EXPECT_EQ(book.stationCount(), zeltrac::kStartupStations);
    EXPECT_EQ(book.operatorName(), QStringLiteral("Имя оператора"));
    EXPECT_EQ(book.decimalSeparator(), QStringLiteral("."));
    EXPECT_EQ(book.parameterModel()->columnCount(), 8);
    EXPECT_EQ(book.parameterModel()->rowCount(), 2);
    EXPECT_EQ(book.flowModel()->columnCount(), 7);
    EXPECT_EQ(book.flowModel()->rowCount(), 7);
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 7; ++r)
            EXPECT_EQ(book.flow(c, r), r < 7 - c ? QStringLiteral("0") : QString()) << c << r;
    // Beyond the size: the triangle of the widest line.
    EXPECT_EQ(book.flow(19, 0), QStringLiteral("0"));
    EXPECT_EQ(book.flow(0, 19), QStringLiteral("0"));
    EXPECT_EQ(book.flow(10, 10), QString());
    EXPECT_EQ(book.flow(19, 1), QString());
}

TEST(WorkbookInput, OnlyEmptyAndZeroFollowTheTriangleAndTextsBeyondTheSizeStay)
{
    Workbook book;
    book.setStationCount(5);
    book.setFlow(0, 0, QStringLiteral("12"));   // in the triangle: stays
    book.setFlow(3, 3, QStringLiteral("0"));    // below it: cleared
    book.setFlow(1, 3, QStringLiteral("abc"));  // below it, not "" or "0": stays
    book.setFlow(0, 1, QString());              // in it, empty: becomes "0"
    book.setParam(4, 1, QStringLiteral("2,5")); // the last station's Tек
    book.setStationCount(5);
    EXPECT_EQ(book.flow(0, 0), QStringLiteral("12"));
    EXPECT_EQ(book.flow(3, 3), QString());
    EXPECT_EQ(book.flow(1, 3), QStringLiteral("abc"));
    EXPECT_EQ(book.flow(0, 1), QStringLiteral("0"));

    // Shrinking keeps what falls outside; growing shows it again, and the
    // triangle of the larger size takes "" and "0" only.
    book.setStationCount(3);
    EXPECT_EQ(book.flows().columnCount(), 2);
    EXPECT_EQ(book.stationParams().columnCount(), 3);
    EXPECT_EQ(book.flow(1, 1), QString()); // below the 3-station triangle now
    EXPECT_EQ(book.flow(1, 3), QStringLiteral("abc"));
    EXPECT_EQ(book.param(4, 1), QStringLiteral("2,5"));
    book.setStationCount(6);
    EXPECT_EQ(book.flow(1, 1), QStringLiteral("0"));
    EXPECT_EQ(book.flow(1, 3), QStringLiteral("abc"));
    EXPECT_EQ(book.flow(0, 0), QStringLiteral("12"));
    EXPECT_EQ(book.flow(3, 3), QString());
    EXPECT_EQ(book.flow(4, 0), QStringLiteral("0"));
    EXPECT_EQ(book.stationParams().cell(4, 1), "2,5");

    book.setStationCount(2);
    EXPECT_EQ(book.stationCount(), 3);
    book.setStationCount(40);
    EXPECT_EQ(book.stationCount(), 21);
}

TEST(WorkbookInput, CalcInputHoldsTheTextsWithinTheSize)
{
    Workbook book;
    book.setStationCount(4);
    book.setParam(3, 0, QStringLiteral("Станция"));
    book.setParam(4, 0, QStringLiteral("beyond"));
    book.setFlow(2, 0, QStringLiteral("7"));
    book.setDecimalSeparator(QStringLiteral(","));
    const zeltrac::CalcInput input = book.calcInput();
    EXPECT_EQ(input.stationCount, 4);
    EXPECT_EQ(input.decimalSeparator, ",");
    ASSERT_EQ(input.stationParams.columnCount(), 4);
    ASSERT_EQ(input.stationParams.rowCount(), 2);
    EXPECT_EQ(input.stationParams.cell(3, 0), "Станция");
    ASSERT_EQ(input.flows.columnCount(), 3);
    ASSERT_EQ(input.flows.rowCount(), 3);
    EXPECT_EQ(input.flows.cell(2, 0), "7");
    EXPECT_EQ(input.flows.cell(2, 1), "");
}

TEST(WorkbookFile, LoadThenSaveGivesTheSameBytes)
{
    for (const char* name :
         {"three-stations.dat", "five-stations.dat", "line8.dat", "four-stations-zero-tek.dat"}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        Workbook book;
        book.load(example(name));
        const QString copy = dir.filePath(QStringLiteral("copy.dat"));
        book.save(copy);
        EXPECT_EQ(readFile(copy), readFile(example(name)));
    }
}

TEST(WorkbookFile, LoadSetsTheCountAndTheTextsAndKeepsTheRest)
{
    Workbook book;
    book.setStationCount(21);
    book.setFlow(15, 2, QStringLiteral("77"));
    book.setParam(10, 0, QStringLiteral("999"));
    QSignalSpy counts(&book, &Workbook::stationCountChanged);
    book.load(example("three-stations.dat"));
    EXPECT_EQ(book.stationCount(), 3);
    ASSERT_EQ(counts.size(), 1);
    EXPECT_EQ(counts.front().front().toInt(), 3);
    EXPECT_EQ(book.param(0, 0), QStringLiteral("500"));
    EXPECT_EQ(book.param(2, 1), QStringLiteral("2"));
    EXPECT_EQ(book.flow(0, 0), QStringLiteral("120"));
    EXPECT_EQ(book.flow(1, 0), QStringLiteral("80"));
    EXPECT_EQ(book.flow(0, 1), QStringLiteral("60"));
    // The file's empty cell is taken as it is, not by the triangle rule.
    EXPECT_EQ(book.flow(1, 1), QString());
    book.setStationCount(21);
    EXPECT_EQ(book.flow(15, 2), QStringLiteral("77"));
    EXPECT_EQ(book.param(10, 0), QStringLiteral("999"));
}

TEST(WorkbookFile, AFailedLoadLeavesTheSessionAsItWas)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Workbook book;
    book.load(example("five-stations.dat"));
    book.setFlow(0, 0, QStringLiteral("typed"));
    book.setOperatorName(QStringLiteral("Петров"));
    const std::vector<QString> before = allInputTexts(book);

    // A count that is not a number, a file cut short, a file that is not
    // there.
    QByteArray cutShort = readFile(example("three-stations.dat"));
    cutShort.chop(8);
    const std::vector<std::pair<QString, QByteArray>> bad = {
        {QStringLiteral("count.dat"), QByteArray("x\r\n1\r\n2\r\n3\r\n")},
        {QStringLiteral("short.dat"), cutShort},
    };
    for (const auto& [name, bytes] : bad)
        writeFile(dir.filePath(name), bytes);

    QSignalSpy counts(&book, &Workbook::stationCountChanged);
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_THROW(book.load(dir.filePath(name)), zeltrac::Error);
    }
    EXPECT_THROW(book.load(dir.filePath(QStringLiteral("missing.dat"))), zeltrac::Error);
    EXPECT_EQ(counts.size(), 0);
    EXPECT_EQ(book.stationCount(), 5);
    EXPECT_EQ(allInputTexts(book), before);
    EXPECT_EQ(book.operatorName(), QStringLiteral("Петров"));
}

TEST(WorkbookFile, AFailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("plan.dat"));
    writeFile(path, "old");
    Workbook book;
    book.setStationCount(3);
    book.setParam(0, 0, QStringLiteral("日本")); // not in the file's code page
    EXPECT_THROW(book.save(path), zeltrac::Error);
    EXPECT_EQ(readFile(path), QByteArray("old"));
}

TEST(WorkbookCalculation, StoresTheTrainsWithTheirCarsAndThePlan)
{
    Workbook book;
    book.load(example("five-stations.dat"));
    std::vector<std::size_t> knownAtStep;
    zeltrac::CalcHooks hooks;
    hooks.onTrainFixed = [&](const zeltrac::StepView&) {
        knownAtStep.push_back(book.fixedTrains().size());
    };
    bool planShownInTable = false;
    hooks.onPlan = [&](const TextTable& plan) { planShownInTable = book.planTexts() == plan; };

    ASSERT_EQ(book.calculate(hooks), CalcStatus::Completed);
    EXPECT_TRUE(book.hasCompletedPlan());
    EXPECT_TRUE(planShownInTable);
    EXPECT_EQ(knownAtStep, (std::vector<std::size_t>{1, 2, 3}));
    EXPECT_EQ(book.fixedTrains(), (std::vector<FixedTrain>{{1, 4, 20}, {2, 4, 25}, {3, 5, 20}}));
    const TextTable plan = book.planTexts();
    ASSERT_EQ(plan.columnCount(), 4);
    EXPECT_EQ(plan.cell(2, 0), "20");
    EXPECT_EQ(plan.cell(3, 0), "40");
    EXPECT_EQ(plan.cell(1, 1), "25");
    EXPECT_EQ(plan.cell(0, 3), "15");
    EXPECT_EQ(book.planModel()->columnCount(), 4);
    EXPECT_EQ(book.resultTables().total(6).toDouble(), 290.0);
    EXPECT_EQ(book.resultTables().indicator(5, 2).toDouble(), 20.0);
    EXPECT_TRUE(sameInput(book.lastInput(), book.calcInput()));

    // Input typed after the calculation does not change what it used.
    const zeltrac::CalcInput used = book.calcInput();
    book.setFlow(0, 0, QStringLiteral("1"));
    EXPECT_TRUE(sameInput(book.lastInput(), used));
}

TEST(WorkbookCalculation, NotEnoughDataAndErrorsLeaveNoCompletedPlan)
{
    Workbook book;
    book.load(example("three-stations.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    const zeltrac::CalcInput completed = book.lastInput();
    const double total = book.resultTables().total(6).toDouble();
    EXPECT_EQ(total, 1430.0);

    // No station parameters: nothing computed, nothing written.
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            book.setParam(c, r, QString());
    EXPECT_EQ(book.calculate(), CalcStatus::NotEnoughData);
    EXPECT_FALSE(book.hasCompletedPlan());
    EXPECT_TRUE(sameInput(book.lastInput(), completed));
    EXPECT_EQ(book.resultTables().total(6).toDouble(), total);

    book.load(example("three-stations.dat"));
    book.setFlow(0, 0, QStringLiteral("12a"));
    try {
        book.calculate();
        ADD_FAILURE() << "no error";
    } catch (const zeltrac::Error& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    EXPECT_FALSE(book.hasCompletedPlan());
    EXPECT_TRUE(book.fixedTrains().empty());
}

TEST(WorkbookReport, EqualsTheReportComposedFromTheFileDirectly)
{
    for (const char* name : {"three-stations.dat", "five-stations.dat", "line8.dat"}) {
        SCOPED_TRACE(name);
        const std::string dateTime = "08.12.2026 12:34:56";

        // The reference: the file read, calculated and reported by hand.
        const zeltrac::datafile::InitialData data = zeltrac::datafile::load(example(name));
        const int n = data.stationCount;
        zeltrac::CalcInput input;
        input.stationCount = n;
        input.stationParams = TextTable(n, 2);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < n; ++c)
                input.stationParams.setCell(c, r, data.param(c, r).toStdString());
        input.flows = TextTable(n - 1, n - 1);
        for (int r = 0; r < n - 1; ++r)
            for (int c = 0; c < n - 1; ++c)
                input.flows.setCell(c, r, data.flow(c, r).toStdString());
        zeltrac::ResultTables tables;
        const zeltrac::CalcResult result = zeltrac::calculatePlan(input, tables);
        ASSERT_EQ(result.status, CalcStatus::Completed);
        zeltrac::report::ReportInput reportInput;
        reportInput.operatorName = "Иванов И.И.";
        reportInput.dateTime = dateTime;
        reportInput.stationParams = input.stationParams;
        reportInput.flows = input.flows;
        reportInput.plan = result.plan;
        reportInput.tables = &tables;
        std::vector<std::string> expected;
        zeltrac::report::composeReport(reportInput, expected);

        Workbook book;
        book.setOperatorName(QStringLiteral("Иванов И.И."));
        book.load(example(name));
        ASSERT_EQ(book.calculate(), CalcStatus::Completed);
        std::vector<std::string> lines{"before"};
        book.composeReport(dateTime, lines);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "before");
        lines.erase(lines.begin());
        EXPECT_EQ(lines, expected);
    }
}

TEST(WorkbookReport, ABadTekKeepsTheLinesComposedBeforeIt)
{
    Workbook book;
    book.load(example("three-stations.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    book.setParam(1, 1, QStringLiteral("4x"));
    std::vector<std::string> lines;
    EXPECT_THROW(book.composeReport("01.01.2026", lines), zeltrac::Error);
    EXPECT_FALSE(lines.empty());
}

TEST(WorkbookModels, PassTheModelTesterThroughLoadsResizesAndCalculations)
{
    Workbook book;
    const auto mode = QAbstractItemModelTester::FailureReportingMode::Fatal;
    QAbstractItemModelTester params(book.parameterModel(), mode);
    QAbstractItemModelTester flows(book.flowModel(), mode);
    QAbstractItemModelTester plan(book.planModel(), mode);
    book.setStationCount(21);
    book.setStationCount(3);
    book.load(example("line8.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    book.load(example("five-stations.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    EXPECT_EQ(book.planModel()->rowCount(), 4);
}

TEST(WorkbookModels, AnEditThroughTheModelGoesIntoTheSession)
{
    Workbook book;
    book.setStationCount(3);
    zeltrac::CellTableModel* flows = book.flowModel();
    QSignalSpy changed(flows, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(flows->setData(flows->index(1, 0), QStringLiteral("42")));
    EXPECT_EQ(book.flow(0, 1), QStringLiteral("42"));
    EXPECT_EQ(book.calcInput().flows.cell(0, 1), "42");
    EXPECT_EQ(changed.size(), 1);
    EXPECT_EQ(flows->data(flows->index(1, 0)).toString(), QStringLiteral("42"));
    // Outside the size an index is invalid and nothing changes.
    EXPECT_FALSE(flows->setData(flows->index(5, 5), QStringLiteral("1")));
    EXPECT_EQ(book.flow(5, 5), QString());
}

TEST(WorkbookDiagram, DataOfTheLastCompletedCalculation)
{
    using zeltrac::diagram::DiagramTrain;
    using zeltrac::diagram::TrainKind;
    Workbook book;
    EXPECT_FALSE(book.diagramData().has_value()); // nothing calculated yet
    EXPECT_FALSE(book.exactDiagramData({{1, 3, 10}}).has_value());

    book.load(example("five-stations.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    // Each plan cell: its fixed through train, the rest as a local train.
    const std::vector<DiagramTrain> expected = {
        {1, 4, 20, TrainKind::Through}, {1, 2, 15, TrainKind::Local},
        {2, 4, 25, TrainKind::Through}, {2, 3, 20, TrainKind::Local},
        {3, 5, 20, TrainKind::Through}, {3, 4, 15, TrainKind::Local},
        {4, 5, 40, TrainKind::Local}};
    const auto plan = book.diagramData();
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->stationCount, 5);
    EXPECT_EQ(plan->reforming, (std::vector<bool>{false, true, true, true, false}));
    EXPECT_EQ(plan->trains, expected);

    // Input edited and the count changed after the calculation: the diagram
    // still shows what was calculated.
    book.setFlow(0, 0, QStringLiteral("999"));
    book.setParam(1, 1, QStringLiteral("0"));
    book.setStationCount(7);
    ASSERT_TRUE(book.diagramData().has_value());
    EXPECT_EQ(book.diagramData()->trains, expected);
    EXPECT_EQ(book.diagramData()->stationCount, 5);

    // The exact trains on the same line: merged per cell, outside ones left out.
    const auto exact = book.exactDiagramData({{2, 5, 30}, {1, 2, 15}, {2, 5, 5}, {1, 7, 3}});
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->stationCount, 5);
    EXPECT_EQ(exact->reforming, plan->reforming);
    EXPECT_EQ(exact->trains, (std::vector<DiagramTrain>{{1, 2, 15, TrainKind::Exact},
                                                        {2, 5, 35, TrainKind::Exact}}));
}

TEST(WorkbookDiagram, NoDataAfterAFailedCalculation)
{
    Workbook book;
    book.load(example("three-stations.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    ASSERT_TRUE(book.diagramData().has_value());
    EXPECT_EQ(zeltrac::diagram::totalCars(*book.diagramData()), 380); // 200 + 180

    book.setFlow(0, 0, QStringLiteral("12a"));
    EXPECT_THROW(book.calculate(), zeltrac::Error);
    EXPECT_FALSE(book.diagramData().has_value());
    EXPECT_FALSE(book.exactDiagramData({{1, 3, 10}}).has_value());

    for (int c = 0; c < 3; ++c)
        book.setParam(c, 0, QString());
    book.setParam(0, 1, QString());
    book.setParam(1, 1, QString());
    book.setParam(2, 1, QString());
    book.setFlow(0, 0, QStringLiteral("120"));
    EXPECT_EQ(book.calculate(), CalcStatus::NotEnoughData);
    EXPECT_FALSE(book.diagramData().has_value());

    // A new completed calculation brings the data back, of the new plan.
    book.load(example("four-stations.dat"));
    ASSERT_EQ(book.calculate(), CalcStatus::Completed);
    ASSERT_TRUE(book.diagramData().has_value());
    EXPECT_EQ(book.diagramData()->stationCount, 4);
    EXPECT_EQ(zeltrac::diagram::totalCars(*book.diagramData()), 70 + 50 + 65 + 20 + 10);
}
