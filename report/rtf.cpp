#include "report/rtf.h"

#include <array>
#include <cstdint>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "calc/error.h"

namespace zeltrac::report {

namespace {

constexpr const char* cannotCreate = "Cannot create file %s";
constexpr const char* saveFailed = "Failed to Save Stream";

constexpr const char* codePage = "windows-1251";

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
        QStringDecoder decoder(codePage);
        if (!decoder.isValid())
            return bytes;
        for (int byte = 0x80; byte < 0x100; ++byte) {
            const char c = char(byte);
            const QString text = decoder.decode(QByteArrayView(&c, 1));
            if (text.size() != 1 || text[0] == QChar::ReplacementCharacter)
                continue;
            QStringEncoder encoder(codePage);
            const QByteArray back = encoder.encode(text);
            if (!encoder.hasError() && back.size() == 1 && back[0] == c)
                bytes[text[0].unicode()] = std::uint8_t(byte);
        }
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

// A file that may not be replaced: write permission is checked by the file's
// own bits too, since the superuser may write to any file.
bool isReadOnly(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    if (info.isDir())
        return true;
    constexpr auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return !info.isWritable() || !(info.permissions() & writeBits);
}

// Writes a whole file. A regular file is replaced only once everything was
// written (a temporary file beside it, renamed over it), so a failed save
// leaves the old file intact. A device or pipe is written to directly:
// renaming over it would replace the special file itself.
void writeFile(const QString& path, const QByteArray& bytes, const char* writeFailed)
{
    const auto cannotCreateFile = [&] {
        return Error(formatMessage(cannotCreate, path.toStdString()));
    };
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        QFile device(path);
        if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw cannotCreateFile();
        if (device.write(bytes) != bytes.size())
            throw Error(writeFailed);
        return;
    }
    if (isReadOnly(path))
        throw cannotCreateFile();
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile ignores a failed flush of its buffer
    // and commits the truncated file; an unbuffered write reports the short
    // count.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw cannotCreateFile();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw Error(writeFailed);
    }
    if (!file.commit())
        throw Error(writeFailed);
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
    writeFile(path, document, saveFailed);
}

} // namespace zeltrac::report
