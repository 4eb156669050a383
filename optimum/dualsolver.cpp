#include "optimum/dualsolver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <unordered_set>
#include <vector>

namespace zeltrac::optimum::detail {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// The node at which the search looks for a cheaper plan by adding trains.
constexpr long kAddDropNode = 10;
// The node past which the search's bounds take thorough steps.
constexpr long kThoroughNode = 50;
// How far past its node limit a search may go where it has settled enough
// of itself to end by then.
constexpr long kMostOverLimit = 4;
// The most parts of a search, and nodes' multipliers, kept for the next.
constexpr std::size_t kMaxParts = 4096;
constexpr std::size_t kMaxKeptMultipliers = 128;

} // namespace

// The solver's working state: the line's numbers in whole units where that
// is exact enough, every flow's chains as arcs in flat arrays, one
// multiplier per arc.
class DualSolver
{
public:
    DualSolver(const Line& line, bool narrowing) : m_line(line), m_narrowing(narrowing)
    {
        chooseUnits();
        build();
    }

    DualResult solve(const TrainSet& start, const Deadline& deadline, long nodeLimit,
                     const DualRules& rules, DualWarmStart* warm);
    void forget()
    {
        m_pool.clear();
        m_root = DualWarmStart{};
        m_parts.clear();
        m_keeping = false;
    }

private:
    enum State : signed char
    {
        Closed = -1,
        Free = 0,
        Open = 1,
    };
    struct FlowArcs
    {
        int origin;
        int destination;
        int firstArc;
        int firstNode;
        int nodes;
        std::int64_t cars;
        double factor; // on its re-forming costs
    };
    // A re-forming limit, relaxed with its multiplier (units per car).
    struct Limit
    {
        int station;
        double cars;
        double mu = 0;
        std::vector<std::pair<int, double>> arcs; // leaving the station, with their flow's cars
        std::vector<int> flows;                   // that may be re-formed there
    };
    using Next = std::array<std::array<int, kDim>, kDim>;
    // A plan's routing walked: its cost without the multipliers, the cars
    // re-formed at each station, the chains.
    struct Walk
    {
        double cost = 0;
        std::array<double, kDim> reformed{};
        Next* next = nullptr;
    };

    void chooseUnits();
    void build();
    void price(const DualRules& rules);
    void setMu(int l, double value);
    double lagrangian(const std::vector<char>* changed = nullptr);
    double chain(int k, const double* closed);
    double withTrainPart(double value);
    // Per train, what a closed one adds to its arcs' costs (nothing to the
    // others', whose sums stay exactly as they are), from the trains' states.
    const double* closedCosts();
    void distances(int k, std::array<double, kDim>& from, std::array<double, kDim>& to,
                   std::array<int, kDim>& rowStart) const;
    // `stuck`: set where the flow cannot be raised until its own
    // multipliers or the trains' rooms grow (none or a blocked chain).
    double ascentStep(int k, bool& stuck);
    void ascent();
    void subgradient(double& best, int iterations, bool thorough);
    static constexpr int kMaxTrains = kMaxLineStations * (kMaxLineStations - 1) / 2;
    // A set of trains, one bit each.
    struct Trains
    {
        std::array<std::uint64_t, (kMaxTrains + 63) / 64> words{};
        void set(int t) { words[t / 64] |= std::uint64_t{1} << (t % 64); }
        bool test(int t) const { return (words[t / 64] >> (t % 64) & 1) != 0; }
    };
    struct Destinations
    {
        std::array<double, kDim> cost{};
        std::array<Trains, kDim> carried{};
    };
    double destinationCost(int b, const std::vector<char>& open, Trains& carried,
                           Walk* walk = nullptr) const;
    double limitedCost(const std::vector<char>& open, Next* next);
    double totalCost(const Destinations& parts, std::vector<char>* used) const;
    // `cost` with the Cm of the trains `carried`, which go in `used` (may be null).
    double withTrains(double cost, const Trains& carried, std::vector<char>* used) const;
    // Only the stations and the words of the line's trains: the arrays have
    // room for the longest line.
    void copyParts(const Destinations& from, Destinations& to) const;
    double planCost(const std::vector<char>& open, std::vector<char>* used) const;
    void improve(std::vector<char>& open, double& cost) const;
    bool addDrop();
    void keep(std::vector<char> open, double cost, const Next& next);
    // `improving`: with trains dropped from it first (improve); `anyCost`:
    // improved however far above the incumbent it is.
    void offer(std::vector<char> open, bool improving = true, bool anyCost = false);
    // The trains the multipliers pay for and those the chains take.
    std::vector<char> multipliersPlan() const;
    double trainPart(double plain);
    double outOfKept();
    bool meets(const std::vector<char>& used) const;
    int changes(const std::vector<char>& used) const;
    Trains bitsOf(const std::vector<char>& set) const;
    int beyondKept(const Trains& used, const Trains& set) const;
    bool keptOut(const std::vector<char>& used) const;
    bool repair(std::vector<char>& used) const;
    bool fixSure();
    void flipCosts(std::vector<double>& opening, std::vector<double>& closing);
    struct Part;
    void leave(double bound);
    bool resumes(const DualRules& rules, const DualWarmStart* warm) const;
    bool resume();
    // Whether a rule counts the plan's trains (besides forced and forbidden ones).
    bool trainRules() const
    {
        return !m_limits.empty() || m_maxChanges >= 0 || !m_excluded.empty();
    }
    // Whether a rule counts or routes the plan's trains.
    bool ruled() const { return trainRules() || !m_reforming.empty(); }
    bool propagate(std::vector<int>& fixed);
    int ruleBranch(bool& openFirst) const;
    void setWeights(const std::vector<double>& weights);
    bool canBeat(double bound) const;
    void discard(double bound) { m_floor = std::min(m_floor, bound); }
    bool node(double share);
    // `again`: at a node whose trains reduced costs fixed since its last bound.
    bool bound(bool root, bool again = false);
    void setWeight(int e, double value)
    {
        m_trainWeight[m_arcTrain[e]] += value - m_weight[e];
        m_weight[e] = value;
    }

    const Line m_line;
    const bool m_narrowing; // as DualSearch's
    const Deadline* m_deadline = nullptr;
    long m_nodeLimit = 0;
    long m_nodes = 0;
    double m_settled = 0; // the share of the search settled so far
    bool m_aborted = false;
    DualResult::Kind m_abortKind = DualResult::Stopped;

    double m_scale = 1;        // units per car-hour
    bool m_wholeUnits = false; // the line's numbers are whole units
    double m_unitError = 0;    // most any plan's cost in units differs from the line's
    bool m_whole = false;      // every plan costs a whole number of units (this solve's)
    bool m_factored = false;   // some flow's re-forming costs have a factor other than 1
    double m_error = 0;        // m_unitError under this solve's factors
    std::array<double, kDim> m_tek{};
    std::array<double, kDim> m_routeTek{}; // per car, the multipliers added
    std::array<std::array<double, kDim>, kDim> m_factor{};
    std::vector<Limit> m_reforming;
    double m_muTotal = 0;      // the multipliers times their limits
    bool m_unresolved = false; // a leaf the limits left open
    double m_freeBest = kInf;  // the cheapest plan found, the limits left aside
    Next m_bestNext{};

    int m_trains = 0;
    int m_words = 0; // of a set of the line's trains
    std::array<std::array<int, kDim>, kDim> m_trainId{};
    std::array<int, kDim> m_firstOrigin{}; // per destination, the first station with a flow to it
    std::vector<int> m_trainOrigin, m_trainDestination;
    std::vector<double> m_trainCm, m_trainWeight;
    std::vector<State> m_state;
    Trains m_forced; // open in every plan, paid whatever they carry

    std::vector<FlowArcs> m_flows;
    std::vector<int> m_nodeStation;
    std::vector<int> m_arcTrain;
    std::vector<int> m_arcFrom; // the station it re-forms at its start (0: the flow's origin)
    std::vector<double> m_arcBase, m_arcCost, m_weight; // base: without the multipliers
    std::vector<int> m_pathArc; // per flow: the arcs of its cheapest chain (-1 ended)
    std::vector<int> m_pathStart;
    std::vector<double> m_chainCost; // per flow: its cheapest chain's, as last priced
    // The subgradient steps' working arrays.
    std::vector<double> m_bestWeight, m_bestMu;
    std::vector<int> m_movedSinceBest; // the arcs whose multipliers moved from m_bestWeight
    std::vector<char> m_moved;
    std::vector<char> m_onPath, m_changed;
    std::vector<double> m_closedCost;       // as closedCosts() last left it
    std::vector<int> m_active, m_activeEnd; // the arcs that may move, from each flow's first
    std::vector<char> m_stuck;              // per flow, blocked in this ascent

    double m_best = kInf; // the incumbent's cost in units
    std::vector<char> m_bestOpen;
    double m_floor = kInf; // the least bound of the parts of the search discarded
    double m_rootBound = -kInf;
    double m_bound = -kInf;                    // the node's
    std::unordered_set<std::uint64_t> m_tried; // the plans improved, by hash
    double m_addedBest = -kInf; // the incumbent's cost addDrop last left (-inf: none this solve)

    // The rules on the plan's trains.
    std::vector<std::pair<int, int>> m_limits; // station, most trains from it
    std::vector<std::vector<char>> m_excluded;
    std::vector<Trains> m_excludedBits; // the same sets, one bit per train
    std::vector<char> m_reference;
    int m_maxChanges = -1;
    std::vector<char> m_picked;  // the trains the Lagrangian's train part opens
    double m_plainBound = -kInf; // the node's, each train priced on its own
    double m_plainValue = 0;     // the last Lagrangian's, likewise
    std::vector<char> m_offered; // the trains with cars of the node's plan
    double m_target = kInf;      // the subgradient's aim while no plan is known
    // Across solves: the root's multipliers with the trains they were fixed
    // at, and the plans that were once the best.
    DualWarmStart m_root;
    std::vector<State> m_rootState;
    DualWarmStart* m_warm = nullptr; // this solve's, given and taken
    bool m_warmed = false;           // this solve started from multipliers
    std::vector<std::vector<char>> m_pool;
    // The parts of the search discarded by their bound, each with the trains
    // fixed there: with the sets kept out only growing, a later solve takes
    // up those its incumbent does not settle instead of searching again.
    struct Multipliers
    {
        std::vector<double> weights;
        std::vector<double> mu; // per re-forming limit
    };
    struct Part
    {
        std::vector<State> state;
        double bound;
        std::shared_ptr<const Multipliers> at; // those its bound was found with
    };
    std::vector<Part> m_parts;
    bool m_keeping = false; // m_parts holds every part discarded by bound
    std::shared_ptr<const Multipliers> m_nodeMultipliers; // the node's, once kept
    std::size_t m_keptMultipliers = 0;
    bool m_resumed = false; // this solve takes up the last one's parts
    DualRules m_partsRules; // those the parts were found under
};

void DualSolver::chooseUnits()
{
    const Line& line = m_line;
    long double magnitude = 0;
    long double totalFlow = 0;
    for (int a = 1; a <= line.n; ++a)
        for (int b = a + 1; b <= line.n; ++b)
            totalFlow += static_cast<long double>(line.flow[a][b]);
    for (int i = 1; i <= line.n; ++i)
        magnitude += line.cm[i] + totalFlow * line.tek[i];
    // The fewest decimals that give every Tек as a whole number of units.
    for (int decimals = 0; decimals <= 4 && !m_whole; ++decimals) {
        const long double scale = std::pow(10.0L, decimals);
        bool whole = magnitude * scale < 0x1p50L;
        for (int i = 2; i < line.n && whole; ++i) {
            const long double units = line.tek[i] * scale;
            // A Tек above 0 must stay above 0, within the rounding of its text.
            whole = line.tek[i] <= 0 ||
                    (std::round(units) >= 1 && std::fabs(units - std::round(units)) <= 1e-9L);
        }
        if (whole) {
            m_whole = true;
            m_scale = static_cast<double>(scale);
        }
    }
    long double error = 0;
    for (int i = 2; i < line.n; ++i) {
        const long double units = line.tek[i] * m_scale;
        m_tek[i] = static_cast<double>(m_whole ? std::round(units) : units);
        error += std::fabs(units - static_cast<long double>(m_tek[i]));
    }
    // A chain re-forms at each station at most once.
    m_error = static_cast<double>(error * totalFlow) * (1 + 1e-9) + 1e-300;
    m_wholeUnits = m_whole;
    m_unitError = m_error;
}

void DualSolver::build()
{
    const Line& line = m_line;
    for (auto& row : m_trainId)
        row.fill(-1);
    for (int i = 1; i < line.n; ++i) {
        for (int j = i + 1; j <= line.n; ++j) {
            m_trainId[i][j] = m_trains++;
            m_trainOrigin.push_back(i);
            m_trainDestination.push_back(j);
            m_trainCm.push_back(static_cast<double>(line.cm[i]) * m_scale);
        }
    }
    for (int b = 1; b <= line.n; ++b) {
        m_firstOrigin[b] = b;
        for (int a = b - 1; a >= 1; --a) {
            if (line.flow[a][b] != 0)
                m_firstOrigin[b] = a;
        }
    }
    m_words = (m_trains + 63) / 64;
    m_trainWeight.assign(m_trains, 0);
    m_state.assign(m_trains, Free);
    for (int a = 1; a < line.n; ++a) {
        for (int b = a + 1; b <= line.n; ++b) {
            const std::int64_t cars = line.flow[a][b];
            if (cars == 0)
                continue;
            FlowArcs flow{a,
                          b,
                          static_cast<int>(m_arcTrain.size()),
                          static_cast<int>(m_nodeStation.size()),
                          0,
                          cars,
                          1};
            m_nodeStation.push_back(a);
            for (int v = a + 1; v < b; ++v) {
                if (line.reforms(v))
                    m_nodeStation.push_back(v);
            }
            m_nodeStation.push_back(b);
            flow.nodes = static_cast<int>(m_nodeStation.size()) - flow.firstNode;
            const int* nodes = m_nodeStation.data() + flow.firstNode;
            for (int p = 0; p + 1 < flow.nodes; ++p) {
                for (int q = p + 1; q < flow.nodes; ++q) {
                    m_arcTrain.push_back(m_trainId[nodes[p]][nodes[q]]);
                    m_arcFrom.push_back(p == 0 ? 0 : nodes[p]);
                }
            }
            m_flows.push_back(flow);
        }
    }
    m_arcBase.assign(m_arcTrain.size(), 0);
    m_arcCost.assign(m_arcTrain.size(), 0);
    m_weight.assign(m_arcTrain.size(), 0);
    m_pathStart.resize(m_flows.size() + 1);
    int at = 0;
    for (std::size_t k = 0; k < m_flows.size(); ++k) {
        m_pathStart[k] = at;
        at += m_flows[k].nodes;
    }
    m_pathStart[m_flows.size()] = at;
    m_pathArc.assign(at, -1);
    m_chainCost.assign(m_flows.size(), 0);
    m_onPath.assign(m_arcTrain.size(), 0);
    m_changed.assign(m_flows.size(), 0);
    m_active.assign(m_arcTrain.size(), 0);
    m_activeEnd.assign(m_flows.size(), 0);
}

// The arcs' costs under the solve's factors, and its re-forming limits with
// the arcs their multipliers price (all at 0).
void DualSolver::price(const DualRules& rules)
{
    const Line& line = m_line;
    m_factor = rules.reformingFactor;
    m_routeTek = m_tek;
    m_muTotal = 0;
    m_reforming.clear();
    std::array<int, kDim> limitAt{};
    limitAt.fill(-1);
    for (const auto& [station, cars] : rules.maxReprocessed) {
        if (station < 2 || station >= line.n || !line.reforms(station))
            continue; // nothing is re-formed there
        limitAt[station] = static_cast<int>(m_reforming.size());
        m_reforming.push_back(Limit{station, static_cast<double>(cars), 0, {}, {}});
    }
    // Factored costs are no longer whole units.
    m_whole = m_wholeUnits;
    m_factored = false;
    double most = 1;
    for (std::size_t k = 0; k < m_flows.size(); ++k) {
        FlowArcs& flow = m_flows[k];
        flow.factor = m_factor[flow.origin][flow.destination];
        m_whole = m_whole && flow.factor == 1;
        m_factored = m_factored || flow.factor != 1;
        most = std::max(most, flow.factor);
        const int* nodes = m_nodeStation.data() + flow.firstNode;
        const double cars = static_cast<double>(flow.cars);
        int e = flow.firstArc;
        for (int p = 0; p + 1 < flow.nodes; ++p) {
            const double cost = p == 0 ? 0 : cars * flow.factor * m_tek[nodes[p]];
            const int l = p == 0 ? -1 : limitAt[nodes[p]];
            if (l >= 0)
                m_reforming[l].flows.push_back(static_cast<int>(k));
            for (int q = p + 1; q < flow.nodes; ++q, ++e) {
                if (l >= 0)
                    m_reforming[l].arcs.emplace_back(e, cars);
                m_arcBase[e] = cost;
            }
        }
    }
    m_arcCost = m_arcBase;
    m_error = m_unitError * most;
}

// The multiplier of limit l: on the cost per car of every arc leaving its
// station, and times its cars off the bound; the flows there priced again.
void DualSolver::setMu(int l, double value)
{
    Limit& limit = m_reforming[l];
    limit.mu = value;
    for (const auto& [e, cars] : limit.arcs)
        m_arcCost[e] = m_arcBase[e] + cars * value;
    m_routeTek[limit.station] = m_tek[limit.station] + value;
    m_muTotal = 0;
    for (const Limit& each : m_reforming)
        m_muTotal += each.mu * each.cars;
    for (const int k : limit.flows)
        m_changed[k] = 1;
}

// The Lagrangian value of the multipliers: each flow on its cheapest chain
// priced by its arcs' costs plus multipliers, each train open exactly when
// its Cm is below the multipliers on it (as fixed where fixed). Valid for
// any multipliers at or above 0 (those of the re-forming limits times their
// cars taken off). Records each flow's chain; infinite when some flow has none.
double DualSolver::lagrangian(const std::vector<char>* changed)
{
    double value = -m_muTotal;
    const double* const closed = closedCosts();
    for (std::size_t k = 0; k < m_flows.size(); ++k) {
        if (changed == nullptr || (*changed)[k]) {
            m_chainCost[k] = chain(static_cast<int>(k), closed);
            if (m_chainCost[k] == kInf)
                return kInf;
        }
        value += m_chainCost[k];
    }
    return withTrainPart(value);
}

// Flow k's cheapest chain around the closed trains (`closed` as
// closedCosts() gives it), its arcs recorded; its cost, infinite where it
// has none.
double DualSolver::chain(int k, const double* closed)
{
    const double* const cost = m_arcCost.data();
    const double* const weight = m_weight.data();
    const int* const arcTrain = m_arcTrain.data();
    std::array<double, kDim> dist;
    const FlowArcs& flow = m_flows[k];
    const int m = flow.nodes;
    dist[0] = 0;
    for (int q = 1; q < m; ++q)
        dist[q] = kInf;
    int e = flow.firstArc;
    for (int p = 0; p + 1 < m; ++p) {
        const double from = dist[p];
        for (int q = p + 1; q < m; ++q, ++e)
            dist[q] = std::min(dist[q], from + cost[e] + weight[e] + closed[arcTrain[e]]);
    }
    if (dist[m - 1] == kInf)
        return kInf;
    // The chain's arcs, last first: into each node from the first node
    // before it whose arc gives exactly its cost (where several do, the
    // same chain whatever order the costs were taken in).
    int* path = m_pathArc.data() + m_pathStart[k];
    int count = 0;
    for (int q = m - 1; q > 0;) {
        int p = 0;
        int arc = flow.firstArc + q - 1;
        while (dist[p] + cost[arc] + weight[arc] + closed[arcTrain[arc]] != dist[q]) {
            arc += m - p - 2;
            ++p;
        }
        path[count++] = arc;
        q = p;
    }
    if (count < m)
        path[count] = -1;
    return dist[m - 1];
}

// The Lagrangian from the flows' part `value`: with the trains' part, each
// train on its own (kept as m_plainValue) and under the rules.
double DualSolver::withTrainPart(double value)
{
    double plain = 0;
    for (int t = 0; t < m_trains; ++t) {
        const double reduced = m_trainCm[t] - m_trainWeight[t];
        m_picked[t] = m_state[t] == Open || (m_state[t] == Free && reduced < 0);
        if (m_picked[t])
            plain += reduced;
    }
    m_plainValue = value + plain;
    return value + trainPart(plain);
}

// The trains' part of the Lagrangian under the rule on changes, or else
// under the limits on destinations (each train on its own where neither
// holds; `plain` is that part): the least sum of reduced costs of a set of
// trains that meets the rule, the set in m_picked.
double DualSolver::trainPart(double plain)
{
    const auto reducedOf = [&](int t) { return m_trainCm[t] - m_trainWeight[t]; };
    std::vector<std::pair<double, int>> gains;
    if (m_maxChanges >= 0) {
        // From the reference's free trains open, the changes that gain most.
        int budget = m_maxChanges;
        double part = 0;
        for (int t = 0; t < m_trains; ++t) {
            const bool in = m_reference[t] != 0;
            budget -= (m_state[t] == Open && !in) || (m_state[t] == Closed && in);
            m_picked[t] = m_state[t] == Open || (m_state[t] == Free && in);
            if (m_picked[t])
                part += reducedOf(t);
            if (m_state[t] == Free && (in ? reducedOf(t) > 0 : reducedOf(t) < 0))
                gains.emplace_back(-std::fabs(reducedOf(t)), t);
        }
        if (budget < 0)
            return kInf;
        const auto take = gains.begin() + std::min<std::ptrdiff_t>(budget, std::ssize(gains));
        std::partial_sort(gains.begin(), take, gains.end());
        for (auto g = gains.begin(); g != take; ++g) {
            part += g->first;
            m_picked[g->second] ^= 1;
        }
        return part;
    }
    double part = plain;
    for (const auto& [station, limit] : m_limits) {
        // At most the limit of the station's trains: its dearest picked ones go.
        gains.clear();
        int open = 0;
        for (int j = station + 1; j <= m_line.n; ++j) {
            const int t = m_trainId[station][j];
            open += m_state[t] == Open;
            if (m_state[t] == Free && m_picked[t])
                gains.emplace_back(reducedOf(t), t);
        }
        const std::ptrdiff_t room = limit - open;
        if (room < 0)
            return kInf;
        if (std::ssize(gains) <= room)
            continue;
        std::nth_element(gains.begin(), gains.begin() + room, gains.end());
        for (auto g = gains.begin() + room; g != gains.end(); ++g) {
            part -= g->first;
            m_picked[g->second] = 0;
        }
    }
    return m_excluded.empty() ? part : part + outOfKept();
}

const double* DualSolver::closedCosts()
{
    m_closedCost.resize(m_trains);
    for (int t = 0; t < m_trains; ++t)
        m_closedCost[t] = m_state[t] == Closed ? kInf : 0;
    return m_closedCost.data();
}

// Flow k's cheapest chain costs from its origin to each of its nodes
// (`from`) and from each to its destination (`to`), around the closed
// trains (as closedCosts() last found them); `rowStart`: each node's first arc.
void DualSolver::distances(int k, std::array<double, kDim>& from, std::array<double, kDim>& to,
                           std::array<int, kDim>& rowStart) const
{
    const FlowArcs& flow = m_flows[k];
    const int m = flow.nodes;
    rowStart[0] = flow.firstArc;
    for (int p = 1; p < m; ++p)
        rowStart[p] = rowStart[p - 1] + (m - p);
    from[0] = 0;
    for (int q = 1; q < m; ++q)
        from[q] = kInf;
    const double* const cost = m_arcCost.data();
    const double* const weight = m_weight.data();
    const int* const arcTrain = m_arcTrain.data();
    const double* const closed = m_closedCost.data();
    for (int p = 0; p + 1 < m; ++p) {
        const double at = from[p];
        int e = rowStart[p];
        for (int q = p + 1; q < m; ++q, ++e)
            from[q] = std::min(from[q], at + cost[e] + weight[e] + closed[arcTrain[e]]);
    }
    to[m - 1] = 0;
    for (int p = m - 2; p >= 0; --p) {
        double best = kInf;
        int e = rowStart[p];
        for (int q = p + 1; q < m; ++q, ++e)
            best = std::min(best, cost[e] + weight[e] + to[q] + closed[arcTrain[e]]);
        to[p] = best;
    }
}

// Raises flow k's cheapest chain cost by raising the multipliers on a cut
// of its arcs that still have room under their trains' Cm; the amount.
double DualSolver::ascentStep(int k, bool& stuck)
{
    const int m = m_flows[k].nodes;
    // Room for the longest line, each element written before it is read.
    std::array<double, kDim> from, to;
    std::array<int, kDim> rowStart;
    distances(k, from, to, rowStart);
    const double length = from[m - 1];
    if (length == kInf) {
        stuck = true;
        return 0;
    }
    const double tolerance = 1e-12 * (1 + length);
    const auto room = [&](int e) {
        const int t = m_arcTrain[e];
        return m_state[t] == Open ? 0.0 : std::max(0.0, m_trainCm[t] - m_trainWeight[t]);
    };
    // The cut: the origin and every node a blocked arc leads to from it.
    std::array<bool, kDim> inside;
    std::fill_n(inside.begin(), m, false);
    inside[0] = true;
    double step = kInf;
    double level = kInf;
    for (int p = 0; p + 1 < m; ++p) {
        if (!inside[p])
            continue;
        int e = rowStart[p];
        for (int q = p + 1; q < m; ++q, ++e) {
            if (m_state[m_arcTrain[e]] == Closed || to[q] == kInf)
                continue;
            const double reduced = from[p] + m_arcCost[e] + m_weight[e] + to[q] - length;
            if (room(e) + reduced <= tolerance) {
                if (q == m - 1) {
                    stuck = true; // blocked
                    return 0;
                }
                inside[q] = true;
            }
        }
    }
    // Each open arc from inside the cut to outside it, with its reduced cost.
    const auto forEachCutArc = [&](const auto& visit) {
        for (int p = 0; p + 1 < m; ++p) {
            if (!inside[p])
                continue;
            int e = rowStart[p];
            for (int q = p + 1; q < m; ++q, ++e) {
                if (inside[q] || m_state[m_arcTrain[e]] == Closed || to[q] == kInf)
                    continue;
                visit(e, std::max(0.0, from[p] + m_arcCost[e] + m_weight[e] + to[q] - length));
            }
        }
    };
    forEachCutArc([&](auto e, double reduced) {
        step = std::min(step, room(e) + reduced);
        if (reduced > tolerance)
            level = std::min(level, reduced);
    });
    step = std::min(step, level);
    if (!(step > tolerance) || step == kInf)
        return 0;
    forEachCutArc([&](auto e, double reduced) {
        const double raise = std::min(room(e), step - reduced);
        if (raise > 0)
            setWeight(static_cast<int>(e), m_weight[e] + raise);
    });
    return step;
}

// Rounds of ascent steps over every flow in turn while they raise the bound.
void DualSolver::ascent()
{
    // Below the root the multipliers start from the parent's.
    const int rounds = (m_nodes == 1 ? 8 : 2) * m_line.n;
    // The steps only raise multipliers, so the trains' rooms only shrink: a
    // flow blocked stays blocked for the rest of the rounds.
    m_stuck.assign(m_flows.size(), 0);
    closedCosts();
    for (int round = 0; round < rounds; ++round) {
        double raised = 0;
        for (std::size_t k = 0; k < m_flows.size(); ++k) {
            if (m_stuck[k])
                continue;
            bool stuck = false;
            raised += ascentStep(static_cast<int>(k), stuck);
            m_stuck[k] = stuck;
        }
        if (raised <= 1e-12 * (1 + std::fabs(m_best)))
            break;
    }
}

// Subgradient steps on the linking rows towards the incumbent's cost;
// keeps the best multipliers (and their chains) found. Each step prices
// again only the flows whose multipliers it moved. `thorough`: shortened
// later and less, for a bound hard to reach.
void DualSolver::subgradient(double& best, int iterations, bool thorough)
{
    // Under re-forming limits with no plan yet, aimed above the cheapest plan
    // that leaves them aside.
    const double target = m_best != kInf ? m_best
                          : m_reforming.empty() || m_freeBest == kInf
                              ? kInf
                              : std::max(m_freeBest, best + std::fabs(best)) * 1.05 + 1;
    if (target == kInf)
        return;
    // An arc's best multiplier is kept as it first moves from it; m_moved
    // is all 0 between calls.
    m_bestWeight.resize(m_arcTrain.size());
    m_moved.resize(m_arcTrain.size(), 0);
    m_movedSinceBest.clear();
    m_bestMu.resize(m_reforming.size());
    for (std::size_t l = 0; l < m_reforming.size(); ++l)
        m_bestMu[l] = m_reforming[l].mu;
    std::array<double, kDim> reformed{};
    std::array<char, kMaxTrains> open{};
    const bool countsTrains = trainRules();
    // Where costs are not whole units the bound must come closer: longer
    // steps, shortened less often.
    double factor = m_whole ? 1 : 2;
    const int patience = m_whole && !thorough ? 4 : 10;
    const double shortening = thorough ? 0.7 : 0.5;
    int idle = 0;
    double current = best;
    // Raw arrays: the loops below write chars, which the compiler would
    // otherwise take to alias the members' buffers.
    char* const onPath = m_onPath.data();
    char* const changed = m_changed.data();
    char* const moved = m_moved.data();
    double* const weight = m_weight.data();
    double* const trainWeight = m_trainWeight.data();
    // What a train's multipliers must pass for it to count as open (an open
    // one's at once).
    std::array<double, kMaxTrains> openingCm;
    for (int t = 0; t < m_trains; ++t)
        openingCm[t] = m_state[t] == Open ? -kInf : m_trainCm[t];
    const int* const arcTrain = m_arcTrain.data();
    const State* const state = m_state.data();
    double* const chainCost = m_chainCost.data();
    const double* const closed = closedCosts();
    int* const activeArcs = m_active.data();
    int* const activeEnd = m_activeEnd.data();
    const int flows = static_cast<int>(m_flows.size());
    // Per train, its arcs that may move and those of them on the chains:
    // the subgradient's norm counts the arcs where the two disagree.
    std::array<int, kMaxTrains> activeOf, pathOf;
    std::fill_n(activeOf.begin(), m_trains, 0);
    std::fill_n(pathOf.begin(), m_trains, 0);
    // The arcs of flow k's chain marked on or off; the marks kept while the
    // chain stays.
    const auto markPath = [this, onPath, arcTrain, &pathOf](int k, char mark) {
        const int* path = m_pathArc.data() + m_pathStart[k];
        const int nodes = m_flows[k].nodes;
        for (int s = 0; s < nodes && path[s] >= 0; ++s) {
            onPath[path[s]] = mark;
            pathOf[arcTrain[path[s]]] += mark != 0 ? 1 : -1;
        }
    };
    // Only the arcs on the chains or with multipliers above 0 may move, and
    // none of a closed train (no chain takes it).
    for (int k = 0; k < flows; ++k) {
        markPath(k, 1);
        const FlowArcs& flow = m_flows[k];
        const int end = flow.firstArc + flow.nodes * (flow.nodes - 1) / 2;
        int active = flow.firstArc;
        for (int e = flow.firstArc; e < end; ++e) {
            const bool moves = (onPath[e] != 0 || weight[e] > 0) && state[arcTrain[e]] != Closed;
            activeArcs[active] = e;
            active += moves;
            activeOf[arcTrain[e]] += moves;
        }
        activeEnd[k] = active;
    }
    for (int iteration = 0; iteration < iterations && canBeat(best); ++iteration) {
        // A flow's arcs change only where the last step moved its multipliers.
        for (int k = 0; k < flows; ++k) {
            if (iteration == 0 || !changed[k])
                continue;
            const FlowArcs& flow = m_flows[k];
            const int first = flow.firstArc;
            // Only the active arcs moved: those still above 0, and the new
            // chain's arcs at 0 after them. (A flow's arcs are of distinct
            // trains: the order they move in within the flow is immaterial.)
            int kept = first;
            for (int i = first; i < activeEnd[k]; ++i) {
                const int e = activeArcs[i];
                activeArcs[kept] = e;
                kept += weight[e] > 0;
                activeOf[arcTrain[e]] -= weight[e] <= 0;
            }
            const int* path = m_pathArc.data() + m_pathStart[k];
            for (int s = 0; s < flow.nodes && path[s] >= 0; ++s) {
                const int e = path[s];
                if (weight[e] <= 0) {
                    activeArcs[kept++] = e;
                    ++activeOf[arcTrain[e]];
                }
            }
            activeEnd[k] = kept;
        }
        // The subgradient: chain use less train, on the arcs it moves.
        for (int t = 0; t < m_trains; ++t)
            open[t] = m_picked[t];
        // A closed train is not picked, and none of its arcs may move.
        int norm = 0;
        for (int t = 0; t < m_trains; ++t)
            norm += open[t] != 0 ? activeOf[t] - pathOf[t] : pathOf[t];
        // The limits' subgradient: the cars the chains re-form there less the limit.
        double limitNorm = 0;
        if (!m_reforming.empty()) {
            reformed.fill(0);
            for (int k = 0; k < flows; ++k) {
                const int* path = m_pathArc.data() + m_pathStart[k];
                for (int s = 0; s < m_flows[k].nodes && path[s] >= 0; ++s)
                    reformed[m_arcFrom[path[s]]] += static_cast<double>(m_flows[k].cars);
            }
            for (const Limit& limit : m_reforming) {
                const double g = reformed[limit.station] - limit.cars;
                if (g > 0 || limit.mu > 0)
                    limitNorm += g * g;
            }
        }
        // One step towards the target over the arcs' and the limits' parts together.
        const double squares = norm + limitNorm;
        const double step = squares > 0 ? factor * (target - current) / squares : 0;
        const bool moving = step > 0 && step != kInf;
        const bool arcsMove = moving && norm > 0;
        const bool limitsMove = moving && limitNorm > 0;
        if (!arcsMove && !limitsMove)
            break;
        // A train counts as open as soon as the raised multipliers pay for
        // it: the later arcs of its flows stop raising it, those off the
        // chains fall.
        bool unpriced = false;
        for (int k = 0; k < flows; ++k) {
            char movedHere = 0;
            const int end = arcsMove ? activeEnd[k] : 0;
            for (int i = m_flows[k].firstArc; i < end; ++i) {
                const int e = activeArcs[i];
                const int t = arcTrain[e];
                // Under rules on the trains, as the Lagrangian's train part chose.
                const int g = onPath[e] - (countsTrains ? open[t] : openingCm[t] < trainWeight[t]);
                const double old = weight[e];
                const bool moves = g > 0 || (g < 0 && old > 0);
                if (moves && !moved[e]) {
                    moved[e] = 1;
                    m_bestWeight[e] = old;
                    m_movedSinceBest.push_back(e);
                }
                // Where it does not move, the same multiplier again.
                const double value = std::max(0.0, old + step * g);
                trainWeight[t] += value - old;
                weight[e] = value;
                movedHere |= static_cast<char>(moves);
            }
            changed[k] = movedHere;
            // With no limit's multiplier to move after them, the flow is
            // priced again at once.
            if (movedHere && !limitsMove) {
                markPath(k, 0);
                chainCost[k] = chain(k, closed);
                markPath(k, 1);
                unpriced = unpriced || chainCost[k] == kInf;
            }
        }
        for (std::size_t l = 0; l < m_reforming.size() && limitsMove; ++l) {
            const double g = reformed[m_reforming[l].station] - m_reforming[l].cars;
            if (g > 0 || m_reforming[l].mu > 0)
                setMu(static_cast<int>(l), std::max(0.0, m_reforming[l].mu + step * g));
        }
        if (limitsMove) {
            for (int k = 0; k < flows; ++k) {
                if (changed[k])
                    markPath(k, 0);
            }
            current = lagrangian(&m_changed);
            for (int k = 0; k < flows; ++k) {
                if (changed[k])
                    markPath(k, 1);
            }
        } else {
            double value = -m_muTotal;
            for (int k = 0; k < flows; ++k)
                value += chainCost[k];
            current = unpriced ? kInf : withTrainPart(value);
        }
        if (current > best) {
            best = current;
            for (const int e : m_movedSinceBest)
                moved[e] = 0;
            m_movedSinceBest.clear();
            for (std::size_t l = 0; l < m_reforming.size(); ++l)
                m_bestMu[l] = m_reforming[l].mu;
            idle = 0;
        } else if (++idle >= patience) {
            factor *= shortening;
            idle = 0;
        }
    }
    for (int k = 0; k < flows; ++k)
        markPath(k, 0);
    if (current != best) {
        for (const int e : m_movedSinceBest)
            setWeight(e, m_bestWeight[e]);
        for (std::size_t l = 0; l < m_reforming.size(); ++l)
            setMu(static_cast<int>(l), m_bestMu[l]);
        best = lagrangian();
    }
    for (const int e : m_movedSinceBest)
        moved[e] = 0;
    m_movedSinceBest.clear();
}

// The cost in units of the flows to station b on cheapest chains of the
// open trains (priced with the re-forming limits' multipliers), with the
// trains they use in `carried`; infinite when a flow has no chain. Dropping
// a train the flows to b do not use leaves it. `walk` (may be null) adds
// the chains' cost without the multipliers and their re-formed cars.
double DualSolver::destinationCost(int b, const std::vector<char>& open, Trains& carried,
                                   Walk* walk) const
{
    const Line& line = m_line;
    std::array<double, kDim> best, plain; // each element written before it is read
    std::array<int, kDim> next, hops;
    std::fill_n(carried.words.begin(), m_words, 0);
    best[b] = 0;
    plain[b] = 0;
    next[b] = b;
    hops[b] = 0;
    // Ties go to fewer trains, then to the farther train first, as routing
    // does. A chain may go on from b and from the stations passed that
    // re-form and reach b: `via`, farthest first. No chain starts before the
    // first origin of a flow to b.
    std::array<int, kDim> via;
    int vias = 0;
    via[vias++] = b;
    for (int v = b - 1; v >= m_firstOrigin[b]; --v) {
        next[v] = 0;
        best[v] = kInf;
        plain[v] = 0;
        hops[v] = 0;
        const int* trains = m_trainId[v].data();
        for (int n = 0; n < vias; ++n) {
            const int j = via[n];
            if (!open[trains[j]])
                continue;
            const double c = j == b ? 0 : m_routeTek[j] + best[j];
            if (c < best[v] || (c == best[v] && hops[j] + 1 < hops[v])) {
                best[v] = c;
                plain[v] = j == b ? 0 : m_tek[j] + plain[j];
                next[v] = j;
                hops[v] = hops[j] + 1;
            }
        }
        if (next[v] != 0 && line.reforms(v))
            via[vias++] = v;
    }
    double cost = 0;
    for (int a = m_firstOrigin[b]; a < b; ++a) {
        const std::int64_t f = line.flow[a][b];
        if (f == 0)
            continue;
        if (next[a] == 0)
            return kInf;
        const double cars = static_cast<double>(f);
        const double factor = m_factor[a][b];
        cost += m_reforming.empty() ? cars * factor * best[a]
                                    : cars * (factor * plain[a] + (best[a] - plain[a]));
        if (walk != nullptr)
            walk->cost += cars * factor * plain[a];
        for (int v = a; v != b; v = next[v]) {
            carried.set(m_trainId[v][next[v]]);
            if (walk != nullptr && v != a)
                walk->reformed[v] += cars;
        }
    }
    if (walk != nullptr && walk->next != nullptr) {
        // Only the stations the chains may pass were written.
        std::fill(next.begin(), next.begin() + m_firstOrigin[b], 0);
        std::fill(next.begin() + b + 1, next.end(), 0);
        (*walk->next)[b] = next;
    }
    return cost;
}

// The cost in units of the open trains routed as destinationCost routes
// them, without the multipliers, with the routing in `next`: infinite when
// a flow has no chain or the routing breaks a re-forming limit.
double DualSolver::limitedCost(const std::vector<char>& open, Next* next)
{
    Walk walk;
    walk.next = next;
    Trains carried = m_forced;
    for (int b = 2; b <= m_line.n; ++b) {
        Trains part;
        if (destinationCost(b, open, part, &walk) == kInf)
            return kInf;
        for (int w = 0; w < m_words; ++w)
            carried.words[w] |= part.words[w];
    }
    double cost = walk.cost;
    for (int t = 0; t < m_trains; ++t)
        cost += carried.test(t) ? m_trainCm[t] : 0;
    m_freeBest = std::min(m_freeBest, cost);
    for (const Limit& limit : m_reforming) {
        if (walk.reformed[limit.station] > limit.cars)
            return kInf;
    }
    return cost;
}

// The plan's cost from each destination's: its flows' plus the Cm of every
// train some flow uses or that is forced (in `used` when given).
double DualSolver::totalCost(const Destinations& parts, std::vector<char>* used) const
{
    double cost = 0;
    Trains carried = m_forced;
    for (int b = 2; b <= m_line.n; ++b) {
        cost += parts.cost[b];
        for (int w = 0; w < m_words; ++w)
            carried.words[w] |= parts.carried[b].words[w];
    }
    return withTrains(cost, carried, used);
}

double DualSolver::withTrains(double cost, const Trains& carried, std::vector<char>* used) const
{
    if (used != nullptr)
        used->assign(m_trains, 0);
    for (int w = 0; w < m_words; ++w) {
        for (std::uint64_t bits = carried.words[w]; bits != 0; bits &= bits - 1) {
            const int t = w * 64 + std::countr_zero(bits);
            cost += m_trainCm[t];
            if (used != nullptr)
                (*used)[t] = 1;
        }
    }
    return cost;
}

void DualSolver::copyParts(const Destinations& from, Destinations& to) const
{
    for (int b = 2; b <= m_line.n; ++b) {
        to.cost[b] = from.cost[b];
        std::copy_n(from.carried[b].words.begin(), m_words, to.carried[b].words.begin());
    }
}

// The cost in units of the open trains, each flow on a cheapest chain of
// them (only trains with cars pay); infinite when a flow has no chain.
double DualSolver::planCost(const std::vector<char>& open, std::vector<char>* used) const
{
    // As totalCost sums the destinations' parts.
    double cost = 0;
    Trains carried = m_forced;
    Trains part;
    for (int b = 2; b <= m_line.n; ++b) {
        const double c = destinationCost(b, open, part);
        if (c == kInf)
            return kInf;
        cost += c;
        for (int w = 0; w < m_words; ++w)
            carried.words[w] |= part.words[w];
    }
    return withTrains(cost, carried, used);
}

// Drops trains one at a time while that lowers the cost and the plan meets
// the rules; a drop prices again only the destinations whose flows used the
// train.
void DualSolver::improve(std::vector<char>& open, double& cost) const
{
    Destinations parts;
    for (int b = 2; b <= m_line.n; ++b) {
        parts.cost[b] = destinationCost(b, open, parts.carried[b]);
        if (parts.cost[b] == kInf) {
            cost = kInf;
            return;
        }
    }
    cost = totalCost(parts, &open);
    // Dropping a train keeps the limits on destinations; the other rules are checked.
    const bool checked = m_maxChanges >= 0 || !m_excluded.empty();
    std::vector<char> used;
    Destinations trial;
    // In turn round the trains, until a whole round drops none: the trains
    // after the last drop were tried on the plan as it is.
    for (int t = 0, quiet = 0; quiet < m_trains; t = t + 1 == m_trains ? 0 : t + 1) {
        ++quiet;
        if (!open[t] || m_forced.test(t))
            continue;
        open[t] = 0;
        copyParts(parts, trial);
        bool covered = true;
        for (int b = 2; b <= m_line.n && covered; ++b) {
            if (trial.carried[b].test(t)) {
                trial.cost[b] = destinationCost(b, open, trial.carried[b]);
                covered = trial.cost[b] != kInf;
            }
        }
        double c = covered ? totalCost(trial, checked ? &used : nullptr) : kInf;
        if (c < cost && checked && !meets(used))
            c = kInf;
        if (c < cost) {
            cost = c;
            copyParts(trial, parts);
            totalCost(parts, &open);
            quiet = 0;
        } else {
            open[t] = 1;
        }
    }
    // The cost as a whole plan is priced.
    cost = planCost(open, nullptr);
}

// From the incumbent, opens each free train it lacks that some flow would
// take in turn and drops trains again from there (improve), keeping the
// plan where it is cheaper and meets the rules; until no train added helps.
// Whether it found one.
bool DualSolver::addDrop()
{
    if (m_bestOpen.empty())
        return false;
    const double start = m_best;
    std::vector<char> open = m_bestOpen;
    double cost = m_best;
    std::vector<char> trial;
    Trains carried;
    for (bool better = true; better && !m_deadline->passed();) {
        better = false;
        for (int t = 0; t < m_trains; ++t) {
            if (open[t] || m_state[t] == Closed)
                continue;
            // Only the flows to its destination or beyond may take it.
            open[t] = 1;
            bool taken = false;
            for (int b = m_trainDestination[t]; b <= m_line.n && !taken; ++b)
                taken = destinationCost(b, open, carried) != kInf && carried.test(t);
            open[t] = 0;
            if (!taken)
                continue;
            trial = open;
            trial[t] = 1;
            double c = kInf;
            improve(trial, c);
            if (c < cost && meets(trial)) {
                cost = c;
                open = trial;
                better = true;
            }
        }
    }
    if (!(cost < start))
        return false;
    Next next{};
    limitedCost(open, &next);
    keep(std::move(open), cost, next);
    return true;
}

// The plan becomes the incumbent; the one before joins the pool.
void DualSolver::keep(std::vector<char> open, double cost, const Next& next)
{
    if (!m_bestOpen.empty()) {
        m_pool.push_back(m_bestOpen);
        if (m_pool.size() > 8)
            m_pool.erase(m_pool.begin());
    }
    m_best = cost;
    m_bestOpen = std::move(open);
    m_bestNext = next;
    const double bound = std::isfinite(m_rootBound) ? (m_rootBound - m_error) / m_scale : 0;
    m_deadline->report(m_best / m_scale, std::max(0.0, bound));
}

int DualSolver::changes(const std::vector<char>& used) const
{
    int count = 0;
    for (int t = 0; t < m_trains; ++t)
        count += (used[t] != 0) != (m_reference[t] != 0);
    return count;
}

DualSolver::Trains DualSolver::bitsOf(const std::vector<char>& set) const
{
    Trains bits;
    for (int t = 0; t < m_trains; ++t) {
        if (set[t])
            bits.set(t);
    }
    return bits;
}

// How many trains `used` has beyond the set kept out `set` when it is that
// set or it with one train more (0 or 1); -1 otherwise.
int DualSolver::beyondKept(const Trains& used, const Trains& set) const
{
    int more = 0;
    for (int w = 0; w < m_words; ++w) {
        if ((set.words[w] & ~used.words[w]) != 0)
            return -1;
        more += std::popcount(used.words[w] & ~set.words[w]);
    }
    return more > 1 ? -1 : more;
}

// Whether the trains are a set kept out, or one with one train more.
bool DualSolver::keptOut(const std::vector<char>& used) const
{
    if (m_excluded.empty())
        return false;
    const Trains bits = bitsOf(used);
    return std::any_of(m_excludedBits.begin(), m_excludedBits.end(),
                       [&](const Trains& set) { return beyondKept(bits, set) >= 0; });
}

// Whether a plan with these trains (those with cars and the forced ones)
// meets every rule.
bool DualSolver::meets(const std::vector<char>& used) const
{
    for (const auto& [station, limit] : m_limits) {
        int count = 0;
        for (int j = station + 1; j <= m_line.n; ++j)
            count += used[m_trainId[station][j]];
        if (count > limit)
            return false;
    }
    return (m_maxChanges < 0 || changes(used) <= m_maxChanges) && !keptOut(used);
}

// Drops, at a station with more trains than its limit, the train whose drop
// costs least, until every limit holds; then whether the plan meets the rules.
bool DualSolver::repair(std::vector<char>& used) const
{
    for (const auto& [station, limit] : m_limits) {
        for (;;) {
            int count = 0;
            for (int j = station + 1; j <= m_line.n; ++j)
                count += used[m_trainId[station][j]];
            if (count <= limit)
                break;
            double least = kInf;
            int drop = -1;
            for (int j = station + 1; j <= m_line.n; ++j) {
                const int t = m_trainId[station][j];
                if (!used[t] || m_forced.test(t))
                    continue;
                used[t] = 0;
                const double c = planCost(used, nullptr);
                used[t] = 1;
                if (c < least) {
                    least = c;
                    drop = t;
                }
            }
            if (drop < 0)
                return false;
            used[drop] = 0;
            planCost(used, &used);
        }
    }
    return meets(used);
}

void DualSolver::offer(std::vector<char> open, bool improving, bool anyCost)
{
    std::vector<char> used;
    double cost = planCost(open, &used);
    if (cost == kInf) {
        m_offered.clear();
        return;
    }
    m_offered = used;
    // Below the root only plans near the incumbent are worth improving.
    if (!anyCost && cost >= m_best * (m_nodes <= 1 ? 1.05 : 1.005) + 1)
        return;
    // Each set of trains with cars is improved once (under re-forming limits,
    // at the multipliers that route it).
    std::uint64_t hash = 1469598103934665603ULL;
    for (int t = 0; t < m_trains; ++t)
        hash = (hash ^ static_cast<std::uint64_t>(used[t])) * 1099511628211ULL;
    for (const Limit& limit : m_reforming)
        hash = (hash ^ std::bit_cast<std::uint64_t>(limit.mu)) * 1099511628211ULL;
    if (!m_tried.insert(hash).second)
        return;
    if (!meets(used) && !repair(used))
        return;
    open = used;
    if (improving)
        improve(open, cost);
    Next next{};
    if (!m_reforming.empty()) {
        // The plan made cheaper may break a limit that the plan offered meets.
        cost = limitedCost(open, &next);
        if (cost == kInf) {
            open = std::move(used);
            cost = limitedCost(open, &next);
        }
    }
    if (cost < m_best) {
        if (m_reforming.empty())
            limitedCost(open, &next);
        keep(std::move(open), cost, next);
    }
}

// Where the trains the train part picked (m_picked) are a set kept out (or
// it with one train more), the least that leaving it costs: dropping one of
// its free trains, or adding as many free trains as make two more; the most
// of that over the sets. m_picked becomes the set left to. Under limits on
// destinations a drop may let in a train the limit kept out: each change is
// priced at least 0 and at most its reduced cost.
double DualSolver::outOfKept()
{
    std::array<double, kDim> cut{}; // per station: the most a train kept out by its limit gains
    for (int t = 0; t < m_trains; ++t) {
        const double reduced = m_trainCm[t] - m_trainWeight[t];
        if (m_state[t] == Free && !m_picked[t] && reduced < 0)
            cut[m_trainOrigin[t]] = std::max(cut[m_trainOrigin[t]], -reduced);
    }
    double most = 0;
    int drop = -1, add1 = -1, add2 = -1;
    const Trains picked = bitsOf(m_picked);
    for (std::size_t s = 0; s < m_excluded.size(); ++s) {
        const std::vector<char>& set = m_excluded[s];
        const int more = beyondKept(picked, m_excludedBits[s]);
        if (more < 0)
            continue;
        // The cheapest drop, and the two cheapest trains to add.
        double least = kInf, first = kInf, second = kInf;
        int d = -1, a1 = -1, a2 = -1;
        for (int t = 0; t < m_trains; ++t) {
            if (m_state[t] != Free)
                continue;
            const double reduced = m_trainCm[t] - m_trainWeight[t];
            const double dropping = std::max(0.0, std::fabs(reduced) - cut[m_trainOrigin[t]]);
            const double adding = std::max(0.0, reduced);
            if (set[t] && dropping < least) {
                least = dropping;
                d = t;
            } else if (!set[t] && !m_picked[t]) {
                if (adding < first) {
                    second = first;
                    a2 = a1;
                    first = adding;
                    a1 = t;
                } else if (adding < second) {
                    second = adding;
                    a2 = t;
                }
            }
        }
        const double adding = more == 1 ? first : first + second;
        const double cost = std::min(least, adding);
        if (cost > most && cost != kInf) {
            most = cost;
            drop = least <= adding ? d : -1;
            add1 = least <= adding ? -1 : a1;
            add2 = least <= adding || more == 1 ? -1 : a2;
        } else if (cost == kInf) {
            return kInf; // no way out at these fixings
        }
    }
    for (const int t : {drop, add1, add2}) {
        if (t >= 0)
            m_picked[t] ^= 1;
    }
    return most;
}

// Whether a part of the search whose bound is `bound` may hold a plan
// cheaper than the incumbent (by a whole unit where costs are whole).
bool DualSolver::canBeat(double bound) const
{
    if (m_best == kInf)
        return true;
    if (m_whole)
        return bound - (1e-7 + 1e-12 * std::fabs(bound)) <= m_best - 1;
    return bound < m_best - 0.5 * kRelativeGap * std::fabs(m_best);
}

// Fixes the free trains the rules decide at the node (in `fixed`); false
// when the rules leave the node no plan.
bool DualSolver::propagate(std::vector<int>& fixed)
{
    const auto fix = [&](int t, State state) {
        m_state[t] = state;
        fixed.push_back(t);
    };
    for (bool again = true; again;) {
        again = false;
        for (const auto& [station, limit] : m_limits) {
            int open = 0;
            for (int j = station + 1; j <= m_line.n; ++j)
                open += m_state[m_trainId[station][j]] == Open;
            if (open > limit)
                return false;
            for (int j = station + 1; j <= m_line.n && open == limit; ++j) {
                if (m_state[m_trainId[station][j]] == Free)
                    fix(m_trainId[station][j], Closed);
            }
        }
        if (m_maxChanges >= 0) {
            int made = 0;
            for (int t = 0; t < m_trains; ++t)
                made += m_state[t] == (m_reference[t] ? Closed : Open);
            if (made > m_maxChanges)
                return false;
            for (int t = 0; t < m_trains && made == m_maxChanges; ++t) {
                if (m_state[t] == Free) {
                    fix(t, m_reference[t] ? Open : Closed);
                    again = again || m_reference[t];
                }
            }
        }
    }
    if (m_excluded.empty() || std::find(m_state.begin(), m_state.end(), Free) != m_state.end())
        return true;
    // Every train fixed: the open ones are the plan.
    std::vector<char> open(m_trains, 0);
    for (int t = 0; t < m_trains; ++t)
        open[t] = m_state[t] == Open;
    return !keptOut(open);
}

// Where the node's plan breaks a rule: a free train whose fixing mends it
// on the side tried first (`openFirst`); -1 when it breaks none.
int DualSolver::ruleBranch(bool& openFirst) const
{
    if (m_offered.empty() || meets(m_offered))
        return -1;
    int branch = -1;
    double closest = kInf;
    // Among the free trains that `involved` names, the one the multipliers
    // weigh least, mended by `open`.
    const auto choose = [&](const auto& involved, const auto& open) {
        for (int t = 0; t < m_trains; ++t) {
            if (m_state[t] != Free || !involved(t))
                continue;
            const double weight = std::fabs(m_trainCm[t] - m_trainWeight[t]);
            if (weight < closest) {
                closest = weight;
                branch = t;
                openFirst = open(t);
            }
        }
        return branch >= 0;
    };
    const auto closing = [](int) { return false; };
    for (const auto& [station, limit] : m_limits) {
        int count = 0;
        for (int j = station + 1; j <= m_line.n; ++j)
            count += m_offered[m_trainId[station][j]];
        if (count > limit &&
            choose([&, s = station](int t) { return m_trainOrigin[t] == s && m_offered[t]; },
                   closing))
            return branch;
    }
    if (m_maxChanges >= 0 && changes(m_offered) > m_maxChanges &&
        choose([&](int t) { return (m_offered[t] != 0) != (m_reference[t] != 0); },
               [&](int t) { return m_reference[t] != 0; }))
        return branch;
    if (choose([&](int t) { return m_offered[t] != 0; }, closing))
        return branch;
    choose([](int) { return true; }, [](int) { return true; });
    return branch;
}

// One node of the search at the current fixings, `share` of the whole
// search (halved at each branch and at each train fixed by the bound; 0 in
// the parts taken up from the last solve): false when it ends the search
// (node limit or deadline). Past the node limit the search goes on, up to
// kMostOverLimit times the limit, while the share it has settled says it
// would end by then.
bool DualSolver::node(double share)
{
    if (++m_nodes > m_nodeLimit && (m_nodes > kMostOverLimit * m_nodeLimit ||
                                    m_settled * static_cast<double>(kMostOverLimit * m_nodeLimit) <
                                        static_cast<double>(m_nodes))) {
        --m_nodes;
        m_aborted = true;
        m_abortKind = DualResult::NodeLimit;
        return false;
    }
    if (m_deadline->passed()) {
        m_aborted = true;
        m_abortKind = DualResult::Stopped;
        return false;
    }
    std::vector<int> fixed;
    const auto unfix = [&] {
        for (const int t : fixed)
            m_state[t] = Free;
    };
    std::vector<char> onPath(m_trains, 0);
    std::vector<double> opening, rise;
    // The rules' fixings, the bound, then reduced-cost fixing; again while
    // that fixes trains.
    for (int pass = 0;; ++pass) {
        if (!propagate(fixed)) {
            m_settled += share;
            unfix();
            return true;
        }
        if (!bound(!m_resumed && pass == 0 && m_nodes == 1, pass > 0)) {
            if (m_bound != kInf)
                leave(m_bound);
            m_settled += share;
            unfix();
            return true;
        }
        std::fill(onPath.begin(), onPath.end(), 0);
        for (std::size_t k = 0; k < m_flows.size(); ++k) {
            const int* path = m_pathArc.data() + m_pathStart[k];
            for (int s = 0; s < m_flows[k].nodes && path[s] >= 0; ++s)
                onPath[m_arcTrain[path[s]]] = 1;
        }
        const std::size_t before = fixed.size();
        flipCosts(opening, rise);
        for (int t = 0; t < m_trains; ++t) {
            if (m_state[t] != Free)
                continue;
            // At these multipliers, opening a train costs the Lagrangian its
            // reduced cost where above 0; closing it, the reduced cost where
            // below 0 and the rise of the chains that use it.
            const double reduced = m_trainCm[t] - m_trainWeight[t];
            const double opened = m_plainBound + std::max(0.0, reduced) + opening[t];
            const double closed = m_plainBound + std::max(0.0, -reduced) + rise[t];
            const bool openable = canBeat(opened), closable = canBeat(closed);
            if (openable && closable)
                continue;
            if (!openable && !closable) {
                discard(std::min(opened, closed));
                leave(std::min(opened, closed));
                m_settled += share;
                unfix();
                return true;
            }
            // The other side is a part of its own.
            share /= 2;
            m_settled += share;
            discard(openable ? closed : opened);
            m_state[t] = openable ? Closed : Open;
            leave(openable ? closed : opened);
            m_state[t] = openable ? Open : Closed;
            fixed.push_back(t);
        }
        if (fixed.size() == before)
            break;
        if (pass == 2) {
            if (!propagate(fixed)) {
                m_settled += share;
                unfix();
                return true;
            }
            break;
        }
    }
    // A search the first nodes do not end: a plan with a train more, and
    // trains dropped again, may be cheaper; so again from each cheaper plan
    // the search finds (on the lines the calculation takes, with no rule on
    // the trains and no factors: elsewhere, as in the variants and the
    // envelope, it costs more than the nodes it saves).
    if (m_best != m_addedBest && m_nodes >= kAddDropNode && m_line.n <= kMaxStations && !ruled() &&
        !m_factored) {
        addDrop();
        m_addedBest = m_best;
    }
    bool openFirst = false;
    int branch = ruleBranch(openFirst);
    if (branch < 0) {
        // The train whose fixing raises the bound most either way, as the
        // multipliers tell it (the less of what opening and closing it add),
        // is where the search splits. Among equal ones: a train the chains
        // use but the multipliers do not pay for, or one they pay for that
        // no chain uses, the one nearest to paid for first; within rounding
        // of 0 a train agrees with the chains either way, and among those
        // the ones paid for that no chain uses go first.
        double most = -kInf;
        std::pair<int, double> closest{3, kInf};
        for (int t = 0; t < m_trains; ++t) {
            if (m_state[t] != Free)
                continue;
            const double reduced = m_trainCm[t] - m_trainWeight[t];
            const double tolerance = 1e-9 * (1 + m_trainCm[t]);
            const bool used = onPath[t] != 0;
            const double raise =
                std::min(std::max(0.0, reduced) + opening[t], std::max(0.0, -reduced) + rise[t]);
            const double level = 1e-9 * (1 + std::fabs(raise));
            if (branch >= 0 && raise < most - level)
                continue;
            const int rank = (used ? reduced > tolerance : reduced < -tolerance) ? 0
                             : (reduced <= 0) != used                            ? 1
                                                                                 : 2;
            const std::pair<int, double> score{rank, std::fabs(reduced)};
            if (branch < 0 || raise > most + level || score < closest) {
                most = std::max(most, raise);
                closest = score;
                branch = t;
            }
        }
        if (branch >= 0)
            openFirst = m_trainCm[branch] <= m_trainWeight[branch] || onPath[branch];
    }
    bool going = true;
    if (branch >= 0) {
        for (int side = 0; side < 2 && going; ++side) {
            m_state[branch] = (side == 0) == openFirst ? Open : Closed;
            going = node(share / 2);
        }
        m_state[branch] = Free;
    } else {
        // Every train fixed: the plan of the open ones was offered (routed
        // another way it may meet the re-forming limits cheaper).
        discard(m_bound);
        leave(m_bound);
        m_settled += share;
        m_unresolved = m_unresolved || !m_reforming.empty();
    }
    unfix();
    return going;
}

// The node's bound at the current fixings (in m_bound), with the plan of
// the trains the multipliers pay for offered; false when the node holds no
// plan cheaper than the incumbent.
bool DualSolver::bound(bool root, bool again)
{
    m_nodeMultipliers.reset();
    for (std::size_t e = 0; e < m_arcTrain.size(); ++e) {
        if (m_state[m_arcTrain[e]] == Open && m_weight[e] != 0)
            setWeight(static_cast<int>(e), 0);
    }
    ascent();
    double value = lagrangian();
    m_bound = value;
    if (value == kInf)
        return false; // no plan at these fixings
    const bool warm = root && m_warmed;
    const bool hard = !m_limits.empty() || !m_reforming.empty();
    // A start plan far above the ascent's bound would aim the root's steps
    // too high: the ascent's own plan, improved, is offered first (not
    // under factors, where the start is the cheapest plan at a factor nearby).
    if (root && !m_factored && m_best - value > 0.05 * m_best)
        offer(multipliersPlan(), true, true);
    if (canBeat(value)) {
        // Rules on the trains and limits on re-forming leave the bound
        // further from the relaxation's: a root not started from multipliers
        // goes on longer. Below it, sets kept out take more steps, and so,
        // under factors (the envelope's solves), do trains just fixed by
        // reduced costs. A search past its first nodes is one the bound
        // does not close easily: its steps are shortened later and less.
        const int iterations = root ? (hard && !warm ? 300 : 100)
                                    : (m_excluded.empty() && !(again && m_factored) ? 40 : 60);
        subgradient(value, iterations, root ? hard : m_nodes > kThoroughNode);
    }
    m_bound = value;
    m_plainBound = std::min(value, m_plainValue);
    offer(multipliersPlan());
    // A root whose plans stay more than 1 % above its bound (as on lines of
    // tied costs, where the relaxation is far from whole) goes on for 200
    // steps more, shortened later and less: every node below it starts from
    // multipliers nearer the relaxation's bound.
    if (root && !hard && canBeat(value) && m_best - value > 0.01 * m_best) {
        subgradient(value, 200, true);
        m_bound = value;
        m_plainBound = std::min(value, m_plainValue);
    }
    if (root && trainRules()) {
        // The trains the train part chose meet the rules on changes and on
        // destinations, and leave the sets kept out: often the plan itself,
        // where the multipliers' own plan breaks a rule.
        std::vector<char> open(m_trains, 0);
        for (int t = 0; t < m_trains; ++t)
            open[t] = m_state[t] == Open || (m_state[t] == Free && m_picked[t]);
        offer(std::move(open));
    }
    if (root) {
        m_rootBound = value;
        m_root.weights = m_weight;
        m_root.reforming.clear();
        for (const Limit& limit : m_reforming)
            m_root.reforming[limit.station] = limit.mu;
        if (m_warm != nullptr)
            *m_warm = m_root;
    }
    if (!canBeat(value)) {
        discard(value);
        return false;
    }
    return true;
}

std::vector<char> DualSolver::multipliersPlan() const
{
    std::vector<char> open(m_trains, 0);
    for (int t = 0; t < m_trains; ++t)
        open[t] =
            m_state[t] == Open ||
            (m_state[t] == Free && m_trainWeight[t] >= m_trainCm[t] - 1e-9 * (1 + m_trainCm[t]));
    for (std::size_t k = 0; k < m_flows.size(); ++k) {
        const int* path = m_pathArc.data() + m_pathStart[k];
        for (int s = 0; s < m_flows[k].nodes && path[s] >= 0; ++s)
            open[m_arcTrain[path[s]]] = 1;
    }
    return open;
}

// Per free train, at the current multipliers, what the Lagrangian rises by
// beyond its reduced cost when the train is fixed: opened (its multipliers
// then at 0, the flows that had them on it take it where it is cheaper, each
// gaining at most its multiplier), or closed (the chains that use it rise;
// infinite where some flow is left no chain).
void DualSolver::flipCosts(std::vector<double>& opening, std::vector<double>& closing)
{
    closedCosts();
    opening.assign(m_trains, 0);
    closing.assign(m_trains, 0);
    // Room for the longest line, each element written before it is read.
    std::array<double, kDim> from, to, dist;
    std::array<int, kDim> rowStart;
    for (std::size_t k = 0; k < m_flows.size(); ++k) {
        const int m = m_flows[k].nodes;
        distances(static_cast<int>(k), from, to, rowStart);
        const double length = from[m - 1];
        for (int p = 0, e = rowStart[0]; p + 1 < m; ++p) {
            for (int q = p + 1; q < m; ++q, ++e) {
                if (m_weight[e] > 0 && m_state[m_arcTrain[e]] == Free)
                    opening[m_arcTrain[e]] +=
                        std::min(m_weight[e], std::max(0.0, from[p] + m_arcCost[e] + m_weight[e] +
                                                                to[q] - length));
            }
        }
        const int* path = m_pathArc.data() + m_pathStart[k];
        for (int s = 0; s < m && path[s] >= 0; ++s) {
            const int without = path[s];
            if (m_state[m_arcTrain[without]] != Free)
                continue;
            dist[0] = 0;
            for (int q = 1; q < m; ++q)
                dist[q] = kInf;
            for (int p = 0, e = rowStart[0]; p + 1 < m; ++p) {
                const double at = dist[p];
                for (int q = p + 1; q < m; ++q, ++e) {
                    const double skip = e == without ? kInf : m_closedCost[m_arcTrain[e]];
                    dist[q] = std::min(dist[q], at + m_arcCost[e] + m_weight[e] + skip);
                }
            }
            closing[m_arcTrain[without]] += dist[m - 1] - m_chainCost[k];
        }
    }
}

// The trains some cheapest plan has, open: where no rule counts or routes
// the plan's trains, a train whose Cm is 0 (added to any plan it lets each
// flow keep its chain or take a cheaper one, and only trains of the plan or
// itself carry cars). Whether it fixed any.
bool DualSolver::fixSure()
{
    if (ruled())
        return false;
    bool any = false;
    for (int t = 0; t < m_trains; ++t) {
        if (m_state[t] == Free && m_trainCm[t] == 0) {
            m_state[t] = Open;
            any = true;
        }
    }
    return any;
}

// Keeps the part of the search at the current fixings, discarded with its
// bound, for a later solve; past the most kept, none at all.
void DualSolver::leave(double bound)
{
    if (!m_keeping)
        return;
    if (m_nodeMultipliers == nullptr) {
        if (m_keptMultipliers == kMaxKeptMultipliers) {
            m_keeping = false;
            m_parts.clear();
            return;
        }
        auto at = std::make_shared<Multipliers>();
        at->weights = m_weight;
        for (const Limit& limit : m_reforming)
            at->mu.push_back(limit.mu);
        m_nodeMultipliers = std::move(at);
        ++m_keptMultipliers;
    }
    if (m_parts.size() == kMaxParts) {
        m_keeping = false;
        m_parts.clear();
        return;
    }
    m_parts.push_back(Part{m_state, bound, m_nodeMultipliers});
}

// Whether the last solve's parts cover every plan under these rules: it
// searched every part under the same rules with fewer sets kept out (and
// its trains fixed alike), and this solve starts from no multipliers given.
bool DualSolver::resumes(const DualRules& rules, const DualWarmStart* warm) const
{
    const DualRules& last = m_partsRules;
    if (!m_keeping || warm != nullptr || rules.forced != last.forced ||
        rules.forbidden != last.forbidden || rules.maxDestinations != last.maxDestinations ||
        rules.reference != last.reference || rules.maxChanges != last.maxChanges ||
        rules.maxReprocessed != last.maxReprocessed ||
        rules.reformingFactor != last.reformingFactor)
        return false;
    return std::all_of(last.excluded.begin(), last.excluded.end(), [&](const TrainSet& set) {
        return std::find(rules.excluded.begin(), rules.excluded.end(), set) != rules.excluded.end();
    });
}

// Searches the last solve's parts (m_parts) its incumbent may beat, lowest
// bound first; those it may not stay parts of this one. False when the
// search ends first.
bool DualSolver::resume()
{
    std::vector<Part> parts = std::move(m_parts);
    m_parts.clear();
    std::sort(parts.begin(), parts.end(),
              [](const Part& a, const Part& b) { return a.bound < b.bound; });
    std::unordered_set<const Multipliers*> kept;
    for (const Part& part : parts)
        kept.insert(part.at.get());
    m_keptMultipliers = kept.size();
    m_rootBound = parts.empty() ? kInf : parts.front().bound;
    const std::vector<State> base = m_state;
    bool going = true;
    for (Part& part : parts) {
        if (!going || !canBeat(part.bound)) {
            discard(part.bound);
            if (m_keeping)
                m_parts.push_back(std::move(part));
            continue;
        }
        m_state = part.state;
        setWeights(part.at->weights);
        for (std::size_t l = 0; l < m_reforming.size(); ++l)
            setMu(static_cast<int>(l), part.at->mu[l]);
        // The multipliers it was left with, at its fixings and under the
        // sets kept out since, often settle it without a node.
        const double value = lagrangian();
        if (value == kInf)
            continue; // no plan there
        if (!canBeat(value)) {
            discard(value);
            part.bound = std::max(part.bound, value);
            if (m_keeping)
                m_parts.push_back(std::move(part));
            continue;
        }
        going = node(0);
    }
    m_state = base;
    return going;
}

void DualSolver::setWeights(const std::vector<double>& weights)
{
    m_weight = weights;
    std::fill(m_trainWeight.begin(), m_trainWeight.end(), 0.0);
    for (std::size_t e = 0; e < m_arcTrain.size(); ++e)
        m_trainWeight[m_arcTrain[e]] += m_weight[e];
}

DualResult DualSolver::solve(const TrainSet& start, const Deadline& deadline, long nodeLimit,
                             const DualRules& rules, DualWarmStart* warm)
{
    m_deadline = &deadline;
    m_warm = warm;
    m_unresolved = false;
    m_freeBest = kInf;
    m_bestNext = Next{};
    m_nodeLimit = nodeLimit;
    m_nodes = 0;
    m_settled = 0;
    m_aborted = false;
    m_best = kInf;
    m_bestOpen.clear();
    m_floor = kInf;
    m_rootBound = m_bound = m_plainBound = -kInf;
    m_tried.clear();
    m_addedBest = -kInf;
    m_forced = Trains{};
    m_state.assign(m_trains, Free);
    m_picked.assign(m_trains, 0);
    m_limits.assign(rules.maxDestinations.begin(), rules.maxDestinations.end());
    m_maxChanges = rules.maxChanges;
    m_reference.assign(m_trains, 0);
    m_excluded.assign(rules.excluded.size(), std::vector<char>(m_trains, 0));
    DualResult result;
    double forcedCost = 0;
    for (int t = 0; t < m_trains; ++t) {
        const int i = m_trainOrigin[t];
        const int j = m_trainDestination[t];
        m_reference[t] = rules.reference[i][j];
        for (std::size_t s = 0; s < rules.excluded.size(); ++s)
            m_excluded[s][t] = rules.excluded[s][i][j];
        if (rules.forbidden[i][j]) {
            m_state[t] = Closed;
        } else if (rules.forced[i][j]) {
            m_state[t] = Open;
            m_forced.set(t);
            forcedCost += m_trainCm[t];
        }
    }
    m_excludedBits.clear();
    for (const std::vector<char>& set : m_excluded)
        m_excludedBits.push_back(bitsOf(set));
    price(rules);
    m_resumed = resumes(rules, warm);
    if (!m_resumed)
        m_parts.clear();
    m_keptMultipliers = 0;
    // Trains fixed because some cheapest plan has them leave the parts short
    // of other plans.
    m_keeping = !fixSure() && m_narrowing;
    if (!m_keeping)
        m_parts.clear();
    m_resumed = m_resumed && m_keeping;
    // The multipliers given, else the last root's where its trains were fixed alike.
    if (m_rootState != m_state)
        m_root = DualWarmStart{};
    const DualWarmStart& from = warm != nullptr && !warm->weights.empty() ? *warm : m_root;
    m_warmed = from.weights.size() == m_arcTrain.size();
    std::vector<double> weights(m_arcTrain.size(), 0.0);
    for (std::size_t e = 0; e < weights.size() && m_warmed; ++e)
        weights[e] = std::max(0.0, from.weights[e]);
    setWeights(weights);
    for (std::size_t l = 0; l < m_reforming.size() && m_warmed; ++l) {
        const auto at = from.reforming.find(m_reforming[l].station);
        if (at != from.reforming.end())
            setMu(static_cast<int>(l), std::max(0.0, at->second));
    }
    m_rootState = m_state;
    std::vector<char> open(m_trains, 0);
    for (int t = 0; t < m_trains; ++t)
        open[t] = m_state[t] == Open ||
                  (m_state[t] == Free && start[m_trainOrigin[t]][m_trainDestination[t]]);
    // Under factors (the envelope's solves) the start is the cheapest plan at
    // a factor nearby: dropping trains from it seldom pays for its pricing.
    offer(open, !m_factored);
    const std::vector<std::vector<char>> pool = m_pool;
    for (const std::vector<char>& plan : pool) {
        for (int t = 0; t < m_trains; ++t)
            open[t] = m_state[t] == Open || (m_state[t] == Free && plan[t]);
        offer(open);
    }
    // Every train not closed covers every flow, if any plan does.
    std::vector<char> all(m_trains, 0);
    for (int t = 0; t < m_trains; ++t)
        all[t] = m_state[t] != Closed;
    m_target = planCost(all, nullptr);
    if (m_best == kInf)
        offer(all);
    if (m_flows.empty()) {
        std::vector<char> forced(m_trains, 0);
        for (int t = 0; t < m_trains; ++t)
            forced[t] = m_state[t] == Open;
        result.kind = meets(forced) ? DualResult::Proven : DualResult::Infeasible;
        if (result.kind == DualResult::Proven) {
            m_best = forcedCost;
            m_bestOpen = forced;
        }
    } else if (m_target == kInf) {
        result.kind = DualResult::Uncovered;
    } else if (m_resumed ? resume() : node(1)) {
        // Under re-forming limits the search may end with no plan found or
        // some part of it not settled: not proven.
        const bool open = m_unresolved || (m_best == kInf && !m_reforming.empty());
        result.kind = open             ? DualResult::NodeLimit
                      : m_best == kInf ? DualResult::Infeasible
                                       : DualResult::Proven;
    } else {
        result.kind = m_abortKind;
    }
    m_keeping = m_keeping && result.kind == DualResult::Proven && !m_flows.empty();
    if (m_keeping)
        m_partsRules = rules;
    else
        m_parts.clear();
    result.nodes = m_nodes;
    result.hasPlan = m_best != kInf;
    if (result.hasPlan) {
        for (int t = 0; t < m_trains; ++t)
            result.open[m_trainOrigin[t]][m_trainDestination[t]] = m_bestOpen[t] != 0;
        result.cost = m_best / m_scale;
        result.next = m_bestNext;
    }
    double bound = 0;
    if (result.kind == DualResult::Proven)
        bound = m_whole ? m_best : std::min(m_best, m_floor);
    else if (std::isfinite(m_rootBound))
        bound = m_whole ? std::ceil(m_rootBound - (1e-7 + 1e-12 * std::fabs(m_rootBound)))
                        : m_rootBound;
    result.bound = std::max(0.0, bound / m_scale - m_error / m_scale);
    return result;
}

DualRules rulesOf(const Conditions& conditions)
{
    DualRules rules;
    for (const auto& [i, j] : conditions.forced)
        rules.forced[i][j] = true;
    for (const auto& [i, j] : conditions.forbidden)
        rules.forbidden[i][j] = true;
    rules.maxDestinations = conditions.maxDestinations;
    rules.maxReprocessed = conditions.maxReprocessed;
    return rules;
}

DualSearch::DualSearch(const Line& line, bool narrowing)
    : m_solver(std::make_unique<DualSolver>(line, narrowing))
{
}

DualSearch::~DualSearch() = default;

void DualSearch::forget()
{
    m_solver->forget();
}

DualResult DualSearch::solve(const TrainSet& start, const Deadline& deadline, long nodeLimit,
                             const DualRules& rules, DualWarmStart* warm)
{
    return m_solver->solve(start, deadline, nodeLimit, rules, warm);
}

DualResult solveByDualAscent(const Line& line, const TrainSet& start, const Deadline& deadline,
                             long nodeLimit, const DualRules& rules, DualWarmStart* warm)
{
    return DualSearch(line, false).solve(start, deadline, nodeLimit, rules, warm);
}

} // namespace zeltrac::optimum::detail
