// zeltrac-cli --exact: the "exact" object of the JSON output, the section
// after the report, the time limit and the exit status.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "cli_run.h"

using Json = nlohmann::json;
using zeltrac::clitest::CliRun;
using zeltrac::clitest::example;
using zeltrac::clitest::writeDataFile;

namespace {

// The exact section's texts are checked under a UTF-8 locale.
CliRun runCli(const QStringList& arguments)
{
    return zeltrac::clitest::runCli(arguments, QStringLiteral("C.UTF-8"));
}

// The five-station line whose calculated plan costs 75 car-hours and whose
// cheapest plan costs 46, as a data file.
QString writeDearLine(const QTemporaryDir& dir)
{
    return writeDataFile(dir, "dear.dat",
                         {"5", "8", "3", "8", "2", "",  "0", "1", "2", "2", "", "4", "2", "2",
                          "8", "9", "2", "2", "",  "3", "5", "",  "",  "4", "", "",  ""});
}

// Checks what every solved "exact" object must hold, against the input's
// own calculated plan: the routed trains add up to the plan texts, and the
// totals are the column sums of the indicators.
void expectConsistent(const Json& result)
{
    const Json& exact = result.at("exact");
    const int n = result.at("stations").get<int>();
    const Json& plan = exact.at("plan");
    ASSERT_EQ(plan.size(), std::size_t(n - 1));
    std::map<std::pair<int, int>, int> cars;
    for (const Json& train : exact.at("trains")) {
        const int origin = train.at("origin").get<int>();
        const int destination = train.at("destination").get<int>();
        EXPECT_LT(origin, destination);
        EXPECT_GT(train.at("cars").get<int>(), 0);
        cars[{origin, destination}] += train.at("cars").get<int>();
    }
    // Cell (c, r) is origin c+1, destination N-r: a train's cars there, the
    // empty text or "0" elsewhere.
    for (int r = 0; r < n - 1; ++r) {
        ASSERT_EQ(plan[r].size(), std::size_t(n - 1));
        for (int c = 0; c < n - 1; ++c) {
            const std::string text = plan[r][c].get<std::string>();
            const auto found = cars.find({c + 1, n - r});
            if (found != cars.end())
                EXPECT_EQ(text, std::to_string(found->second)) << r << "," << c;
            else
                EXPECT_TRUE(text.empty() || text == "0") << r << "," << c << ": " << text;
        }
    }
    const Json& indicators = exact.at("indicators");
    ASSERT_EQ(indicators.size(), std::size_t(n - 1));
    const Json& totals = exact.at("totals");
    ASSERT_EQ(totals.size(), 5u);
    for (int element = 0; element < 5; ++element) {
        double sum = 0;
        for (const Json& row : indicators)
            sum += row.at(element + 1).get<double>();
        EXPECT_NEAR(totals[element].get<double>(), sum, 1e-6) << element;
    }
    // Each station's destinations: the trains formed there.
    for (int station = 1; station <= n - 1; ++station) {
        int formed = 0;
        for (const auto& [train, count] : cars)
            formed += train.first == station ? 1 : 0;
        EXPECT_EQ(indicators[station - 1].at(1).get<double>(), formed) << station;
    }
    EXPECT_EQ(exact.at("cost").get<double>(), totals[4].get<double>());
    EXPECT_LE(exact.at("bound").get<double>(), exact.at("cost").get<double>());
    EXPECT_LE(exact.at("cost").get<double>(), result.at("totals")[4].get<double>());
    EXPECT_GE(exact.at("seconds").get<double>(), 0);
}

} // namespace

TEST(CliExact, JsonObjectOfTheExampleLine)
{
    const CliRun run =
        runCli({QStringLiteral("--exact"), QStringLiteral("--json"),
                QStringLiteral("--decimal-separator"), QStringLiteral("."), example("line8.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Json result = run.json();
    ASSERT_TRUE(result.contains("exact"));
    const Json& exact = result.at("exact");
    EXPECT_EQ(exact.at("status"), "optimal");
    EXPECT_TRUE(exact.at("message").is_null());
    // The calculated plan of this line costs 10299.5 car-hours; the optimum 9649.
    EXPECT_EQ(result.at("totals")[4].get<double>(), 10299.5);
    EXPECT_EQ(exact.at("cost").get<double>(), 9649);
    EXPECT_EQ(exact.at("bound").get<double>(), 9649);
    expectConsistent(result);
    // The calculated plan's part of the object is as without --exact.
    const CliRun plain = runCli({QStringLiteral("--json"), QStringLiteral("--decimal-separator"),
                                 QStringLiteral("."), example("line8.dat")});
    Json withoutExact = result;
    withoutExact.erase("exact");
    EXPECT_EQ(withoutExact, plain.json());
}

TEST(CliExact, JsonObjectWhereTheCalculatedPlanIsNotTheCheapest)
{
    QTemporaryDir dir;
    const CliRun run =
        runCli({QStringLiteral("--exact"), QStringLiteral("--json"),
                QStringLiteral("--decimal-separator"), QStringLiteral("."), writeDearLine(dir)});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Json result = run.json();
    EXPECT_EQ(result.at("totals")[4].get<double>(), 75);
    const Json& exact = result.at("exact");
    EXPECT_EQ(exact.at("status"), "optimal");
    EXPECT_EQ(exact.at("cost").get<double>(), 46);
    const Json trains = Json::parse(R"([
        {"origin": 1, "destination": 2, "cars": 11}, {"origin": 1, "destination": 4, "cars": 9},
        {"origin": 2, "destination": 3, "cars": 8}, {"origin": 2, "destination": 4, "cars": 2},
        {"origin": 2, "destination": 5, "cars": 6}, {"origin": 3, "destination": 4, "cars": 4},
        {"origin": 4, "destination": 5, "cars": 10}])");
    EXPECT_EQ(exact.at("trains"), trains);
    expectConsistent(result);
}

TEST(CliExact, TimeLimitReachedGivesTheBestPlanAndABound)
{
    const CliRun run =
        runCli({QStringLiteral("--exact"), QStringLiteral("--json"), QStringLiteral("--time-limit"),
                QStringLiteral("1e-9"), QStringLiteral("--decimal-separator"), QStringLiteral("."),
                example("line8.dat")});
    // The optimum's outcome leaves the exit status as it is.
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Json result = run.json();
    const Json& exact = result.at("exact");
    EXPECT_EQ(exact.at("status"), "time_limit");
    EXPECT_TRUE(exact.at("message").is_null());
    EXPECT_LT(exact.at("bound").get<double>(), exact.at("cost").get<double>());
    expectConsistent(result);
}

TEST(CliExact, OutsideTheModelIsReportedAndTheExitStatusStays)
{
    // A negative Cm: the calculation takes it, the exact model does not.
    QTemporaryDir dir;
    const QString path = writeDataFile(
        dir, "negative.dat", {"3", "500", "-450", "520", "3", "4", "2", "120", "80", "60", ""});
    const CliRun run = runCli({QStringLiteral("--exact"), QStringLiteral("--json"),
                               QStringLiteral("--decimal-separator"), QStringLiteral("."), path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Json result = run.json();
    EXPECT_EQ(result.at("status"), "ok");
    const Json& exact = result.at("exact");
    EXPECT_EQ(exact.at("status"), "not_covered");
    ASSERT_TRUE(exact.at("message").is_string());
    EXPECT_FALSE(exact.at("message").get<std::string>().empty());
    EXPECT_EQ(exact.at("trains"), Json::array());
    EXPECT_EQ(exact.at("indicators"), Json::array());

    const CliRun text = runCli({QStringLiteral("--exact"), QStringLiteral("--decimal-separator"),
                                QStringLiteral("."), path});
    EXPECT_EQ(text.exitCode, 0);
    const QStringList lines = text.lines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.back(), QStringLiteral("Статус: Точный оптимум не найден: ") +
                                QString::fromStdString(exact.at("message").get<std::string>()));
}

TEST(CliExact, NoPlanMeansNoExactObjectAndTheFailureStatus)
{
    QTemporaryDir dir;
    const QString path =
        writeDataFile(dir, "empty.dat", {"3", "", "", "", "", "", "", "", "", "", ""});
    const CliRun run = runCli({QStringLiteral("--exact"), QStringLiteral("--json"), path});
    EXPECT_EQ(run.exitCode, 1);
    const Json result = run.json();
    EXPECT_EQ(result.at("status"), "no_data");
    EXPECT_TRUE(result.at("exact").is_null());
}

TEST(CliExact, TextSectionFollowsTheUnchangedReport)
{
    QTemporaryDir dir;
    const QString path = writeDearLine(dir);
    const QStringList common = {QStringLiteral("--decimal-separator"), QStringLiteral("."),
                                QStringLiteral("--operator"), QStringLiteral("Тест"), path};
    const CliRun plain = runCli(common);
    const CliRun exact = runCli(QStringList{QStringLiteral("--exact")} + common);
    ASSERT_EQ(plain.exitCode, 0);
    ASSERT_EQ(exact.exitCode, 0);
    const QStringList before = plain.lines();
    const QStringList after = exact.lines();
    ASSERT_GT(after.size(), before.size());
    // The report's date line may differ by a second between the runs.
    for (int i = 0; i < before.size(); ++i) {
        if (before[i].startsWith(QStringLiteral("С ПРИЛОЖЕНИЕМ РАБОТАЕТ:")))
            continue;
        EXPECT_EQ(after[i], before[i]) << i;
    }
    const QStringList section = after.mid(before.size());
    const QStringList expectedStart = {
        QString(),
        QStringLiteral("ТОЧНЫЙ ОПТИМУМ"),
        QString(),
        QStringLiteral("Статус: Оптимум доказан"),
        QString(),
        QStringLiteral("          0     6     0    10"),
        QStringLiteral("          9     2     4"),
        QStringLiteral("          0     8"),
        QStringLiteral("         11"),
    };
    ASSERT_GE(section.size(), expectedStart.size());
    EXPECT_EQ(section.mid(0, expectedStart.size()), expectedStart);
    EXPECT_TRUE(section.contains(QStringLiteral("Рассчитанный план, ваг.-ч: 75.00")));
    EXPECT_TRUE(section.contains(QStringLiteral("Точный оптимум, ваг.-ч:    46.00")));
    EXPECT_TRUE(section.contains(QStringLiteral("Экономия, ваг.-ч:          29.00 (38.67 %)")));
    EXPECT_TRUE(section.back().startsWith(QStringLiteral("Время решения, с: ")));
}

TEST(CliExact, TimeLimitValidation)
{
    for (const char* bad : {"0", "-1", "abc", "1,5", "86401", "nan", "inf", ""}) {
        const CliRun run = runCli({QStringLiteral("--exact"), QStringLiteral("--time-limit"),
                                   QString::fromLatin1(bad), example("line8.dat")});
        EXPECT_EQ(run.exitCode, 2) << bad;
        EXPECT_TRUE(run.out.isEmpty()) << bad;
        const QString error = QString::fromUtf8(run.err);
        EXPECT_TRUE(error.startsWith(QStringLiteral("Неверный предел времени: \"") +
                                     QString::fromLatin1(bad) + QStringLiteral("\".\n")))
            << bad << ": " << error.toStdString();
    }
    const CliRun twice =
        runCli({QStringLiteral("--time-limit"), QStringLiteral("1"), QStringLiteral("--time-limit"),
                QStringLiteral("2"), example("line8.dat")});
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(twice.err).startsWith(
        QStringLiteral("Параметр --time-limit указан более одного раза.")));
    const CliRun missing = runCli({QStringLiteral("--exact"), QStringLiteral("--time-limit")});
    EXPECT_EQ(missing.exitCode, 2);
    // Accepted at the edges, with or without --exact.
    for (const char* good : {"0.5", "86400", "1e-9"}) {
        const CliRun run = runCli({QStringLiteral("--time-limit"), QString::fromLatin1(good),
                                   QStringLiteral("--decimal-separator"), QStringLiteral("."),
                                   example("three-stations.dat")});
        EXPECT_EQ(run.exitCode, 0) << good << ": " << run.err.toStdString();
    }
}

// Conditions and variants reach the "exact" object: the first variant is the
// optimum under the conditions, the next ones cost no less, and conditions no
// plan meets give "infeasible" with the reason, the exit status unchanged.
TEST(CliExact, ConditionsAndVariantsReachTheJsonObject)
{
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const char* text) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    };
    const QString forced = write("forced.json", R"({"forced": [[1, 8]]})");
    const CliRun run = runCli(
        {QStringLiteral("--exact"), QStringLiteral("--json"), QStringLiteral("--constraints"),
         forced, QStringLiteral("--variants"), QStringLiteral("3"),
         QStringLiteral("--decimal-separator"), QStringLiteral("."), example("line8.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Json exact = run.json().at("exact");
    EXPECT_EQ(exact.at("status"), "optimal");
    const Json& variants = exact.at("variants");
    ASSERT_EQ(variants.size(), 3u);
    EXPECT_EQ(variants[0].at("cost"), exact.at("cost"));
    EXPECT_GE(exact.at("cost").get<double>(), 9649); // never below the free optimum
    for (std::size_t k = 1; k < variants.size(); ++k)
        EXPECT_GE(variants[k].at("cost").get<double>(), variants[k - 1].at("cost").get<double>());
    bool hasForced = false;
    for (const Json& train : exact.at("trains"))
        hasForced = hasForced || (train.at("origin") == 1 && train.at("destination") == 8);
    EXPECT_TRUE(hasForced);

    const QString clash = write("clash.json", R"({"forced": [[1, 2]], "forbidden": [[1, 2]]})");
    const CliRun none = runCli(
        {QStringLiteral("--exact"), QStringLiteral("--json"), QStringLiteral("--constraints"),
         clash, QStringLiteral("--decimal-separator"), QStringLiteral("."), example("line8.dat")});
    ASSERT_EQ(none.exitCode, 0) << none.err.toStdString();
    const Json infeasible = none.json().at("exact");
    EXPECT_EQ(infeasible.at("status"), "infeasible");
    EXPECT_NE(infeasible.at("message").get<std::string>().find("1-2"), std::string::npos);
    EXPECT_TRUE(infeasible.at("indicators").empty());
}
