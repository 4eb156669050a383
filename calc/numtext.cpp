#include "calc/numtext.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "calc/error.h"

namespace zeltrac::numtext {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::size_t skipSpaces(std::string_view text, std::size_t pos)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return pos;
}

std::optional<std::int32_t> parseHex(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    int significant = 0;
    for (const char c : digits) {
        const int v = hexValue(c);
        if (v < 0)
            return std::nullopt;
        if (significant == 0 && v == 0)
            continue;
        if (++significant > 8)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(v);
    }
    return static_cast<std::int32_t>(value); // the 32-bit pattern
}

std::optional<std::int32_t> parseDecimal(std::string_view text)
{
    bool negative = false;
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size())
        return std::nullopt;
    constexpr std::int64_t kLimit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        if (!isDigit(text[pos]))
            return std::nullopt;
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > kLimit)
            magnitude = kLimit + 1; // saturate: out of range whatever follows
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

std::string_view trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(begin, end - begin);
}

std::optional<std::int32_t> parseWhole(std::string_view text)
{
    const std::string_view rest = text.substr(skipSpaces(text, 0));
    if (!rest.empty() && rest.front() == '$')
        return parseHex(rest.substr(1));
    return parseDecimal(rest);
}

std::int32_t toWhole(std::string_view text)
{
    const auto value = parseWhole(text);
    if (!value)
        throw Error(formatMessage(messages::notAnInteger, quotedText(text)));
    return *value;
}

std::int32_t toWholeLenient(std::string_view text)
{
    return parseWhole(text).value_or(0);
}

std::optional<Wide> parseReal(std::string_view text, std::string_view decimalSeparator)
{
    std::size_t pos = skipSpaces(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t intBegin = pos;
    while (pos < text.size() && isDigit(text[pos]))
        ++pos;
    const std::string_view intDigits = text.substr(intBegin, pos - intBegin);
    std::string_view fracDigits;
    if (!decimalSeparator.empty() && text.substr(pos).starts_with(decimalSeparator)) {
        pos += decimalSeparator.size();
        const std::size_t fracBegin = pos;
        while (pos < text.size() && isDigit(text[pos]))
            ++pos;
        fracDigits = text.substr(fracBegin, pos - fracBegin);
    }
    if (intDigits.empty() && fracDigits.empty())
        return std::nullopt;

    // The exponent, saturated far beyond any finite wide value.
    constexpr std::int64_t kExponentLimit = 1'000'000'000;
    std::int64_t exponent = 0;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        bool expNegative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            expNegative = text[pos] == '-';
            ++pos;
        }
        const std::size_t expBegin = pos;
        for (; pos < text.size() && isDigit(text[pos]); ++pos) {
            exponent = exponent * 10 + (text[pos] - '0');
            if (exponent > kExponentLimit)
                exponent = kExponentLimit;
        }
        if (pos == expBegin)
            return std::nullopt;
        if (expNegative)
            exponent = -exponent;
    }
    pos = skipSpaces(text, pos);
    if (pos != text.size())
        return std::nullopt;

    // A plain ASCII form for the correctly rounding conversion.
    std::string plain;
    plain.reserve(intDigits.size() + fracDigits.size() + 16);
    if (negative)
        plain += '-';
    if (intDigits.empty())
        plain += '0';
    else
        plain += intDigits;
    if (!fracDigits.empty()) {
        plain += '.';
        plain += fracDigits;
    }
    char expText[24];
    const auto expEnd = std::to_chars(expText, expText + sizeof expText, exponent).ptr;
    plain += 'e';
    plain.append(expText, expEnd);

    Wide value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Beyond the wide range: the decimal position of the leading digit
        // tells an overflow from an underflow.
        std::int64_t lead = 0;
        const std::size_t first = intDigits.find_first_not_of('0');
        if (first != std::string_view::npos)
            lead = static_cast<std::int64_t>(intDigits.size() - 1 - first);
        else
            lead = -static_cast<std::int64_t>(fracDigits.find_first_not_of('0') + 1);
        const Wide magnitude =
            lead + exponent >= 0 ? std::numeric_limits<Wide>::infinity() : Wide(0);
        return negative ? -magnitude : magnitude;
    }
    if (ec != std::errc() || end != plain.data() + plain.size())
        return std::nullopt;
    return value;
}

Real40 toReal40(std::string_view text, std::string_view decimalSeparator)
{
    const auto value = parseReal(text, decimalSeparator);
    if (!value)
        throw Error(formatMessage(messages::notAReal, quotedText(text)));
    return Real40::fromWide(*value);
}

namespace {

// The text of the decimal 0.d1d2...dk * 10^(point), digits without trailing
// zeros: plain or with an exponent, whichever is shorter (plain on a tie).
std::string decimalText(const std::string& digits, int point)
{
    const int k = static_cast<int>(digits.size());
    std::string plain;
    if (point <= 0)
        plain = "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    else if (point >= k)
        plain = digits + std::string(static_cast<std::size_t>(point - k), '0');
    else
        plain = digits.substr(0, point) + "." + digits.substr(point);
    std::string exponent = digits.substr(0, 1);
    if (k > 1)
        exponent.append(".").append(digits, 1);
    exponent.append("e").append(wholeToText(point - 1));
    return exponent.size() < plain.size() ? exponent : plain;
}

bool readsBackAs(const std::string& text, Real40 value)
{
    const auto wide = parseReal(text, ".");
    try {
        return wide && Real40::fromWide(*wide) == value;
    } catch (const Error&) {
        return false; // beyond the largest magnitude
    }
}

} // namespace

std::string realToText(Real40 value)
{
    const double x = value.toDouble();
    if (x == 0)
        return "0";
    const std::string sign = x < 0 ? "-" : "";
    // Every 6-byte real has an exact decimal form of at most 130 significant
    // digits: m * 2^e with m below 2^40 and e at least -167.
    char buffer[256];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                   std::chars_format::scientific, 200)
                         .ptr;
    const std::string_view exact(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = exact.find('e');
    const std::string all = std::string(exact.substr(0, 1)) + std::string(exact.substr(2, e - 2));
    int point = 1;
    std::from_chars(exact.data() + e + 1 + (exact[e + 1] == '+'), exact.data() + exact.size(),
                    point);
    ++point; // d.ddd * 10^E = 0.dddd * 10^(E+1)

    // With p digits, the decimals on either side of the value are its digits
    // cut after p (below) and those plus one unit in the last place (above);
    // if any p-digit decimal reads back as the value, one of these two does.
    // The nearer is tried first.
    for (std::size_t p = 1; p <= 17; ++p) {
        std::string below = all.substr(0, p);
        std::string above = below;
        int abovePoint = point;
        std::size_t i = p;
        while (i > 0 && above[i - 1] == '9')
            above[--i] = '0';
        if (i == 0) {
            above.insert(above.begin(), '1');
            ++abovePoint;
        } else {
            ++above[i - 1];
        }
        const bool aboveNearer = all.compare(p, std::string::npos, "5") >= 0;
        auto trimmed = [](std::string digits) {
            digits.erase(digits.find_last_not_of('0') + 1);
            return digits;
        };
        std::string candidates[2] = {decimalText(trimmed(below), point),
                                     decimalText(trimmed(above), abovePoint)};
        if (aboveNearer)
            std::swap(candidates[0], candidates[1]);
        for (const std::string& text : candidates) {
            if (readsBackAs(sign + text, value))
                return sign + text;
        }
    }
    // Not reached: 17 digits tell every double apart.
    return sign + std::string(exact);
}

std::string wholeToText(std::int64_t value)
{
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

} // namespace zeltrac::numtext
