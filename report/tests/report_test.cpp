#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "calc/error.h"
#include "calc/numtext.h"
#include "report/datetime.h"
#include "report/report.h"

using zeltrac::Error;
using zeltrac::Real40;
using zeltrac::ResultTables;
using zeltrac::TextTable;
using zeltrac::report::composeReport;
using zeltrac::report::dateTimeText;
using zeltrac::report::indicatorField;
using zeltrac::report::ReportInput;
using zeltrac::report::tekField;
using zeltrac::report::wholeField;

namespace {

// Characters of a UTF-8 text (the report's Cyrillic literals take two bytes each).
std::size_t charCount(const std::string& text)
{
    std::size_t count = 0;
    for (unsigned char byte : text)
        count += (byte & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

// The character position (from 1) where `word` starts in `line`.
std::size_t charPosition(const std::string& line, const std::string& word)
{
    const std::size_t byteOffset = line.find(word);
    return byteOffset == std::string::npos ? 0 : charCount(line.substr(0, byteOffset)) + 1;
}

Real40 real(long double value)
{
    return Real40::fromWide(value);
}

Real40 parsed(const char* text)
{
    return zeltrac::numtext::toReal40(text, ".");
}

// Station parameters: Cm texts in row 0, Tек texts in row 1.
TextTable params(std::initializer_list<const char*> cm, std::initializer_list<const char*> tek)
{
    TextTable table(static_cast<int>(cm.size()), 2);
    int c = 0;
    for (const char* text : cm)
        table.setCell(c++, 0, text);
    c = 0;
    for (const char* text : tek)
        table.setCell(c++, 1, text);
    return table;
}

// A square grid filled row by row.
TextTable grid(int size, std::initializer_list<std::initializer_list<const char*>> rows)
{
    TextTable table(size, size);
    int r = 0;
    for (const auto& row : rows) {
        int c = 0;
        for (const char* text : row)
            table.setCell(c++, r, text);
        ++r;
    }
    return table;
}

void setStation(ResultTables& tables, int station, std::initializer_list<long double> values)
{
    int column = 0;
    for (long double value : values)
        tables.indicators[column++][station - 1] = real(value);
}

// A line of N stations with every cell filled with simple numbers.
ReportInput lineOf(int stations, const ResultTables* tables)
{
    ReportInput input;
    input.operatorName = "Оператор";
    input.dateTime = "01.02.03 04:05:06";
    input.stationParams = TextTable(stations, 2);
    input.flows = TextTable(stations - 1, stations - 1);
    input.plan = TextTable(stations - 1, stations - 1);
    for (int c = 0; c < stations; ++c) {
        input.stationParams.setCell(c, 0, "100");
        input.stationParams.setCell(c, 1, "2.5");
    }
    for (int c = 0; c < stations - 1; ++c) {
        for (int r = 0; c + r < stations - 1; ++r) {
            input.flows.setCell(c, r, "7");
            input.plan.setCell(c, r, "9");
        }
    }
    input.tables = tables;
    return input;
}

std::vector<std::string> compose(const ReportInput& input)
{
    std::vector<std::string> lines;
    composeReport(input, lines);
    return lines;
}

const char* const kFourStationReport = R"(Zeltrac
С ПРИЛОЖЕНИЕМ РАБОТАЕТ: Имя оператора  05.03.01 14:07:09

ИСХОДНЫЕ ДАННЫЕ

      1     2     3     4
cm    10    12     8     9
Tek   3.0   2.5   0.0   1.0

         40    25     5
         30    10
         20

ОПТИМАЛЬНЫЙ ПЛАН ФОРМИРОВАНИЯ

      1     2     3     4
cm    10    12     8     9
Tek   3.0   2.5   0.0   1.0

         40     0     5
         30    10
          0

ПОКАЗАТЕЛИ ПЛАНА ФОРМИРОВАНИЯ

 №       ЧИСЛО      ПЕРЕРАБОТКА   ЗАТРАТЫ ВАГОНО-ЧАСОВ
 СТАНЦИИ НАЗНАЧЕНИЙ ВАГОНОВ  НАКОПЛЕНИЕ ПЕРЕРАБОТ  ИТОГО
        1        2        0       20        0       20
        2        2       14       24       35       59
        3        0        0        0        0        0
  ВСЕГО          4       14       44       35       79)";

ReportInput fourStationInput(const ResultTables& tables)
{
    ReportInput input;
    input.operatorName = "Имя оператора";
    input.dateTime = "05.03.01 14:07:09";
    input.stationParams = params({"10", "12", "8", "9"}, {"3", "2.5", "0", "1"});
    input.flows = grid(3, {{"40", "25", "5"}, {"30", "10"}, {"20"}});
    input.plan = grid(3, {{"40", "", "5"}, {"30", "10"}, {""}});
    input.tables = &tables;
    return input;
}

ResultTables fourStationTables()
{
    ResultTables tables;
    setStation(tables, 1, {1, 2, 0, 20, 0, 20});
    setStation(tables, 2, {2, 2, 14, 24, 35, 59});
    setStation(tables, 3, {3, 0, 0, 0, 0, 0});
    // A later station of an earlier, longer line: never read.
    setStation(tables, 4, {4, 9, 9, 9, 9, 9});
    tables.totals = {real(0), real(4), real(14), real(44), real(35), real(79)};
    return tables;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\n" : "") + lines[i];
    return text;
}

} // namespace

TEST(ReportLayout, FourStationExampleCharacterForCharacter)
{
    const ResultTables tables = fourStationTables();
    const auto lines = compose(fourStationInput(tables));
    EXPECT_EQ(lines.size(), 31u);
    EXPECT_EQ(joined(lines), kFourStationReport);
}

TEST(ReportLayout, AppendsToTheGivenList)
{
    const ResultTables tables = fourStationTables();
    std::vector<std::string> lines{"earlier"};
    composeReport(fourStationInput(tables), lines);
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines[0], "earlier");
    EXPECT_EQ(lines[1], "Zeltrac");
}

TEST(ReportLayout, ThreeStations)
{
    ResultTables tables;
    setStation(tables, 1, {1});
    setStation(tables, 2, {2});
    const auto lines = compose(lineOf(3, &tables));
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[5], "      1     2     3");
    EXPECT_EQ(lines[9], "          7     7");
    EXPECT_EQ(lines[10], "          7");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[18], "          9     9");
    EXPECT_EQ(lines[19], "          9");
    EXPECT_EQ(lines[25], "        1        0        0        0        0        0");
    EXPECT_EQ(lines[26], "        2        0        0        0        0        0");
    EXPECT_EQ(lines[27], "  ВСЕГО          0        0        0        0        0");
}

TEST(ReportLayout, TwentyOneStations)
{
    ResultTables tables;
    for (int station = 1; station <= 21; ++station)
        setStation(tables, station, {static_cast<long double>(station)});
    const auto lines = compose(lineOf(21, &tables));
    ASSERT_EQ(lines.size(), 82u);
    EXPECT_EQ(charCount(lines[5]), 139u);
    EXPECT_EQ(lines[5].substr(lines[5].size() - 14), "     20     21");
    EXPECT_EQ(charCount(lines[6]), 2u + 21 * 6);
    EXPECT_EQ(charCount(lines[7]), 3u + 21 * 6);
    // Each triangle: 20 values down to 1.
    EXPECT_EQ(charCount(lines[9]), 125u);
    EXPECT_EQ(charCount(lines[28]), 11u);
    EXPECT_EQ(lines[29], "");
    EXPECT_EQ(charCount(lines[36]), 125u);
    EXPECT_EQ(charCount(lines[55]), 11u);
    EXPECT_EQ(lines[56], "");
    for (std::size_t i = 61; i < 82; ++i)
        EXPECT_EQ(charCount(lines[i]), 54u) << "line " << i;
    EXPECT_EQ(lines[80].substr(0, 9), "       20");
}

TEST(ReportLayout, ColumnHeadsAndTitles)
{
    ResultTables tables;
    const auto lines = compose(lineOf(4, &tables));
    const std::string& head1 = lines[25];
    const std::string& head2 = lines[26];
    EXPECT_EQ(charCount(head1), 54u);
    EXPECT_EQ(charCount(head2), 56u);
    EXPECT_EQ(charPosition(head1, "№"), 2u);
    EXPECT_EQ(charPosition(head1, "ЧИСЛО"), 10u);
    EXPECT_EQ(charPosition(head1, "ПЕРЕРАБОТКА"), 21u);
    EXPECT_EQ(charPosition(head1, "ЗАТРАТЫ"), 35u);
    EXPECT_EQ(charPosition(head1, "ВАГОНО-ЧАСОВ"), 43u);
    EXPECT_EQ(charPosition(head2, "СТАНЦИИ"), 2u);
    EXPECT_EQ(charPosition(head2, "НАЗНАЧЕНИЙ"), 10u);
    EXPECT_EQ(charPosition(head2, "ВАГОНОВ"), 21u);
    EXPECT_EQ(charPosition(head2, "НАКОПЛЕНИЕ"), 30u);
    EXPECT_EQ(charPosition(head2, "ПЕРЕРАБОТ "), 41u);
    EXPECT_EQ(charPosition(head2, "ИТОГО"), 52u);
    EXPECT_EQ(lines[0], "Zeltrac");
    EXPECT_EQ(lines[3], "ИСХОДНЫЕ ДАННЫЕ");
    EXPECT_EQ(lines[13], "ОПТИМАЛЬНЫЙ ПЛАН ФОРМИРОВАНИЯ");
    EXPECT_EQ(lines[23], "ПОКАЗАТЕЛИ ПЛАНА ФОРМИРОВАНИЯ");
    EXPECT_EQ(lines.back(), "  ВСЕГО          0        0        0        0        0");
}

TEST(ReportLayout, OperatorLine)
{
    ResultTables tables;
    ReportInput input = lineOf(3, &tables);
    input.operatorName = "";
    EXPECT_EQ(compose(input)[1], "С ПРИЛОЖЕНИЕМ РАБОТАЕТ:   01.02.03 04:05:06");
    input.operatorName = " Петров ";
    input.dateTime = "01.02.03";
    EXPECT_EQ(compose(input)[1], "С ПРИЛОЖЕНИЕМ РАБОТАЕТ:  Петров   01.02.03");
}

TEST(ReportLayout, BoundsComeFromTheGrids)
{
    ResultTables tables;
    ReportInput input = lineOf(4, &tables);
    // A flow grid with more rows than columns: the rows past the columns are
    // just the five spaces.
    input.flows = TextTable(2, 4);
    input.flows.setCell(0, 0, "1");
    input.flows.setCell(1, 0, "2");
    input.flows.setCell(0, 1, "3");
    const auto lines = compose(input);
    ASSERT_EQ(lines.size(), 22u + 4 + 2 * 3);
    EXPECT_EQ(lines[9], "          1     2");
    EXPECT_EQ(lines[10], "          3");
    EXPECT_EQ(lines[11], "     ");
    EXPECT_EQ(lines[12], "     ");
}

TEST(ReportLayout, PlanGridLargerThanTheTablesReadsZeros)
{
    ResultTables tables;
    setStation(tables, 21, {21, 1, 1, 1, 1, 1});
    ReportInput input = lineOf(3, &tables);
    input.plan = TextTable(23, 23);
    const auto lines = compose(input);
    ASSERT_EQ(lines.size(), 22u + 2 + 2 * 23);
    EXPECT_EQ(lines[lines.size() - 4], "       21        1        1        1        1        1");
    EXPECT_EQ(lines[lines.size() - 3], "        0        0        0        0        0        0");
    EXPECT_EQ(lines[lines.size() - 2], "        0        0        0        0        0        0");
}

TEST(ReportLayout, NoTablesShowZeros)
{
    ReportInput input = lineOf(3, nullptr);
    const auto lines = compose(input);
    EXPECT_EQ(lines[25], "        0        0        0        0        0        0");
    EXPECT_EQ(lines[27], "  ВСЕГО          0        0        0        0        0");
}

TEST(ReportCells, CmLenientWholeNumbers)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {" 12", "   12"},        {"12", "   12"},
        {"12 ", "    0"},        {"12.5", "    0"},
        {"abc", "    0"},        {"", "    0"},
        {"-3", "   -3"},         {"+7", "    7"},
        {"$1F", "   31"},        {"$ff", "  255"},
        {"$FFFFFFFF", "   -1"},  {"2147483647", "2147483647"},
        {"2147483648", "    0"}, {"-2147483648", "-2147483648"},
        {"\t5", "    0"},        {"1e3", "    0"},
    };
    for (const auto& [text, field] : cases) {
        ResultTables tables;
        ReportInput input = lineOf(3, &tables);
        input.stationParams.setCell(1, 0, text);
        const auto lines = compose(input);
        EXPECT_EQ(lines[6], std::string("cm   100 ") + field + "   100") << '"' << text << '"';
        EXPECT_EQ(lines[15], lines[6]);
    }
}

TEST(ReportCells, SixDigitCmPushesTheLineRight)
{
    ResultTables tables;
    ReportInput input = lineOf(3, &tables);
    input.stationParams.setCell(0, 0, "123456");
    EXPECT_EQ(compose(input)[6], "cm 123456   100   100");
}

TEST(ReportCells, TekReadings)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"", "  0.0"},      {"   ", "  0.0"},       {"\t \r\n", "  0.0"}, {"2.5", "  2.5"},
        {" 2.5 ", "  2.5"}, {"2.25", "  2.3"},      {"0.15", "  0.2"},    {"1.15", "  1.1"},
        {"-2.25", " -2.3"}, {"3", "  3.0"},         {"1e2", "100.0"},     {"+1.5E1", " 15.0"},
        {"99.96", "100.0"}, {"123456", "123456.0"}, {"-0.04", "  0.0"},   {"0.05", "  0.1"},
    };
    for (const auto& [text, field] : cases) {
        ResultTables tables;
        ReportInput input = lineOf(3, &tables);
        input.stationParams.setCell(2, 1, text);
        const auto lines = compose(input);
        EXPECT_EQ(lines[7], std::string("Tek   2.5   2.5 ") + field) << '"' << text << '"';
        EXPECT_EQ(lines[16], lines[7]);
    }
}

TEST(ReportCells, TekWithTheRegionalDecimalComma)
{
    ResultTables tables;
    ReportInput input = lineOf(3, &tables);
    input.decimalSeparator = ",";
    input.stationParams = params({"1", "2", "3"}, {"2,5", " 0,15", ""});
    EXPECT_EQ(compose(input)[7], "Tek   2.5   0.2   0.0");

    input.stationParams.setCell(1, 1, "2.5");
    std::vector<std::string> lines;
    try {
        composeReport(input, lines);
        FAIL() << "a full stop is not the separator here";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'2.5' is not a valid floating point value");
    }
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[7], "Tek   2.5");
}

TEST(ReportCells, BadTekStopsTheReportKeepingWhatWasComposed)
{
    struct Case
    {
        int column;
        const char* text;
        const char* message;
        const char* tekLine;
    };
    const std::vector<Case> cases = {
        {0, "x", "'x' is not a valid floating point value", "Tek"},
        {2, "1,5", "'1,5' is not a valid floating point value", "Tek   2.5   2.5"},
        // Untrimmed: the tab is part of the text and makes it no number.
        {1, "\t2.5", "'\t2.5' is not a valid floating point value", "Tek   2.5"},
        {1, "2.5.1", "'2.5.1' is not a valid floating point value", "Tek   2.5"},
        {2, "1e39", "Floating point overflow", "Tek   2.5   2.5"},
    };
    for (const Case& c : cases) {
        ResultTables tables;
        ReportInput input = lineOf(3, &tables);
        input.stationParams.setCell(c.column, 1, c.text);
        std::vector<std::string> lines;
        try {
            composeReport(input, lines);
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        ASSERT_EQ(lines.size(), 8u) << c.text;
        EXPECT_EQ(lines[0], "Zeltrac");
        EXPECT_EQ(lines[1], "С ПРИЛОЖЕНИЕМ РАБОТАЕТ: Оператор  01.02.03 04:05:06");
        EXPECT_EQ(lines[5], "      1     2     3");
        EXPECT_EQ(lines[6], "cm   100   100   100");
        EXPECT_EQ(lines[7], c.tekLine) << c.text;
    }
}

TEST(ReportCells, TrianglesReadLeniently)
{
    ResultTables tables;
    ReportInput input = lineOf(4, &tables);
    input.flows = grid(3, {{" 40", "40 ", "x"}, {"", "-5"}, {"1234567"}});
    input.plan = grid(3, {{"", "0", "$10"}, {"30", ""}, {""}});
    const auto lines = compose(input);
    EXPECT_EQ(lines[9], "         40     0     0");
    EXPECT_EQ(lines[10], "          0    -5");
    EXPECT_EQ(lines[11], "     1234567");
    EXPECT_EQ(lines[19], "          0     0    16");
    EXPECT_EQ(lines[20], "         30     0");
    EXPECT_EQ(lines[21], "          0");
}

TEST(ReportFields, IndicatorLinesAndTotals)
{
    ResultTables tables;
    setStation(tables, 1, {1, 3, -12, 300, 4.5, 304.5});
    setStation(tables, 2, {2, 0, 7, 0, -4.5, -4.5});
    tables.totals = {real(0), real(3), real(-5), real(300), real(0), real(300)};
    const auto lines = compose(lineOf(3, &tables));
    EXPECT_EQ(lines[25], "        1        3      -12      300        5      305");
    EXPECT_EQ(lines[26], "        2        0        7        0       -5       -5");
    EXPECT_EQ(lines[27], "  ВСЕГО          3       -5      300        0      300");
}

TEST(ReportFields, IndicatorRounding)
{
    EXPECT_EQ(indicatorField(real(0)), "        0");
    EXPECT_EQ(indicatorField(real(-0.0L)), "        0");
    EXPECT_EQ(indicatorField(real(2.5)), "        3");
    EXPECT_EQ(indicatorField(real(0.5)), "        1");
    EXPECT_EQ(indicatorField(real(-0.5)), "       -1");
    EXPECT_EQ(indicatorField(real(-0.3)), "        0");
    EXPECT_EQ(indicatorField(real(2.4999)), "        2");
    EXPECT_EQ(indicatorField(real(999999999.5L)), "1000000000");
    EXPECT_EQ(indicatorField(real(-12345678.5L)), "-12345679");
    EXPECT_EQ(indicatorField(real(1.4999999L)), "        1");
}

TEST(ReportFields, HugeIndicatorsAreWrittenExactlyAndInFull)
{
    EXPECT_EQ(indicatorField(real(Real40::maxValue())), "170141183460314489226776631181521715200");
    EXPECT_EQ(indicatorField(real(-Real40::maxValue())),
              "-170141183460314489226776631181521715200");
    // 10^20 is not a 40-bit value; the stored neighbour is written.
    EXPECT_EQ(indicatorField(real(1e20L)), "99999999999948619776");
    EXPECT_EQ(indicatorField(real(Real40::minPositive())), "        0");
}

TEST(ReportFields, TekRoundsTheStoredValue)
{
    EXPECT_EQ(tekField(parsed("2.25")), "  2.3");
    EXPECT_EQ(tekField(parsed("0.15")), "  0.2");
    EXPECT_EQ(tekField(parsed("1.15")), "  1.1");
    EXPECT_EQ(tekField(parsed("0.35")), "  0.3");
    EXPECT_EQ(tekField(parsed("0.25")), "  0.3");
    EXPECT_EQ(tekField(parsed("-0.25")), " -0.3");
    EXPECT_EQ(tekField(parsed("9.96")), " 10.0");
    EXPECT_EQ(tekField(parsed("-99.95")), "-99.9");
    EXPECT_EQ(tekField(real(0)), "  0.0");
    EXPECT_EQ(tekField(real(Real40::minPositive())), "  0.0");
    EXPECT_EQ(tekField(real(Real40::maxValue())), "170141183460314489226776631181521715200.0");
}

TEST(ReportFields, WholeFields)
{
    EXPECT_EQ(wholeField(0, 5), "    0");
    EXPECT_EQ(wholeField(-3, 5), "   -3");
    EXPECT_EQ(wholeField(123456, 5), "123456");
    EXPECT_EQ(wholeField(12, 6), "    12");
    EXPECT_EQ(wholeField(-2147483648LL, 9), "-2147483648");
}

TEST(ReportFields, DateAndTime)
{
    EXPECT_EQ(dateTimeText("05.03.01", "14:07:09", false), "05.03.01 14:07:09");
    EXPECT_EQ(dateTimeText("05.03.2001", "0:00:00", true), "05.03.2001");
}

TEST(ReportDateTime, TimeFormatLosesItsZone)
{
    using zeltrac::report::timeFormatWithoutZone;
    EXPECT_EQ(timeFormatWithoutZone(u"HH:mm:ss t"_qs), u"HH:mm:ss"_qs);
    EXPECT_EQ(timeFormatWithoutZone(u"h:mm:ss AP t"_qs), u"h:mm:ss AP"_qs);
    EXPECT_EQ(timeFormatWithoutZone(u"t HH:mm:ss"_qs), u"HH:mm:ss"_qs);
    EXPECT_EQ(timeFormatWithoutZone(u"HH:mm:sstttt"_qs), u"HH:mm:ss"_qs);
    EXPECT_EQ(timeFormatWithoutZone(u"HH 'at' mm"_qs), u"HH 'at' mm"_qs);
    EXPECT_EQ(timeFormatWithoutZone(u"HH:mm:ss"_qs), u"HH:mm:ss"_qs);
}

TEST(ReportDateTime, RegionalFormatsAndMidnight)
{
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    EXPECT_EQ(
        zeltrac::report::reportDateTime(russian, QDateTime(QDate(2001, 3, 5), QTime(14, 7, 9))),
        "05.03.2001 14:07:09");
    EXPECT_EQ(
        zeltrac::report::reportDateTime(russian, QDateTime(QDate(2001, 3, 5), QTime(0, 0, 0))),
        "05.03.2001");
}
