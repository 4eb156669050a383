#include "report/rtf.h"

#include <array>
#include <cstdint>

#include "calc/error.h"
#include "datafile/codepage.h"
#include "datafile/safefile.h"

namespace zeltrac::report {

namespace {

constexpr const char* saveFailed = "Failed to Save Stream";

// Courier New, 9 points (\fs counts half points), Cyrillic character set;
// readers that do not know \uN take the windows-1251 byte after it.
constexpr const char* header = "{\\rtf1\\ansi\\ansicpg1251\\deff0"
                               "{\\fonttbl{\\f0\\fmodern\\fcharset204 Courier New;}}\r\n"
                               "\\viewkind4\\uc1\\pard\\f0\\fs18 ";

// The windows-1251 byte of every character the code page holds (0: none).
const std::array<std::uint8_t, 0x10000>& codePageBytes()
{
    static const std::array<std::uint8_t, 0x10000> table = [] {
        std::array<std::uint8_t, 0x10000> bytes{};
        const auto& chars = datafile::codePageChars();
        for (int byte = 0x80; byte < 0x100; ++byte)
            bytes[chars[byte]] = std::uint8_t(byte);
        return bytes;
    }();
    return table;
}

void appendHex(QByteArray& out, std::uint8_t byte)
{
    constexpr char digits[] = "0123456789abcdef";
    out.append("\\'");
    out.append(digits[byte >> 4]);
    out.append(digits[byte & 0xF]);
}

void appendText(QByteArray& out, const QString& line)
{
    const auto& bytes = codePageBytes();
    for (const QChar ch : line) {
        const char16_t code = ch.unicode();
        if (code == u'\\' || code == u'{' || code == u'}') {
            out.append('\\');
            out.append(char(code));
        } else if (code == u'\t') {
            out.append("\\tab ");
        } else if (code < 0x20 || code == 0x7F) {
            appendHex(out, std::uint8_t(code));
        } else if (code < 0x80) {
            out.append(char(code));
        } else {
            // \uN takes a signed 16-bit number; characters beyond the basic
            // plane are written as their two surrogates.
            out.append("\\u");
            out.append(QByteArray::number(int(std::int16_t(code))));
            if (const std::uint8_t byte = bytes[code])
                appendHex(out, byte);
            else
                out.append('?');
        }
    }
}

} // namespace

QByteArray toRtf(const QStringList& lines)
{
    QByteArray out(header);
    for (const QString& line : lines) {
        appendText(out, line);
        out.append("\\par\r\n");
    }
    out.append('}');
    return out;
}

void saveRtf(const QString& path, const QStringList& lines)
{
    const QByteArray document = toRtf(lines);
    datafile::writeFileSafely(path, document, saveFailed);
}

} // namespace zeltrac::report
