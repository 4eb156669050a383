#include "calc/plan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "calc/error.h"
#include "calc/numtext.h"

namespace zeltrac {

namespace {

// Matrices and station vectors are indexed from 1, sized for the longest line.
constexpr int kDim = kMaxStations + 1;

using CarMatrix = std::array<std::array<std::int32_t, kDim>, kDim>;
using SumMatrix = std::array<std::array<std::int64_t, kDim>, kDim>;

// A wide value of this magnitude or more rounds beyond the largest 6-byte real.
const Wide kStoreOverflowBound = std::ldexp(Wide(1), 127) - std::ldexp(Wide(1), 86);

bool storeOverflows(Wide value)
{
    return !(std::fabs(value) < kStoreOverflowBound); // also true for infinity and NaN
}

std::int32_t toCarCount(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw Error(messages::integerOverflow);
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
        const int size = m_stations - 1;
        TextTable texts(size, size);
        for (int c = 0; c < size; ++c) {
            for (int r = 0; r < size; ++r) {
                if (m_inputFlow[c + 1][r + 1] != 0)
                    texts.setCell(c, r, numtext::wholeToText(m_workFlow[c + 1][r + 1]));
            }
        }
        return texts;
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
    void countReprocessedCars();
    TextTable planTexts() const;
    void writeIndicators(ResultTables& tables) const;

private:
    bool tekIsZero(int station) const { return m_tek[station] == Real40(); }
    void prepareTekSums();
    void buildBlockSums();
    std::int64_t blockSum(int firstOrigin, int origin, int firstDestIdx, int destIdx) const;
    void scan();
    void refine();
    bool blockIsEmpty(int firstOrigin, int origin, int firstDestIdx, int destIdx) const;
    void moveBlock(int firstOrigin, int origin, int firstDestIdx, int destIdx);

    const int m_n;
    std::int32_t m_cm[kDim] = {};
    Real40 m_tek[kDim] = {};
    CarMatrix m_inputFlow = {};
    CarMatrix m_workFlow = {};
    CarMatrix m_planCars = {};
    CarMatrix m_candidateFlow = {};
    std::int32_t m_reprocCars[kDim] = {};

    // Search helpers: the stored TekSum of every candidate [s][k] (they
    // depend on Tek only), whether storing it overflows, and the 2-D prefix
    // sums of WorkFlow of the current step: m_blockSums[a][b] is the sum of
    // WorkFlow over origins 1..a and destination indices 1..b.
    Wide m_tekSum[kDim][kDim] = {};
    bool m_tekSumOverflows[kDim][kDim] = {};
    SumMatrix m_blockSums = {};

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
    // The TekSum of candidate (s, k) adds Tek[s + 1..d - 1] in turn, storing
    // after each addition; the candidates of one origin share the prefix.
    for (int s = 1; s <= m_n - 2; ++s) {
        Real40 sum;
        bool overflowed = false;
        for (int d = s + 2; d <= m_n; ++d) {
            if (!overflowed) {
                const Wide next = sum.wide() + m_tek[d - 1].wide();
                if (storeOverflows(next))
                    overflowed = true;
                else
                    sum = store(next);
            }
            const int k = m_n + 1 - d;
            m_tekSum[s][k] = sum.wide();
            m_tekSumOverflows[s][k] = overflowed;
        }
    }
}

void PlanCalculation::buildBlockSums()
{
    // Only blocks within the triangle are asked for, so origins up to N - 2
    // and destination indices up to N - 2 suffice.
    const int last = m_n - 2;
    for (int a = 1; a <= last; ++a) {
        std::int64_t row = 0;
        for (int b = 1; b <= last; ++b) {
            row += m_workFlow[a][b];
            m_blockSums[a][b] = m_blockSums[a - 1][b] + row;
        }
    }
}

std::int64_t PlanCalculation::blockSum(int firstOrigin, int origin, int firstDestIdx,
                                       int destIdx) const
{
    return m_blockSums[origin][destIdx] - m_blockSums[firstOrigin - 1][destIdx] -
           m_blockSums[origin][firstDestIdx - 1] + m_blockSums[firstOrigin - 1][firstDestIdx - 1];
}

void PlanCalculation::scan()
{
    // Rounding is monotone: an effect whose wide value does not exceed the
    // stored best cannot exceed it once stored, so only the others are
    // rounded. Every effect is still checked for the store's overflow.
    Real40 best = store(-0.0001L);
    Wide bestWide = best.wide();
    int bestOrigin = m_bestOrigin;
    int bestDestIdx = m_bestDestIdx;
    for (int s = 1; s <= m_n - 2; ++s) {
        const int firstOrigin = tekIsZero(s) ? s : 1;
        const Wide cm = m_cm[s];
        for (int k = 1; k <= m_n - 1 - s; ++k) {
            const int d = m_n + 1 - k;
            const int firstDestIdx = tekIsZero(d) ? k : 1;
            const std::int32_t cars = toCarCount(blockSum(firstOrigin, s, firstDestIdx, k));
            m_candidateFlow[s][k] = cars;
            if (m_tekSumOverflows[s][k])
                throw Error(messages::floatOverflow);
            const Wide effect = m_tekSum[s][k] * static_cast<Wide>(cars) - cm;
            if (storeOverflows(effect))
                throw Error(messages::floatOverflow);
            if (effect > bestWide) {
                const Real40 stored = store(effect);
                if (stored > best) {
                    best = stored;
                    bestWide = stored.wide();
                    bestOrigin = s;
                    bestDestIdx = k;
                }
            }
        }
    }
    m_bestEffect = best;
    m_bestOrigin = bestOrigin;
    m_bestDestIdx = bestDestIdx;
}

void PlanCalculation::refine()
{
    const Real40 none = store(-1);
    const Real40 zero;
    for (;;) {
        Real40 originGain = none;
        Real40 destGain = none;
        int newOrigin = m_bestOrigin;
        int newDestIdx = m_bestDestIdx;
        if (!tekIsZero(m_bestOrigin)) {
            newOrigin = m_bestOrigin - 1;
            originGain = store(m_tek[m_bestOrigin].wide() *
                                   static_cast<Wide>(m_candidateFlow[newOrigin][m_bestDestIdx]) -
                               static_cast<Wide>(m_cm[newOrigin]));
        }
        const int d = m_n + 1 - m_bestDestIdx;
        if (!tekIsZero(d)) {
            newDestIdx = m_bestDestIdx - 1;
            destGain = store(m_tek[d].wide() *
                                 static_cast<Wide>(m_candidateFlow[m_bestOrigin][newDestIdx]) -
                             static_cast<Wide>(m_cm[m_bestOrigin]));
        }
        const int oldOrigin = m_bestOrigin;
        const int oldDestIdx = m_bestDestIdx;
        if (originGain >= destGain && originGain >= zero && newOrigin >= 1)
            m_bestOrigin = newOrigin;
        if (destGain >= originGain && destGain >= zero && newDestIdx >= 1)
            m_bestDestIdx = newDestIdx;
        if (!(originGain >= zero || destGain >= zero))
            break;
        if (m_bestOrigin == oldOrigin && m_bestDestIdx == oldDestIdx)
            break; // cannot happen while Tek of the end stations is 0
    }
}

bool PlanCalculation::blockIsEmpty(int firstOrigin, int origin, int firstDestIdx, int destIdx) const
{
    for (int a = firstOrigin; a <= origin; ++a) {
        for (int b = firstDestIdx; b <= destIdx; ++b) {
            if (m_workFlow[a][b] != 0)
                return false;
        }
    }
    return true;
}

void PlanCalculation::moveBlock(int firstOrigin, int origin, int firstDestIdx, int destIdx)
{
    const int d = m_n + 1 - destIdx;
    const int toOrigin = m_n + 1 - origin;
    for (int a = firstOrigin; a <= origin; ++a) {
        for (int b = firstDestIdx; b <= destIdx; ++b) {
            const std::int32_t cars = m_workFlow[a][b];
            addCars(m_workFlow[d][b], cars);
            addCars(m_workFlow[a][toOrigin], cars);
            m_workFlow[a][b] = 0;
        }
    }
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
        const int firstOrigin = tekIsZero(s) ? s : 1;
        const int firstDestIdx = tekIsZero(m_n + 1 - k) ? k : 1;
        // A train whose block holds no car would change nothing and be
        // found again by every further step: the search ends there.
        if (blockIsEmpty(firstOrigin, s, firstDestIdx, k))
            return;
        moveBlock(firstOrigin, s, firstDestIdx, k);
        m_planCars[s][k] = m_candidateFlow[s][k];

        trains.push_back(FixedTrain{s, m_n + 1 - k, m_candidateFlow[s][k]});
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
    const int size = m_n - 1;
    TextTable plan(size, size);
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            const std::int32_t cars = m_inputFlow[c + 1][r + 1];
            if (cars != 0)
                plan.setCell(c, r, numtext::wholeToText(cars));
        }
    }
    return plan;
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

} // namespace zeltrac
