// The RTF report of zeltrac-cli, read back by a word processor, equals the
// printed report line for line: real reports of an example file and of a
// dense 21-station line, with an operator name that needs escaping. The CSV
// file, opened by a spreadsheet, runs no formula.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

#include "report/tests/wordprocessor.h"
#include "workbook/csvexport.h"

// Readable failure messages for Qt texts.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kOperator = QStringLiteral("Иванов {И.И.} \\ смена №2");

bool wordProcessorMissing()
{
    return zeltrac::testutil::wordProcessor().isEmpty();
}

// The printed report and the RTF copy of one run.
struct Report
{
    QStringList printed;
    QByteArray rtf;
    QString rtfPath;
};

Report reportOf(const QTemporaryDir& dir, const QString& dataFile)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    Report report;
    report.rtfPath = dir.filePath(QStringLiteral("report.rtf"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ZELTRAC_CLI_PATH),
                  {QStringLiteral("--decimal-separator"), QStringLiteral("."),
                   QStringLiteral("--operator"), kOperator, QStringLiteral("--rtf"), report.rtfPath,
                   dataFile});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << "zeltrac-cli failed: " << process.readAllStandardError().toStdString();
        return report;
    }
    report.printed = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    if (!report.printed.isEmpty() && report.printed.back().isEmpty())
        report.printed.removeLast();
    QFile file(report.rtfPath);
    if (file.open(QIODevice::ReadOnly))
        report.rtf = file.readAll();
    return report;
}

// A 21-station line with every flow present.
QString writeDenseLine(const QTemporaryDir& dir)
{
    constexpr int n = 21;
    QStringList lines{QString::number(n)};
    for (int station = 0; station < n; ++station)
        lines << QString::number(400 + 17 * station);
    for (int station = 0; station < n; ++station)
        lines << QStringLiteral("%1.%2").arg(2 + station % 5).arg(station % 10);
    for (int row = 0; row < n - 1; ++row) {
        for (int column = 0; column < n - 1; ++column)
            lines << QString::number(20 + (row * 37 + column * 11) % 180);
    }
    const QString path = dir.filePath(QStringLiteral("dense21.dat"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n");
    return path;
}

void expectReadsBack(const Report& report)
{
    ASSERT_FALSE(report.printed.isEmpty());
    // What makes the check worth running: the report really holds these.
    const QString all = report.printed.join(u'\n');
    EXPECT_TRUE(all.contains(QStringLiteral("ПЛАН ФОРМИРОВАНИЯ")) || all.contains(u'Р'));
    EXPECT_TRUE(all.contains(kOperator));
    EXPECT_TRUE(report.printed.contains(QString()));
    EXPECT_TRUE(report.rtf.contains("\\{") && report.rtf.contains("\\}"));
    EXPECT_TRUE(report.rtf.contains("\\\\ "));
    EXPECT_TRUE(report.rtf.contains("\\u8470\\'b9")); // "№"

    QString error;
    const std::optional<QStringList> text =
        zeltrac::testutil::readWithWordProcessor(report.rtfPath, error);
    ASSERT_TRUE(text) << error.toStdString();
    ASSERT_EQ(text->size(), report.printed.size());
    for (qsizetype i = 0; i < text->size(); ++i)
        EXPECT_EQ(text->at(i), report.printed.at(i)) << "line " << i;
}

#define REQUIRE_WORD_PROCESSOR()                                                                   \
    if (wordProcessorMissing()) {                                                                  \
        if (qEnvironmentVariableIsSet("CI"))                                                       \
            FAIL() << "libreoffice is not installed";                                              \
        GTEST_SKIP() << "libreoffice is not installed";                                            \
    }

} // namespace

TEST(RtfReadBack, ExampleLineReport)
{
    REQUIRE_WORD_PROCESSOR();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    expectReadsBack(reportOf(dir, QStringLiteral(ZELTRAC_EXAMPLES_DIR "/line8.dat")));
}

TEST(RtfReadBack, DenseTwentyOneStationReport)
{
    REQUIRE_WORD_PROCESSOR();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Report report = reportOf(dir, writeDenseLine(dir));
    EXPECT_GT(report.printed.size(), 60);
    expectReadsBack(report);
}

TEST(CsvReadBack, TextsThatLookLikeFormulasStayTexts)
{
    REQUIRE_WORD_PROCESSOR();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList texts{"+E1", "-E1+E2", "-2+3", "+1e5-1e5", "\t=1+2", "=1+2", "@A1", "-7"};
    zeltrac::csv::ExportInput input;
    input.stationCount = 3;
    input.operatorName = texts[0];
    input.stationParams = zeltrac::TextTable(3, 2);
    input.flows = zeltrac::TextTable(2, 2);
    input.calculated.plan = zeltrac::TextTable(2, 2);
    for (qsizetype i = 1; i < texts.size(); ++i) {
        const int c = int(i) % 2;
        const int r = int(i) / 2 % 2;
        (i < 4 ? input.flows : input.calculated.plan).setCell(c, r, texts[i].toStdString());
    }
    input.stationParams.setCell(2, 1, texts.back().toStdString());
    const QString csv = dir.filePath("formulas.csv");
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(zeltrac::csv::compose(input));
    file.close();

    // Read as comma-separated UTF-8, formulas evaluated; written back as shown.
    QString error;
    const std::optional<QStringList> shown = zeltrac::testutil::convertWithOffice(
        csv, QStringLiteral("CSV:44,34,76,1,,0,false,true,false,false,false,-1,true"),
        QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("csv"), error);
    ASSERT_TRUE(shown) << error.toStdString();
    QStringList cells;
    for (const QString& line : *shown)
        cells << line.split(u',');
    for (const QString& text : texts.mid(0, texts.size() - 1))
        EXPECT_TRUE(cells.contains(u'\'' + text)) << text.toStdString();
    EXPECT_TRUE(cells.contains(QStringLiteral("-7")));
}
