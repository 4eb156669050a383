#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "calc/real40.h"

// Text to number and number to text, independent of the C library's locale.
// All texts are UTF-8.
namespace zeltrac::numtext {

// Removes every leading and trailing character with code 0..32.
std::string_view trim(std::string_view text);

// Whole-number text: optional leading spaces; then "+"/"-" and decimal digits
// within the signed 32-bit range, or "$" and hexadecimal digits that fit in 32
// bits (taken as a 32-bit pattern, so "$FFFFFFFF" is -1); nothing after.
std::optional<std::int32_t> parseWhole(std::string_view text);

// Strict whole-number conversion: throws Error("'<text>' is not a valid integer value").
std::int32_t toWhole(std::string_view text);

// The report's lenient reading: 0 for any text that is not a whole number.
std::int32_t toWholeLenient(std::string_view text);

// Real-number text: optional leading spaces, optional sign, digits with at
// most one decimal separator (the given one; it may be any UTF-8 character),
// optional exponent (E or e, optional sign, digits), optional trailing spaces.
// The value is correctly rounded to the 64-bit significand. Values beyond the
// wide range come back as +/-infinity (the store then reports the overflow).
std::optional<Wide> parseReal(std::string_view text, std::string_view decimalSeparator);

// Strict real conversion stored as a 6-byte real: throws
// Error("'<text>' is not a valid floating point value") or
// Error("Floating point overflow").
Real40 toReal40(std::string_view text, std::string_view decimalSeparator);

// The shortest decimal text that toReal40 reads back as the same 6-byte real
// (not as the same double): "651.2", not "651.2000000001863". "." is the
// decimal separator; "-" before a negative value; 0 is "0". Plain digits, or
// digits and an exponent ("1.5e-07" as "1.5e-7") when that is shorter.
std::string realToText(Real40 value);

// Whole number to text: decimal digits, "-" before a negative value, no padding.
std::string wholeToText(std::int64_t value);

} // namespace zeltrac::numtext
