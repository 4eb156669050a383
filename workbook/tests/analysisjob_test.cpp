// The session's analysis job: what it stores and what it drops, a cancel,
// the conditions following the line, and the limits model over them. The
// solves are held by a gate the test opens, never timed.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "workbook/limitsmodel.h"
#include "workbook/workbook.h"

using zeltrac::AnalysisJob;
using zeltrac::AnalysisResult;
using zeltrac::Workbook;
using zeltrac::optimum::Conditions;

namespace {

const QString kExamples = QStringLiteral(ZELTRAC_EXAMPLES_DIR "/");

Conditions oneDestinationEach()
{
    Conditions conditions;
    conditions.maxDestinations = {{1, 1}, {2, 1}, {3, 1}, {4, 1}};
    return conditions;
}

class AnalysisJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_workbook.load(kExamples + "five-stations.dat");
        ASSERT_EQ(m_workbook.calculate(), zeltrac::CalcStatus::Completed);
        // The real solver once the gate opens or the job cancels; it first
        // reports a cost of 1 above a bound of 0.5 from its thread.
        m_job.solver = [this](const zeltrac::AnalysisRequest& request,
                              const zeltrac::optimum::Options& options) {
            while (!m_open && !options.cancel->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            options.progress(1, 0.5);
            return zeltrac::runAnalysis(request, options);
        };
    }

    // Starts a solve, runs `meanwhile`, opens the gate and waits for the answer.
    void solve(
        int variants, const std::function<void()>& meanwhile = [] {})
    {
        m_open = false;
        m_finished.clear();
        m_discarded.clear();
        m_progress.clear();
        ASSERT_TRUE(m_job.start(m_job.exactRequest(variants, 600)));
        EXPECT_FALSE(m_job.start(m_job.exactRequest(variants, 600))); // one at a time
        meanwhile();
        m_open = true;
        while (m_finished.isEmpty() && m_discarded.isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    AnalysisResult result() const { return m_finished.front().front().value<AnalysisResult>(); }

    int m_argc = 1;
    char m_name[15] = "workbook_tests";
    char* m_argv[1] = {m_name};
    QCoreApplication m_app{m_argc, m_argv};
    Workbook m_workbook;
    AnalysisJob& m_job = m_workbook.analysis();
    std::atomic<bool> m_open{false};
    QSignalSpy m_finished{&m_job, &AnalysisJob::finished};
    QSignalSpy m_discarded{&m_job, &AnalysisJob::discarded};
    QSignalSpy m_progress{&m_job, &AnalysisJob::progress};
};

} // namespace

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
        {"line calculated again", {}, [](Workbook& w) { w.calculate(); }, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_workbook.calculate(); // no stored plan
        m_workbook.setConditions(c.conditions);
        solve(0, [&] { c.meanwhile(m_workbook); });
        ASSERT_EQ(m_finished.count(), c.finished ? 1 : 0);
        EXPECT_EQ(m_progress.value(0), (QList<QVariant>{1.0, 0.5})); // before the answer
        ASSERT_EQ(m_workbook.exactPlan() != nullptr, c.stored);
        EXPECT_EQ(m_job.lastExact() != nullptr, c.finished); // kept under conditions too
        EXPECT_TRUE(!c.stored || m_workbook.exactPlan()->cost() == 290);
        EXPECT_TRUE(!c.finished || result().solution.best.cost == (c.stored ? 290 : 405));
    }
}

TEST_F(AnalysisJobTest, ACancelledSolveIsReportedCancelled)
{
    m_workbook.load(kExamples + "line21-dense.dat");
    ASSERT_EQ(m_workbook.calculate(), zeltrac::CalcStatus::Completed);
    solve(10, [&] { m_job.cancel(); });
    ASSERT_EQ(m_finished.count(), 1);
    EXPECT_EQ(result().solution.call, zeltrac::optimum::CallStatus::Cancelled);
    EXPECT_FALSE(result().solution.variantsComplete);
    const zeltrac::ExactPlan plan(result().solution, result().request.calculated, 21);
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
        {"a file loaded", [](Workbook& w) { w.load(kExamples + "five-stations.dat"); }, false},
        {"another station count", [](Workbook& w) { w.setStationCount(8); }, false},
        {"the same station count", [](Workbook& w) { w.setStationCount(5); }, true},
        {"the line calculated again", [](Workbook& w) { w.calculate(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_workbook.setConditions(oneDestinationEach());
        c.change(m_workbook);
        EXPECT_EQ(m_workbook.conditions().empty(), !c.kept);
        m_workbook.setStationCount(5);
    }
}

TEST_F(AnalysisJobTest, TheLimitsModelEditsTheSessionsConditions)
{
    zeltrac::LimitsModel model(m_workbook);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy refused(&model, &zeltrac::LimitsModel::refused);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_TRUE(model.setData(model.index(1, 0), QStringLiteral(" 2 ")));
    EXPECT_TRUE(model.setData(model.index(2, 1), QStringLiteral("700")));
    for (const char* bad : {"-1", "1.5", "два", "3000000000"})
        EXPECT_FALSE(model.setData(model.index(0, 0), QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(refused.count(), 4);
    EXPECT_EQ(refused.front().front().toString(),
              QStringLiteral("Ограничение станции 1 — не целое число не меньше 0: «-1»"));
    Conditions expected;
    expected.maxDestinations = {{2, 2}};
    expected.maxReprocessed = {{3, 700}};
    EXPECT_EQ(m_workbook.conditions(), expected);
    m_workbook.setConditions(oneDestinationEach()); // set elsewhere: shown
    EXPECT_EQ(model.index(3, 0).data().toString(), QStringLiteral("1"));

    solve(0, [&] { // not editable while a solve runs
        EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
        EXPECT_FALSE(model.setData(model.index(0, 0), QString()));
    });
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    m_workbook.setStationCount(21); // the rows follow the line, the limits go
    EXPECT_EQ(model.rowCount(), 20);
    EXPECT_TRUE(model.index(3, 0).data().toString().isEmpty());
}
