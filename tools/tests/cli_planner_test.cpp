#include <QFileInfo>

#include "cli_run.h"

using namespace zeltrac::clitest;
using Json = nlohmann::json;

namespace {

QString written(const QTemporaryDir& dir, const char* name, const char* text)
{
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

} // namespace

// The plan in force with its ladder in "exact", the envelope at the top, the chart on disk.
TEST(CliPlanner, CurrentChangesAndStabilityInTheJson)
{
    QTemporaryDir dir;
    const QString plan = written(dir, "line8.план.json", R"({"trains": [[1, 8], [2, 5]]})");
    const QString chart = dir.filePath("chart.svg");
    const CliRun run = runCli({"--exact", "--json", "--current", plan, "--changes", "3",
                               "--stability", "from:2", "--range", "0.5:2", "--svg-stability",
                               chart, "--decimal-separator", ".", example("line8.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    const Json json = run.json();
    const Json& exact = json.at("exact");
    const double current = exact.at("current").at("cost").get<double>();
    EXPECT_EQ(exact.at("current").at("totals").size(), 5u);
    double before = current;
    for (const Json& step : exact.at("changes")) {
        EXPECT_LE(step.at("cost").get<double>(), before);
        EXPECT_GE(step.at("cost").get<double>(), exact.at("cost").get<double>());
        EXPECT_LE(step.at("added").size() + step.at("removed").size(), step.at("k").get<size_t>());
        before = step.at("cost").get<double>();
    }
    const Json& stability = json.at("stability");
    EXPECT_EQ(stability.at("scope"), "from:2");
    EXPECT_EQ(stability.at("range"), Json::parse("[0.5, 2]"));
    const Json& pieces = stability.at("pieces");
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(pieces.front().at("from"), 0.5);
    EXPECT_EQ(pieces.back().at("to"), 2);
    EXPECT_TRUE(stability.at("fixed").contains("cost_from"));
    EXPECT_GT(QFileInfo(chart).size(), 1000);
}

TEST(CliPlanner, BadPlanScopeOrRangeExitWithTwoAndSayWhy)
{
    QTemporaryDir dir;
    const QString outside = written(dir, "outside.json", R"({"trains": [[1, 9]]})");
    const QString bad = written(dir, "bad.json", R"({"trains": [[1]]})");
    const QString data = example("line8.dat");
    const struct
    {
        QStringList arguments;
        std::string message;
    } cases[] = {
        {{"--exact", "--current", outside, data},
         "Поезд 1-9 действующего плана: станция вне линии (станции линии: 1..8)."},
        {{"--exact", "--current", bad, data},
         "Файл плана: \"trains\": поезд задается парой станций, а не [1] (" + bad.toStdString() +
             ")."},
        {{"--exact", "--stability", "flow:5-2", data},
         "Область потоков: потока 5-2 на линии нет (станции линии: 1..8)."},
        {{"--exact", "--stability", "all", "--range", "1", data},
         "Неверный диапазон коэффициента изменения потоков \"1\" (нужно НИЖНИЙ:ВЕРХНИЙ, 0 < "
         "НИЖНИЙ < ВЕРХНИЙ, например 0.5:1.5)."},
        {{"--changes", "2", data}, "Параметр --changes действует только вместе с --exact."},
        {{"--exact", "--range", "1:2", data},
         "Параметр --range действует только вместе с --stability."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.error().substr(0, run.error().find('\n')), c.message);
    }
}
