#include "calc/real40.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "calc/error.h"

namespace zeltrac {

static_assert(std::numeric_limits<Wide>::max_exponent >= 1024,
              "the wide type must hold every double (the store splits a wide value into two)");
static_assert(std::numeric_limits<double>::is_iec559, "values are held as IEEE doubles");

namespace {

constexpr int kDoubleBias = 1023;
constexpr int kRealBias = 129;
constexpr int kMinExponent = -128; // of the leading bit, 2^-128
constexpr int kMaxExponent = 126;  // of the leading bit, (2 - 2^-39) * 2^126

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
    // The wide value is split into its nearest double and the exact rest:
    // value = head + tail, |tail| <= half a unit in the 53rd bit of head.
    // Rounding head's 53-bit significand to 40 bits then decides everything
    // except a dropped part of exactly one half, where the sign of the tail
    // tells whether the wide value lies beyond the half, on it (a tie: away
    // from zero) or short of it. This stays in registers, unlike reading
    // the x87 bytes through memory, which is several times slower.
    const double head = static_cast<double>(value);
    if (!(std::fabs(head) < 0x1p127))
        throw Error(messages::floatOverflow); // 2^127 or more, infinity or NaN
    const double tail = static_cast<double>(value - static_cast<Wide>(head)); // exact

    const auto bits = std::bit_cast<std::uint64_t>(head);
    const bool negative = (bits >> 63) != 0;
    int biased = static_cast<int>((bits >> 52) & 0x7FF);
    if (biased == 0)
        return Real40(); // 0 or below 2^-1022: far below the smallest magnitude

    constexpr int kDropped = 53 - 40;
    constexpr std::uint64_t kHalf = std::uint64_t{1} << (kDropped - 1);
    std::uint64_t significand = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const std::uint64_t dropped = significand & ((std::uint64_t{1} << kDropped) - 1);
    significand >>= kDropped;
    bool up = dropped > kHalf;
    if (dropped == kHalf)
        up = tail == 0 || ((tail > 0) != negative);
    if (up && ++significand == (std::uint64_t{1} << 40)) {
        significand >>= 1;
        ++biased;
    }

    const int exponent = biased - kDoubleBias;
    if (exponent < kMinExponent)
        return Real40();
    if (exponent > kMaxExponent)
        throw Error(messages::floatOverflow);
    return Real40(
        fromParts(negative, exponent, (significand << kDropped) & ((std::uint64_t{1} << 52) - 1)));
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
