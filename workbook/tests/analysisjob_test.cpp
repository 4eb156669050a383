// The session's analysis job: which results it stores and which it drops,
// how a cancelled solve is reported, when the session clears its conditions,
// and the limits model over them. The solves are held by a gate the test
// opens, never timed.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "calc/testing/line_inputs.h"
#include "workbook/limitsmodel.h"
#include "workbook/workbook.h"

using zeltrac::AnalysisJob;
using zeltrac::AnalysisRequest;
using zeltrac::AnalysisResult;
using zeltrac::PlanKind;
using zeltrac::Workbook;
using zeltrac::optimum::Conditions;

namespace {

const QString kExamples = QStringLiteral(ZELTRAC_EXAMPLES_DIR);

// The real solver, held until the test opens the gate or the job cancels;
// it first reports a cost of 1 above a bound of 0.5 from its thread.
struct Gate
{
    std::atomic<bool> open{false};

    AnalysisJob::Solver solver()
    {
        return [this](const AnalysisRequest& request, const zeltrac::optimum::Options& options) {
            while (!open && !options.cancel->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            options.progress(1, 0.5);
            return zeltrac::runAnalysis(request, options);
        };
    }
};

class AnalysisJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const zeltrac::CalcInput line = zeltrac::testing::dearLine();
        m_workbook.setStationCount(line.stationCount);
        for (int c = 0; c < line.stationCount; ++c)
            for (int r = 0; r < 2; ++r)
                m_workbook.setParam(c, r, QString::fromStdString(line.stationParams.cell(c, r)));
        for (int c = 0; c < line.stationCount - 1; ++c)
            for (int r = 0; r < line.stationCount - 1; ++r)
                m_workbook.setFlow(c, r, QString::fromStdString(line.flows.cell(c, r)));
        ASSERT_EQ(m_workbook.calculate(), zeltrac::CalcStatus::Completed);
        m_workbook.analysis().solver = m_gate.solver();
    }

    // Waits for the job's answer, however long the solve takes.
    static void waitFor(const QSignalSpy& finished, const QSignalSpy& discarded)
    {
        while (finished.isEmpty() && discarded.isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    int m_argc = 1;
    char m_name[16] = "workbook_tests";
    char* m_argv[1] = {m_name};
    QCoreApplication m_app{m_argc, m_argv};
    Workbook m_workbook;
    Gate m_gate;
};

Conditions oneDestinationEach()
{
    Conditions conditions;
    for (int station = 1; station <= 4; ++station)
        conditions.maxDestinations[station] = 1;
    return conditions;
}

} // namespace

// What the session keeps of a solve, by what happened while it ran.
TEST_F(AnalysisJobTest, StoresOnlyACurrentOptimumWithoutConditions)
{
    const struct
    {
        const char* name;
        Conditions conditions;
        std::function<void(Workbook&)> meanwhile;
        bool finished;
        bool stored;
    } cases[] = {
        {"the optimum", {}, [](Workbook&) {}, true, true},
        {"under conditions", oneDestinationEach(), [](Workbook&) {}, true, false},
        {"conditions emptied", oneDestinationEach(), [](Workbook& w) { w.setConditions({}); },
         false, false},
        {"conditions set",
         {},
         [](Workbook& w) { w.setConditions(oneDestinationEach()); },
         false,
         false},
        {"line recalculated", {}, [](Workbook& w) { w.calculate(); }, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_gate.open = false;
        m_workbook.calculate(); // no stored plan
        m_workbook.setConditions(c.conditions);
        AnalysisJob& job = m_workbook.analysis();
        QSignalSpy finished(&job, &AnalysisJob::finished);
        QSignalSpy discarded(&job, &AnalysisJob::discarded);
        QSignalSpy progress(&job, &AnalysisJob::progress);
        ASSERT_TRUE(job.start(job.exactRequest(0, 10)));
        EXPECT_FALSE(job.start(job.exactRequest(0, 10))); // one solve at a time
        c.meanwhile(m_workbook);
        m_gate.open = true;
        waitFor(finished, discarded);
        ASSERT_EQ(finished.count(), c.finished ? 1 : 0);
        ASSERT_FALSE(progress.isEmpty()); // on the job's thread, before the result
        EXPECT_EQ(progress.front(), (QList<QVariant>{1.0, 0.5}));
        if (c.finished) {
            const auto result = finished.front().front().value<AnalysisResult>();
            EXPECT_EQ(result.request.planKind(),
                      c.conditions.empty() ? PlanKind::Optimum : PlanKind::OptimumUnderConditions);
            EXPECT_EQ(result.solution.status(), zeltrac::optimum::Status::Optimal);
        }
        ASSERT_EQ(m_workbook.exactPlan() != nullptr, c.stored);
        EXPECT_TRUE(!c.stored || m_workbook.exactPlan()->cost() == 46);
    }
}

TEST_F(AnalysisJobTest, ACancelledSolveIsReportedCancelledNotTimedOut)
{
    m_workbook.load(kExamples + QStringLiteral("/line21-dense.dat"));
    ASSERT_EQ(m_workbook.calculate(), zeltrac::CalcStatus::Completed);
    AnalysisJob& job = m_workbook.analysis();
    QSignalSpy finished(&job, &AnalysisJob::finished);
    QSignalSpy discarded(&job, &AnalysisJob::discarded);
    ASSERT_TRUE(job.start(job.exactRequest(10, 600)));
    job.cancel();
    EXPECT_TRUE(job.isCancelling());
    waitFor(finished, discarded);
    ASSERT_EQ(finished.count(), 1);
    const auto result = finished.front().front().value<AnalysisResult>();
    EXPECT_EQ(result.solution.call, zeltrac::optimum::CallStatus::Cancelled);
    EXPECT_FALSE(result.solution.variantsComplete);
    const zeltrac::ExactPlan plan(result.solution, result.request.calculated, 21);
    EXPECT_EQ(plan.statusText().rfind("Отменено", 0), 0u) << plan.statusText();
    EXPECT_EQ(m_workbook.exactPlan(), nullptr);
}

TEST_F(AnalysisJobTest, ConditionsBelongToTheLine)
{
    const struct
    {
        const char* name;
        std::function<void(Workbook&)> change;
        bool kept;
    } cases[] = {
        {"another file loaded", [](Workbook& w) { w.load(kExamples + "/five-stations.dat"); },
         false},
        {"station count changed", [](Workbook& w) { w.setStationCount(8); }, false},
        {"same station count", [](Workbook& w) { w.setStationCount(5); }, true},
        {"same line calculated again", [](Workbook& w) { w.calculate(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        m_workbook.setConditions(oneDestinationEach());
        c.change(m_workbook);
        EXPECT_EQ(m_workbook.conditions().empty(), !c.kept);
    }
}

TEST_F(AnalysisJobTest, TheLimitsModelEditsTheSessionsConditions)
{
    zeltrac::LimitsModel model(m_workbook);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy refused(&model, &zeltrac::LimitsModel::refused);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.headerData(3, Qt::Vertical).toString(), QStringLiteral("4"));

    EXPECT_TRUE(model.setData(model.index(1, 0), QStringLiteral(" 2 ")));
    EXPECT_TRUE(model.setData(model.index(2, 1), QStringLiteral("700")));
    Conditions expected;
    expected.maxDestinations = {{2, 2}};
    expected.maxReprocessed = {{3, 700}};
    EXPECT_EQ(m_workbook.conditions(), expected);
    for (const char* bad : {"-1", "1.5", "два", "3000000000"})
        EXPECT_FALSE(model.setData(model.index(0, 0), QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(refused.count(), 4);
    EXPECT_EQ(refused.front().front().toString(),
              QStringLiteral("Ограничение станции 1 — не целое число не меньше 0: «-1»"));
    EXPECT_EQ(m_workbook.conditions(), expected);

    // Set elsewhere: the model shows it. Emptied: no limit.
    expected.maxDestinations[4] = 1;
    m_workbook.setConditions(expected);
    EXPECT_EQ(model.index(3, 0).data().toString(), QStringLiteral("1"));
    EXPECT_TRUE(model.setData(model.index(1, 0), QString()));
    EXPECT_EQ(m_workbook.conditions().maxDestinations, (std::map<int, int>{{4, 1}}));

    // Not editable while a solve runs.
    AnalysisJob& job = m_workbook.analysis();
    QSignalSpy finished(&job, &AnalysisJob::finished);
    QSignalSpy discarded(&job, &AnalysisJob::discarded);
    ASSERT_TRUE(job.start(job.exactRequest(0, 10)));
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 0), QStringLiteral("1")));
    m_gate.open = true;
    waitFor(finished, discarded);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    // The rows follow the station count; the limits go with the line.
    m_workbook.setStationCount(21);
    EXPECT_EQ(model.rowCount(), 20);
    EXPECT_TRUE(model.index(3, 0).data().toString().isEmpty());
    m_workbook.setStationCount(3);
    EXPECT_EQ(model.rowCount(), 2);
}
