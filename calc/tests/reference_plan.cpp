#include "reference_plan.h"

#include <limits>

#include "calc/error.h"
#include "calc/numtext.h"

namespace zeltrac::testing {

namespace {

using Matrix = std::int32_t[22][22];

std::int32_t checked(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw Error(messages::integerOverflow);
    return static_cast<std::int32_t>(value);
}

Real40 st(Wide value)
{
    return Real40::fromWide(value);
}

class SnapshotView : public StepView
{
public:
    SnapshotView(const FixedTrain& train, TextTable texts) : m_train(train), m_texts(texts) {}
    const FixedTrain& train() const override { return m_train; }
    TextTable workFlowTexts() const override { return m_texts; }

private:
    FixedTrain m_train;
    TextTable m_texts;
};

} // namespace

CalcResult referencePlan(const CalcInput& input, ResultTables& tables, const CalcHooks& hooks)
{
    CalcResult result;
    const int n = input.stationCount;
    std::int32_t cm[22] = {};
    Real40 tek[22] = {};
    Matrix inputFlow = {};
    Matrix workFlow = {};
    Matrix planCars = {};
    Matrix candidateFlow = {};
    std::int32_t reprocCars[22] = {};

    std::string dataText;
    for (int i = 1; i <= n - 1; ++i) {
        const std::string& cmText = input.stationParams.cell(i - 1, 0);
        const auto cmTrimmed = numtext::trim(cmText);
        cm[i] = cmTrimmed.empty() ? 0 : numtext::toWhole(cmTrimmed);
        dataText += cmText;
        const std::string& tekText = input.stationParams.cell(i - 1, 1);
        const auto tekTrimmed = numtext::trim(tekText);
        tek[i] =
            tekTrimmed.empty() ? Real40() : numtext::toReal40(tekTrimmed, input.decimalSeparator);
        dataText += tekText;
    }
    if (dataText.empty())
        return result;
    for (int r = 0; r <= n - 2; ++r) {
        for (int c = 0; c <= n - 2; ++c) {
            const auto text = numtext::trim(input.flows.cell(c, r));
            inputFlow[c + 1][r + 1] = text.empty() ? 0 : numtext::toWhole(text);
        }
    }
    for (int a = 1; a <= n - 1; ++a) {
        for (int b = 1; b <= n - a; ++b)
            workFlow[a][b] = inputFlow[a][b];
    }
    tek[1] = Real40();
    tek[n] = Real40();
    const Real40 zero;

    int bestOrigin = 0;
    int bestDestIdx = 0;
    for (;;) {
        for (int a = 1; a <= n; ++a) {
            for (int b = 1; b <= n; ++b)
                candidateFlow[a][b] = 0;
        }
        Real40 bestEffect = st(-0.0001L);
        for (int s = 1; s <= n - 2; ++s) {
            for (int k = 1; k <= n - 1 - s; ++k) {
                const int d = n + 1 - k;
                const int firstOrigin = tek[s] == zero ? s : 1;
                const int firstDestIdx = tek[d] == zero ? k : 1;
                std::int64_t sum = 0;
                for (int a = firstOrigin; a <= s; ++a) {
                    for (int b = firstDestIdx; b <= k; ++b)
                        sum += workFlow[a][b];
                }
                candidateFlow[s][k] = checked(sum);
                Real40 tekSum;
                for (int m = s + 1; m <= d - 1; ++m)
                    tekSum = st(tekSum.wide() + tek[m].wide());
                const Real40 effect = st(tekSum.wide() * static_cast<Wide>(candidateFlow[s][k]) -
                                         static_cast<Wide>(cm[s]));
                if (effect > bestEffect) {
                    bestEffect = effect;
                    bestOrigin = s;
                    bestDestIdx = k;
                }
            }
        }
        if (bestEffect < zero)
            break;
        for (;;) {
            Real40 originGain = st(-1);
            Real40 destGain = st(-1);
            int newOrigin = bestOrigin;
            int newDestIdx = bestDestIdx;
            if (tek[bestOrigin] != zero) {
                newOrigin = bestOrigin - 1;
                originGain = st(tek[bestOrigin].wide() * candidateFlow[newOrigin][bestDestIdx] -
                                static_cast<Wide>(cm[newOrigin]));
            }
            const int d = n + 1 - bestDestIdx;
            if (tek[d] != zero) {
                newDestIdx = bestDestIdx - 1;
                destGain = st(tek[d].wide() * candidateFlow[bestOrigin][newDestIdx] -
                              static_cast<Wide>(cm[bestOrigin]));
            }
            if (originGain >= destGain && originGain >= zero && newOrigin >= 1)
                bestOrigin = newOrigin;
            if (destGain >= originGain && destGain >= zero && newDestIdx >= 1)
                bestDestIdx = newDestIdx;
            if (!(originGain >= zero || destGain >= zero))
                break;
        }
        const int s = bestOrigin;
        const int k = bestDestIdx;
        const int d = n + 1 - k;
        const int firstOrigin = tek[s] == zero ? s : 1;
        const int firstDestIdx = tek[d] == zero ? k : 1;
        bool empty = true;
        for (int a = firstOrigin; a <= s; ++a) {
            for (int b = firstDestIdx; b <= k; ++b)
                empty = empty && workFlow[a][b] == 0;
        }
        if (empty)
            break;
        for (int a = firstOrigin; a <= s; ++a) {
            for (int b = firstDestIdx; b <= k; ++b) {
                const std::int32_t v = workFlow[a][b];
                workFlow[d][b] = checked(std::int64_t{workFlow[d][b]} + v);
                workFlow[a][n + 1 - s] = checked(std::int64_t{workFlow[a][n + 1 - s]} + v);
                workFlow[a][b] = 0;
            }
        }
        planCars[s][k] = candidateFlow[s][k];
        const FixedTrain train{s, d, candidateFlow[s][k]};
        result.trains.push_back(train);
        if (hooks.onTrainFixed) {
            TextTable texts(n - 1, n - 1);
            for (int c = 0; c <= n - 2; ++c) {
                for (int r = 0; r <= n - 2; ++r) {
                    if (inputFlow[c + 1][r + 1] != 0)
                        texts.setCell(c, r, numtext::wholeToText(workFlow[c + 1][r + 1]));
                }
            }
            hooks.onTrainFixed(SnapshotView(train, texts));
        }
    }

    for (int i = 1; i <= n - 1; ++i) {
        for (int k = 1; k <= n - i; ++k) {
            const std::int32_t x = workFlow[i][k];
            const int d = n + 1 - k;
            for (int j = i; j <= d - 1; ++j) {
                if (j != i && !(tek[j] > zero))
                    continue;
                int m = j + 1;
                while (m < d && !(tek[m] > zero))
                    ++m;
                planCars[j][n + 1 - m] = checked(std::int64_t{planCars[j][n + 1 - m]} + x);
            }
        }
    }
    for (int i = 1; i <= n - 1; ++i) {
        std::int64_t sum = 0;
        for (int k = 1; k <= n - 1; ++k)
            sum += std::int64_t{planCars[i][k]} - inputFlow[i][k];
        reprocCars[i] = checked(sum);
        for (int k = 1; k <= n - 1; ++k)
            inputFlow[i][k] = planCars[i][k];
    }
    result.plan = TextTable(n - 1, n - 1);
    for (int r = 0; r <= n - 2; ++r) {
        for (int c = 0; c <= n - 2; ++c) {
            if (inputFlow[c + 1][r + 1] != 0)
                result.plan.setCell(c, r, numtext::wholeToText(inputFlow[c + 1][r + 1]));
        }
    }
    if (hooks.onPlan)
        hooks.onPlan(result.plan);

    for (auto& total : tables.totals)
        total = zero;
    for (int i = 1; i <= n - 1; ++i) {
        Real40* row[7];
        for (int c = 1; c <= 6; ++c)
            row[c] = &tables.indicators[c - 1][i - 1];
        *row[2] = zero;
        *row[1] = st(i);
        for (int k = 1; k <= n - i; ++k) {
            if (inputFlow[i][k] > 0)
                *row[2] = st(row[2]->wide() + 1);
        }
        *row[3] = st(reprocCars[i]);
        *row[4] = st(row[2]->wide() * cm[i]);
        *row[5] = st(tek[i].wide() * row[3]->wide());
        *row[6] = st(row[4]->wide() + row[5]->wide());
        for (int c = 2; c <= 6; ++c)
            tables.totals[c - 1] = st(tables.totals[c - 1].wide() + row[c]->wide());
    }
    result.status = CalcStatus::Completed;
    return result;
}

} // namespace zeltrac::testing
