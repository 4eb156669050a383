#pragma once

#include <compare>
#include <cstdint>
#include <limits>

namespace zeltrac {

// Intermediate results are formed with a 64-bit significand, as the x87
// extended format does.
using Wide = long double;
static_assert(std::numeric_limits<Wide>::digits == 64,
              "the calculation needs long double with a 64-bit significand (x87 extended)");

// The 6-byte real: a sign, an 8-bit exponent and 40 significant bits (39 stored
// fraction bits behind an implicit leading 1). Magnitudes run from 2^-128
// (about 2.9e-39) to (2 - 2^-39) * 2^126 (about 1.7e38); 0 is exact.
//
// Every store rounds: to the nearest representable value, a remainder of
// exactly one half away from zero; a magnitude below the smallest becomes 0;
// a magnitude above the largest throws zeltrac::Error("Floating point overflow").
//
// Every Real40 value is exactly representable as a double, which is how it is
// held.
class Real40
{
public:
    constexpr Real40() = default;

    // Rounds a wide value to the 6-byte real (the store). Throws on overflow.
    static Real40 fromWide(Wide value);
    // Whole numbers up to 2^40 in magnitude are stored exactly.
    static Real40 fromInt(std::int64_t value) { return fromWide(static_cast<Wide>(value)); }

    // The value, exactly.
    double toDouble() const { return m_value; }
    Wide wide() const { return m_value; }

    // The six bytes of the Turbo Pascal "Real" layout (little endian: exponent
    // byte first, biased by 129; sign in the top bit of the last byte).
    void toBytes(unsigned char out[6]) const;
    static Real40 fromBytes(const unsigned char in[6]);

    friend bool operator==(Real40 a, Real40 b) { return a.m_value == b.m_value; }
    friend auto operator<=>(Real40 a, Real40 b) { return a.m_value <=> b.m_value; }

    // Largest and smallest positive magnitudes.
    static double maxValue();
    static double minPositive();

private:
    explicit constexpr Real40(double exact) : m_value(exact) {}
    double m_value = 0.0;
};

} // namespace zeltrac
