#include "report/report.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <system_error>

#include "calc/numtext.h"

namespace zeltrac::report {

namespace {

// Digits after the point that hold the exact value of every 6-byte real: the
// smallest step is 2^-167 (the lowest bit of the smallest magnitude), and a
// binary fraction with k bits needs exactly k decimal digits.
constexpr int kExactFractionDigits = 170;

// The exact decimal expansion of a finite double's magnitude, in fixed notation
// with kExactFractionDigits digits after the point. A precision this large
// means no rounding happens for any 6-byte real.
std::string exactMagnitude(double value)
{
    // 39 integer digits at most for a 6-byte real (309 for any double), the
    // point and the fraction.
    std::array<char, 320 + kExactFractionDigits> buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                      std::chars_format::fixed, kExactFractionDigits);
    if (result.ec != std::errc())
        return "0";
    return std::string(buffer.data(), result.ptr);
}

// The value rounded to `decimals` digits after the point, halves away from
// zero, decided on the exact value rather than on a shortest or printf-style
// rendering; the point is always ".".
std::string roundedFixed(Real40 stored, int decimals)
{
    const double value = stored.toDouble(); // always finite
    const std::string exact = exactMagnitude(value);
    const std::size_t point = exact.find('.');
    std::string digits = exact.substr(0, point); // integer digits
    std::string_view fraction;
    if (point != std::string::npos)
        fraction = std::string_view(exact).substr(point + 1);
    for (int i = 0; i < decimals; ++i)
        digits += static_cast<std::size_t>(i) < fraction.size() ? fraction[i] : '0';

    const bool roundUp =
        static_cast<std::size_t>(decimals) < fraction.size() && fraction[decimals] >= '5';
    if (roundUp) {
        std::size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
    }

    // A value that rounds to zero is written without a sign.
    std::string text;
    if (value < 0 && digits.find_first_not_of('0') != std::string::npos)
        text += '-';
    const std::size_t integerDigits = digits.size() - static_cast<std::size_t>(decimals);
    text.append(digits, 0, integerDigits);
    if (decimals > 0) {
        text += '.';
        text.append(digits, integerDigits, std::string::npos);
    }
    return text;
}

std::string padLeft(std::string text, int width)
{
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

// The value of a Tек cell: 0 when blank, otherwise the untrimmed text must be
// a real number with the regional decimal separator.
Real40 readTek(const std::string& text, const std::string& decimalSeparator)
{
    if (numtext::trim(text).empty())
        return Real40();
    return numtext::toReal40(text, decimalSeparator);
}

std::string cmField(const std::string& text)
{
    return wholeField(numtext::toWholeLenient(text), 5);
}

void addStationLines(const ReportInput& input, std::vector<std::string>& lines)
{
    const int stations = input.stationParams.columnCount();

    // Each piece is appended in two steps: GCC 12 warns falsely (-Wrestrict)
    // about a literal added before a temporary string.
    lines.emplace_back(" ");
    for (int i = 1; i <= stations; ++i) {
        lines.back() += "     ";
        lines.back() += numtext::wholeToText(i);
    }

    lines.emplace_back("cm");
    for (int i = 1; i <= stations; ++i) {
        lines.back() += ' ';
        lines.back() += cmField(input.stationParams.cell(i - 1, 0));
    }

    lines.emplace_back("Tek");
    for (int i = 1; i <= stations; ++i) {
        // A bad cell throws here, before its piece; the pieces appended so
        // far stay.
        const Real40 tek = readTek(input.stationParams.cell(i - 1, 1), input.decimalSeparator);
        lines.back() += ' ';
        lines.back() += tekField(tek);
    }
}

void addTriangleLines(const TextTable& grid, std::vector<std::string>& lines)
{
    const int rows = grid.rowCount();
    const int columns = grid.columnCount();
    for (int r = 1; r <= rows; ++r) {
        lines.emplace_back("     ");
        for (int c = 1; c <= columns - r + 1; ++c)
            lines.back() += wholeField(numtext::toWholeLenient(grid.cell(c - 1, r - 1)), 6);
    }
}

Real40 indicatorOf(const ResultTables* tables, int column, int station)
{
    if (tables == nullptr || station < 1 || station > kMaxStations)
        return Real40();
    return tables->indicator(column, station);
}

Real40 totalOf(const ResultTables* tables, int element)
{
    return tables == nullptr ? Real40() : tables->total(element);
}

} // namespace

std::string wholeField(std::int64_t value, int width)
{
    return padLeft(numtext::wholeToText(value), width);
}

std::string tekField(Real40 value)
{
    return padLeft(roundedFixed(value, 1), 5);
}

std::string indicatorField(Real40 value)
{
    return padLeft(roundedFixed(value, 0), 9);
}

std::string dateTimeText(const std::string& date, const std::string& time, bool midnight)
{
    return midnight ? date : date + " " + time;
}

void composeReport(const ReportInput& input, std::vector<std::string>& lines)
{
    lines.emplace_back("Zeltrac");
    lines.emplace_back("С ПРИЛОЖЕНИЕМ РАБОТАЕТ: " + input.operatorName + "  " + input.dateTime);
    lines.emplace_back();
    lines.emplace_back("ИСХОДНЫЕ ДАННЫЕ");
    lines.emplace_back();
    addStationLines(input, lines);
    lines.emplace_back();
    addTriangleLines(input.flows, lines);
    lines.emplace_back();
    lines.emplace_back("ОПТИМАЛЬНЫЙ ПЛАН ФОРМИРОВАНИЯ");
    lines.emplace_back();
    addStationLines(input, lines);
    lines.emplace_back();
    addTriangleLines(input.plan, lines);
    lines.emplace_back();
    lines.emplace_back("ПОКАЗАТЕЛИ ПЛАНА ФОРМИРОВАНИЯ");
    lines.emplace_back();
    lines.emplace_back(" №       ЧИСЛО      ПЕРЕРАБОТКА   ЗАТРАТЫ ВАГОНО-ЧАСОВ");
    lines.emplace_back(" СТАНЦИИ НАЗНАЧЕНИЙ ВАГОНОВ  НАКОПЛЕНИЕ ПЕРЕРАБОТ  ИТОГО");

    const int planRows = input.plan.rowCount();
    for (int station = 1; station <= planRows; ++station) {
        lines.emplace_back();
        for (int column = 1; column <= 6; ++column)
            lines.back() += indicatorField(indicatorOf(input.tables, column, station));
    }

    lines.emplace_back("  ВСЕГО  ");
    for (int element = 2; element <= 6; ++element)
        lines.back() += indicatorField(totalOf(input.tables, element));
}

} // namespace zeltrac::report
