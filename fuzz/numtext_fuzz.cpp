// libFuzzer target: the whole-number and real-number conversions and the
// 6-byte real store, on any bytes.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "calc/error.h"
#include "calc/numtext.h"
#include "calc/real40.h"

using namespace zeltrac;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// An error's text as far as what() gives it (up to a NUL character).
// A NUL byte of the text is written \x00 in the message.
bool sameMessage(const Error& error, const std::string& expected)
{
    return error.what() == withVisibleNul(expected);
}

bool isSpaceOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// The whole-number forms, checked digit by digit in a wider type.
std::optional<std::int32_t> plainWhole(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    if (pos < text.size() && text[pos] == '$') {
        ++pos;
        if (pos == text.size())
            return std::nullopt;
        std::uint64_t value = 0;
        for (; pos < text.size(); ++pos) {
            const char c = text[pos];
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFu)
                value = std::uint64_t{1} << 40; // stays out of range
        }
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    if (pos == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9')
            return std::nullopt;
        value = value * 10 + (text[pos] - '0');
        if (value > (std::int64_t{1} << 40))
            value = std::int64_t{1} << 40;
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void checkWhole(std::string_view text)
{
    const auto value = numtext::parseWhole(text);
    check(value == plainWhole(text));
    check(numtext::toWholeLenient(text) == value.value_or(0));
    try {
        check(numtext::toWhole(text) == *value);
    } catch (const Error& e) {
        check(!value);
        check(sameMessage(e, "'" + quotedText(text) + "' is not a valid integer value"));
    }
    if (value)
        check(numtext::parseWhole(numtext::wholeToText(*value)) == value);

    const std::string_view trimmed = numtext::trim(text);
    check(trimmed.empty() ||
          (!isSpaceOrControl(trimmed.front()) && !isSpaceOrControl(trimmed.back())));
    check(text.find(trimmed) != std::string_view::npos);
}

// A stored value: 40 significant bits, within half a unit of its last place
// of the wide value (ties away from zero), 0 below the smallest magnitude.
void checkStore(Wide value)
{
    Real40 stored;
    try {
        stored = Real40::fromWide(value);
    } catch (const Error& e) {
        check(std::string(e.what()) == "Floating point overflow");
        check(!(std::fabs(value) < 0x1p127L - 0x1p86L));
        return;
    }
    check(std::fabs(value) < 0x1p127L - 0x1p86L);
    const double result = stored.toDouble();
    check(std::fabs(result) <= Real40::maxValue());
    if (result == 0) {
        check(std::fabs(value) < 0x1p-128L);
        return;
    }
    int exponent = 0;
    const double fraction = std::frexp(result, &exponent);
    check(std::ldexp(fraction, 40) == std::trunc(std::ldexp(fraction, 40))); // 40 bits
    const Wide halfUnit = std::ldexp(Wide(1), exponent - 41);
    check(std::fabs(static_cast<Wide>(result) - value) <= halfUnit);

    unsigned char bytes[6];
    stored.toBytes(bytes);
    check(Real40::fromBytes(bytes) == stored);

    // Its shortest text reads back as the same real.
    check(numtext::toReal40(numtext::realToText(stored), ".") == stored);
}

void checkReal(std::string_view text)
{
    for (const std::string_view separator : {".", ",", "\xD9\xAB"}) {
        const auto value = numtext::parseReal(text, separator);
        try {
            const Real40 stored = numtext::toReal40(text, separator);
            check(value && Real40::fromWide(*value) == stored);
        } catch (const Error& e) {
            const std::string message = e.what();
            if (value)
                check(message == "Floating point overflow");
            else
                check(sameMessage(e, "'" + quotedText(text) +
                                         "' is not a valid floating point value"));
        }
        if (value)
            checkStore(*value);
    }
    // The separator is only a character: the same text with "," in place of
    // "." reads alike.
    if (text.find(',') == std::string_view::npos) {
        std::string withComma(text);
        for (char& c : withComma) {
            if (c == '.')
                c = ',';
        }
        const auto point = numtext::parseReal(text, ".");
        const auto comma = numtext::parseReal(withComma, ",");
        check(point.has_value() == comma.has_value());
        if (point && !std::isnan(*point))
            check(*point == *comma);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkWhole(text);
    checkReal(text);
    if (size >= sizeof(Wide)) {
        Wide value;
        std::memcpy(&value, data, sizeof value);
        checkStore(value);
    }
    return 0;
}
