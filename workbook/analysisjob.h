#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "calc/plan.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"
#include "optimum/planner.h"

namespace zeltrac {

class Workbook;

// What a plan shown or written is, one label for every place that shows it.
enum class PlanKind
{
    Optimum,                // the exact optimum of the line
    OptimumUnderConditions, // the cheapest plan that meets the planner's conditions
    Variant,                // a plan of the variants list after the first
};

// "Точный оптимум", "Оптимум при условиях", "Вариант N" (N = variant, 1-based).
std::string planLabel(PlanKind kind, int variant = 0);
// "optimum", "optimum_under_conditions", "variant": the command line's JSON.
const char* planKindName(PlanKind kind);

// One analysis of the line as calculated.
struct AnalysisRequest
{
    enum class Kind
    {
        Exact,     // the exact optimum, under the conditions, with its variants
        Changes,   // the plan in force and the cheapest plans within 1..changes changes
        Stability, // the optimal cost as the scoped flows grow or fall
    };
    Kind kind = Kind::Exact;
    quint64 calculation = 0;            // the session's calculation number it answers
    CalcInput input;                    // the line as calculated
    optimum::CalculatedPlan calculated; // its calculated plan
    optimum::Conditions conditions;
    int variants = 0;         // 0: none asked for
    optimum::Options options; // the job sets its own cancel flag
    // Changes: the plan in force's through trains and the largest k.
    std::vector<optimum::TrainPair> through;
    int changes = optimum::kDefaultChanges;
    // Stability: the flows scaled, the range of the factor and the plan held fixed.
    optimum::Scope scope;
    double low = optimum::kDefaultLow;
    double high = optimum::kDefaultHigh;
    std::vector<FixedTrain> fixedPlan;

    // The kind of the first plan of the answer.
    PlanKind planKind() const
    {
        return conditions.empty() ? PlanKind::Optimum : PlanKind::OptimumUnderConditions;
    }
};

struct AnalysisResult
{
    AnalysisRequest request;
    optimum::Solution solution;        // Changes: the optimum under the conditions
    optimum::Ladder ladder = {};       // Changes
    optimum::Stability stability = {}; // Stability
};

// Solves the request: the plain optimum without conditions or variants asked for,
// the solver under conditions otherwise. The one place that chooses.
optimum::Solution runAnalysis(const AnalysisRequest& request, const optimum::Options& options);
// Answers a request of any kind (Exact by `exact`, runAnalysis when empty).
AnalysisResult answerAnalysis(
    const AnalysisRequest& request, const optimum::Options& options,
    const std::function<optimum::Solution(const AnalysisRequest&, const optimum::Options&)>& exact =
        {});

// The session's analysis job: takes a request, solves it on a thread of its
// own (or at once, for the command line), reports the progress and the
// result by signals, cancels. A result whose calculation is no longer the
// session's last, or whose conditions are no longer the session's, is
// dropped (discarded() instead of finished()). An exact
// optimum without conditions is stored in the session as its exact plan.
class AnalysisJob : public QObject
{
    Q_OBJECT

public:
    explicit AnalysisJob(Workbook& workbook, QObject* parent = nullptr);
    // Cancels a running solve and waits for it.
    ~AnalysisJob() override;

    // A request for the session's last completed calculation with its
    // conditions. Without a completed calculation throws zeltrac::Error.
    AnalysisRequest exactRequest(int variants, double timeLimitSeconds) const; // variants 0: none
    // The ladder from the session's plan in force (none given: the
    // calculated plan's through trains), and the stability over the range
    // with the plan in force (none given: the calculated plan) held fixed.
    AnalysisRequest changesRequest(int changes, double timeLimitSeconds) const;
    AnalysisRequest stabilityRequest(const optimum::Scope& scope, double low, double high,
                                     double timeLimitSeconds) const;

    // Starts solving off the calling thread; false (nothing started) while a
    // solve runs.
    bool start(AnalysisRequest request);
    // Solves on the calling thread, stores as start() would, and returns the
    // result (the command line).
    AnalysisResult runNow(AnalysisRequest request);
    // Asks the running solve to stop; its result still comes, cancelled.
    void cancel();
    bool isRunning() const { return m_running; }
    bool isCancelling() const { return m_running && m_cancel.load(); }
    // The request being solved (valid while isRunning()).
    const AnalysisRequest& currentRequest() const { return m_request; }

    // The last exact answer accepted, with its variants, while it answers
    // the session's last calculation under its conditions; none otherwise.
    const AnalysisResult* lastExact() const;
    // The variant selected in it (0-based; 0 the optimum, also when the
    // answer has no variants list) and its plan, none without lastExact().
    int selectedVariant() const { return m_selected; }
    const optimum::Variant* selectedPlan() const;
    // Selects a variant of lastExact(); an index it does not hold is ignored.
    void selectVariant(int index);

    // The solver (runAnalysis when empty); tests replace it.
    using Solver =
        std::function<optimum::Solution(const AnalysisRequest&, const optimum::Options&)>;
    Solver solver;

signals:
    void started();
    // The cheapest plan found so far and the proven bound.
    void progress(double bestCost, double bound);
    // Exact solve number `solve` (1-based) of a ladder or an envelope began.
    void solveBegun(int solve);
    void finished(const zeltrac::AnalysisResult& result);
    // A result that came for a calculation no longer the last.
    void discarded();
    // After selectVariant() changed the selection.
    void variantSelected(int index);

    // From the solving thread to the job's own (queued).
    void progressFound(double bestCost, double bound, QPrivateSignal);
    void solveCounted(int solve, QPrivateSignal);
    void solveEnded(QPrivateSignal);

private:
    AnalysisResult solve(const AnalysisRequest& request, const std::atomic<bool>* cancel);
    // Stores what the session keeps; false when the result is out of date.
    bool accept(const AnalysisResult& result);
    // Whether a result for `request` still answers the session.
    bool answersSession(const AnalysisRequest& request) const;
    void deliver();
    void join();

    Workbook& m_workbook;
    AnalysisRequest m_request;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
    std::optional<AnalysisResult> m_solved; // the thread's result, until delivered
    bool m_running = false;
    std::optional<AnalysisResult> m_lastExact;
    int m_selected = 0;
};

} // namespace zeltrac
