// zeltrac-cli --csv: the file read back and checked against the tool's own
// JSON results.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace {

struct CsvRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CsvRun runCli(const QStringList& arguments, const QString& locale)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_NUMERIC", "LC_TIME", "LC_MESSAGES", "LC_CTYPE"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LANG"), locale);
    environment.insert(QStringLiteral("LC_ALL"), locale);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ZELTRAC_CLI_PATH), arguments);
    CsvRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "zeltrac-cli did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QString example(const char* name)
{
    return QStringLiteral(ZELTRAC_EXAMPLES_DIR "/") + QString::fromUtf8(name);
}

// The file's records; the tool's own fields hold no quotes or line breaks, so
// a plain split reads them (a quote in the file fails the test).
std::vector<QStringList> readCsv(const QString& path, QChar separator)
{
    std::vector<QStringList> records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no file " << path.toStdString();
        return records;
    }
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    EXPECT_FALSE(text.contains(u'"'));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (const QString& line : lines)
        records.push_back(line.split(separator));
    return records;
}

// The records after the title record, up to the next empty one.
std::vector<QStringList> section(const std::vector<QStringList>& records, const char* title)
{
    std::vector<QStringList> result;
    bool inside = false;
    for (const QStringList& record : records) {
        if (inside && record == QStringList{QString()})
            break;
        if (inside)
            result.push_back(record);
        if (record == QStringList{QString::fromUtf8(title)})
            inside = true;
    }
    EXPECT_TRUE(inside) << "no section " << title;
    return result;
}

double number(QString text, QChar decimal)
{
    text.replace(decimal, u'.');
    bool ok = false;
    const double value = text.toDouble(&ok);
    EXPECT_TRUE(ok) << "not a number: " << text.toStdString();
    return value;
}

// The CSV's plan and indicators equal the JSON results of the same run.
void expectSameResults(const std::vector<QStringList>& records, const Json& json, QChar decimal)
{
    const int stations = json["stations"];
    const std::vector<QStringList> plan = section(records, "План формирования");
    ASSERT_EQ(int(plan.size()), stations);
    for (int r = 0; r < stations - 1; ++r) {
        ASSERT_EQ(plan[r + 1].size(), stations);
        EXPECT_EQ(plan[r + 1][0].toInt(), stations - r);
        for (int c = 0; c < stations - 1; ++c)
            EXPECT_EQ(plan[r + 1][c + 1].toStdString(), json["plan"][r][c].get<std::string>());
    }
    const std::vector<QStringList> rows = section(records, "Показатели плана формирования");
    ASSERT_EQ(int(rows.size()), stations + 1);
    for (int s = 0; s < stations - 1; ++s) {
        ASSERT_EQ(rows[s + 1].size(), 6);
        for (int column = 0; column < 6; ++column)
            EXPECT_EQ(number(rows[s + 1][column], decimal),
                      json["indicators"][s][column].get<double>())
                << "station " << s + 1 << ", column " << column + 1;
    }
    const QStringList& totals = rows.back();
    ASSERT_EQ(totals.size(), 6);
    EXPECT_EQ(totals[0].toStdString(), "Всего");
    for (int element = 0; element < 5; ++element)
        EXPECT_EQ(number(totals[element + 1], decimal), json["totals"][element].get<double>());
}

} // namespace

TEST(CliCsv, EveryNumberEqualsTheJsonResults)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("line8.csv"));
    const CsvRun run =
        runCli({"--json", "--csv", path, example("line8.dat")}, QStringLiteral("C.UTF-8"));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QStringList> records = readCsv(path, u',');
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[2], (QStringList{QStringLiteral("Число станций"), QStringLiteral("8")}));
    expectSameResults(records, Json::parse(run.out.toStdString()), u'.');
    // The fractional indicator of station 2 is written in full.
    EXPECT_EQ(section(records, "Показатели плана формирования")[2][4].toStdString(),
              "503.99999999953434");
}

TEST(CliCsv, ADecimalCommaSeparatesTheFieldsBySemicolons)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString data = dir.filePath(QStringLiteral("comma.dat"));
    QFile file(data);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("3\r\n500\r\n450\r\n520\r\n3\r\n2,5\r\n2\r\n121\r\n80\r\n60\r\n\r\n");
    file.close();
    const QString path = dir.filePath(QStringLiteral("comma.csv"));
    const CsvRun run = runCli({"--json", "--csv", path, data}, QStringLiteral("ru_RU.UTF-8"));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QStringList> records = readCsv(path, u';');
    const std::vector<QStringList> input = section(records, "Исходные данные");
    ASSERT_EQ(input.size(), 3u);
    EXPECT_EQ(input[2].join(u'|').toStdString(), "Tек|3|2,5|2");
    const Json json = Json::parse(run.out.toStdString());
    expectSameResults(records, json, u',');
    // 121 cars reprocessed at station 2 at 2.5 car-hours each: the comma is
    // in the numbers.
    const std::vector<QStringList> rows = section(records, "Показатели плана формирования");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2].join(u'|').toStdString(), "2|1|121|450|302,5|752,5");
    EXPECT_EQ(rows[3].join(u'|').toStdString(), "Всего|2|121|950|302,5|1252,5");
}

TEST(CliCsv, FailuresWriteNoFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("нет/plan.csv"));
    CsvRun run =
        runCli({"--csv", missing, example("three-stations.dat")}, QStringLiteral("C.UTF-8"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.toStdString(), "Cannot create file " + missing.toStdString() + ".\n");

    // Not enough data: nothing computed, nothing written.
    const QString data = dir.filePath(QStringLiteral("empty.dat"));
    QFile file(data);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("3\r\n\r\n\r\n520\r\n\r\n\r\n\r\n120\r\n80\r\n60\r\n\r\n");
    file.close();
    const QString path = dir.filePath(QStringLiteral("plan.csv"));
    run = runCli({"--csv", path, data}, QStringLiteral("C.UTF-8"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(QFile::exists(path));
}
