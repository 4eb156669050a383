#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zeltrac {

// A text with every NUL byte written as \x00: what() could not carry it.
std::string withVisibleNul(std::string text);

// An error that ends the current command and is shown to the planner in the
// common error box. The message is UTF-8 text, exactly as it is shown (the
// box adds the final full stop itself); a NUL byte in it is written \x00.
class Error : public std::runtime_error
{
public:
    explicit Error(const std::string& message) : std::runtime_error(withVisibleNul(message)) {}
};

// The fixed message texts.
namespace messages {
inline constexpr const char* notAnInteger = "'%s' is not a valid integer value";
inline constexpr const char* notAReal = "'%s' is not a valid floating point value";
inline constexpr const char* floatOverflow = "Floating point overflow";
inline constexpr const char* integerOverflow = "Integer overflow";
inline constexpr const char* notEnoughData = "Данных недостаточно!";
inline constexpr const char* nextStep = "Следующий шаг";
} // namespace messages

// A message as the program shows it to the planner: "." appended when its
// last character comes after "." in character-code order (a letter or a
// digit; not a quote mark, ")", "!" or "."). UTF-8: every byte of a
// non-ASCII character comes after ".".
// Control characters (C0, DEL and C1) are written visibly as \xHH, so that
// no text from a file can reach a terminal or a box as a control sequence.
std::string shownMessage(const std::string& message);

// A UTF-8 text with its control characters written visibly as \xHH; every
// other byte is kept.
std::string visibleText(std::string_view text);

// A cell text as a message quotes it: at most kQuotedLength characters, a
// longer text cut there and ended by "…".
inline constexpr std::size_t kQuotedLength = 60;
std::string quotedText(std::string_view text);

// Replaces the first "%s" (or "%d") of a message template by the given text.
std::string formatMessage(const char* pattern, const std::string& argument);

} // namespace zeltrac
