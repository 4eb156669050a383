#include "calc/plan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "calc/error.h"
#include "calc/numtext.h"

namespace zeltrac {

namespace {

// Matrices and station vectors are indexed from 1, sized for the longest line.
constexpr int kDim = kMaxStations + 1;

using CarMatrix = std::array<std::array<std::int32_t, kDim>, kDim>;
using SumMatrix = std::array<std::array<std::int64_t, kDim>, kDim>;

// A wide value of this magnitude or more rounds beyond the largest 6-byte real.
// (2^127 - 2^86 has 41 significant bits, so it is a double as well.)
constexpr double kStoreOverflowBound = 0x1p127 - 0x1p86;

bool storeOverflows(Wide value)
{
    return !(std::fabs(value) < static_cast<Wide>(kStoreOverflowBound)); // also for inf, NaN
}

[[noreturn, gnu::noinline]] void throwError(const char* message)
{
    throw Error(message);
}

std::int32_t toCarCount(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) [[unlikely]]
        throwError(messages::integerOverflow);
    return static_cast<std::int32_t>(value);
}

void addCars(std::int32_t& cell, std::int32_t cars)
{
    cell = toCarCount(std::int64_t{cell} + cars);
}

Real40 store(Wide value)
{
    return Real40::fromWide(value);
}

// The grid texts of a flow matrix (cell (c, r) is element [c + 1][r + 1]):
// the value where `shown` is not 0, the empty text elsewhere.
TextTable flowTexts(int stations, const CarMatrix& shown, const CarMatrix& values)
{
    const int size = stations - 1;
    TextTable texts(size, size);
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            if (shown[c + 1][r + 1] != 0)
                texts.setCell(c, r, numtext::wholeToText(values[c + 1][r + 1]));
        }
    }
    return texts;
}

class FixedTrainView final : public StepView
{
public:
    FixedTrainView(const FixedTrain& train, int stations, const CarMatrix& inputFlow,
                   const CarMatrix& workFlow)
        : m_train(train), m_stations(stations), m_inputFlow(inputFlow), m_workFlow(workFlow)
    {
    }

    const FixedTrain& train() const override { return m_train; }

    TextTable workFlowTexts() const override
    {
        return flowTexts(m_stations, m_inputFlow, m_workFlow);
    }

private:
    const FixedTrain& m_train;
    int m_stations;
    const CarMatrix& m_inputFlow;
    const CarMatrix& m_workFlow;
};

// The working arrays of one calculation and its phases.
class PlanCalculation
{
public:
    explicit PlanCalculation(int stations) : m_n(std::clamp(stations, kMinStations, kMaxStations))
    {
    }

    bool readInput(const CalcInput& input);
    void search(const CalcHooks& hooks, std::vector<FixedTrain>& trains);
    void completePlan();
    void setPlan(const std::vector<FixedTrain>& plan);
    void countReprocessedCars();
    TextTable planTexts() const;
    void writeIndicators(ResultTables& tables) const;

private:
    bool tekIsZero(int station) const { return m_tek[station] == Real40(); }
    void prepareTekSums();
    void buildBlockSums();
    std::int64_t blockSum(int firstOrigin, int origin, int firstDestIdx, int destIdx) const;
    int firstOriginOf(int s) const { return m_tekZero[s] ? s : 1; }
    int firstDestIdxOf(int k) const { return m_tekZero[m_n + 1 - k] ? k : 1; }
    // CandidateFlow[s][k] of the current step (the scan has checked its range).
    std::int32_t candidateFlow(int s, int k) const
    {
        return static_cast<std::int32_t>(blockSum(firstOriginOf(s), s, firstDestIdxOf(k), k));
    }
    // The effect of candidate (s, k) at wide precision, before it is stored.
    Wide wideEffect(int s, int k, std::int32_t cars) const
    {
        return static_cast<Wide>(m_tekSum[s][k]) * static_cast<Wide>(cars) -
               static_cast<Wide>(m_cm[s]);
    }
    struct Shortlisted
    {
        int origin;
        int destIdx;
        std::int32_t cars;
        double upper; // bound of the wide effect
    };
    int scanQuickly(double slack, double& lowest, double& threshold);
    int scanCarefully(double& lowest, double& threshold);
    void checkEffectStore(int s, int k, std::int32_t cars) const;
    void scan();
    // One refinement pass decided by the gains' estimates; false when they
    // cannot settle it. shifted: whether a gain was 0 or more.
    bool shiftByEstimates(int newOrigin, int newDestIdx, bool originApplies, bool destApplies,
                          bool& shifted);
    void refine();
    // Moves the cars of the block on; false when the block holds none.
    bool moveBlock(int firstOrigin, int origin, int firstDestIdx, int destIdx);

    const int m_n;
    std::int32_t m_cm[kDim] = {};
    Real40 m_tek[kDim] = {};
    CarMatrix m_inputFlow = {};
    CarMatrix m_workFlow = {};
    CarMatrix m_planCars = {};
    std::int32_t m_reprocCars[kDim] = {};

    // For the search. Per calculation: the stored TekSum of every candidate
    // [s][k] (NaN where storing it overflows, which m_tekSumOverflows
    // records), the stations whose Tek is 0, the greatest |TekSum| (infinite
    // when one overflows) and the greatest |Cm| of an origin. Per step: the
    // prefix sums of WorkFlow, m_blockSums[a][b] being the sum over origins
    // 1..a and destination indices 1..b (within the triangle), and the sum of
    // |WorkFlow| over the triangle.
    double m_tekSum[kDim][kDim] = {};
    bool m_tekSumOverflows[kDim][kDim] = {};
    bool m_tekZero[kDim] = {};
    double m_greatestTekSum = 0;
    double m_greatestCm = 0;
    SumMatrix m_blockSums = {};
    std::int64_t m_flowMagnitude = 0;
    // The candidates of the current scan that may be chosen, in scan order.
    Shortlisted m_shortlist[kDim * kDim / 2 + 1];

    const Real40 m_searchStart = store(-0.0001L);
    const Real40 m_noGain = store(-1);

    Real40 m_bestEffect;
    int m_bestOrigin = 0;
    int m_bestDestIdx = 0;
};

bool PlanCalculation::readInput(const CalcInput& input)
{
    bool haveData = false;
    for (int i = 1; i <= m_n - 1; ++i) {
        const std::string& cmText = input.stationParams.cell(i - 1, 0);
        const std::string_view cm = numtext::trim(cmText);
        m_cm[i] = cm.empty() ? 0 : numtext::toWhole(cm);
        haveData = haveData || !cmText.empty();

        const std::string& tekText = input.stationParams.cell(i - 1, 1);
        const std::string_view tek = numtext::trim(tekText);
        m_tek[i] = tek.empty() ? Real40() : numtext::toReal40(tek, input.decimalSeparator);
        haveData = haveData || !tekText.empty();
    }
    if (!haveData)
        return false;

    for (int r = 0; r <= m_n - 2; ++r) {
        for (int c = 0; c <= m_n - 2; ++c) {
            const std::string_view text = numtext::trim(input.flows.cell(c, r));
            m_inputFlow[c + 1][r + 1] = text.empty() ? 0 : numtext::toWhole(text);
        }
    }
    for (int a = 1; a <= m_n - 1; ++a) {
        for (int b = 1; b <= m_n - a; ++b)
            m_workFlow[a][b] = m_inputFlow[a][b];
    }
    m_tek[1] = Real40();
    m_tek[m_n] = Real40();
    return true;
}

void PlanCalculation::prepareTekSums()
{
    for (int station = 1; station <= m_n; ++station)
        m_tekZero[station] = tekIsZero(station);
    for (int s = 1; s <= m_n - 2; ++s)
        m_greatestCm = std::max(m_greatestCm, std::fabs(static_cast<double>(m_cm[s])));
    // The TekSum of candidate (s, k) adds Tek[s + 1..d - 1] in turn, storing
    // after each addition; the candidates of one origin share the prefix.
    for (int s = 1; s <= m_n - 2; ++s) {
        Real40 sum;
        bool overflowed = false;
        for (int d = s + 2; d <= m_n; ++d) {
            if (!overflowed) {
                const Wide next = sum.wide() + m_tek[d - 1].wide();
                if (storeOverflows(next))
                    overflowed = true; // reported when a candidate needs it
                else
                    sum = store(next);
            }
            const int k = m_n + 1 - d;
            m_tekSum[s][k] = overflowed ? std::numeric_limits<double>::quiet_NaN() : sum.toDouble();
            m_tekSumOverflows[s][k] = overflowed;
            m_greatestTekSum = overflowed ? std::numeric_limits<double>::infinity()
                                          : std::max(m_greatestTekSum, std::fabs(sum.toDouble()));
        }
    }
}

void PlanCalculation::buildBlockSums()
{
    // Blocks lie within the triangle (origin + destination index <= N - 1),
    // and so do the prefix sums they are formed from.
    std::int64_t magnitude = 0;
    for (int a = 1; a <= m_n - 2; ++a) {
        std::int64_t row = 0;
        for (int b = 1; b <= m_n - 1 - a; ++b) {
            const std::int32_t cars = m_workFlow[a][b];
            row += cars;
            magnitude += cars < 0 ? -std::int64_t{cars} : cars;
            m_blockSums[a][b] = m_blockSums[a - 1][b] + row;
        }
    }
    m_flowMagnitude = magnitude;
}

std::int64_t PlanCalculation::blockSum(int firstOrigin, int origin, int firstDestIdx,
                                       int destIdx) const
{
    return m_blockSums[origin][destIdx] - m_blockSums[firstOrigin - 1][destIdx] -
           m_blockSums[origin][firstDestIdx - 1] + m_blockSums[firstOrigin - 1][firstDestIdx - 1];
}

namespace {

// A bound below the lowest wide value that stores as store(lowest) or more:
// store(lowest) lies within |lowest| 2^-40 of lowest, and the values that
// store as it start at most half a unit of its last place (<= |value| 2^-40)
// below it, or 2^-128 below 0. The margin also covers this formula's own
// rounding.
double choosableFrom(double lowest)
{
    return lowest - std::fabs(lowest) * 0x1p-37 - 0x1p-126;
}

} // namespace

void PlanCalculation::checkEffectStore(int s, int k, std::int32_t cars) const
{
    if (m_tekSumOverflows[s][k] || storeOverflows(wideEffect(s, k, cars)))
        throwError(messages::floatOverflow);
}

int PlanCalculation::scanQuickly(double slack, double& lowest, double& threshold)
{
    // No block sum leaves 32 bits and no effect overflows, and one slack
    // covers every estimate.
    int shortlisted = 0;
    double greatest = -std::numeric_limits<double>::infinity();
    for (int s = 1; s <= m_n - 2; ++s) {
        const int firstOrigin = firstOriginOf(s);
        const double cm = m_cm[s];
        for (int k = 1; k <= m_n - 1 - s; ++k) {
            const std::int64_t cars = blockSum(firstOrigin, s, firstDestIdxOf(k), k);
            const double estimate = m_tekSum[s][k] * static_cast<double>(cars) - cm;
            if (estimate > greatest) {
                greatest = estimate;
                lowest = estimate - slack;
                threshold = choosableFrom(lowest);
            }
            const double upper = estimate + slack;
            if (upper >= threshold) {
                m_shortlist[shortlisted++] =
                    Shortlisted{s, k, static_cast<std::int32_t>(cars), upper};
            }
        }
    }
    return shortlisted;
}

int PlanCalculation::scanCarefully(double& lowest, double& threshold)
{
    // Every block sum is checked, and every estimate that comes near the
    // overflow bound is checked at wide precision, in scan order.
    int shortlisted = 0;
    for (int s = 1; s <= m_n - 2; ++s) {
        const int firstOrigin = firstOriginOf(s);
        const double cm = m_cm[s];
        const double cmMagnitude = std::fabs(cm);
        for (int k = 1; k <= m_n - 1 - s; ++k) {
            const std::int32_t cars = toCarCount(blockSum(firstOrigin, s, firstDestIdxOf(k), k));
            // TekSum is NaN where storing it overflowed, which fails the
            // overflow test as well.
            const double product = m_tekSum[s][k] * static_cast<double>(cars);
            const double estimate = product - cm;
            const double slack = (std::fabs(product) + cmMagnitude) * 0x1p-48;
            if (!(std::fabs(estimate) + slack < kStoreOverflowBound)) [[unlikely]]
                checkEffectStore(s, k, cars);
            if (estimate - slack > lowest) {
                lowest = estimate - slack;
                threshold = choosableFrom(lowest);
            }
            const double upper = estimate + slack;
            if (upper >= threshold)
                m_shortlist[shortlisted++] = Shortlisted{s, k, cars, upper};
        }
    }
    return shortlisted;
}

void PlanCalculation::scan()
{
    // The outcome must be that of storing every effect in scan order and
    // keeping the first strictly greater one, with the overflow checks in
    // that order. Each effect is first estimated in double precision: the
    // estimate e differs from the wide value x = TekSum * cars - Cm by less
    // than 2^-51 (|TekSum * cars| + |Cm|), which the slack covers with room
    // for its own rounding, so e - slack <= x <= e + slack.
    //
    // The chosen candidate's stored effect is the greatest one, so at least
    // store(lowest), lowest being the greatest e - slack. Rounding is
    // monotone, so a candidate with e + slack below choosableFrom(lowest)
    // cannot be chosen. The first pass computes the cars, checks every store
    // for overflow and keeps the candidates that may still be chosen; the
    // second compares their stored effects in scan order.
    double lowest = -std::numeric_limits<double>::infinity();
    double threshold = lowest;
    int shortlisted = 0;
    // Any block sum is at most the flow magnitude; if that and the greatest
    // effect it allows are far from the limits, the quick scan needs no
    // checks and can use one slack for all.
    const double greatestEffect =
        m_greatestTekSum * static_cast<double>(m_flowMagnitude) + m_greatestCm;
    if (m_flowMagnitude <= std::numeric_limits<std::int32_t>::max() &&
        greatestEffect < 0.5 * kStoreOverflowBound)
        shortlisted = scanQuickly(greatestEffect * 0x1p-47, lowest, threshold);
    else
        shortlisted = scanCarefully(lowest, threshold);

    Real40 best = m_searchStart;
    Wide bestWide = best.wide();
    for (int i = 0; i < shortlisted; ++i) {
        const Shortlisted& candidate = m_shortlist[i];
        if (candidate.upper < threshold)
            continue;
        const Wide effect = wideEffect(candidate.origin, candidate.destIdx, candidate.cars);
        if (effect > bestWide) {
            const Real40 stored = store(effect);
            if (stored > best) {
                best = stored;
                bestWide = stored.wide();
                m_bestOrigin = candidate.origin;
                m_bestDestIdx = candidate.destIdx;
            }
        }
    }
    m_bestEffect = best;
}

namespace {

// A value factor * cars - cm as formed at wide precision, known from its
// double estimate to lie within [lower, upper] (see the scan).
struct Estimate
{
    double lower;
    double upper;
    bool storable; // storing it cannot overflow
};

Estimate estimate(double factor, std::int32_t cars, std::int32_t cm)
{
    const double product = factor * static_cast<double>(cars);
    const double value = product - static_cast<double>(cm);
    const double slack = (std::fabs(product) + std::fabs(static_cast<double>(cm))) * 0x1p-48;
    return {value - slack, value + slack, std::fabs(value) + slack < kStoreOverflowBound};
}

// 1 when the stored value is surely 0 or more, -1 when surely below 0, 0
// when only the store can tell (a wide value below -2^-127 stores below 0).
int signOf(const Estimate& e)
{
    if (e.lower >= 0)
        return 1;
    return e.upper < -0x1p-127 ? -1 : 0;
}

} // namespace

bool PlanCalculation::shiftByEstimates(int newOrigin, int newDestIdx, bool originApplies,
                                       bool destApplies, bool& shifted)
{
    // A gain that does not apply is exactly -1.
    const Estimate none{-1, -1, true};
    const Estimate origin = originApplies
                                ? estimate(m_tek[m_bestOrigin].toDouble(),
                                           candidateFlow(newOrigin, m_bestDestIdx), m_cm[newOrigin])
                                : none;
    const int d = m_n + 1 - m_bestDestIdx;
    const Estimate dest =
        destApplies ? estimate(m_tek[d].toDouble(), candidateFlow(m_bestOrigin, newDestIdx),
                               m_cm[m_bestOrigin])
                    : none;
    const int originSign = signOf(origin);
    const int destSign = signOf(dest);
    if (!origin.storable || !dest.storable || originSign == 0 || destSign == 0)
        return false;
    bool moveOrigin = originSign > 0 && destSign < 0;
    bool moveDest = destSign > 0 && originSign < 0;
    if (originSign > 0 && destSign > 0) {
        // Both shifts pay: the greater stored gain decides, so the two must
        // surely store differently.
        if (dest.upper < choosableFrom(origin.lower))
            moveOrigin = true;
        else if (origin.upper < choosableFrom(dest.lower))
            moveDest = true;
        else
            return false;
    }
    shifted = originSign > 0 || destSign > 0;
    if (moveOrigin && newOrigin >= 1)
        m_bestOrigin = newOrigin;
    if (moveDest && newDestIdx >= 1)
        m_bestDestIdx = newDestIdx;
    return true;
}

void PlanCalculation::refine()
{
    // Each pass stores the two gains and compares them. Mostly their double
    // estimates already settle every comparison of the stored values (and
    // that no store overflows); only the passes they leave open store them.
    const Real40 zero;
    for (;;) {
        const int oldOrigin = m_bestOrigin;
        const int oldDestIdx = m_bestDestIdx;
        const bool originApplies = !m_tekZero[m_bestOrigin];
        const bool destApplies = !m_tekZero[m_n + 1 - m_bestDestIdx];
        const int newOrigin = originApplies ? m_bestOrigin - 1 : m_bestOrigin;
        const int newDestIdx = destApplies ? m_bestDestIdx - 1 : m_bestDestIdx;

        bool shifted = false;
        if (!shiftByEstimates(newOrigin, newDestIdx, originApplies, destApplies, shifted)) {
            Real40 originGain = m_noGain;
            Real40 destGain = m_noGain;
            if (originApplies) {
                originGain = store(m_tek[m_bestOrigin].wide() *
                                       static_cast<Wide>(candidateFlow(newOrigin, m_bestDestIdx)) -
                                   static_cast<Wide>(m_cm[newOrigin]));
            }
            if (destApplies) {
                const int d = m_n + 1 - m_bestDestIdx;
                destGain = store(m_tek[d].wide() *
                                     static_cast<Wide>(candidateFlow(m_bestOrigin, newDestIdx)) -
                                 static_cast<Wide>(m_cm[m_bestOrigin]));
            }
            if (originGain >= destGain && originGain >= zero && newOrigin >= 1)
                m_bestOrigin = newOrigin;
            if (destGain >= originGain && destGain >= zero && newDestIdx >= 1)
                m_bestDestIdx = newDestIdx;
            shifted = originGain >= zero || destGain >= zero;
        }
        if (!shifted)
            break;
        if (m_bestOrigin == oldOrigin && m_bestDestIdx == oldDestIdx)
            break; // cannot happen while Tek of the end stations is 0
    }
}

bool PlanCalculation::moveBlock(int firstOrigin, int origin, int firstDestIdx, int destIdx)
{
    const int d = m_n + 1 - destIdx;
    const int toOrigin = m_n + 1 - origin;
    bool moved = false;
    for (int a = firstOrigin; a <= origin; ++a) {
        for (int b = firstDestIdx; b <= destIdx; ++b) {
            const std::int32_t cars = m_workFlow[a][b];
            if (cars == 0)
                continue; // moving nothing changes nothing
            moved = true;
            addCars(m_workFlow[d][b], cars);
            addCars(m_workFlow[a][toOrigin], cars);
            m_workFlow[a][b] = 0;
        }
    }
    return moved;
}

void PlanCalculation::search(const CalcHooks& hooks, std::vector<FixedTrain>& trains)
{
    prepareTekSums();
    for (;;) {
        buildBlockSums();
        scan();
        if (m_bestEffect < Real40())
            return;
        refine();

        const int s = m_bestOrigin;
        const int k = m_bestDestIdx;
        const int firstOrigin = firstOriginOf(s);
        const int firstDestIdx = firstDestIdxOf(k);
        const std::int32_t cars = candidateFlow(s, k);
        // A train whose block holds no car would change nothing and be
        // found again by every further step: the search ends there, with
        // nothing changed.
        if (!moveBlock(firstOrigin, s, firstDestIdx, k))
            return;
        m_planCars[s][k] = cars;

        trains.push_back(FixedTrain{s, m_n + 1 - k, cars});
        if (hooks.onTrainFixed)
            hooks.onTrainFixed(FixedTrainView(trains.back(), m_n, m_inputFlow, m_workFlow));
    }
}

void PlanCalculation::completePlan()
{
    for (int i = 1; i <= m_n - 1; ++i) {
        for (int k = 1; k <= m_n - i; ++k) {
            const std::int32_t cars = m_workFlow[i][k];
            if (cars == 0)
                continue;
            const int d = m_n + 1 - k;
            for (int j = i; j <= d - 1; ++j) {
                if (j != i && !(m_tek[j] > Real40()))
                    continue;
                int m = j + 1;
                while (m < d && !(m_tek[m] > Real40()))
                    ++m;
                addCars(m_planCars[j][m_n + 1 - m], cars);
            }
        }
    }
}

void PlanCalculation::setPlan(const std::vector<FixedTrain>& plan)
{
    for (const FixedTrain& train : plan) {
        if (train.origin < 1 || train.origin >= train.destination || train.destination > m_n)
            throw std::invalid_argument("train outside the line");
        addCars(m_planCars[train.origin][m_n + 1 - train.destination], train.cars);
    }
}

void PlanCalculation::countReprocessedCars()
{
    for (int i = 1; i <= m_n - 1; ++i) {
        std::int64_t sum = 0;
        for (int k = 1; k <= m_n - 1; ++k)
            sum += std::int64_t{m_planCars[i][k]} - m_inputFlow[i][k];
        m_reprocCars[i] = toCarCount(sum);
        for (int k = 1; k <= m_n - 1; ++k)
            m_inputFlow[i][k] = m_planCars[i][k];
    }
}

TextTable PlanCalculation::planTexts() const
{
    // The final plan is in InputFlow: a cell shows its element unless it is 0.
    return flowTexts(m_n, m_inputFlow, m_inputFlow);
}

void PlanCalculation::writeIndicators(ResultTables& tables) const
{
    auto& totals = tables.totals;
    totals.fill(Real40());
    for (int i = 1; i <= m_n - 1; ++i) {
        auto column = [&](int c) -> Real40& { return tables.indicators[c - 1][i - 1]; };
        column(2) = Real40();
        column(1) = Real40::fromInt(i);
        for (int k = 1; k <= m_n - i; ++k) {
            if (m_inputFlow[i][k] > 0)
                column(2) = store(column(2).wide() + 1);
        }
        column(3) = Real40::fromInt(m_reprocCars[i]);
        column(4) = store(column(2).wide() * static_cast<Wide>(m_cm[i]));
        column(5) = store(m_tek[i].wide() * column(3).wide());
        column(6) = store(column(4).wide() + column(5).wide());
        for (int c = 2; c <= 6; ++c)
            totals[c - 1] = store(totals[c - 1].wide() + column(c).wide());
    }
}

} // namespace

CalcResult calculatePlan(const CalcInput& input, ResultTables& tables, const CalcHooks& hooks)
{
    CalcResult result;
    PlanCalculation calculation(input.stationCount);
    if (!calculation.readInput(input)) {
        result.status = CalcStatus::NotEnoughData;
        return result;
    }
    calculation.search(hooks, result.trains);
    calculation.completePlan();
    calculation.countReprocessedCars();
    result.plan = calculation.planTexts();
    if (hooks.onPlan)
        hooks.onPlan(result.plan);
    calculation.writeIndicators(tables);
    result.status = CalcStatus::Completed;
    return result;
}

CalcResult evaluatePlan(const CalcInput& input, const std::vector<FixedTrain>& plan,
                        ResultTables& tables)
{
    CalcResult result;
    PlanCalculation calculation(input.stationCount);
    if (!calculation.readInput(input)) {
        result.status = CalcStatus::NotEnoughData;
        return result;
    }
    calculation.setPlan(plan);
    result.trains = plan;
    calculation.countReprocessedCars();
    result.plan = calculation.planTexts();
    calculation.writeIndicators(tables);
    result.status = CalcStatus::Completed;
    return result;
}

} // namespace zeltrac
