#include "workbook/analysisjob.h"

#include <algorithm>

#include "calc/error.h"
#include "optimum/variants.h"
#include "workbook/workbook.h"

namespace zeltrac {

std::string planLabel(PlanKind kind, int variant)
{
    switch (kind) {
    case PlanKind::Optimum:
        break;
    case PlanKind::OptimumUnderConditions:
        return "Оптимум при условиях";
    case PlanKind::Variant:
        return "Вариант " + std::to_string(variant);
    }
    return "Точный оптимум";
}

const char* planKindName(PlanKind kind)
{
    switch (kind) {
    case PlanKind::Optimum:
        break;
    case PlanKind::OptimumUnderConditions:
        return "optimum_under_conditions";
    case PlanKind::Variant:
        return "variant";
    }
    return "optimum";
}

optimum::Solution runAnalysis(const AnalysisRequest& request, const optimum::Options& options)
{
    if (request.conditions.empty() && request.variants == 0)
        return optimum::solveExact(request.input, request.calculated, options);
    return optimum::solveExact(request.input, request.calculated, request.conditions,
                               std::max(request.variants, 1), options);
}

AnalysisResult answerAnalysis(
    const AnalysisRequest& request, const optimum::Options& options,
    const std::function<optimum::Solution(const AnalysisRequest&, const optimum::Options&)>& exact)
{
    AnalysisResult result{request, {}, {}, {}};
    switch (request.kind) {
    case AnalysisRequest::Kind::Exact:
        result.solution = exact ? exact(request, options) : runAnalysis(request, options);
        break;
    case AnalysisRequest::Kind::Changes:
        result.ladder = optimum::changeLadder(request.input, request.calculated, request.conditions,
                                              request.through, request.changes, options);
        result.solution = result.ladder.optimum;
        break;
    case AnalysisRequest::Kind::Stability:
        result.stability =
            optimum::stabilityOf(request.input, request.conditions, request.scope, request.low,
                                 request.high, request.fixedPlan, options);
        result.solution.call = result.stability.call;
        result.solution.model = result.stability.model;
        result.solution.message = result.stability.message;
        break;
    }
    return result;
}

AnalysisJob::AnalysisJob(Workbook& workbook, QObject* parent)
    : QObject(parent), m_workbook(workbook)
{
    // Sent by the solving thread, received on the job's own.
    connect(this, &AnalysisJob::solveEnded, this, &AnalysisJob::deliver, Qt::QueuedConnection);
    connect(this, &AnalysisJob::progressFound, this, &AnalysisJob::progress, Qt::QueuedConnection);
    connect(this, &AnalysisJob::solveCounted, this, &AnalysisJob::solveBegun, Qt::QueuedConnection);
}

AnalysisJob::~AnalysisJob()
{
    m_cancel = true;
    join();
}

void AnalysisJob::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

AnalysisRequest AnalysisJob::exactRequest(int variants, double timeLimitSeconds) const
{
    if (!m_workbook.hasCompletedPlan())
        throw Error("Нет рассчитанного плана.");
    AnalysisRequest request;
    request.calculation = m_workbook.calculationNumber();
    request.input = m_workbook.lastInput();
    request.calculated = m_workbook.calculatedPlan();
    request.conditions = m_workbook.conditions();
    request.variants = variants;
    request.options.timeLimitSeconds = timeLimitSeconds;
    return request;
}

AnalysisRequest AnalysisJob::changesRequest(int changes, double timeLimitSeconds) const
{
    AnalysisRequest request = exactRequest(0, timeLimitSeconds);
    request.kind = AnalysisRequest::Kind::Changes;
    request.changes = changes;
    request.through = m_workbook.planInForce().value_or(
        optimum::throughTrainsOfPlan(request.calculated.plan, request.input.stationCount));
    return request;
}

AnalysisRequest AnalysisJob::stabilityRequest(const optimum::Scope& scope, double low, double high,
                                              double timeLimitSeconds) const
{
    AnalysisRequest request = changesRequest(0, timeLimitSeconds);
    request.kind = AnalysisRequest::Kind::Stability;
    request.scope = scope;
    request.low = low;
    request.high = high;
    request.fixedPlan = optimum::evaluatePlanInForce(request.input, request.through).plan.trains;
    return request;
}

AnalysisResult AnalysisJob::solve(const AnalysisRequest& request, const std::atomic<bool>* cancel)
{
    optimum::Options options = request.options;
    options.cancel = cancel;
    try {
        return answerAnalysis(request, options, solver);
    } catch (const std::exception& e) {
        // A replaced solver may throw; the optimum library's never does.
        AnalysisResult failed{request, {}, {}, {}};
        failed.solution.call = optimum::CallStatus::Failed;
        failed.solution.message = e.what();
        return failed;
    }
}

bool AnalysisJob::answersSession(const AnalysisRequest& request) const
{
    // Another line calculated, or the conditions changed, since it started.
    return request.calculation == m_workbook.calculationNumber() && m_workbook.hasCompletedPlan() &&
           request.conditions == m_workbook.conditions();
}

const AnalysisResult* AnalysisJob::lastExact() const
{
    return m_lastExact && answersSession(m_lastExact->request) ? &*m_lastExact : nullptr;
}

const optimum::Variant* AnalysisJob::selectedPlan() const
{
    const AnalysisResult* exact = lastExact();
    if (!exact || !exact->solution.hasPlan())
        return nullptr;
    const std::vector<optimum::Variant>& variants = exact->solution.variants;
    return variants.empty() ? &exact->solution.best : &variants[m_selected];
}

void AnalysisJob::selectVariant(int index)
{
    const AnalysisResult* exact = lastExact();
    const int count = exact ? std::max<int>(exact->solution.variants.size(), 1) : 0;
    if (index < 0 || index >= count || index == m_selected)
        return;
    m_selected = index;
    emit variantSelected(index);
}

bool AnalysisJob::accept(const AnalysisResult& result)
{
    if (!answersSession(result.request))
        return false;
    if (result.request.kind == AnalysisRequest::Kind::Exact) {
        m_lastExact = result;
        m_selected = 0;
        emit variantSelected(0);
    }
    // Only the optimum without conditions is the session's exact plan.
    if (result.request.kind == AnalysisRequest::Kind::Exact &&
        result.request.planKind() == PlanKind::Optimum)
        m_workbook.storeExactPlan(result.request.calculation, result.solution);
    return true;
}

bool AnalysisJob::start(AnalysisRequest request)
{
    if (m_running)
        return false;
    join();
    m_cancel = false;
    m_running = true;
    m_request = request;
    // Called on the thread, which ends before the job does.
    request.options.progress = [this](double bestCost, double bound) {
        emit progressFound(bestCost, bound, QPrivateSignal());
    };
    request.options.solveBegun = [this](int solve) { emit solveCounted(solve, QPrivateSignal()); };
    emit started();
    // The thread reads only its request and the cancel flag and writes only
    // m_solved, which deliver() reads once it has joined the thread.
    m_thread = std::thread([this, request = std::move(request)] {
        m_solved = solve(request, &m_cancel);
        m_solved->request.options.progress = nullptr;
        m_solved->request.options.solveBegun = nullptr;
        emit solveEnded(QPrivateSignal());
    });
    return true;
}

void AnalysisJob::deliver()
{
    join();
    m_running = false;
    AnalysisResult result = std::move(*m_solved);
    m_solved.reset();
    if (accept(result))
        emit finished(result);
    else
        emit discarded();
}

AnalysisResult AnalysisJob::runNow(AnalysisRequest request)
{
    const std::atomic<bool> never{false};
    AnalysisResult result = solve(request, &never);
    accept(result);
    return result;
}

void AnalysisJob::cancel()
{
    if (m_running)
        m_cancel = true;
}

} // namespace zeltrac
