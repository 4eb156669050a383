#pragma once

#include <string>
#include <vector>

#include "calc/plan.h"
#include "optimum/conditions.h"
#include "optimum/exact.h"

// The planner's questions about the plan the railway runs: what it costs, the
// cheapest plans within a few changes of it, and over what growth or fall of
// the flows a plan stays the cheapest.
namespace zeltrac::optimum {

// ---- The plan in force -------------------------------------------------

// The plan file: {"trains": [[1, 8], [2, 5]]}, the through trains in force.
// Reads the JSON text: empty text or the reason; never throws.
std::string readPlan(const std::string& text, std::vector<TrainPair>& trains);
// The JSON text of the trains (readPlan gives them back equal).
std::string writePlan(const std::vector<TrainPair>& trains);
// Reads the file NAME.план.json with the limits of readJsonFile: empty text or
// the whole message naming the file.
std::string loadPlanFile(const std::string& path, std::vector<TrainPair>& trains);
// The plan file beside a data file: "line.dat" -> "line.план.json".
std::string planFileFor(const std::string& dataFile);

// The reason a train does not fit a line of n stations, or the empty text.
std::string checkPlan(const std::vector<TrainPair>& trains, int n);

// The local trains of the completion: from each station to every station up
// to the next one that re-forms cars (the last station when none does).
std::vector<TrainPair> completionTrains(const CalcInput& input);

struct PlanInForce
{
    // Why the plan could not be evaluated (the input outside the model, a
    // train off the line); empty otherwise.
    std::string message;
    std::vector<TrainPair> through; // as given, by origin then destination
    Variant plan;                   // the trains with cars, indicators, cost
    // Given trains no flow can use (the stations between do not re-form
    // cars), and given trains that carry no cars because cheaper chains exist.
    std::vector<TrainPair> unusable;
    std::vector<TrainPair> idle;
    bool valid() const { return message.empty(); }
};

// The plan of the through trains completed with the local trains, each flow
// on its cheapest chain. Never throws.
PlanInForce evaluatePlanInForce(const CalcInput& input, const std::vector<TrainPair>& through);

// The through trains of a plan (trains reaching at least two stations on).
std::vector<TrainPair> throughTrainsOf(const std::vector<FixedTrain>& trains);

// The through trains of a plan's texts ((N-1) x (N-1), laid out like the
// calculated plan).
std::vector<TrainPair> throughTrainsOfPlan(const TextTable& plan, int n);

// "поезд 2-5 действующего плана не может взять ни один поток"
std::string describeUnusable(const TrainPair& train);

// ---- The best changes --------------------------------------------------

inline constexpr int kDefaultChanges = 5;
inline constexpr int kMaxChanges = 30;

// "+1→8, −2→5"
std::string describeChanges(const std::vector<TrainPair>& added,
                            const std::vector<TrainPair>& removed);

struct LadderStep
{
    int k = 0;
    // The cheapest plan within k changes (solution.best) with its own status.
    Solution solution;
    std::vector<TrainPair> added, removed; // against the plan in force
    // Saving against the plan in force, and its share of the whole possible
    // saving (0..1; 1 when there is nothing to save).
    double saving() const;
    double share() const;
    double currentCost = 0;
    double optimumCost = 0;
};

struct Ladder
{
    CallStatus call = CallStatus::Completed;
    std::string message; // why there is no ladder (the plan, the input, the conditions)
    PlanInForce current;
    Solution optimum; // the cheapest plan under the conditions
    std::vector<LadderStep> steps;
    bool optimumReached = false; // the last step is the optimum: the ladder stopped there
    int distance = -1;           // trains in which the plan in force and the optimum differ
    int solves = 0;              // exact solves of the steps
    double seconds = 0;
};

// The cheapest plan under the conditions that differs from the plan in force
// in at most k trains, for k = 1..maxChanges (clamped to 1..kMaxChanges), each
// proven like the optimum; stops once a step reaches the optimum. A change
// adds or removes one train (local trains included); a plan's trains are the
// ones with cars and the required ones. The time limit holds for each solve;
// cancelling ends the ladder. Never throws.
Ladder changeLadder(const CalcInput& input, const CalculatedPlan& calculated,
                    const Conditions& conditions, const std::vector<TrainPair>& through,
                    int maxChanges, const Options& options = {});

// ---- How long a plan holds ---------------------------------------------

// The flows multiplied by the factor g.
struct Scope
{
    enum class Kind
    {
        All,  // every flow
        From, // the flows leaving station `origin`
        Flow, // the flow from `origin` to `destination`
    };
    Kind kind = Kind::All;
    int origin = 0;
    int destination = 0;
    bool contains(int a, int b) const;
    bool operator==(const Scope&) const = default;
};

// "all", "from:S", "flow:A-B": empty text or the reason.
std::string parseScope(const std::string& text, Scope& scope);
std::string scopeText(const Scope& scope);
// "все потоки", "потоки со станции 3", "поток 2-7".
std::string describeScope(const Scope& scope);
std::string checkScope(const Scope& scope, int n);
// "LO:HI" with 0 < LO < HI: empty text or the reason.
std::string parseRange(const std::string& text, double& low, double& high);

inline constexpr double kDefaultLow = 0.5;
inline constexpr double kDefaultHigh = 1.5;

// A plan's cost over g: a + g * b.
struct CostLine
{
    long double a = 0;
    long double b = 0;
    double at(double g) const { return static_cast<double>(a + g * b); }
};

// A range of g over which one set of trains is the cheapest.
struct StabilityPiece
{
    double from = 0, to = 0;
    CostLine cost;
    std::vector<FixedTrain> trains; // at g = 1 cars, by origin then destination
    // Against the piece before (none for the first).
    std::vector<TrainPair> added, removed;
};

struct Stability
{
    CallStatus call = CallStatus::Completed;
    ModelStatus model = ModelStatus::NotCovered; // Optimal: every solve proven
    std::string message;
    Scope scope;
    double low = kDefaultLow, high = kDefaultHigh;
    std::vector<StabilityPiece> pieces; // in order of g, covering the range
    std::vector<FixedTrain> fixedTrains;
    CostLine fixed; // the cost of the fixed plan
    int solves = 0;
    double seconds = 0;

    // The envelope's cost at g (within the range).
    double optimalCost(double g) const;
};

// The optimal cost as the scoped flows are multiplied by g over [low, high],
// found as the lower envelope of the plans' cost lines by exact solves at
// g = 1 (or the middle of the range), at the ends and at the crossings, and
// the cost of the fixed plan over the range (with no fixed plan given, the
// optimum at g = 1 is held fixed).
// The conditions hold but for the re-forming limits, which are set aside.
// The time limit holds for each solve. Never throws.
Stability stabilityOf(const CalcInput& input, const Conditions& conditions, const Scope& scope,
                      double low, double high, const std::vector<FixedTrain>& fixedPlan,
                      const Options& options = {});

} // namespace zeltrac::optimum
