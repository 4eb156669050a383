// The CSV file of a session, read back by a small reader of its own.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <string>
#include <vector>

#include "calc/error.h"
#include "calc/numtext.h"
#include "workbook/csvexport.h"
#include "workbook/workbook.h"

using zeltrac::ResultTables;
using zeltrac::Workbook;
namespace csv = zeltrac::csv;

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

QString example(const char* name)
{
    return QStringLiteral(ZELTRAC_EXAMPLES_DIR "/") + QString::fromUtf8(name);
}

using Record = QStringList;

// RFC 4180: records end at CR LF, fields are separated by `separator`, a
// quoted field may hold separators, line breaks and doubled quotes. A file
// that breaks these rules fails the test.
std::vector<Record> readCsv(const QString& text, QChar separator)
{
    std::vector<Record> records;
    Record record;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch != u'"') {
                field += ch;
            } else if (i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (ch == u'"') {
            EXPECT_TRUE(field.isEmpty() && !wasQuoted) << "a quote inside an unquoted field";
            quoted = true;
            wasQuoted = true;
        } else if (ch == separator) {
            record << field;
            field.clear();
            wasQuoted = false;
        } else if (ch == u'\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == u'\n') << "a CR without LF";
            ++i;
            record << field;
            records.push_back(record);
            record.clear();
            field.clear();
            wasQuoted = false;
        } else {
            EXPECT_NE(ch, u'\n') << "a line feed without CR";
            field += ch;
        }
    }
    EXPECT_FALSE(quoted) << "an unterminated quoted field";
    EXPECT_TRUE(field.isEmpty() && record.isEmpty()) << "the last record has no line end";
    return records;
}

// The file as records; the byte-order mark checked and removed.
std::vector<Record> readBack(const QByteArray& bytes, QChar separator)
{
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    return readCsv(QString::fromUtf8(bytes.mid(3)), separator);
}

// The records after the one whose first field is `title`, up to the next
// empty record.
std::vector<Record> section(const std::vector<Record>& records, const QString& title)
{
    std::vector<Record> result;
    auto it = records.begin();
    while (it != records.end() && !(it->size() == 1 && it->front() == title))
        ++it;
    if (it == records.end()) {
        ADD_FAILURE() << "no section " << title.toStdString();
        return result;
    }
    for (++it; it != records.end() && *it != Record{QString()}; ++it)
        result.push_back(*it);
    return result;
}

// The 6-byte real the text reads back as.
zeltrac::Real40 toNumber(const QString& text, const QString& decimalSeparator)
{
    try {
        return zeltrac::numtext::toReal40(text.toStdString(), decimalSeparator.toStdString());
    } catch (const zeltrac::Error&) {
        ADD_FAILURE() << "not a number: " << text.toStdString();
        return {};
    }
}

// Every number of the indicator section equals the tables.
void expectIndicators(const std::vector<Record>& rows, const ResultTables& tables, int stations,
                      const QString& decimalSeparator)
{
    ASSERT_EQ(int(rows.size()), 1 + (stations - 1) + 1);
    EXPECT_EQ(rows.front(), (Record{u8("Станция"), u8("Число назначений"),
                                    u8("Переработка вагонов"), u8("Накопление (ваг.-ч)"),
                                    u8("Переработка (ваг.-ч)"), u8("Итого (ваг.-ч)")}));
    for (int station = 1; station <= stations - 1; ++station) {
        const Record& row = rows[station];
        ASSERT_EQ(row.size(), 6);
        for (int column = 1; column <= 6; ++column)
            EXPECT_EQ(toNumber(row[column - 1], decimalSeparator),
                      tables.indicator(column, station))
                << "station " << station << ", column " << column;
    }
    const Record& totals = rows.back();
    ASSERT_EQ(totals.size(), 6);
    EXPECT_EQ(totals.front(), u8("Всего"));
    for (int element = 2; element <= 6; ++element)
        EXPECT_EQ(toNumber(totals[element - 1], decimalSeparator), tables.total(element))
            << "total " << element;
}

// The plan or flow section laid out like the grid.
void expectMatrix(const std::vector<Record>& rows, const zeltrac::TextTable& table, int stations)
{
    ASSERT_EQ(int(rows.size()), stations);
    Record head{u8("Назначение \\ Отправление")};
    for (int origin = 1; origin < stations; ++origin)
        head << QString::number(origin);
    EXPECT_EQ(rows.front(), head);
    for (int r = 0; r < stations - 1; ++r) {
        Record expected{QString::number(stations - r)};
        for (int c = 0; c < stations - 1; ++c)
            expected << QString::fromStdString(table.cell(c, r));
        EXPECT_EQ(rows[r + 1], expected);
    }
}

} // namespace

TEST(CsvFormat, SeparatorsQuotingAndNumbers)
{
    EXPECT_EQ(csv::fieldSeparator(u8(",")), u8(";"));
    EXPECT_EQ(csv::fieldSeparator(u8(".")), u8(","));
    EXPECT_EQ(csv::fieldSeparator(u8("·")), u8(","));

    EXPECT_EQ(csv::field(u8("Станция"), u8(";")), u8("Станция"));
    EXPECT_EQ(csv::field(u8("1,5"), u8(";")), u8("1,5"));
    EXPECT_EQ(csv::field(u8("1,5"), u8(",")), u8("\"1,5\""));
    EXPECT_EQ(csv::field(u8("Иванов \"И\"; смена"), u8(";")), u8("\"Иванов \"\"И\"\"; смена\""));
    EXPECT_EQ(csv::field(u8("a\nb"), u8(",")), u8("\"a\nb\""));
    EXPECT_EQ(csv::field(QString(), u8(",")), QString());

    // A text a spreadsheet would run as a formula stays a text; numbers stay numbers.
    EXPECT_EQ(csv::field(u8("=1+2"), u8(";")), u8("'=1+2"));
    EXPECT_EQ(csv::field(u8("@SUM(A1)"), u8(";")), u8("'@SUM(A1)"));
    EXPECT_EQ(csv::field(u8("-2+cmd"), u8(";")), u8("'-2+cmd"));
    EXPECT_EQ(csv::field(u8("-3"), u8(";")), u8("-3"));
    EXPECT_EQ(csv::field(u8("+1,5e3"), u8(";")), u8("+1,5e3"));
    for (const char* formula : {"+E1", "-E1+E2", "-2+3", "+1e5-1e5", "\t=1+2", "\r=1", " @A1", "-"})
        EXPECT_TRUE(csv::looksLikeFormula(u8(formula))) << formula;
    for (const char* number : {"-7", " +2.5 ", "-.5", "-1E-3", "5-2"})
        EXPECT_FALSE(csv::looksLikeFormula(u8(number))) << number;

    const auto real = [](long double value) { return zeltrac::Real40::fromWide(value); };
    EXPECT_EQ(csv::number(real(4.5), u8(",")), u8("4,5"));
    EXPECT_EQ(csv::number(real(4.5), u8(".")), u8("4.5"));
    EXPECT_EQ(csv::number(real(1464), u8(",")), u8("1464"));
    EXPECT_EQ(csv::number(real(-0.0), u8(",")), u8("0"));
    EXPECT_EQ(csv::number(real(-12.25), u8(",")), u8("-12,25"));
    // The shortest text that reads back as the same 6-byte real, not as the
    // same double (503.99999999953434).
    EXPECT_EQ(csv::number(real(504 - 0x1p-31L), u8(".")), u8("503.9999999995"));
    EXPECT_EQ(csv::number(real(1.5e30L), u8(",")), u8("1,5e30"));
}

TEST(CsvExport, EveryNumberEqualsTheResultTablesUnderEitherSeparator)
{
    for (const char* separator : {".", ","}) {
        SCOPED_TRACE(separator);
        Workbook book;
        book.load(example("line8.dat"));
        // The example's Tек texts have a full stop: under a comma they are
        // texts the calculation would refuse, so the comma run writes them
        // the other way.
        const QString decimal = u8(separator);
        if (decimal == u",")
            for (int c = 0; c < 8; ++c)
                book.setParam(c, 1, book.param(c, 1).replace(u'.', u','));
        book.setDecimalSeparator(decimal);
        book.setOperatorName(u8("Петров \"П\"; П., смена"));
        ASSERT_EQ(book.calculate(), zeltrac::CalcStatus::Completed);

        const QChar fieldSeparator = decimal == u"," ? u';' : u',';
        const std::vector<Record> records =
            readBack(csv::compose(book.csvExport()), fieldSeparator);
        ASSERT_GE(records.size(), 4u);
        EXPECT_EQ(records[0], Record{u8("Zeltrac")});
        EXPECT_EQ(records[1], (Record{u8("Оператор"), u8("Петров \"П\"; П., смена")}));
        EXPECT_EQ(records[2], (Record{u8("Число станций"), u8("8")}));

        const std::vector<Record> input = section(records, u8("Исходные данные"));
        ASSERT_EQ(input.size(), 3u);
        EXPECT_EQ(input[0], (Record{u8("Станция"), u8("1"), u8("2"), u8("3"), u8("4"), u8("5"),
                                    u8("6"), u8("7"), u8("8")}));
        Record cm{u8("Cm")};
        Record tek{u8("Tек")};
        for (int c = 0; c < 8; ++c) {
            cm << book.param(c, 0);
            tek << book.param(c, 1);
        }
        EXPECT_EQ(input[1], cm);
        EXPECT_EQ(input[2], tek);
        expectMatrix(section(records, u8("Вагонопотоки")), book.flows(), 8);
        expectMatrix(section(records, u8("План формирования")), book.planTexts(), 8);
        expectIndicators(section(records, u8("Показатели плана формирования")), book.resultTables(),
                         8, decimal);
        // A fractional indicator is written with the decimal separator.
        EXPECT_EQ(section(records, u8("Показатели плана формирования"))[5][4],
                  decimal == u"," ? u8("635,5") : u8("635.5"));
        // No exact plan has been computed.
        for (const Record& record : records)
            EXPECT_FALSE(record.front().startsWith(u8("Точный оптимум")));
    }
}

TEST(CsvExport, IndicatorsCarryNoNoiseOfTheSixByteReal)
{
    Workbook book;
    book.load(example("line8.dat"));
    const char* tek[] = {"0.1", "0.3", "1.7", "2.33"};
    for (int c = 0; c < 4; ++c)
        book.setParam(c, 1, u8(tek[c]));
    ASSERT_EQ(book.calculate(), zeltrac::CalcStatus::Completed);
    const std::vector<Record> rows = section(readBack(csv::compose(book.csvExport()), u','),
                                             u8("Показатели плана формирования"));
    expectIndicators(rows, book.resultTables(), 8, u8("."));
    // As doubles: 535.9000000003725, 1435.9000000003725, 844.9999999990687,
    // 2879.39999999851 and 8249.40000000596.
    EXPECT_EQ(rows[4].mid(3), (Record{u8("900"), u8("535.9"), u8("1435.9")}));
    EXPECT_EQ(rows[7][4], u8("844.999999999")); // a 6-byte real just below 845
    EXPECT_EQ(rows.back().mid(4), (Record{u8("2879.4"), u8("8249.4")}));
}

TEST(CsvExport, TheExactPlanFollowsWithItsIndicatorsWhenGiven)
{
    Workbook book;
    book.load(example("three-stations.dat"));
    ASSERT_EQ(book.calculate(), zeltrac::CalcStatus::Completed);
    csv::ExportInput input = book.csvExport();
    csv::PlanSection exact;
    exact.plan = zeltrac::TextTable(2, 2);
    exact.plan.setCell(0, 0, "120");
    exact.plan.setCell(0, 1, "60");
    exact.plan.setCell(1, 0, "80");
    exact.tables.indicators[0][0] = zeltrac::Real40::fromInt(1);
    exact.tables.indicators[1][0] = zeltrac::Real40::fromInt(2);
    exact.tables.indicators[4][1] = zeltrac::Real40::fromWide(4.5L);
    exact.tables.totals[4] = zeltrac::Real40::fromWide(4.5L);
    input.exact = exact;

    const std::vector<Record> records = readBack(csv::compose(input), u',');
    expectMatrix(section(records, u8("Точный оптимум: план формирования")), exact.plan, 3);
    expectIndicators(section(records, u8("Точный оптимум: показатели плана формирования")),
                     exact.tables, 3, u8("."));
    // The calculated plan stays before it, unchanged.
    expectIndicators(section(records, u8("Показатели плана формирования")), book.resultTables(), 3,
                     u8("."));
    EXPECT_EQ(records.back().front(), u8("Всего"));
}

TEST(CsvExport, SavedThroughTheSafeWriter)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Workbook book;
    book.load(example("three-stations.dat"));
    ASSERT_EQ(book.calculate(), zeltrac::CalcStatus::Completed);
    const QString path = dir.filePath(QStringLiteral("plan.csv"));
    book.exportCsv(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), csv::compose(book.csvExport()));
    file.close();

    // A read-only file is not replaced.
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
    const QString before = QString::fromUtf8(csv::compose(book.csvExport()));
    book.setOperatorName(u8("другой"));
    try {
        book.exportCsv(path);
        ADD_FAILURE() << "no error";
    } catch (const zeltrac::Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path.toStdString());
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), before);
    // A missing folder.
    EXPECT_THROW(book.exportCsv(dir.filePath(QStringLiteral("нет/plan.csv"))), zeltrac::Error);
}
