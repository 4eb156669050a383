#include "calc/error.h"

namespace zeltrac {

std::string withVisibleNul(std::string text)
{
    for (std::size_t at = text.find('\0'); at != std::string::npos; at = text.find('\0', at))
        text.replace(at, 1, "\\x00");
    return text;
}

std::string formatMessage(const char* pattern, const std::string& argument)
{
    std::string text(pattern);
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '%' && (text[i + 1] == 's' || text[i + 1] == 'd')) {
            text.replace(i, 2, argument);
            break;
        }
    }
    return text;
}

std::string visibleText(std::string_view text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const auto escaped = [](std::string& out, unsigned char code) {
        out += "\\x";
        out += digits[code >> 4];
        out += digits[code & 0xF];
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            escaped(out, byte);
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F, the C1 controls (CSI among them)
            escaped(out, static_cast<unsigned char>(text[++i]));
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string quotedText(std::string_view text)
{
    // Counts characters, not bytes: a UTF-8 continuation byte starts none.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (characters == kQuotedLength)
            return std::string(text.substr(0, i)) + "…";
        ++characters;
    }
    return std::string(text);
}

std::string shownMessage(const std::string& message)
{
    std::string shown = visibleText(message);
    if (!shown.empty() && static_cast<unsigned char>(shown.back()) > '.')
        shown += '.';
    return shown;
}

} // namespace zeltrac
