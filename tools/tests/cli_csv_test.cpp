// zeltrac-cli --csv: the file read back and checked against the tool's own
// JSON results of the same run.

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include "cli_run.h"

namespace {

// Runs the tool under `locale`; returns its exit code and its standard output.
int runCli(const QStringList& arguments, const QString& locale, QByteArray* out = nullptr)
{
    const zeltrac::clitest::CliRun run = zeltrac::clitest::runCli(arguments, locale);
    if (out)
        *out = run.out;
    return run.exitCode;
}

// The records of one section: those after its title, up to an empty line.
// The tool's own fields hold no quotes, so a plain split reads them.
QStringList section(const QString& path, const char* title, QChar separator)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    const qsizetype start = lines.indexOf(QString::fromUtf8(title));
    EXPECT_GE(start, 0) << title;
    QStringList records;
    for (qsizetype i = start + 1; start >= 0 && i < lines.size() && !lines[i].isEmpty(); ++i)
        records << QString(lines[i]).replace(separator, u'|');
    return records;
}

// "a|b|c" of the JSON row, numbers in their shortest text, as the file writes
// them (the JSON holds the double nearest to that text).
QString joined(const nlohmann::json& row, QChar decimal)
{
    QStringList cells;
    for (const auto& cell : row)
        cells << (cell.is_string()
                      ? QString::fromStdString(cell.get<std::string>())
                      : QString::number(cell.get<double>(), 'g', QLocale::FloatingPointShortest)
                            .replace(u'.', decimal));
    return cells.join(u'|');
}

void expectJsonResults(const QString& csv, const QByteArray& json, QChar separator, QChar decimal)
{
    const nlohmann::json results = nlohmann::json::parse(json.toStdString());
    const int stations = results["stations"];
    const QStringList plan = section(csv, "План формирования", separator);
    ASSERT_EQ(plan.size(), stations);
    for (int r = 0; r < stations - 1; ++r)
        EXPECT_EQ(plan[r + 1],
                  QString::number(stations - r) + u'|' + joined(results["plan"][r], decimal));
    const QStringList indicators = section(csv, "Показатели плана формирования", separator);
    ASSERT_EQ(indicators.size(), stations + 1);
    for (int s = 0; s < stations - 1; ++s)
        EXPECT_EQ(indicators[s + 1], joined(results["indicators"][s], decimal));
    EXPECT_EQ(indicators.back(), QStringLiteral("Всего|") + joined(results["totals"], decimal));
}

} // namespace

TEST(CliCsv, EveryNumberEqualsTheJsonResults)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("line8.csv"));
    QByteArray json;
    ASSERT_EQ(runCli({"--json", "--csv", csv, ZELTRAC_EXAMPLES_DIR "/line8.dat"},
                     QStringLiteral("C.UTF-8"), &json),
              0);
    expectJsonResults(csv, json, u',', u'.');
    // The fractional indicator of station 2, a 6-byte real just below 504
    // (the double 503.99999999953434).
    EXPECT_EQ(section(csv, "Показатели плана формирования", u',')[2],
              QStringLiteral("2|2|120|960|503.9999999995|1464"));
}

TEST(CliCsv, NumbersCarryNoNoiseOfTheSixByteReal)
{
    QTemporaryDir dir;
    QFile example(ZELTRAC_EXAMPLES_DIR "/line8.dat");
    ASSERT_TRUE(example.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(example.readAll()).split(QStringLiteral("\r\n"));
    lines.removeLast();
    const QStringList tek{"0.1", "0.3", "1.7", "2.33"};
    for (int s = 0; s < 4; ++s)
        lines[9 + s] = tek[s];
    const QString data = zeltrac::clitest::writeDataFile(dir, "noise.dat", lines);
    const QString csv = dir.filePath(QStringLiteral("noise.csv"));
    QByteArray out;
    ASSERT_EQ(runCli({"--json", "--exact", "--csv", csv, data}, QStringLiteral("C.UTF-8"), &out),
              0);
    expectJsonResults(csv, out, u',', u'.');
    const nlohmann::json json = nlohmann::json::parse(out.toStdString());
    // As doubles 2879.39999999851 and 8249.40000000596.
    EXPECT_EQ(json["totals"], nlohmann::json({11, 1700, 5370, 2879.4, 8249.4}));
    EXPECT_EQ(json["exact"]["cost"], json["exact"]["totals"][4]);
}

TEST(CliCsv, ADecimalCommaSeparatesTheFieldsBySemicolons)
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("comma.dat"));
    QFile file(data);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("3\r\n500\r\n450\r\n520\r\n3\r\n2,5\r\n2\r\n121\r\n80\r\n60\r\n\r\n");
    file.close();
    const QString csv = dir.filePath(QStringLiteral("comma.csv"));
    QByteArray json;
    ASSERT_EQ(runCli({"--json", "--csv", csv, data}, QStringLiteral("ru_RU.UTF-8"), &json), 0);
    expectJsonResults(csv, json, u';', u',');
    EXPECT_EQ(section(csv, "Исходные данные", u';')[2], QStringLiteral("Tек|3|2,5|2"));
    // 121 cars reprocessed at station 2 at 2.5 car-hours each.
    EXPECT_EQ(section(csv, "Показатели плана формирования", u';')[2],
              QStringLiteral("2|1|121|450|302,5|752,5"));

    // A file that cannot be written fails the run.
    EXPECT_EQ(runCli({"--csv", dir.filePath(QStringLiteral("нет/plan.csv")), data},
                     QStringLiteral("ru_RU.UTF-8")),
              1);
}
