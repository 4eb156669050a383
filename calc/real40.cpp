#include "calc/real40.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "calc/error.h"

namespace zeltrac {

static_assert(std::numeric_limits<Wide>::max_exponent == 16384,
              "the store reads the x87 extended layout (15-bit exponent)");
static_assert(sizeof(Wide) >= 10, "the x87 extended format takes 10 bytes");
static_assert(std::numeric_limits<double>::is_iec559, "values are held as IEEE doubles");

namespace {

constexpr int kWideBias = 16383;
constexpr int kDoubleBias = 1023;
constexpr int kRealBias = 129;
constexpr int kMinExponent = -128; // of the leading bit, 2^-128
constexpr int kMaxExponent = 126;  // of the leading bit, (2 - 2^-39) * 2^126
constexpr int kDroppedBits = 64 - 40;

double fromParts(bool negative, int exponent, std::uint64_t fraction52)
{
    const std::uint64_t bits = (negative ? (std::uint64_t{1} << 63) : 0) |
                               (static_cast<std::uint64_t>(exponent + kDoubleBias) << 52) |
                               fraction52;
    return std::bit_cast<double>(bits);
}

} // namespace

Real40 Real40::fromWide(Wide value)
{
    unsigned char raw[sizeof(Wide)];
    std::memcpy(raw, &value, sizeof(Wide));
    std::uint64_t significand;
    std::uint16_t signExponent;
    std::memcpy(&significand, raw, 8);
    std::memcpy(&signExponent, raw + 8, 2);

    const bool negative = (signExponent & 0x8000u) != 0;
    int biased = signExponent & 0x7FFF;
    if (biased == 0x7FFF)
        throw Error(messages::floatOverflow); // infinity or NaN
    if (significand == 0)
        return Real40();
    if (biased == 0)
        return Real40(); // below 2^-16382: far below the smallest 6-byte magnitude

    // An unnormal encoding (integer bit clear) never comes from arithmetic;
    // normalise it all the same.
    const int shift = std::countl_zero(significand);
    significand <<= shift;
    biased -= shift;

    // Round the magnitude to 40 bits, a remainder of one half upwards.
    const std::uint64_t rounded = significand + (std::uint64_t{1} << (kDroppedBits - 1));
    if (rounded < significand) {
        significand = std::uint64_t{1} << 63;
        ++biased;
    } else {
        significand = rounded & ~((std::uint64_t{1} << kDroppedBits) - 1);
    }

    const int exponent = biased - kWideBias;
    if (exponent < kMinExponent)
        return Real40();
    if (exponent > kMaxExponent)
        throw Error(messages::floatOverflow);
    return Real40(fromParts(negative, exponent, (significand << 1) >> 12));
}

void Real40::toBytes(unsigned char out[6]) const
{
    if (m_value == 0.0) {
        std::memset(out, 0, 6);
        return;
    }
    const auto bits = std::bit_cast<std::uint64_t>(m_value);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - kDoubleBias;
    const std::uint64_t fraction = (bits & ((std::uint64_t{1} << 52) - 1)) >> 13; // 39 bits
    out[0] = static_cast<unsigned char>(exponent + kRealBias);
    for (int i = 0; i < 5; ++i)
        out[1 + i] = static_cast<unsigned char>(fraction >> (8 * i));
    if (bits >> 63)
        out[5] |= 0x80;
}

Real40 Real40::fromBytes(const unsigned char in[6])
{
    if (in[0] == 0)
        return Real40();
    std::uint64_t fraction = 0;
    for (int i = 0; i < 5; ++i)
        fraction |= static_cast<std::uint64_t>(in[1 + i]) << (8 * i);
    const bool negative = (fraction >> 39) != 0;
    fraction &= (std::uint64_t{1} << 39) - 1;
    return Real40(fromParts(negative, static_cast<int>(in[0]) - kRealBias, fraction << 13));
}

double Real40::maxValue()
{
    return std::ldexp(2.0 - std::ldexp(1.0, -39), kMaxExponent);
}

double Real40::minPositive()
{
    return std::ldexp(1.0, kMinExponent);
}

} // namespace zeltrac
