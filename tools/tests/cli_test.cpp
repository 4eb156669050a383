// End-to-end runs of zeltrac-cli: exit codes, JSON results and report lines
// on the bundled example files and on small files written by the tests.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <array>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_run.h"

using Json = nlohmann::json;
using zeltrac::clitest::CliRun;
using zeltrac::clitest::example;
using zeltrac::clitest::runCli;
using zeltrac::clitest::writeDataFile;

// Readable failure messages for Qt texts.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The three-station file of the worked example with one cell replaced.
QStringList threeStationLines()
{
    return {"3", "500", "450", "520", "3", "4", "2", "120", "80", "60", ""};
}

Json rows(std::initializer_list<std::initializer_list<const char*>> values)
{
    Json result = Json::array();
    for (const auto& row : values) {
        Json cells = Json::array();
        for (const char* text : row)
            cells.push_back(text);
        result.push_back(cells);
    }
    return result;
}

Json numbers(std::initializer_list<std::initializer_list<double>> values)
{
    Json result = Json::array();
    for (const auto& row : values) {
        Json cells = Json::array();
        for (double value : row)
            cells.push_back(value);
        result.push_back(cells);
    }
    return result;
}

Json trains(std::initializer_list<std::array<int, 3>> values)
{
    Json result = Json::array();
    for (const auto& [origin, destination, cars] : values)
        result.push_back({{"origin", origin}, {"destination", destination}, {"cars", cars}});
    return result;
}

const QRegularExpression kOperatorLine(QStringLiteral(
    "^С ПРИЛОЖЕНИЕМ РАБОТАЕТ: Имя оператора  \\d\\d\\.\\d\\d\\.\\d{4}( \\d\\d:\\d\\d:\\d\\d)?$"));

} // namespace

TEST(CliJson, FourStationLine)
{
    const CliRun run = runCli({"--json", example("four-stations.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    EXPECT_TRUE(run.err.isEmpty());
    const Json json = run.json();

    const auto ordered = nlohmann::ordered_json::parse(run.out.toStdString());
    std::vector<std::string> keys;
    for (const auto& item : ordered.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"stations", "status", "message", "trains", "steps",
                                              "plan", "indicators", "totals"}));

    EXPECT_EQ(json["stations"], 4);
    EXPECT_EQ(json["status"], "ok");
    EXPECT_TRUE(json["message"].is_null());
    EXPECT_EQ(json["trains"], trains({{1, 3, 70}, {2, 4, 50}}));
    ASSERT_EQ(json["steps"].size(), 2u);
    EXPECT_EQ(json["steps"][0], rows({{"0", "50", "65"}, {"0", "20", ""}, {"10", "", ""}}));
    EXPECT_EQ(json["steps"][1], rows({{"0", "0", "65"}, {"0", "20", ""}, {"10", "", ""}}));
    EXPECT_EQ(json["plan"], rows({{"", "50", "65"}, {"70", "20", ""}, {"10", "", ""}}));
    EXPECT_EQ(json["indicators"],
              numbers({{1, 2, 0, 200, 0, 200}, {2, 2, 0, 160, 0, 160}, {3, 1, 40, 60, 80, 140}}));
    EXPECT_EQ(json["totals"], Json({5, 40, 420, 80, 500}));
}

TEST(CliJson, WorkedExamples)
{
    struct Case
    {
        const char* file;
        Json trains;
        Json plan;
        Json indicators;
        Json totals;
    };
    const std::vector<Case> cases = {
        {"three-stations.dat", trains({}), rows({{"", "200"}, {"180", ""}}),
         numbers({{1, 1, 0, 500, 0, 500}, {2, 1, 120, 450, 480, 930}}),
         Json({2, 120, 950, 480, 1430})},
        {"three-stations-local.dat", trains({}), rows({{"", "17"}, {"15", ""}}),
         numbers({{1, 1, 0, 20, 0, 20}, {2, 1, 10, 4, 10, 14}}), Json({2, 10, 24, 10, 34})},
        {"four-stations-zero-tek.dat", trains({{1, 3, 20}, {1, 4, 10}}),
         rows({{"10", "10", "10"}, {"20", "10", ""}, {"5", "", ""}}),
         numbers({{1, 3, 0, 90, 0, 90}, {2, 2, 0, 40, 0, 40}, {3, 1, 0, 10, 0, 10}}),
         Json({6, 0, 140, 0, 140})},
        {"five-stations.dat", trains({{1, 4, 20}, {2, 4, 25}, {3, 5, 20}}),
         rows({{"", "", "20", "40"},
               {"20", "25", "15", ""},
               {"", "20", "", ""},
               {"15", "", "", ""}}),
         numbers({{1, 2, 0, 120, 0, 120},
                  {2, 2, 5, 80, 20, 100},
                  {3, 2, 0, 40, 0, 40},
                  {4, 1, 20, 10, 20, 30}}),
         Json({7, 25, 250, 40, 290})},
        {"five-stations-destination-shift.dat", trains({{1, 4, 25}, {1, 3, 20}}),
         rows({{"", "", "", "55"}, {"25", "", "55", ""}, {"20", "40", "", ""}, {"5", "", "", ""}}),
         numbers({{1, 3, 0, 60, 0, 60},
                  {2, 1, 0, 30, 0, 30},
                  {3, 1, 20, 60, 20, 80},
                  {4, 1, 40, 50, 40, 90}}),
         Json({6, 60, 200, 60, 260})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const CliRun run = runCli({"--json", example(c.file)});
        ASSERT_EQ(run.exitCode, 0) << run.error();
        const Json json = run.json();
        EXPECT_EQ(json["status"], "ok");
        EXPECT_EQ(json["trains"], c.trains);
        EXPECT_EQ(json["steps"].size(), c.trains.size());
        EXPECT_EQ(json["plan"], c.plan);
        EXPECT_EQ(json["indicators"], c.indicators);
        EXPECT_EQ(json["totals"], c.totals);
    }
}

TEST(CliJson, FiveStationStepsShowTheWorkingFlows)
{
    const CliRun run = runCli({"--json", example("five-stations.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    const Json steps = run.json()["steps"];
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0], rows({{"0", "15", "20", "25"},
                              {"0", "10", "15", ""},
                              {"5", "15", "", ""},
                              {"10", "", "", ""}}));
    EXPECT_EQ(steps[2], rows({{"0", "0", "0", "40"},
                              {"0", "0", "15", ""},
                              {"5", "15", "", ""},
                              {"10", "", "", ""}}));
}

TEST(CliJson, EightStationLineWithFractionalTek)
{
    const CliRun run = runCli({"--json", example("line8.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    const Json json = run.json();
    EXPECT_EQ(json["stations"], 8);
    EXPECT_EQ(
        json["trains"],
        trains({{1, 7, 180}, {3, 8, 245}, {1, 5, 225}, {4, 7, 240}, {2, 5, 190}, {5, 7, 130}}));
    EXPECT_EQ(json["steps"].size(), 6u);
    EXPECT_EQ(json["plan"], rows({{"", "", "245", "", "", "", "615"},
                                  {"180", "", "", "240", "130", "390", ""},
                                  {"", "", "", "", "395", "", ""},
                                  {"225", "190", "", "425", "", "", ""},
                                  {"", "", "510", "", "", "", ""},
                                  {"", "490", "", "", "", "", ""},
                                  {"330", "", "", "", "", "", ""}}));
    // 4.2 is not a 40-bit value: 120 cars of it come to just under 504, and the
    // number is the shortest text that reads back as that stored 6-byte real.
    EXPECT_EQ(json["indicators"], numbers({{1, 3, 0, 1560, 0, 1560},
                                           {2, 2, 120, 960, 503.9999999995, 1464},
                                           {3, 2, 235, 1220, 658, 1878},
                                           {4, 2, 170, 900, 935, 1835},
                                           {5, 2, 205, 780, 635.5, 1415.5},
                                           {6, 1, 0, 560, 0, 560},
                                           {7, 1, 445, 430, 1157, 1587}}));
    EXPECT_EQ(json["totals"], Json({13, 1175, 6410, 3889.5, 10299.5}));

    // The totals are the column sums; column 6 is column 4 + column 5.
    for (int column = 1; column < 6; ++column) {
        double sum = 0;
        for (const Json& row : json["indicators"])
            sum += row[column].get<double>();
        EXPECT_NEAR(sum, json["totals"][column - 1].get<double>(), 1e-6);
    }
    for (const Json& row : json["indicators"])
        EXPECT_NEAR(row[5].get<double>(), row[3].get<double>() + row[4].get<double>(), 1e-6);
}

TEST(CliReport, FourStationLine)
{
    const CliRun run = runCli({example("four-stations.dat")}, QStringLiteral("ru_RU.UTF-8"));
    ASSERT_EQ(run.exitCode, 0) << run.error();
    const QStringList lines = run.lines();
    ASSERT_EQ(lines.size(), 31);
    EXPECT_EQ(lines[0], "Zeltrac");
    EXPECT_TRUE(kOperatorLine.match(lines[1]).hasMatch()) << lines[1].toStdString();
    const QStringList expected = {
        "",
        "ИСХОДНЫЕ ДАННЫЕ",
        "",
        "      1     2     3     4",
        "cm   100    80    60     0",
        "Tek   0.0   3.0   2.0   0.0",
        "",
        "         40    50    25",
        "         30    20",
        "         10",
        "",
        "ОПТИМАЛЬНЫЙ ПЛАН ФОРМИРОВАНИЯ",
        "",
        "      1     2     3     4",
        "cm   100    80    60     0",
        "Tek   0.0   3.0   2.0   0.0",
        "",
        "          0    50    65",
        "         70    20",
        "         10",
        "",
        "ПОКАЗАТЕЛИ ПЛАНА ФОРМИРОВАНИЯ",
        "",
        " №       ЧИСЛО      ПЕРЕРАБОТКА   ЗАТРАТЫ ВАГОНО-ЧАСОВ",
        " СТАНЦИИ НАЗНАЧЕНИЙ ВАГОНОВ  НАКОПЛЕНИЕ ПЕРЕРАБОТ  ИТОГО",
        "        1        2        0      200        0      200",
        "        2        2        0      160        0      160",
        "        3        1       40       60       80      140",
        "  ВСЕГО          5       40      420       80      500",
    };
    EXPECT_EQ(lines.mid(2), expected);
}

TEST(CliReport, EightStationLineRoundsFractionalIndicators)
{
    const CliRun run = runCli({"--operator", "Петров П.П.", example("line8.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    const QStringList lines = run.lines();
    ASSERT_EQ(lines.size(), 22 + 3 * 7);
    EXPECT_TRUE(lines[1].startsWith("С ПРИЛОЖЕНИЕМ РАБОТАЕТ: Петров П.П.  "))
        << lines[1].toStdString();
    EXPECT_EQ(lines[7], "Tek   3.5   4.2   2.8   5.5   3.1   6.4   2.6   4.0");
    EXPECT_EQ(lines[9], "        120    95   150   110    85   130   170");
    EXPECT_EQ(lines[15], "        210");
    EXPECT_EQ(lines[23], "          0     0   245     0     0     0   615");
    EXPECT_EQ(lines[36], "        2        2      120      960      504     1464");
    EXPECT_EQ(lines[39], "        5        2      205      780      636     1416");
    EXPECT_EQ(lines[42], "  ВСЕГО         13     1175     6410     3890    10300");
}

TEST(CliReport, DecimalSeparatorFromTheLocaleOrTheOption)
{
    // Under a Russian locale the separator is a comma: the full stops of the
    // example are not numbers there.
    CliRun run = runCli({example("line8.dat")}, QStringLiteral("ru_RU.UTF-8"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.error(), "'3.5' is not a valid floating point value.\n");

    run = runCli({"--decimal-separator", ".", example("line8.dat")}, QStringLiteral("ru_RU.UTF-8"));
    EXPECT_EQ(run.exitCode, 0) << run.error();
    EXPECT_TRUE(kOperatorLine.match(run.lines().value(1)).hasMatch());

    QTemporaryDir dir;
    QStringList lines = threeStationLines();
    lines[5] = "2,5";
    const QString comma = writeDataFile(dir, "comma.dat", lines);
    run = runCli({comma}, QStringLiteral("ru_RU.UTF-8"));
    ASSERT_EQ(run.exitCode, 0) << run.error();
    EXPECT_EQ(run.lines().value(7), "Tek   3.0   2.5   2.0");
    run = runCli({comma});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "'2,5' is not a valid floating point value.\n");
}

TEST(CliReport, RtfCopy)
{
    QTemporaryDir dir;
    const QString rtf = dir.filePath("plan.rtf");
    CliRun run = runCli({"--rtf", rtf, example("three-stations.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    EXPECT_EQ(run.lines().size(), 28);
    QFile file(rtf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("{\\rtf1")) << bytes.left(40).toStdString();
    EXPECT_TRUE(bytes.contains("\\ansicpg1251"));
    EXPECT_TRUE(bytes.contains("Zeltrac"));
    EXPECT_EQ(bytes.count("\\par\r\n"), 28);

    // With --json the report is still saved when asked for.
    const QString second = dir.filePath("second.rtf");
    run = runCli({"--json", "--rtf=" + second, example("three-stations.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    EXPECT_EQ(run.json()["status"], "ok");
    EXPECT_TRUE(QFile::exists(second));

    const QString missingFolder = dir.filePath("no/such/folder/plan.rtf");
    run = runCli({"--rtf", missingFolder, example("three-stations.dat")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.error(), "Cannot create file " + missingFolder.toStdString() + ".\n");
}

TEST(CliFailures, NoData)
{
    QTemporaryDir dir;
    QStringList lines = threeStationLines();
    for (int i = 1; i <= 6; ++i)
        lines[i] = "";
    lines[3] = "520"; // station 3's Cm is not read
    const QString path = writeDataFile(dir, "empty.dat", lines);

    CliRun run = runCli({path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.error(), "Данных недостаточно!\n");

    run = runCli({"--json", path});
    EXPECT_EQ(run.exitCode, 1);
    const Json json = run.json();
    EXPECT_EQ(json["stations"], 3);
    EXPECT_EQ(json["status"], "no_data");
    EXPECT_EQ(json["message"], "Данных недостаточно!");
    EXPECT_EQ(json["trains"], Json::array());
    EXPECT_EQ(json["plan"], rows({{"", ""}, {"", ""}}));
    EXPECT_EQ(json["indicators"], numbers({{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(json["totals"], Json({0, 0, 0, 0, 0}));
}

TEST(CliFailures, ErrorsGetTheErrorBoxFullStop)
{
    QTemporaryDir dir;
    QStringList badFlow = threeStationLines();
    badFlow[8] = " 8o ";
    QStringList badCount = threeStationLines();
    badCount[0] = "3 ";
    QStringList shortFile = threeStationLines();
    shortFile.resize(9);
    QStringList badLastTek = threeStationLines();
    badLastTek[6] = "x"; // Tек of station 3: read by the report only

    struct Case
    {
        QString path;
        std::string message;
        int stations;
    };
    const QString missing = dir.filePath("missing.dat");
    const std::vector<Case> cases = {
        {writeDataFile(dir, "flow.dat", badFlow), "'8o' is not a valid integer value.", 3},
        {writeDataFile(dir, "count.dat", badCount), "'3 ' is not a valid integer value.", 8},
        {writeDataFile(dir, "short.dat", shortFile), "List index out of bounds (9)", 8},
        {missing, "Cannot open file " + missing.toStdString() + ".", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CliRun run = runCli({c.path});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.error(), c.message + "\n");

        run = runCli({"--json", c.path});
        EXPECT_EQ(run.exitCode, 1);
        const Json json = run.json();
        EXPECT_EQ(json["status"], "error");
        EXPECT_EQ(json["message"], c.message);
        EXPECT_EQ(json["stations"], c.stations);
        EXPECT_EQ(json["plan"].size(), static_cast<std::size_t>(c.stations - 1));
        EXPECT_EQ(json["indicators"].size(), static_cast<std::size_t>(c.stations - 1));
    }

    // A bad Tек of the last station stops the report, not the calculation.
    const QString lastTek = writeDataFile(dir, "lasttek.dat", badLastTek);
    CliRun run = runCli({lastTek});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.error(), "'x' is not a valid floating point value.\n");
    run = runCli({"--json", lastTek});
    EXPECT_EQ(run.exitCode, 0) << run.error();
    EXPECT_EQ(run.json()["plan"], rows({{"", "200"}, {"180", ""}}));
}

TEST(CliUsage, WrongUsageExitsWithTwo)
{
    const std::vector<QStringList> wrong = {
        {},
        {example("four-stations.dat"), example("line8.dat")},
        {"--bogus", example("four-stations.dat")},
        {"--rtf"},
        {example("four-stations.dat"), "--rtf"},
        {"--decimal-separator", "ab", example("four-stations.dat")},
        {"--decimal-separator", "", example("four-stations.dat")},
        {"--decimal-separator", "5", example("four-stations.dat")},
        {"--json=yes", example("four-stations.dat")},
        {"--operator", "a", "--operator", "b", example("four-stations.dat")},
    };
    for (const QStringList& arguments : wrong) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_NE(run.error().find("zeltrac-cli [ПАРАМЕТРЫ] ФАЙЛ.dat"), std::string::npos);
    }

    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Использование: zeltrac-cli"));
}

TEST(CliUsage, TheParsersOwnMessagesAreRussian)
{
    // Qt's Russian translation, as the window loads it, under any locale.
    const std::vector<std::pair<QStringList, std::string>> cases = {
        {{"--bogus", example("four-stations.dat")}, "Неизвестный параметр «bogus»."},
        {{example("four-stations.dat"), "--rtf"}, "Отсутствует значение после «--rtf»."},
        {{"--json=yes", example("four-stations.dat")}, "Неожиданное значение после «--json»."},
    };
    for (const auto& [arguments, message] : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.error().substr(0, run.error().find('\n')), message);
    }
}

namespace {

// Runs the tool with its standard output sent to a file.
CliRun runCliInto(const QStringList& arguments, const QString& outputFile)
{
    return runCli(arguments, QStringLiteral("C"),
                  [&](QProcess& process) { process.setStandardOutputFile(outputFile); });
}

// Runs the tool through the shell, so that the command line can hold what a
// QProcess cannot give (a closed stream, bytes that are not UTF-8).
CliRun runCliInShell(const QString& script, const QStringList& arguments)
{
    return runCli(arguments, QStringLiteral("C"), [&](QProcess& process) {
        process.setProgram(QStringLiteral("/bin/sh"));
        process.setArguments(
            QStringList{QStringLiteral("-c"), script, QStringLiteral(ZELTRAC_CLI_PATH)} +
            arguments);
    });
}

// Lets the tool write files of at most this many bytes (as `ulimit -f`).
void limitFileSize(QProcess& process, rlim_t bytes)
{
    process.setChildProcessModifier([bytes] {
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
}

// What a diagram file holds: whether it is well-formed XML with an <svg>
// root, its curves (one per train arc) and its texts.
struct SvgContent
{
    bool wellFormed = false;
    int curves = 0;
    QStringList texts;
};

SvgContent readSvg(const QString& path)
{
    SvgContent content;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return content;
    QXmlStreamReader xml(&file);
    bool root = true;
    bool isSvg = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (root)
            isSvg = xml.name() == QLatin1String("svg");
        root = false;
        if (xml.name() == QLatin1String("path") &&
            xml.attributes().value(QLatin1String("d")).contains(u'C'))
            ++content.curves;
        else if (xml.name() == QLatin1String("text"))
            content.texts << xml.readElementText().trimmed();
    }
    content.wellFormed = isSvg && !xml.hasError();
    return content;
}

} // namespace

TEST(CliOutput, LostOutputIsAnError)
{
    // a full disk
    CliRun run = runCliInto({"--json", example("four-stations.dat")}, "/dev/full");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(),
              "Результат не записан в стандартный вывод полностью: No space left on device.\n");
    run = runCliInto({example("four-stations.dat")}, "/dev/full");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.error().find("Результат не записан"), std::string::npos) << run.error();
    run = runCliInto({"--help"}, "/dev/full");
    EXPECT_EQ(run.exitCode, 1);

    // a closed standard output
    run = runCliInShell(QStringLiteral("exec \"$0\" \"$@\" >&-"),
                        {"--json", example("four-stations.dat")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "Результат не записан: стандартный вывод закрыт.\n");

    // a file-size limit cuts the output short
    QTemporaryDir dir;
    const QString out = dir.filePath("out.json");
    run = runCli({"--json", example("line8.dat")}, QStringLiteral("C"), [&](QProcess& process) {
        process.setStandardOutputFile(out);
        limitFileSize(process, 1000);
    });
    EXPECT_EQ(run.exitCode, 1) << "killed without a word when -1";
    EXPECT_EQ(run.error(), "Результат не записан в стандартный вывод полностью: File too large.\n");

    // the same output, written in full, is a success
    run = runCliInto({"--json", example("line8.dat")}, out);
    EXPECT_EQ(run.exitCode, 0) << run.error();
}

TEST(CliOutput, RtfOverTheFileSizeLimitIsReported)
{
    QTemporaryDir dir;
    const QString rtf = dir.filePath("plan.rtf");
    const CliRun run = runCli({"--rtf", rtf, example("line8.dat")}, QStringLiteral("C"),
                              [](QProcess& process) { limitFileSize(process, 1000); });
    EXPECT_EQ(run.exitCode, 1) << "killed without a word when -1";
    EXPECT_EQ(run.error(), "Failed to Save Stream.\n");
    EXPECT_FALSE(QFile::exists(rtf));
}

TEST(CliOutput, FailedWriteInAFolderNotWritableKeepsTheOldFile)
{
    // `ulimit -f 1` for a user who may write the old file but not its folder:
    // the file must be written in place, and the write fails.
    QTemporaryDir dir;
    const QString folder = dir.filePath("ro");
    ASSERT_TRUE(QDir().mkdir(folder));
    const struct
    {
        const char* option;
        const char* name;
        std::string message;
    } cases[] = {
        {"--csv", "old.csv", "Stream write error"},
        {"--svg", "old.svg", "Не удалось записать файл схемы"},
        {"--rtf", "old.rtf", "Failed to Save Stream"},
    };
    const auto anyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                        QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    const auto readOnlyFolder = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    for (const auto& c : cases) {
        const QString path = folder + u'/' + QString::fromLatin1(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("OLD\n");
        file.close();
        ASSERT_TRUE(QFile::setPermissions(path, anyone));
    }
    ASSERT_TRUE(QFile::setPermissions(folder, readOnlyFolder));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), readOnlyFolder | QFile::WriteOwner));
    for (const auto& c : cases) {
        const QString path = folder + u'/' + QString::fromLatin1(c.name);
        const CliRun run =
            runCli({QString::fromLatin1(c.option), path, example("line8.dat")}, QStringLiteral("C"),
                   [](QProcess& process) {
                       process.setChildProcessModifier([] {
                           // The superuser writes any folder: the tool runs as nobody.
                           constexpr uid_t nobody = 65534;
                           if (geteuid() == 0 && (setgroups(0, nullptr) != 0 ||
                                                  setgid(nobody) != 0 || setuid(nobody) != 0))
                               _exit(99);
                           const rlimit limit{1024, 1024};
                           setrlimit(RLIMIT_FSIZE, &limit);
                       });
                   });
        EXPECT_EQ(run.exitCode, 1) << c.option;
        EXPECT_EQ(run.error(), c.message + ". Файл " + path.toStdString() +
                                   " оставлен прежним: его содержимое восстановлено.\n");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("OLD\n")) << c.option;
    }
    QFile::setPermissions(folder, readOnlyFolder | QFile::WriteOwner);
}

TEST(CliHostileFiles, PipesAreRefusedAtOnce)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.dat");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
    CliRun run = runCli({pipe});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(),
              "Файл " + pipe.toStdString() + " нельзя открыть: это не обычный файл.\n");

    // an RTF copy into a pipe nobody reads
    const QString rtfPipe = dir.filePath("pipe.rtf");
    ASSERT_EQ(mkfifo(QFile::encodeName(rtfPipe).constData(), 0644), 0);
    run = runCli({"--rtf", rtfPipe, example("three-stations.dat")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "Cannot create file " + rtfPipe.toStdString() + ".\n");
}

TEST(CliHostileFiles, LongLineIsRefusedByNumber)
{
    QTemporaryDir dir;
    QStringList lines = threeStationLines();
    lines[5] = QString(70000, u'4');
    const CliRun run = runCli({writeDataFile(dir, "long.dat", lines)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "Строка 6 длиннее 65536 байт: это не файл исходных данных.\n");
}

TEST(CliHostileFiles, MessagesQuoteCellsShortAndVisibly)
{
    QTemporaryDir dir;
    const QString escape = dir.filePath("esc.dat");
    {
        QFile file(escape);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x1B]0;TITLE\x07\x1B[2J\r\n");
    }
    CliRun run = runCli({escape});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "'\\x1B]0;TITLE\\x07\\x1B[2J' is not a valid integer value.\n");
    run = runCli({"--json", escape});
    EXPECT_EQ(run.json()["message"], "'\\x1B]0;TITLE\\x07\\x1B[2J' is not a valid integer value.");

    QStringList lines = threeStationLines();
    lines[7] = QString(60000, u'8') + u'x';
    const QString huge = writeDataFile(dir, "huge.dat", lines);
    const std::string expected = "'" + std::string(60, '8') + "…' is not a valid integer value.";
    run = runCli({huge});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), expected + "\n");
    run = runCli({"--json", huge});
    EXPECT_EQ(run.json()["message"], expected);
}

TEST(CliHostileFiles, FileNameThatIsNotUtf8)
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray name = folder + "/bad\xFFname.dat";
    {
        FILE* file = std::fopen(name.constData(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("3\r\n", file);
        std::fclose(file);
    }
    const CliRun run = runCliInShell(
        QStringLiteral("exec \"$0\" \"$(printf '%s/bad\\377name.dat' \"$1\")\""), {dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "Параметр «" + folder.toStdString() +
                               "/bad\\xFFname.dat» не в кодировке UTF-8: файл с таким именем "
                               "программа открыть не может. Переименуйте файл.\n");
    EXPECT_TRUE(run.out.isEmpty());
}

TEST(CliHostileFiles, NamesThatAreUtf8ButUnusual)
{
    QTemporaryDir dir;
    // U+FEFF at the start of a name is valid UTF-8, and the name is that file's.
    const QString marked = dir.filePath(QString(QChar(0xFEFF)) + QStringLiteral("line8.dat"));
    ASSERT_TRUE(QFile::copy(example("line8.dat"), marked));
    CliRun run = runCli({"--json", marked});
    EXPECT_EQ(run.exitCode, 0) << run.error();

    // A name longer than a folder entry may be cannot be created.
    const QString tooLong = dir.filePath(QString(252, u'a') + QStringLiteral(".csv"));
    run = runCli({"--csv", tooLong, example("line8.dat")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.error(), "Cannot create file " + tooLong.toStdString() + ".\n");
}

TEST(CliHostileFiles, OutputOverTheInputFileIsRefused)
{
    QTemporaryDir dir;
    const QString data = dir.filePath("line8.dat");
    ASSERT_TRUE(QFile::copy(example("line8.dat"), data));
    const QString link = dir.filePath("plan.csv");
    // Another name of the same file (a hard link).
    ASSERT_EQ(::link(QFile::encodeName(data).constData(), QFile::encodeName(link).constData()), 0);
    for (const char* option : {"--csv", "--svg", "--rtf"}) {
        const CliRun run = runCli({QString::fromLatin1(option), link, data});
        EXPECT_EQ(run.exitCode, 2) << option;
        EXPECT_EQ(run.error().substr(0, run.error().find('\n')),
                  "Файл " + link.toStdString() +
                      " — это файл исходных данных: результат в него не записывается.")
            << option;
    }
    QFile copy(data);
    QFile original(example("line8.dat"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original.readAll());
}

TEST(CliConstraints, BadConditionsOrVariantCountsExitWithTwoAndSayWhy)
{
    QTemporaryDir dir;
    auto conditions = [&dir](const char* name, const char* text) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    };
    const QString data = example("four-stations.dat"); // 4 stations
    struct Case
    {
        QStringList arguments;
        std::string message;
    };
    const QString malformed = conditions("malformed.json", "{\"forced\": [[1, 4]");
    const QString outside = conditions("outside.json", R"({"forced": [[1, 5]]})");
    const QString backward = conditions("backward.json", R"({"forbidden": [[3, 2]]})");
    const QString station = conditions("station.json", R"({"max_reprocessed": {"0": 10}})");
    const QString missing = dir.filePath("missing.json");
    const QString deep =
        conditions("deep.json", ("{\"forced\": [" + std::string(100'000, '[') + "]}").c_str());
    const std::vector<Case> cases = {
        {{"--exact", "--constraints", malformed, data},
         "Файл условий не является правильным JSON (строка 1, позиция 19) (" +
             malformed.toStdString() + ")."},
        {{"--exact", "--constraints", deep, data},
         "Файл условий вложен глубже 100 уровней (" + deep.toStdString() + ")."},
        {{"--exact", "--constraints", "/dev/zero", data},
         "Файл условий /dev/zero не прочитан: это не обычный файл."},
        {{"--exact", "--constraints", outside, data},
         "Файл условий: Обязательный поезд 1-5: станция вне линии (станции линии: 1..4)."},
        {{"--exact", "--constraints", backward, data},
         "Файл условий: Запрещенный поезд 3-2: станция отправления должна быть раньше "
         "станции назначения."},
        {{"--exact", "--constraints", station, data},
         "Файл условий: Предел переработки: станция 0 вне линии (станции линии: 1..4)."},
        {{"--exact", "--constraints", missing, data},
         "Файл условий " + missing.toStdString() + " не прочитан: файл не найден."},
        {{"--constraints", outside, data},
         "Параметр --constraints действует только вместе с --exact."},
        {{"--variants", "3", data}, "Параметр --variants действует только вместе с --exact."},
        {{"--exact", "--variants", "0", data},
         "Неверное число вариантов: \"0\" (допустимо от 1 до 10)."},
        {{"--exact", "--variants", "11", data},
         "Неверное число вариантов: \"11\" (допустимо от 1 до 10)."},
        {{"--exact", "--variants", "2x", data},
         "Неверное число вариантов: \"2x\" (допустимо от 1 до 10)."},
        {{"--solver", "own", data}, "Параметр --solver действует только вместе с --exact."},
        {{"--exact", "--solver", "clp", data}, "Неверный решатель: \"clp\" (допустимы cbc и own)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(run.error().substr(0, run.error().find('\n')), c.message);
    }
    // Conditions that fit the line are accepted.
    const QString fits =
        conditions("fits.json", R"({"forced": [[1, 4]], "max_destinations": {"4": 0}})");
    const CliRun run =
        runCli({"--exact", "--variants", "2", "--constraints", fits, "--json", data});
    EXPECT_EQ(run.exitCode, 0) << run.error();
    // The choice holds for the ladder's steps too.
    const QString plan = conditions("plan.json", R"({"trains": [[1, 4]]})");
    for (const char* solver : {"cbc", "own"}) {
        const CliRun chosen = runCli(
            {"--exact", "--solver", solver, "--current", plan, "--changes", "1", "--json", data});
        ASSERT_EQ(chosen.exitCode, 0) << solver << chosen.error();
        const Json exact = Json::parse(chosen.out.constData()).at("exact");
        EXPECT_EQ(exact.at("solver"), solver);
        EXPECT_EQ(exact.at("changes").at(0).at("solver"), solver);
    }
}

TEST(CliDiagram, OneArcPerPlanTrain)
{
    QTemporaryDir dir;
    // Five stations: three cells hold a fixed through train only or with
    // local cars beside it, four hold local trains: 7 trains. Three stations:
    // two local trains.
    const struct
    {
        const char* file;
        int trains;
        QStringList labels;
    } cases[] = {{"five-stations.dat", 7, {"20", "15", "25", "40"}},
                 {"three-stations.dat", 2, {"200", "180"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString svg = dir.filePath(QStringLiteral("схема.svg"));
        const CliRun run = runCli({"--svg", svg, example(c.file)});
        ASSERT_EQ(run.exitCode, 0) << run.error();
        EXPECT_TRUE(run.err.isEmpty()) << run.error();
        const SvgContent content = readSvg(svg);
        EXPECT_TRUE(content.wellFormed);
        EXPECT_EQ(content.curves, c.trains);
        EXPECT_TRUE(content.texts.contains(QStringLiteral("Аналитический план")));
        for (const QString& label : c.labels)
            EXPECT_TRUE(content.texts.contains(label)) << label.toStdString();
    }
}

// With --exact the diagram holds the exact plan below the analytical one: the
// worked four-station line's exact plan is its calculated plan again.
TEST(CliDiagram, ExactPlanIsDrawnBelowTheAnalyticalOne)
{
    QTemporaryDir dir;
    const QString alone = dir.filePath(QStringLiteral("alone.svg"));
    const QString both = dir.filePath(QStringLiteral("both.svg"));
    ASSERT_EQ(runCli({"--svg", alone, example("five-stations.dat")}).exitCode, 0);
    const CliRun run = runCli({"--exact", "--svg", both, example("five-stations.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.error();
    const SvgContent analytical = readSvg(alone);
    const SvgContent twoPlans = readSvg(both);
    EXPECT_TRUE(twoPlans.wellFormed);
    EXPECT_TRUE(twoPlans.texts.contains(QStringLiteral("Аналитический план")));
    EXPECT_TRUE(twoPlans.texts.contains(QStringLiteral("Точный оптимум")));
    EXPECT_FALSE(analytical.texts.contains(QStringLiteral("Точный оптимум")));
    EXPECT_GT(twoPlans.curves, analytical.curves);
}

TEST(CliDiagram, CombinesWithTheOtherOptionsAndChangesNothingElse)
{
    QTemporaryDir dir;
    const QString svg = dir.filePath("plan.svg");
    const QString rtf = dir.filePath("plan.rtf");
    const CliRun plain = runCli({"--json", example("line8.dat")});
    const CliRun withSvg = runCli({"--json", "--svg=" + svg, "--rtf", rtf, example("line8.dat")});
    ASSERT_EQ(withSvg.exitCode, 0) << withSvg.error();
    EXPECT_EQ(withSvg.out, plain.out); // the JSON byte for byte
    EXPECT_TRUE(withSvg.err.isEmpty()) << withSvg.error();
    EXPECT_TRUE(QFile::exists(rtf));
    const SvgContent content = readSvg(svg);
    EXPECT_TRUE(content.wellFormed);
    EXPECT_GE(content.curves, static_cast<int>(withSvg.json()["trains"].size()));

    // The report on standard output is the same too; a name with another
    // extension still gets SVG (the option names the format).
    const QString other = dir.filePath("plan.png");
    const CliRun report = runCli({"-svg", other, example("three-stations.dat")});
    ASSERT_EQ(report.exitCode, 0) << report.error();
    const CliRun reportOnly = runCli({example("three-stations.dat")});
    EXPECT_EQ(report.lines().size(), reportOnly.lines().size());
    EXPECT_EQ(report.lines().mid(2), reportOnly.lines().mid(2)); // the date line may differ
    EXPECT_TRUE(readSvg(other).wellFormed);
}

TEST(CliDiagram, FailuresWriteNoDiagram)
{
    QTemporaryDir dir;
    const QString missingFolder = dir.filePath("нет/plan.svg");
    CliRun run = runCli({"--svg", missingFolder, example("three-stations.dat")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(QString::fromUtf8(run.err),
              QStringLiteral("Не удалось создать файл схемы %1.\n").arg(missingFolder));

    // An earlier diagram is left as it was when the new one cannot be made.
    const QString svg = dir.filePath("plan.svg");
    {
        QFile file(svg);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("earlier");
    }
    QStringList lines = threeStationLines();
    for (int i = 1; i <= 6; ++i)
        lines[i] = "";
    const QString noData = writeDataFile(dir, "nodata.dat", lines);
    run = runCli({"--json", "--svg", svg, noData});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.json()["status"], "no_data");
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("earlier"));

    run = runCli({"--svg", "", example("three-stations.dat")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.error().starts_with("Не указано имя файла SVG."));
}
