#include "datafile/datafile.h"

#include <algorithm>
#include <cstdint>

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include "calc/error.h"
#include "calc/numtext.h"
#include "calc/plan.h"
#include "datafile/codepage.h"
#include "datafile/safefile.h"

namespace zeltrac::datafile {

namespace {

constexpr const char* cannotOpen = "Cannot open file %s";
constexpr const char* writeError = "Stream write error";
constexpr const char* readError = "Stream read error";
constexpr const char* outOfBounds = "List index out of bounds (%d)";

constexpr const char* notRegular = "Файл %s нельзя открыть: это не обычный файл";
constexpr const char* lineTooLong = "Строка %d длиннее 65536 байт: это не файл исходных данных";

constexpr qint64 readChunk = 64 * 1024;

[[noreturn]] void fail(const char* pattern, const QString& argument)
{
    throw Error(formatMessage(pattern, argument.toStdString()));
}

qsizetype lineCount(int stations)
{
    return qsizetype(stations) * stations + 2;
}

QString decodeLine(QByteArrayView bytes)
{
    const auto& chars = codePageChars();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes)
        *out++ = QChar(chars[static_cast<unsigned char>(c)]);
    return text;
}

// A text in a message: long texts are cut so that the message stays readable.
QString quoted(const QString& text)
{
    constexpr qsizetype shown = 60;
    if (text.size() <= shown)
        return u"«"_qs + text + u"»"_qs;
    return u"«"_qs + text.left(shown) + u"…»"_qs;
}

// Splits bytes into lines as they arrive: a line ends at CR LF, at a lone CR
// or at a lone LF; a NUL byte ends the text; a line end after the last line
// adds no empty line. Stops taking bytes once it holds the lines wanted.
class LineSplitter
{
public:
    explicit LineSplitter(qsizetype maxLines) : m_maxLines(maxLines) {}

    // Takes bytes until the text ends or the lines wanted are complete;
    // returns how many it took.
    qsizetype feed(QByteArrayView bytes)
    {
        qsizetype pos = 0;
        while (pos < bytes.size() && !done()) {
            if (m_afterCr) {
                m_afterCr = false;
                if (bytes[pos] == '\n') {
                    ++pos;
                    continue;
                }
            }
            qsizetype end = pos;
            while (end < bytes.size() && !isLineEnd(bytes[end]))
                ++end;
            // Refused as soon as the limit is passed: memory stays bounded
            // whatever the input.
            if (m_current.size() + (end - pos) > kMaxLineBytes)
                fail(lineTooLong, QString::number(m_lines.size() + 1));
            m_current.append(bytes.sliced(pos, end - pos));
            pos = end;
            if (pos == bytes.size())
                break;
            const char c = bytes[pos++];
            if (c == '\0') {
                m_ended = true;
                break;
            }
            m_lines.append(decodeLine(m_current));
            m_current.clear();
            m_afterCr = c == '\r';
        }
        return pos;
    }

    // The lines, the last one included even without a line end.
    QStringList finish()
    {
        if (!m_current.isEmpty() && !limitReached())
            m_lines.append(decodeLine(m_current));
        m_current.clear();
        return std::move(m_lines);
    }

    bool done() const { return m_ended || limitReached(); }
    const QStringList& lines() const { return m_lines; }
    void setMaxLines(qsizetype maxLines) { m_maxLines = maxLines; }

private:
    static bool isLineEnd(char c) { return c == '\r' || c == '\n' || c == '\0'; }
    bool limitReached() const { return m_maxLines >= 0 && m_lines.size() >= m_maxLines; }

    qsizetype m_maxLines;
    QStringList m_lines;
    QByteArray m_current;
    bool m_afterCr = false;
    bool m_ended = false;
};

int stationCountOf(const QString& firstLine)
{
    const int count = numtext::toWhole(firstLine.toStdString());
    return std::clamp(count, kMinStations, kMaxStations);
}

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == u'\0';
}

} // namespace

QString InitialData::param(int column, int row) const
{
    if (column < 0 || column >= stationCount || row < 0 || row > 1)
        return {};
    return stationParams.value(qsizetype(row) * stationCount + column);
}

QString InitialData::flow(int column, int row) const
{
    const int size = stationCount - 1;
    if (column < 0 || column >= size || row < 0 || row >= size)
        return {};
    return flows.value(qsizetype(row) * size + column);
}

QStringList toLines(const InitialData& data)
{
    const int n = data.stationCount;
    QStringList lines;
    lines.reserve(n > 0 ? lineCount(n) : 1);
    lines.append(QString::number(n));
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < n; ++column)
            lines.append(data.param(column, row));
    for (int row = 0; row < n - 1; ++row)
        for (int column = 0; column < n - 1; ++column)
            lines.append(data.flow(column, row));
    return lines;
}

InitialData fromLines(const QStringList& lines)
{
    if (lines.isEmpty())
        fail(outOfBounds, u"0"_qs);
    const int n = stationCountOf(lines.first());
    if (lines.size() < lineCount(n))
        fail(outOfBounds, QString::number(lines.size()));

    InitialData data;
    data.stationCount = n;
    data.stationParams = lines.mid(1, 2 * n);
    data.flows = lines.mid(2 * n + 1, qsizetype(n - 1) * (n - 1));
    return data;
}

QStringList decodeLines(const QByteArray& bytes, qsizetype maxLines)
{
    LineSplitter splitter(maxLines);
    splitter.feed(bytes);
    return splitter.finish();
}

QByteArray encodeLines(const QStringList& lines)
{
    codePageChars(); // fails early when the code page is missing
    QByteArray bytes;
    QStringEncoder encoder(kCodePage);
    for (const QString& line : lines) {
        if (std::any_of(line.cbegin(), line.cend(), isLineBreak)) {
            throw Error((u"Текст "_qs + quoted(line) +
                         u" нельзя сохранить: в нём есть разрыв строки или символ с кодом 0"_qs)
                            .toStdString());
        }
        const QByteArray encoded = encoder.encode(line);
        // The encoder may drop or replace what it cannot write (a lone
        // surrogate vanishes without an error), so the bytes must read back
        // as the very same text.
        if (encoder.hasError() || decodeLine(encoded) != line) {
            throw Error(
                (u"Текст "_qs + quoted(line) + u" нельзя сохранить в кодировке Windows-1251"_qs)
                    .toStdString());
        }
        bytes.append(encoded);
        bytes.append("\r\n");
    }
    return bytes;
}

InitialData load(const QString& path)
{
    // A pipe or a device could block for ever or never end: only regular
    // files (or links to them) are read.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir())
        fail(notRegular, path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(cannotOpen, path);

    // Line 1 gives the station count and with it the number of lines needed;
    // nothing after them is read.
    LineSplitter splitter(1);
    bool countKnown = false;
    QByteArray chunk(readChunk, Qt::Uninitialized);
    while (!splitter.done()) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got < 0)
            throw Error(readError);
        if (got == 0)
            break;
        QByteArrayView rest(chunk.constData(), got);
        while (!rest.isEmpty() && !splitter.done()) {
            rest = rest.sliced(splitter.feed(rest));
            if (!countKnown && splitter.lines().size() == 1) {
                countKnown = true;
                splitter.setMaxLines(lineCount(stationCountOf(splitter.lines().first())));
            }
        }
    }
    return fromLines(splitter.finish());
}

void save(const QString& path, const InitialData& data)
{
    const QByteArray bytes = encodeLines(toLines(data));

    writeFileSafely(path, bytes, writeError);
}

} // namespace zeltrac::datafile
