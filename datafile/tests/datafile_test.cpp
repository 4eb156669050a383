#include "datafile/datafile.h"

#include <csignal>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "calc/error.h"
#include "datafile/safefile.h"

using namespace zeltrac;
using namespace zeltrac::datafile;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The message of the error the call throws, or nothing.
template <typename F> std::optional<std::string> errorOf(F&& call)
{
    try {
        call();
    } catch (const Error& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

std::string u8(const QString& text)
{
    return text.toStdString();
}

// The worked example for three stations.
InitialData threeStations()
{
    InitialData data;
    data.stationCount = 3;
    data.stationParams = {u"500"_qs, u"450"_qs, u"520"_qs, u"3"_qs, u"4"_qs, u"2"_qs};
    data.flows = {u"120"_qs, u"80"_qs, u"60"_qs, QString()};
    return data;
}

constexpr char threeStationBytes[] =
    "3\r\n500\r\n450\r\n520\r\n3\r\n4\r\n2\r\n120\r\n80\r\n60\r\n\r\n";

// Every cell filled with a text of its own: blanks around, Cyrillic, and the
// cells outside the triangle too.
InitialData filled(int n)
{
    InitialData data;
    data.stationCount = n;
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < n; ++column)
            data.stationParams.append(row == 0 ? QString(" Cm %1 ").arg(column)
                                               : QString("Тек%1,5  ").arg(column));
    for (int row = 0; row < n - 1; ++row)
        for (int column = 0; column < n - 1; ++column)
            data.flows.append(column + row >= n - 1 ? QString("  вне %1/%2").arg(column).arg(row)
                                                    : QString::number(column * 100 + row));
    return data;
}

void expectSame(const InitialData& actual, const InitialData& expected)
{
    EXPECT_EQ(actual.stationCount, expected.stationCount);
    EXPECT_EQ(actual.stationParams, expected.stationParams);
    EXPECT_EQ(actual.flows, expected.flows);
}

QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Lines for a file of n stations: line 1 and enough numbered lines.
QByteArray fileOf(const QByteArray& firstLine, int lines, const char* end = "\r\n")
{
    QByteArray bytes = firstLine + end;
    for (int i = 1; i < lines; ++i)
        bytes += QByteArray::number(i) + end;
    return bytes;
}

// Limits the size of files this process writes, so that writing fails the
// way it does on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Bytes this process has read from files so far, where the system tells.
std::optional<qint64> bytesRead()
{
    QFile io(u"/proc/self/io"_qs);
    if (!io.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return std::nullopt;
}

} // namespace

TEST(DataFileFormat, ThreeStationExampleIsItsFortyTwoBytes)
{
    const QByteArray bytes = encodeLines(toLines(threeStations()));
    EXPECT_EQ(bytes.size(), 42);
    EXPECT_EQ(bytes, QByteArray(threeStationBytes));

    const InitialData back = fromLines(decodeLines(bytes));
    expectSame(back, threeStations());
    EXPECT_EQ(back.param(2, 0), u"520"_qs);
    EXPECT_EQ(back.param(0, 1), u"3"_qs);
    EXPECT_EQ(back.flow(0, 1), u"60"_qs);
    EXPECT_EQ(back.flow(1, 1), QString());
}

TEST(DataFileFormat, LinesFollowTheGridOrder)
{
    const QStringList lines = toLines(filled(5));
    ASSERT_EQ(lines.size(), 27);
    EXPECT_EQ(lines[0], u"5"_qs);
    EXPECT_EQ(lines[1], u" Cm 0 "_qs);
    EXPECT_EQ(lines[5], u" Cm 4 "_qs);
    EXPECT_EQ(lines[6], u"Тек0,5  "_qs);
    EXPECT_EQ(lines[10], u"Тек4,5  "_qs);
    // flow cell (c, r) is line 2N + 2 + r(N - 1) + c, counted from 1
    EXPECT_EQ(lines[2 * 5 + 2 + 1 * 4 + 2 - 1], u"201"_qs);
    EXPECT_EQ(lines[26], u"  вне 3/3"_qs);
}

TEST(DataFileFormat, CellsOutsideTheListsAreEmpty)
{
    InitialData data = threeStations();
    data.flows.removeLast();
    EXPECT_EQ(data.flow(1, 1), QString());
    EXPECT_EQ(data.flow(2, 0), QString());
    EXPECT_EQ(data.flow(-1, 0), QString());
    EXPECT_EQ(data.param(3, 0), QString());
    EXPECT_EQ(data.param(0, 2), QString());
    EXPECT_EQ(toLines(data).size(), 11);
    EXPECT_EQ(toLines(data).last(), QString());
}

TEST(DataFileFormat, EveryStationCountRoundTrips)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (int n = 3; n <= 21; ++n) {
        SCOPED_TRACE(n);
        const InitialData data = filled(n);
        const QStringList lines = toLines(data);
        EXPECT_EQ(lines.size(), n * n + 2);
        expectSame(fromLines(lines), data);

        const QString path = dir.filePath(QString("n%1.dat").arg(n));
        save(path, data);
        const QByteArray bytes = readAll(path);
        EXPECT_EQ(bytes.count("\r\n"), n * n + 2);
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        EXPECT_EQ(bytes.count('\n'), bytes.count('\r'));
        expectSame(load(path), data);
    }
}

TEST(DataFileFormat, StationCountIsReadStrictlyAndClamped)
{
    EXPECT_EQ(fromLines(decodeLines(fileOf(" 5", 27))).stationCount, 5);
    EXPECT_EQ(fromLines(decodeLines(fileOf("+4", 18))).stationCount, 4);
    EXPECT_EQ(fromLines(decodeLines(fileOf("$a", 102))).stationCount, 10);
    EXPECT_EQ(fromLines(decodeLines(fileOf("1", 11))).stationCount, 3);
    EXPECT_EQ(fromLines(decodeLines(fileOf("-7", 11))).stationCount, 3);
    EXPECT_EQ(fromLines(decodeLines(fileOf("$FFFFFFFF", 11))).stationCount, 3);

    // 25 stations become 21, and the lines are taken at the places of 21
    const InitialData big = fromLines(decodeLines(fileOf("25", 443)));
    EXPECT_EQ(big.stationCount, 21);
    EXPECT_EQ(big.param(0, 0), u"1"_qs);
    EXPECT_EQ(big.param(0, 1), u"22"_qs);
    EXPECT_EQ(big.flow(0, 0), u"43"_qs);
    EXPECT_EQ(big.flow(19, 19), u"442"_qs);
}

TEST(DataFileFormat, ExtraLinesAreIgnored)
{
    QStringList lines = toLines(threeStations());
    lines << u"лишнее"_qs << u"99"_qs;
    expectSame(fromLines(lines), threeStations());
}

TEST(DataFileFormat, BadStationCountNamesTheLine)
{
    const auto message = [](const QStringList& lines) {
        return errorOf([&] { fromLines(lines); });
    };
    EXPECT_EQ(message({u"8 "_qs}), "'8 ' is not a valid integer value");
    EXPECT_EQ(message({QString(), u"1"_qs}), "'' is not a valid integer value");
    EXPECT_EQ(message({u"восемь"_qs}), u8(u"'восемь' is not a valid integer value"_qs));
    EXPECT_EQ(message({u"2147483648"_qs}), "'2147483648' is not a valid integer value");
    EXPECT_EQ(message({u"\t8"_qs}), "'\t8' is not a valid integer value");
}

TEST(DataFileFormat, MissingLinesGiveTheFirstMissingIndex)
{
    const auto message = [](const QStringList& lines) {
        return errorOf([&] { fromLines(lines); });
    };
    EXPECT_EQ(message({}), "List index out of bounds (0)");
    QStringList lines = toLines(threeStations());
    lines.removeLast();
    EXPECT_EQ(message(lines), "List index out of bounds (10)");
    EXPECT_EQ(message({u"3"_qs}), "List index out of bounds (1)");
    EXPECT_EQ(message(decodeLines(fileOf("25", 442))), "List index out of bounds (442)");
    EXPECT_EQ(message(decodeLines(fileOf("2", 10))), "List index out of bounds (10)");
}

TEST(DataFileBytes, LineEndsOfEveryKindSplitAlike)
{
    const QStringList expected = {u"3"_qs, u"a"_qs, QString(), u"b"_qs};
    EXPECT_EQ(decodeLines("3\r\na\r\n\r\nb\r\n"), expected);
    EXPECT_EQ(decodeLines("3\na\n\nb\n"), expected);
    EXPECT_EQ(decodeLines("3\ra\r\rb\r"), expected);
    EXPECT_EQ(decodeLines("3\ra\n\r\nb"), expected);
    EXPECT_EQ(decodeLines("3\r\na\r\n\r\nb"), expected);

    EXPECT_EQ(decodeLines(""), QStringList());
    EXPECT_EQ(decodeLines("\r\n"), QStringList{QString()});
    EXPECT_EQ(decodeLines("\n\r"), (QStringList{QString(), QString()}));
    EXPECT_EQ(decodeLines("a\r\r\n"), (QStringList{u"a"_qs, QString()}));
    EXPECT_EQ(decodeLines("a\n\n"), (QStringList{u"a"_qs, QString()}));
}

TEST(DataFileBytes, NulEndsTheText)
{
    EXPECT_EQ(decodeLines(QByteArray("a\r\nb\0c\r\nd\r\n", 11)), (QStringList{u"a"_qs, u"b"_qs}));
    EXPECT_EQ(decodeLines(QByteArray("a\r\n\0b", 5)), QStringList{u"a"_qs});
    EXPECT_EQ(decodeLines(QByteArray("\0a\r\n", 4)), QStringList());
}

TEST(DataFileBytes, LineLimitStopsSplitting)
{
    EXPECT_EQ(decodeLines("a\r\nb\r\nc", 2), (QStringList{u"a"_qs, u"b"_qs}));
    EXPECT_EQ(decodeLines("a\r\nb", 5), (QStringList{u"a"_qs, u"b"_qs}));
    EXPECT_EQ(decodeLines("a\r\nb", 0), QStringList());
}

TEST(DataFileBytes, EveryByteSurvivesDecodingAndEncoding)
{
    QByteArray line;
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '\r' && byte != '\n')
            line.append(char(byte));
    const QByteArray bytes = line + "\r\n" + QByteArray(1, char(0x98)) + "\r\n";
    const QStringList lines = decodeLines(bytes);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].size(), line.size());
    EXPECT_EQ(lines[1].size(), 1);
    EXPECT_EQ(encodeLines(lines), bytes);

    // the code page itself
    const QStringList cyrillic = decodeLines("\xc0\xff\xa8\xb8\xb9\x88");
    EXPECT_EQ(cyrillic, QStringList{u"Ая\u0401\u0451№€"_qs});
    EXPECT_EQ(encodeLines(cyrillic), QByteArray("\xc0\xff\xa8\xb8\xb9\x88\r\n"));
}

TEST(DataFileBytes, FileBytesSurviveLoadAndSave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // every byte but the line ends and NUL, spread over the cells of 3 stations
    QByteArray bytes = "  3\r\n";
    int byte = 1;
    for (int cell = 0; cell < 10; ++cell) {
        for (int k = 0; k < 26 && byte < 256; ++byte) {
            if (byte == '\r' || byte == '\n')
                continue;
            bytes.append(char(byte));
            ++k;
        }
        bytes.append("\r\n");
    }
    ASSERT_EQ(byte, 256);
    const QString path = dir.filePath(u"all.dat"_qs);
    writeAll(path, bytes);

    InitialData data = load(path);
    save(path, data);
    // line 1 is written anew from the count; everything else is the same
    EXPECT_EQ(readAll(path), "3\r\n" + bytes.mid(5));
}

TEST(DataFileBytes, CharactersOutsideTheCodePageAreRefused)
{
    const auto message = [](const QString& text) {
        return errorOf([&] { encodeLines({u"1"_qs, text}); });
    };
    EXPECT_EQ(message(u"中"_qs), u8(u"Текст «中» нельзя сохранить в кодировке Windows-1251"_qs));
    EXPECT_EQ(message(u"ab😀"_qs), u8(u"Текст «ab😀» нельзя сохранить в кодировке Windows-1251"_qs));
    // a lone surrogate, which the encoder would silently drop
    EXPECT_EQ(
        message(QString(QChar(0xD800))),
        u8(u"Текст «"_qs + QChar(0xD800) + u"» нельзя сохранить в кодировке Windows-1251"_qs));
    const QString longText = QString(70, u'x') + u"ü"_qs;
    EXPECT_EQ(message(longText), u8(u"Текст «"_qs + QString(60, u'x') +
                                    u"…» нельзя сохранить в кодировке Windows-1251"_qs));

    const std::string lineBreak =
        u8(u"Текст «a\nb» нельзя сохранить: в нём есть разрыв строки или символ с кодом 0"_qs);
    EXPECT_EQ(message(u"a\nb"_qs), lineBreak);
    EXPECT_TRUE(message(u"a\rb"_qs).has_value());
    EXPECT_TRUE(message(u"a"_qs + QChar(0)).has_value());
}

TEST(DataFileBytes, RefusedTextLeavesTheFileUntouched)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"keep.dat"_qs);
    writeAll(path, threeStationBytes);
    InitialData data = threeStations();
    data.flows[3] = u"日本"_qs;
    EXPECT_EQ(errorOf([&] { save(path, data); }),
              u8(u"Текст «日本» нельзя сохранить в кодировке Windows-1251"_qs));
    EXPECT_EQ(readAll(path), QByteArray(threeStationBytes));
    EXPECT_EQ(entries(dir), QStringList{u"keep.dat"_qs});
}

TEST(DataFileLoad, LineEndsOfEveryKindLoadAlike)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QByteArray lf = threeStationBytes;
    lf.replace("\r\n", "\n");
    QByteArray cr = threeStationBytes;
    cr.replace("\r\n", "\r");
    const QByteArray crlf = threeStationBytes;
    // the last line not empty and without a line end
    InitialData full = threeStations();
    full.flows[3] = u"7"_qs;
    for (const QByteArray& bytes : {lf, cr, crlf}) {
        const QString path = dir.filePath(u"f.dat"_qs);
        writeAll(path, bytes);
        expectSame(load(path), threeStations());
        const qsizetype lineEnd = bytes == crlf ? 2 : 1;
        writeAll(path, bytes.chopped(lineEnd) + "7");
        expectSame(load(path), full);
    }
}

TEST(DataFileLoad, LineEndSplitBetweenReads)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"split.dat"_qs);
    // the CR of line 2 is the last byte of the first 64 KiB, its LF the first
    // of the next; a lone CR and a line end follow at the next boundary too
    QByteArray bytes = "3\r\n";
    bytes += QByteArray(64 * 1024 - 1 - bytes.size(), 'a') + "\r\n";
    bytes += QByteArray(64 * 1024 - 2, 'b') + "\r";
    bytes += "c\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n";
    writeAll(path, bytes);
    const InitialData data = load(path);
    EXPECT_EQ(data.param(0, 0), QString(64 * 1024 - 4, u'a'));
    EXPECT_EQ(data.param(1, 0), QString(64 * 1024 - 2, u'b'));
    EXPECT_EQ(data.param(2, 0), u"c"_qs);
    EXPECT_EQ(data.flow(1, 1), u"10"_qs);
}

TEST(DataFileLoad, ErrorsNameTheFileAndReturnNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(u"нет такого.dat"_qs);
    EXPECT_EQ(errorOf([&] { load(missing); }), u8(u"Cannot open file "_qs + missing));
    EXPECT_EQ(errorOf([&] { load(dir.path()); }), u8(u"Cannot open file "_qs + dir.path()));

    const QString path = dir.filePath(u"bad.dat"_qs);
    const auto loadBytes = [&](const QByteArray& bytes) {
        writeAll(path, bytes);
        return errorOf([&] { load(path); });
    };
    EXPECT_EQ(loadBytes(""), "List index out of bounds (0)");
    EXPECT_EQ(loadBytes("8 \r\n1\r\n"), "'8 ' is not a valid integer value");
    EXPECT_EQ(loadBytes("\r\n"), "'' is not a valid integer value");
    EXPECT_EQ(loadBytes("\xc2\xee\xf1\xe5\xec\xfc\r\n"),
              u8(u"'Восемь' is not a valid integer value"_qs));
    EXPECT_EQ(loadBytes(fileOf("3", 10)), "List index out of bounds (10)");
    EXPECT_EQ(loadBytes(fileOf("25", 100)), "List index out of bounds (100)");
    EXPECT_EQ(loadBytes(QByteArray(threeStationBytes).replace("80\r\n", QByteArray("\0", 1))),
              "List index out of bounds (8)");
}

TEST(DataFileLoad, HugeFileIsReadOnlyAsFarAsNeeded)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"huge.dat"_qs);
    constexpr qint64 tail = 32 * 1024 * 1024;
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(threeStationBytes);
        const QByteArray block = QByteArray(1023, 'x') + "\n";
        for (qint64 written = 0; written < tail; written += block.size())
            ASSERT_EQ(file.write(block), block.size());
    }
    expectSame(load(path), threeStations()); // warms up the code page tables

    const std::optional<qint64> before = bytesRead();
    if (!before)
        GTEST_SKIP() << "the system does not count the bytes read";
    expectSame(load(path), threeStations());
    const qint64 read = *bytesRead() - *before;
    EXPECT_LT(read, 1024 * 1024) << "bytes read: " << read;
}

TEST(DataFileSave, ReplacesAnExistingFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"plan.dat"_qs);
    writeAll(path, QByteArray(5000, 'z'));
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path, mode));
    save(path, threeStations());
    EXPECT_EQ(readAll(path), QByteArray(threeStationBytes));
    EXPECT_EQ(QFile::permissions(path) & (mode | QFile::ReadOther | QFile::WriteGroup), mode);
    EXPECT_EQ(entries(dir), QStringList{u"plan.dat"_qs});
}

TEST(DataFileSave, CannotCreateNamesTheFileAndWritesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString inMissingFolder = dir.filePath(u"нет/plan.dat"_qs);
    EXPECT_EQ(errorOf([&] { save(inMissingFolder, threeStations()); }),
              u8(u"Cannot create file "_qs + inMissingFolder));
    EXPECT_TRUE(entries(dir).isEmpty());

    EXPECT_EQ(errorOf([&] { save(dir.path(), threeStations()); }),
              u8(u"Cannot create file "_qs + dir.path()));

    // a read-only file stays as it is, even for the superuser
    const QString readOnly = dir.filePath(u"ro.dat"_qs);
    writeAll(readOnly, "old\r\n");
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
    EXPECT_EQ(errorOf([&] { save(readOnly, threeStations()); }),
              u8(u"Cannot create file "_qs + readOnly));
    EXPECT_EQ(readAll(readOnly), QByteArray("old\r\n"));
    constexpr auto bits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                          QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(QFile::permissions(readOnly) & bits, QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_EQ(entries(dir), QStringList{u"ro.dat"_qs});
}

TEST(DataFileSave, FailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"plan.dat"_qs);
    writeAll(path, threeStationBytes);
    std::optional<std::string> error;
    {
        const FileSizeLimit limit(100);
        error = errorOf([&] { save(path, filled(21)); });
    }
    EXPECT_EQ(error, "Stream write error");
    EXPECT_EQ(readAll(path), QByteArray(threeStationBytes));
    EXPECT_EQ(entries(dir), QStringList{u"plan.dat"_qs});
}

TEST(DataFileSave, PipeIsWrittenNotReplaced)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"pipe"_qs);
    const QByteArray native = QFile::encodeName(path);
    ASSERT_EQ(mkfifo(native.constData(), 0644), 0);
    const int reader = open(native.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    save(path, threeStations());
    char buffer[100] = {};
    const ssize_t got = read(reader, buffer, sizeof buffer);
    close(reader);
    EXPECT_EQ(QByteArray(buffer, got), QByteArray(threeStationBytes));
    struct stat status = {};
    ASSERT_EQ(stat(native.constData(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    EXPECT_EQ(entries(dir), QStringList{u"pipe"_qs});
}

TEST(DataFileBytes, LineLongerThanTheLimitIsRefusedByNumber)
{
    const QByteArray longest(kMaxLineBytes, 'a');
    EXPECT_EQ(decodeLines("3\r\n" + longest + "\r\n").value(1).size(), kMaxLineBytes);
    EXPECT_EQ(errorOf([&] { decodeLines("3\r\n" + longest + "a\r\n"); }),
              "Строка 2 длиннее 65536 байт: это не файл исходных данных");
    // the limit holds for a line without an end too, and counts lone CR and LF ends
    EXPECT_EQ(errorOf([&] { decodeLines("3\n1\r2\r\n" + longest + "a"); }),
              "Строка 4 длиннее 65536 байт: это не файл исходных данных");
}

TEST(DataFileLoad, EndlessLineStopsAtTheLimit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"long.dat"_qs);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("3\r\n500\r\n");
        const QByteArray block(1024 * 1024, '7');
        for (int i = 0; i < 32; ++i)
            ASSERT_EQ(file.write(block), block.size());
    }
    const std::optional<qint64> before = bytesRead();
    EXPECT_EQ(errorOf([&] { load(path); }),
              "Строка 3 длиннее 65536 байт: это не файл исходных данных");
    if (before) {
        const qint64 read = *bytesRead() - *before;
        EXPECT_LT(read, 1024 * 1024) << "bytes read: " << read;
    }
}

TEST(DataFileLoad, OnlyRegularFilesAreOpened)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A pipe without a writer would block an ordinary open for ever.
    const QString pipe = dir.filePath(u"pipe.dat"_qs);
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
    EXPECT_EQ(errorOf([&] { load(pipe); }),
              u8(u"Файл "_qs + pipe + u" нельзя открыть: это не обычный файл"_qs));
    EXPECT_EQ(errorOf([] { load(u"/dev/zero"_qs); }),
              "Файл /dev/zero нельзя открыть: это не обычный файл");

    // A link to a regular file is read through.
    const QString target = dir.filePath(u"three.dat"_qs);
    writeAll(target, threeStationBytes);
    const QString link = dir.filePath(u"link.dat"_qs);
    ASSERT_TRUE(QFile::link(target, link));
    expectSame(load(link), threeStations());
    // A link to a pipe is not.
    const QString pipeLink = dir.filePath(u"pipelink.dat"_qs);
    ASSERT_TRUE(QFile::link(pipe, pipeLink));
    EXPECT_EQ(errorOf([&] { load(pipeLink); }),
              u8(u"Файл "_qs + pipeLink + u" нельзя открыть: это не обычный файл"_qs));
}

TEST(DataFileSave, PipeWithoutReaderIsAnErrorNotAWait)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"pipe"_qs);
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    EXPECT_EQ(errorOf([&] { save(path, threeStations()); }), u8(u"Cannot create file "_qs + path));
    EXPECT_EQ(entries(dir), QStringList{u"pipe"_qs});
}

TEST(DataFileSave, DeviceWriteFailureIsReported)
{
    if (!QFileInfo::exists(u"/dev/full"_qs))
        GTEST_SKIP() << "no /dev/full";
    EXPECT_EQ(errorOf([] { save(u"/dev/full"_qs, threeStations()); }), "Stream write error");
}

TEST(DataFileSave, FileSizeLimitIsAnErrorNotASignal)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"plan.dat"_qs);
    // In a child: the signal is left at its default there, as in a fresh program.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        ignoreFileSizeSignal();
        rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::optional<std::string> error = errorOf([&] { save(path, filled(21)); });
        _exit(error == "Stream write error" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

namespace {

// Runs a step as a user without privileges (in a child process when this one
// is the superuser, for whom folder permissions do not count); the step's
// result, or nothing when it could not be run so.
std::optional<bool> asUnprivilegedUser(const std::function<bool()>& step)
{
    if (geteuid() != 0)
        return step();
    const pid_t child = fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        constexpr uid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
            _exit(2);
        _exit(step() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 2)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

constexpr auto kReadOnlyFolder = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                 QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

// A file anybody may write, in a folder "ro" of `dir` that nobody but the
// superuser may write, owned by the user asUnprivilegedUser() runs as.
QString writableFileInReadOnlyFolder(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString folder = dir.filePath(u"ro"_qs);
    EXPECT_TRUE(QDir().mkdir(folder));
    const QString path = folder + u"/plan.dat"_qs;
    writeAll(path, bytes);
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup |
                     QFile::ReadOther | QFile::WriteOther;
    EXPECT_TRUE(QFile::setPermissions(path, all));
    EXPECT_TRUE(QFile::setPermissions(folder, kReadOnlyFolder));
    EXPECT_TRUE(QFile::setPermissions(dir.path(), kReadOnlyFolder | QFile::WriteOwner));
    constexpr uid_t nobody = 65534;
    if (geteuid() == 0) {
        EXPECT_EQ(chown(QFile::encodeName(path).constData(), nobody, nobody), 0);
    }
    return path;
}

} // namespace

TEST(DataFileSave, WritableFileInAFolderThatIsNotIsWrittenInPlace)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = writableFileInReadOnlyFolder(dir, QByteArray(5000, 'z'));
    const QString folder = QFileInfo(path).path();
    const QString missing = folder + u"/new.dat"_qs;

    const std::optional<bool> saved = asUnprivilegedUser([&] {
        try {
            save(path, threeStations());
        } catch (const Error&) {
            return false;
        }
        // a new file still cannot be made there, and says so
        return errorOf([&] { save(missing, threeStations()); }) ==
               u8(u"Cannot create file "_qs + missing);
    });
    ASSERT_TRUE(saved.has_value()) << "could not run as an unprivileged user";
    EXPECT_TRUE(*saved);
    EXPECT_EQ(readAll(path), QByteArray(threeStationBytes));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{u"plan.dat"_qs});
    QFile::setPermissions(folder, kReadOnlyFolder | QFile::WriteOwner);
}

TEST(DataFileSave, FailedWriteInPlacePutsTheOldBytesBack)
{
    // Every file the program writes goes through this writer: the data file,
    // the report, the CSV and the diagram.
    constexpr rlim_t limit = 2000;
    const struct
    {
        qsizetype oldSize;
        QByteArray after; // the file after the failed save
        const char* message;
    } cases[] = {
        {100, QByteArray(100, 'o'), ". Файл %s оставлен прежним: его содержимое восстановлено"},
        // the old bytes themselves pass the limit
        {5000, QByteArray(limit, 'o'), ". Прежнее содержимое файла %s восстановить не удалось"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = writableFileInReadOnlyFolder(dir, QByteArray(c.oldSize, 'o'));
        const std::string expected = "Stream write error" + formatMessage(c.message, u8(path));
        ASSERT_GT(encodeLines(toLines(filled(21))).size(), qsizetype(limit));
        const std::optional<bool> failedAsExpected = asUnprivilegedUser([&] {
            const FileSizeLimit sizeLimit(limit);
            return errorOf([&] { save(path, filled(21)); }) == expected;
        });
        ASSERT_TRUE(failedAsExpected.has_value()) << "could not run as an unprivileged user";
        EXPECT_TRUE(*failedAsExpected) << expected;
        EXPECT_EQ(readAll(path), c.after) << c.oldSize;
        QFile::setPermissions(QFileInfo(path).path(), kReadOnlyFolder | QFile::WriteOwner);
    }
}

TEST(DataFileNames, OnlyNamesThatAreNotUtf8AreRefused)
{
    EXPECT_EQ(unreadableFileName("/tmp/line8.dat"), "");
    EXPECT_EQ(unreadableFileName("/tmp/участок 5.dat"), "");
    EXPECT_EQ(unreadableFileName("/tmp/bad\xff"
                                 "name.dat"),
              "Параметр «/tmp/bad\\xFFname.dat» не в кодировке UTF-8: файл с таким именем "
              "программа открыть не может. Переименуйте файл.");
}
