#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "optimum/planner.h"

namespace zeltrac {
class Workbook;
}

// The plan in force, its best changes and the stability of a plan, for
// zeltrac-cli: --current, --changes, --stability, --range, --svg-stability.
namespace zeltrac::cli {

struct PlannerOptions
{
    std::optional<std::vector<optimum::TrainPair>> current;          // --current: the plan in force
    int changes = 0;                                                 // --changes (0: no ladder)
    std::optional<optimum::Scope> stability;                         // --stability
    double low = optimum::kDefaultLow, high = optimum::kDefaultHigh; // --range
    QString svgStability;                                            // --svg-stability
    bool any() const { return changes > 0 || stability.has_value(); }
};

struct PlannerOptionSet
{
    QCommandLineOption current{QStringLiteral("current"), QString(), QStringLiteral("file")};
    QCommandLineOption changes{QStringLiteral("changes"), QString(), QStringLiteral("count")};
    QCommandLineOption stability{QStringLiteral("stability"), QString(), QStringLiteral("scope")};
    QCommandLineOption range{QStringLiteral("range"), QString(), QStringLiteral("lo:hi")};
    QCommandLineOption svgStability{QStringLiteral("svg-stability"), QString(),
                                    QStringLiteral("file")};
    QList<QCommandLineOption> all() const
    {
        return {current, changes, stability, range, svgStability};
    }
};

// Reads the options (`exact`: --exact given). False with the reason when
// one is wrong or unreadable (exit status 2).
bool readPlannerOptions(const QCommandLineParser& parser, const PlannerOptionSet& set, bool exact,
                        PlannerOptions& options, QString& problem);

// The reason the plan's trains or the scope do not fit the line of the data
// file, or the empty text (also when the file cannot be loaded).
QString plannerProblem(const QString& dataFile, const PlannerOptions& options);

struct PlannerOutcome
{
    std::optional<optimum::Ladder> ladder;
    std::optional<optimum::Stability> stability;
};

// Runs the ladder and the envelope by the session's analysis job with the
// solver chosen (the plan in force, or else the optimum at g = 1, held fixed)
// and writes the chart. Throws zeltrac::Error when the chart cannot be written.
PlannerOutcome runPlanner(const PlannerOptions& options, Workbook& workbook,
                          double timeLimitSeconds, optimum::Solver solver);

// Adds "current" and "changes" to json["exact"] and the top-level "stability".
void addPlannerJson(nlohmann::ordered_json& json, const PlannerOutcome& outcome, int stationCount);
// The text lines after the report.
std::vector<std::string> plannerLines(const PlannerOutcome& outcome);

} // namespace zeltrac::cli
