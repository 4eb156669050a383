#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "calc/error.h"
#include "calc/numtext.h"

using namespace zeltrac;
using namespace zeltrac::numtext;

namespace {

// Exact decimal text of m * 2^-e, m given as a decimal digit string.
std::string dyadicText(std::string mantissa, int e)
{
    std::vector<int> digits; // little endian
    for (auto it = mantissa.rbegin(); it != mantissa.rend(); ++it)
        digits.push_back(*it - '0');
    for (int i = 0; i < e; ++i) { // times 5^e, then the point e places left
        int carry = 0;
        for (int& d : digits) {
            const int v = d * 5 + carry;
            d = v % 10;
            carry = v / 10;
        }
        while (carry) {
            digits.push_back(carry % 10);
            carry /= 10;
        }
    }
    while (static_cast<int>(digits.size()) <= e)
        digits.push_back(0);
    std::string text;
    for (int i = static_cast<int>(digits.size()) - 1; i >= 0; --i) {
        text += static_cast<char>('0' + digits[i]);
        if (i == e && e > 0)
            text += '.';
    }
    return text;
}

// Decimal digits of 2^a + b (b may be negative, |b| < 2^a).
std::string powerPlus(int a, long long b)
{
    std::vector<int> digits{1};
    for (int i = 0; i < a; ++i) {
        int carry = 0;
        for (int& d : digits) {
            const int v = d * 2 + carry;
            d = v % 10;
            carry = v / 10;
        }
        if (carry)
            digits.push_back(carry);
    }
    // add or subtract |b| digit by digit
    const bool subtract = b < 0;
    unsigned long long m = subtract ? static_cast<unsigned long long>(-b) : b;
    int carry = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int part = static_cast<int>(m % 10) + carry;
        m /= 10;
        int v = subtract ? digits[i] - part : digits[i] + part;
        carry = 0;
        if (v < 0) {
            v += 10;
            carry = 1;
        } else if (v > 9) {
            v -= 10;
            carry = 1;
        }
        digits[i] = v;
    }
    if (carry)
        digits.push_back(1);
    while (digits.size() > 1 && digits.back() == 0)
        digits.pop_back();
    std::string text;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
        text += static_cast<char>('0' + *it);
    return text;
}

Wide pow2(int e)
{
    return std::ldexp(Wide(1), e);
}

} // namespace

TEST(FormatMessage, ReplacesFirstPlaceholder)
{
    EXPECT_EQ(formatMessage(messages::notAnInteger, "abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(formatMessage(messages::notAReal, "1,5"),
              "'1,5' is not a valid floating point value");
    EXPECT_EQ(formatMessage("%d and %s", "x"), "x and %s");
    EXPECT_EQ(formatMessage("none", "x"), "none");
    EXPECT_EQ(formatMessage("'%s'", "%s"), "'%s'");
}

TEST(QuotedText, LongCellTextsAreCutToSixtyCharacters)
{
    const std::string sixty(60, '7');
    EXPECT_EQ(quotedText(sixty), sixty);
    EXPECT_EQ(quotedText(sixty + "8"), sixty + "…");
    // characters, not bytes: a Cyrillic letter is two bytes and is never split
    std::string cyrillic;
    for (int i = 0; i < 61; ++i)
        cyrillic += "ж";
    EXPECT_EQ(quotedText(cyrillic), cyrillic.substr(0, 120) + "…");

    const std::string huge(10 * 1024 * 1024, '9');
    const auto messageOf = [](auto&& call) {
        try {
            call();
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(messageOf([&] { toWhole(huge); }),
              "'" + std::string(60, '9') + "…' is not a valid integer value");
    EXPECT_EQ(messageOf([&] { toReal40(huge + "x", "."); }),
              "'" + std::string(60, '9') + "…' is not a valid floating point value");
    // a NUL byte does not end the message
    EXPECT_EQ(messageOf([] { toWhole(std::string("1\0x", 3)); }),
              "'1\\x00x' is not a valid integer value");
}

TEST(ShownMessage, ControlCharactersAreShownVisibly)
{
    EXPECT_EQ(shownMessage("'\x1B]0;TITLE\x07\x1B[2J\r' is not a valid integer value"),
              "'\\x1B]0;TITLE\\x07\\x1B[2J\\x0D' is not a valid integer value.");
    EXPECT_EQ(shownMessage(std::string("a\0b\x7F\tc", 6)), "a\\x00b\\x7F\\x09c.");
    // C1 controls (U+0080..U+009F), CSI among them; U+00A0 and letters stay
    EXPECT_EQ(shownMessage("x\xC2\x9B"
                           "2J\xC2\xA0ф"),
              "x\\x9B2J\xC2\xA0ф.");
    // ordinary texts are shown exactly as before
    EXPECT_EQ(shownMessage("Данных недостаточно!"), "Данных недостаточно!");
    EXPECT_EQ(shownMessage("'8o' is not a valid integer value"),
              "'8o' is not a valid integer value.");
    EXPECT_EQ(shownMessage("C:\\dir\\файл"), "C:\\dir\\файл.");
}

TEST(Trim, RemovesControlCharactersAndSpaces)
{
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim(" \t\r\n"), "");
    EXPECT_EQ(trim("\x01 12 \x1f"), "12");
    EXPECT_EQ(trim(" a b "), "a b");
    EXPECT_EQ(trim("\xc2\xa0x\xc2\xa0"), "\xc2\xa0x\xc2\xa0"); // no-break space is kept
    EXPECT_EQ(trim(std::string_view("\0x\0", 3)), "x");
}

TEST(ParseWhole, AcceptsAndRejects)
{
    struct Case
    {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"-0", 0},
        {"12", 12},
        {"   12", 12},
        {"+5", 5},
        {"-17", -17},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"$FF", 255},
        {"$ff", 255},
        {" $7fffffff", 2147483647},
        {"$80000000", std::numeric_limits<std::int32_t>::min()},
        {"$FFFFFFFF", -1},
        {"$000000000001", 1},
        {"$100000000", std::nullopt},
        {"$", std::nullopt},
        {"$-1", std::nullopt},
        {"-$1", std::nullopt},
        {"$G", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"12 ", std::nullopt},
        {"\t12", std::nullopt},
        {"1 2", std::nullopt},
        {"+-1", std::nullopt},
        {"- 1", std::nullopt},
        {"1.0", std::nullopt},
        {"1e3", std::nullopt},
        {"abc", std::nullopt},
        {"\xd0\xb0", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseWhole(c.text), c.value) << '"' << c.text << '"';
}

TEST(ParseWhole, StrictAndLenient)
{
    EXPECT_EQ(toWhole("42"), 42);
    try {
        toWhole("4 2");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'4 2' is not a valid integer value");
    }
    try {
        toWhole("поток");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "'поток' is not a valid integer value");
    }
    EXPECT_EQ(toWholeLenient("x"), 0);
    EXPECT_EQ(toWholeLenient(""), 0);
    EXPECT_EQ(toWholeLenient(" -3"), -3);
    EXPECT_EQ(toWholeLenient("$10"), 16);
}

TEST(ParseReal, Patterns)
{
    struct Case
    {
        const char* text;
        const char* separator;
        std::optional<Wide> value;
    };
    const Case cases[] = {
        {"1.5", ".", 1.5L},
        {"1,5", ",", 1.5L},
        {"1.5", ",", std::nullopt},
        {"1,5", ".", std::nullopt},
        {"  -2.5e3  ", ".", -2500.0L},
        {"+4", ".", 4.0L},
        {".5", ".", 0.5L},
        {"5.", ".", 5.0L},
        {"5.E1", ".", 50.0L},
        {"1E-2", ".", 0.01L},
        {"1e+2", ".", 100.0L},
        {"0.1", ".", 0.1L},
        {"-0", ".", -0.0L},
        {"1\xd9\xab"
         "25",
         "\xd9\xab", 1.25L}, // a two-byte separator
        {".", ".", std::nullopt},
        {"", ".", std::nullopt},
        {"   ", ".", std::nullopt},
        {"-", ".", std::nullopt},
        {"e5", ".", std::nullopt},
        {".e5", ".", std::nullopt},
        {"1e", ".", std::nullopt},
        {"1e+", ".", std::nullopt},
        {"1.2.3", ".", std::nullopt},
        {"--1", ".", std::nullopt},
        {"1 2", ".", std::nullopt},
        {"\t1", ".", std::nullopt},
        {"1\t", ".", std::nullopt},
        {"inf", ".", std::nullopt},
        {"nan", ".", std::nullopt},
        {"0x10", ".", std::nullopt},
        {"1e2.5", ".", std::nullopt},
        {"1d2", ".", std::nullopt},
        {"$10", ".", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto value = parseReal(c.text, c.separator);
        EXPECT_EQ(value.has_value(), c.value.has_value()) << '"' << c.text << '"';
        if (value && c.value) {
            EXPECT_EQ(*value, *c.value) << '"' << c.text << '"';
        }
    }
}

TEST(ParseReal, BeyondTheWideRange)
{
    const Wide inf = std::numeric_limits<Wide>::infinity();
    EXPECT_EQ(parseReal("1e5000", "."), inf);
    EXPECT_EQ(parseReal("-1e5000", "."), -inf);
    EXPECT_EQ(parseReal("123456e999999999999999", "."), inf);
    EXPECT_EQ(parseReal("1e-5000", "."), Wide(0));
    EXPECT_EQ(parseReal("0.00001e-4950", "."), Wide(0));
    EXPECT_EQ(parseReal("0e99999", "."), Wide(0));
    EXPECT_EQ(parseReal("1e4000", "."), Wide(1e4000L));
}

TEST(ParseReal, CorrectlyRoundedTo64Bits)
{
    // Ties at the 64th bit go to the even significand; anything beyond the
    // tie decides it.
    const std::string onePlusHalfUlp = dyadicText(powerPlus(64, 1), 64); // 1 + 2^-64
    EXPECT_EQ(parseReal(onePlusHalfUlp, "."), Wide(1));
    EXPECT_EQ(parseReal(onePlusHalfUlp + "1", "."), 1 + pow2(-63));
    const std::string threeHalves = dyadicText(powerPlus(64, 3), 64); // 1 + 3 * 2^-64
    EXPECT_EQ(parseReal(threeHalves, "."), 1 + pow2(-62));
    // just below that tie
    std::string below = threeHalves;
    below.back() = static_cast<char>(below.back() - 1);
    below += "9999999";
    EXPECT_EQ(parseReal(below, "."), 1 + pow2(-63));
    // a large whole number: 2^64 + 2^0 is a tie between 2^64 and 2^64 + 2
    EXPECT_EQ(parseReal(powerPlus(64, 1), "."), pow2(64));
    EXPECT_EQ(parseReal(powerPlus(64, 3), "."), pow2(64) + 4);
    EXPECT_EQ(parseReal("0.1", "."), 0.1L);
    EXPECT_EQ(parseReal("3.3", "."), 3.3L);
}

TEST(ToReal40, RoundsTwiceThroughTheWideValue)
{
    // 1 + 2^-40 - 2^-70 is below the tie at 40 bits, but the conversion
    // reaches 1 + 2^-40 at 64 bits first, and that tie rounds up.
    const std::string text = dyadicText(powerPlus(70, (1LL << 30) - 1), 70);
    EXPECT_EQ(toReal40(text, ".").wide(), 1 + pow2(-39));
    EXPECT_EQ(toReal40("0,1", ",").wide(), Real40::fromWide(0.1L).wide());
    EXPECT_EQ(toReal40(" 2.5 ", ".").wide(), 2.5L);
}

TEST(ToReal40, Errors)
{
    try {
        toReal40(" 1.5x", ".");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "' 1.5x' is not a valid floating point value");
    }
    try {
        toReal40("1.5", ",");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'1.5' is not a valid floating point value");
    }
    for (const char* text : {"1e39", "-1e39", "1e5000", "1.7014118346046923e38"}) {
        try {
            toReal40(text, ".");
            FAIL() << text;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Floating point overflow");
        }
    }
    EXPECT_EQ(toReal40("1.7e38", ".").wide(), Real40::fromWide(1.7e38L).wide());
    EXPECT_EQ(toReal40("1e-39", ".").toDouble(), 0.0);
    EXPECT_EQ(toReal40("3e-39", ".").toDouble(), Real40::fromWide(3e-39L).toDouble());
    EXPECT_NE(toReal40("3e-39", ".").toDouble(), 0.0);
}

TEST(WholeToText, Digits)
{
    EXPECT_EQ(wholeToText(0), "0");
    EXPECT_EQ(wholeToText(65), "65");
    EXPECT_EQ(wholeToText(-7), "-7");
    EXPECT_EQ(wholeToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(wholeToText(2147483648LL), "2147483648");
}

TEST(NumberTexts, IndependentOfTheCLocale)
{
    // A window program switches the C library to the user's locale, where
    // the decimal separator may be a comma.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8")) {
        if (std::getenv("CI"))
            FAIL() << "ru_RU.UTF-8 is not installed";
        GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
    }
    const auto dot = parseReal("1.5e1", ".");
    const auto comma = parseReal("2,25", ",");
    const std::string text = wholeToText(-1234567);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(dot, Wide(15));
    EXPECT_EQ(comma, Wide(2.25));
    EXPECT_EQ(text, "-1234567");
}

TEST(RealToText, ShortestTextThatReadsBackAsTheSameReal)
{
    const auto real = [](const char* text) { return toReal40(text, "."); };
    const std::pair<Real40, const char*> cases[] = {
        {Real40(), "0"},
        {Real40::fromWide(-0.0L), "0"},
        {real("0.1"), "0.1"},
        {real("651.2"), "651.2"}, // its double is 651.2000000001863
        {real("-12.25"), "-12.25"},
        {real("2.33"), "2.33"},
        {real("1464"), "1464"},
        {Real40::fromInt(std::int64_t{1} << 40), "1099511627776"},
        {Real40::fromInt(-((std::int64_t{1} << 40) - 1)), "-1099511627775"},
        {real("1e20"), "1e20"},
        {real("123e18"), "1.23e20"},
        {real("1.5e-7"), "1.5e-7"},
        {real("0.0001"), "1e-4"}, // shorter than 0.0001,
        {real("1.7e38"), "1.7e38"},
        {Real40::fromWide(Real40::maxValue()), "1.701411834603e38"},
        {Real40::fromWide(Real40::minPositive()), "2.938735877056e-39"},
        {Real40::fromWide(1.0L / 3), "0.3333333333335"},
        {Real40::fromWide(1 + pow2(-39)), "1.000000000002"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(realToText(value), text) << value.toDouble();
        EXPECT_EQ(toReal40(realToText(value), "."), value) << text;
    }
}

TEST(RealToText, ReadsBackAndIsNoLongerThanTheNearestRounding)
{
    // Any 6-byte real from random bytes; the reference tries the value's
    // correctly rounded 1, 2, ... significant digits.
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 3000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        unsigned char bytes[6];
        for (int b = 0; b < 6; ++b)
            bytes[b] = static_cast<unsigned char>(state >> (8 * b + 16));
        const Real40 value = Real40::fromBytes(bytes);
        const std::string text = realToText(value);
        ASSERT_EQ(toReal40(text, "."), value) << text;
        std::size_t digits = 1;
        char buffer[64];
        for (;; ++digits) {
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.toDouble(),
                                           std::chars_format::scientific, int(digits) - 1)
                                 .ptr;
            const Wide near = *parseReal(std::string(buffer, end), ".");
            if (std::fabs(near) < pow2(127) && Real40::fromWide(near) == value)
                break;
        }
        std::string own; // the significant digits
        for (const char c : text.substr(0, text.find('e')))
            if (std::isdigit(static_cast<unsigned char>(c)))
                own += c;
        own.erase(0, own.find_first_not_of('0'));
        own.erase(own.find_last_not_of('0') + 1);
        ASSERT_LE(own.size(), digits) << text << " for " << value.toDouble();
    }
}
