#include "report/rtf.h"

#include <csignal>
#include <optional>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "calc/error.h"
#include "report/tests/wordprocessor.h"

using namespace zeltrac;
using namespace zeltrac::report;

namespace {

constexpr char rtfHeader[] = "{\\rtf1\\ansi\\ansicpg1251\\deff0"
                             "{\\fonttbl{\\f0\\fmodern\\fcharset204 Courier New;}}\r\n"
                             "\\viewkind4\\uc1\\pard\\f0\\fs18 ";

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

template <typename F> std::optional<std::string> errorOf(F&& call)
{
    try {
        call();
    } catch (const Error& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

// The text of one line as it stands in the document.
QByteArray body(const QString& line)
{
    const QByteArray document = toRtf({line});
    const QByteArray header(rtfHeader);
    const QByteArray end("\\par\r\n}");
    if (!document.startsWith(header) || !document.endsWith(end))
        return "<not a one-paragraph document>";
    return document.mid(header.size(), document.size() - header.size() - end.size());
}

QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

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

} // namespace

TEST(RtfDocument, WholeDocumentBytes)
{
    const QByteArray expected = QByteArray(rtfHeader) + "Plan 1\\par\r\n"
                                                        "\\par\r\n"
                                                        "\\u1057\\'d1\\u1090\\'f2. 12\\par\r\n"
                                                        "}";
    EXPECT_EQ(toRtf({u"Plan 1"_qs, QString(), u"Ст. 12"_qs}), expected);
    EXPECT_EQ(toRtf({}), QByteArray(rtfHeader) + "}");
}

TEST(RtfDocument, OneParagraphPerLineAndBalancedGroups)
{
    QStringList lines;
    for (int i = 0; i < 40; ++i)
        lines.append(QString("%1 {%2} \\ Тек").arg(i, 3).arg(i));
    const QByteArray document = toRtf(lines);
    EXPECT_EQ(document.count("\\par\r\n"), 40);
    EXPECT_EQ(document.count("\\fs18"), 1);
    int depth = 0;
    int lowest = 1;
    for (qsizetype i = 0; i < document.size(); ++i) {
        if (document[i] == '\\') {
            ++i; // an escaped character or the first of a control word
            continue;
        }
        if (document[i] == '{')
            ++depth;
        if (document[i] == '}')
            --depth;
        if (i > 0 && i + 1 < document.size())
            lowest = std::min(lowest, depth);
    }
    EXPECT_EQ(depth, 0);
    EXPECT_GE(lowest, 1) << "the document group closes before its end";
    for (const char c : document)
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "the document is 7-bit text";
}

TEST(RtfDocument, SpecialCharactersAreEscaped)
{
    EXPECT_EQ(body(u"a\\b{c}d"_qs), QByteArray("a\\\\b\\{c\\}d"));
    EXPECT_EQ(body(u"x\ty"_qs), QByteArray("x\\tab y"));
    EXPECT_EQ(body(u"  | 12 |  "_qs), QByteArray("  | 12 |  "));
    EXPECT_EQ(body(QString(QChar(0x01)) + QChar(0x7F)), QByteArray("\\'01\\'7f"));
}

TEST(RtfDocument, NonAsciiAsUnicodeWithCodePageFallback)
{
    EXPECT_EQ(
        body(u"АЯаяЁё"_qs),
        QByteArray("\\u1040\\'c0\\u1071\\'df\\u1072\\'e0\\u1103\\'ff\\u1025\\'a8\\u1105\\'b8"));
    EXPECT_EQ(body(u"№ €"_qs), QByteArray("\\u8470\\'b9 \\u8364\\'88"));
    EXPECT_EQ(body(QString(QChar(0x98))), QByteArray("\\u152\\'98"));
    // no windows-1251 byte: a question mark
    EXPECT_EQ(body(u"ü"_qs), QByteArray("\\u252?"));
    // above 32767 the number is negative; beyond the basic plane, two surrogates
    EXPECT_EQ(body(u"\uFF21"_qs), QByteArray("\\u-223?"));
    EXPECT_EQ(body(u"😀"_qs), QByteArray("\\u-10179?\\u-8704?"));
    // a digit right after a fallback stays text
    EXPECT_EQ(body(u"Т1"_qs), QByteArray("\\u1058\\'d21"));
}

TEST(RtfFile, SaveWritesAndReplaces)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"отчет.rtf"_qs);
    writeAll(path, QByteArray(10000, 'z'));
    const QStringList lines = {u"Результаты"_qs, u"{1}"_qs};
    saveRtf(path, lines);
    EXPECT_EQ(readAll(path), toRtf(lines));
    EXPECT_EQ(entries(dir), QStringList{u"отчет.rtf"_qs});
}

TEST(RtfFile, CannotCreateNamesTheFileAndWritesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(u"нет/r.rtf"_qs);
    EXPECT_EQ(errorOf([&] { saveRtf(missing, {u"a"_qs}); }),
              (u"Cannot create file "_qs + missing).toStdString());
    EXPECT_TRUE(entries(dir).isEmpty());

    // a read-only file stays as it is, even for the superuser
    const QString readOnly = dir.filePath(u"ro.rtf"_qs);
    writeAll(readOnly, "old");
    ASSERT_TRUE(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadOther));
    EXPECT_EQ(errorOf([&] { saveRtf(readOnly, {u"a"_qs}); }),
              (u"Cannot create file "_qs + readOnly).toStdString());
    EXPECT_EQ(readAll(readOnly), QByteArray("old"));
    EXPECT_EQ(entries(dir), QStringList{u"ro.rtf"_qs});
}

TEST(RtfFile, FailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"r.rtf"_qs);
    writeAll(path, "old report");
    const QStringList lines(200, u"Станция    12    345.6    7"_qs);
    std::optional<std::string> error;
    {
        const FileSizeLimit limit(200);
        error = errorOf([&] { saveRtf(path, lines); });
    }
    EXPECT_EQ(error, "Failed to Save Stream");
    EXPECT_EQ(readAll(path), QByteArray("old report"));
    EXPECT_EQ(entries(dir), QStringList{u"r.rtf"_qs});
}

// A word processor reads the document back as the lines: Cyrillic, the
// escaped braces and backslash, the "№" sign, blank lines and runs of spaces.
TEST(RtfFile, WordProcessorReadsTheLines)
{
    if (testutil::wordProcessor().isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "libreoffice is not installed";
        GTEST_SKIP() << "libreoffice is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList lines = {u"Результаты расчета"_qs,
                               u"  {Cm} \\ Тек №"_qs,
                               QString(),
                               u"ЁёЯя   }{\\par"_qs,
                               QString(),
                               u"end"_qs};
    const QString path = dir.filePath(u"r.rtf"_qs);
    saveRtf(path, lines);
    QString error;
    const std::optional<QStringList> text = testutil::readWithWordProcessor(path, error);
    ASSERT_TRUE(text) << error.toStdString();
    EXPECT_EQ(*text, lines);
}
