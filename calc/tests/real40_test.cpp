#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "calc/error.h"
#include "calc/real40.h"

using zeltrac::Error;
using zeltrac::Real40;
using zeltrac::Wide;

namespace {

Wide pow2(int e)
{
    return std::ldexp(Wide(1), e);
}

double store(Wide x)
{
    return Real40::fromWide(x).toDouble();
}

void expectOverflow(Wide x)
{
    try {
        Real40::fromWide(x);
        FAIL() << "no overflow for " << static_cast<double>(x);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Floating point overflow");
    }
}

} // namespace

TEST(Real40, SearchStartValue)
{
    EXPECT_EQ(store(-0.0001L), -9.999999999998899e-05);
    EXPECT_EQ(store(-0.0001L), -0x1.a36e2eb1c4p-14);
}

TEST(Real40, RoundsToFortyBitsHalfAwayFromZero)
{
    struct Case
    {
        Wide in;
        Wide out;
    };
    const Case cases[] = {
        {1, 1},
        {0, 0},
        {-0.0L, 0},
        {1 + pow2(-39), 1 + pow2(-39)},                     // last stored bit
        {1 + pow2(-40), 1 + pow2(-39)},                     // tie: away from zero
        {-(1 + pow2(-40)), -(1 + pow2(-39))},               // tie, negative
        {1 + pow2(-40) - pow2(-63), 1},                     // just below the tie
        {1 + pow2(-39) + pow2(-40), 1 + pow2(-38)},         // tie from an odd value
        {1 + 2 * pow2(-39) + pow2(-40), 1 + 3 * pow2(-39)}, // tie from an even value: away
        {2 - pow2(-41), 2},                                 // carry into the exponent
        {-(2 - pow2(-41)), -2},
        {pow2(40) + 1, pow2(40) + 2}, // 41-bit whole number, tie
        {pow2(40) - 1, pow2(40) - 1}, // 40-bit whole number, exact
        {0.1L, 0x1.999999999ap-4L},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Real40::fromWide(c.in).wide(), c.out) << static_cast<double>(c.in);
}

TEST(Real40, NegativeZeroStoresAsZero)
{
    EXPECT_FALSE(std::signbit(store(-0.0L)));
    EXPECT_FALSE(std::signbit(store(-pow2(-140))));
}

TEST(Real40, UnderflowAfterRounding)
{
    EXPECT_EQ(store(pow2(-128)), std::ldexp(1.0, -128));
    EXPECT_EQ(store(-pow2(-128)), -std::ldexp(1.0, -128));
    EXPECT_EQ(store(pow2(-129)), 0.0);
    // Exactly 40 bits but below the smallest magnitude.
    EXPECT_EQ(store(pow2(-128) * (1 - pow2(-40))), 0.0);
    // Rounds up to the smallest magnitude first, so it is kept.
    EXPECT_EQ(store(pow2(-128) * (1 - pow2(-41))), std::ldexp(1.0, -128));
    EXPECT_EQ(store(-pow2(-128) * (1 - pow2(-41))), -std::ldexp(1.0, -128));
    EXPECT_EQ(store(std::numeric_limits<Wide>::denorm_min()), 0.0);
    EXPECT_EQ(store(std::numeric_limits<Wide>::min()), 0.0);
    EXPECT_EQ(Real40::minPositive(), std::ldexp(1.0, -128));
}

TEST(Real40, OverflowAfterRounding)
{
    const Wide max = (2 - pow2(-39)) * pow2(126);
    EXPECT_EQ(Real40::maxValue(), static_cast<double>(max));
    EXPECT_EQ(store(max), static_cast<double>(max));
    EXPECT_EQ(store(-max), -static_cast<double>(max));
    // The last wide value below the rounding boundary 2^127 - 2^86.
    EXPECT_EQ(store(pow2(127) - pow2(86) - pow2(63)), static_cast<double>(max));
    expectOverflow(pow2(127) - pow2(86));
    expectOverflow(-(pow2(127) - pow2(86)));
    expectOverflow(pow2(127));
    expectOverflow(std::numeric_limits<Wide>::max());
    expectOverflow(std::numeric_limits<Wide>::infinity());
    expectOverflow(-std::numeric_limits<Wide>::infinity());
    expectOverflow(std::numeric_limits<Wide>::quiet_NaN());
}

TEST(Real40, FromIntIsExactUpTo40Bits)
{
    EXPECT_EQ(Real40::fromInt(2147483647).wide(), 2147483647.0L);
    EXPECT_EQ(Real40::fromInt(-2147483648LL).wide(), -2147483648.0L);
    EXPECT_EQ(Real40::fromInt((1LL << 40) - 1).wide(), pow2(40) - 1);
    EXPECT_EQ(Real40::fromInt((1LL << 40) + 1).wide(), pow2(40) + 2);
}

TEST(Real40, ByteLayout)
{
    using Bytes = std::array<unsigned char, 6>;
    struct Case
    {
        Wide value;
        Bytes bytes;
    };
    const Case cases[] = {
        {0, {0, 0, 0, 0, 0, 0}},
        {1, {0x81, 0, 0, 0, 0, 0}},
        {-1, {0x81, 0, 0, 0, 0, 0x80}},
        {0.5L, {0x80, 0, 0, 0, 0, 0}},
        {1.5L, {0x81, 0, 0, 0, 0, 0x40}},
        {10, {0x84, 0, 0, 0, 0, 0x20}},
        {-2.5L, {0x82, 0, 0, 0, 0, 0xA0}},
        {1 + pow2(-39), {0x81, 0x01, 0, 0, 0, 0}},
        {(2 - pow2(-39)) * pow2(126), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
        {pow2(-128), {0x01, 0, 0, 0, 0, 0}},
        {-0.0001L, {0x73, 0xE2, 0x58, 0x17, 0xB7, 0xD1}},
    };
    for (const auto& c : cases) {
        Bytes out{};
        Real40::fromWide(c.value).toBytes(out.data());
        EXPECT_EQ(out, c.bytes) << static_cast<double>(c.value);
        EXPECT_EQ(Real40::fromBytes(c.bytes.data()), Real40::fromWide(c.value));
    }
    // An exponent byte of 0 is zero whatever the other bytes hold.
    const Bytes zeroWithJunk{0, 0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(Real40::fromBytes(zeroWithJunk.data()).toDouble(), 0.0);
}

TEST(Real40, BytesRoundTrip)
{
    std::mt19937_64 random(12345);
    for (int i = 0; i < 20000; ++i) {
        unsigned char bytes[6];
        for (auto& b : bytes)
            b = static_cast<unsigned char>(random());
        if (bytes[0] == 0)
            bytes[0] = 1;
        const Real40 value = Real40::fromBytes(bytes);
        EXPECT_EQ(Real40::fromWide(value.wide()), value); // already 40 bits
        unsigned char again[6];
        value.toBytes(again);
        ASSERT_EQ(0, std::memcmp(bytes, again, 6));
    }
}

TEST(Real40, MatchesRoundingByHand)
{
    // Compare with rounding done on the exact 64-bit significand by
    // integer arithmetic.
    std::mt19937_64 random(777);
    for (int i = 0; i < 20000; ++i) {
        // The 24 dropped bits: random, or near the half where the rounding
        // turns (also at the 53-bit boundary a double would round at).
        static const std::uint64_t lowPatterns[] = {0x800000, 0x800001, 0x7FFFFF, 0x800400,
                                                    0x7FFC00, 0x8003FF, 0x800800, 0xFFFFFF,
                                                    0x000000, 0x7FF800, 0x000400, 0xFFFC00};
        std::uint64_t significand = random() | (std::uint64_t{1} << 63);
        if (i % 2 == 0) {
            significand &= ~std::uint64_t{0xFFFFFF};
            significand |= lowPatterns[(i / 2) % std::size(lowPatterns)];
        }
        const int exponent = static_cast<int>(random() % 270) - 135; // past both ends
        const Wide x = std::ldexp(static_cast<Wide>(significand), exponent - 63);
        std::uint64_t kept = significand >> 24;
        if (significand & (std::uint64_t{1} << 23))
            ++kept; // half or more: away from zero
        Wide expected = std::ldexp(static_cast<Wide>(kept), exponent - 39);
        if (expected < pow2(-128))
            expected = 0;
        if (expected > (2 - pow2(-39)) * pow2(126)) {
            expectOverflow(x);
            expectOverflow(-x);
            continue;
        }
        ASSERT_EQ(Real40::fromWide(x).wide(), expected)
            << std::hex << significand << ' ' << exponent;
        ASSERT_EQ(Real40::fromWide(-x).wide(), -expected);
    }
}

TEST(Real40, Ordering)
{
    EXPECT_LT(Real40::fromWide(-1), Real40());
    EXPECT_GT(Real40::fromWide(1 + pow2(-39)), Real40::fromWide(1));
    EXPECT_EQ(Real40::fromWide(1 + pow2(-41)), Real40::fromWide(1));
}
