// Unsaved changes of the session and the recovery file that keeps them
// through a crash.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <optional>

#include "calc/error.h"
#include "workbook/recovery.h"
#include "workbook/workbook.h"

using zeltrac::Workbook;
namespace recovery = zeltrac::recovery;

namespace {

QStringList recoveryFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("recovery-*.json")}, QDir::Files);
}

} // namespace

TEST(UnsavedChanges, TheInputDiffersFromWhatWasLastOpenedOrSaved)
{
    const QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.dat"));
    const QString x = QStringLiteral("7");
    const struct
    {
        const char* name;
        std::function<void(Workbook&)> change;
        bool modified;
    } cases[] = {
        {"nothing", [](Workbook&) {}, false},
        {"Cm", [&](Workbook& b) { b.setParam(2, 0, x); }, true},
        {"Tек", [&](Workbook& b) { b.setParam(0, 1, x); }, true},
        {"flow", [&](Workbook& b) { b.setFlow(1, 1, x); }, true},
        {"station count", [](Workbook& b) { b.setStationCount(6); }, true},
        {"operator", [&](Workbook& b) { b.setOperatorName(x); }, true},
        {"taken back", [&](Workbook& b) { b.setFlow(1, 1, x), b.setFlow(1, 1, u"0"_qs); }, false},
        {"count there and back", [](Workbook& b) { b.setStationCount(5), b.setStationCount(8); },
         false},
        {"beyond the line", [&](Workbook& b) { b.setFlow(15, 0, x); }, false},
        {"saved", [&](Workbook& b) { b.setParam(0, 0, x), b.save(file); }, false},
        {"opened", [&](Workbook& b) { b.save(file), b.setParam(0, 0, x), b.load(file); }, false},
    };
    for (const auto& c : cases) {
        Workbook book;
        QSignalSpy signalled(&book.inputDocument(), &zeltrac::Document::modifiedChanged);
        c.change(book);
        EXPECT_EQ(book.hasUnsavedChanges(), c.modified) << c.name;
        EXPECT_EQ(signalled.isEmpty() ? false : signalled.last().at(0).toBool(), c.modified)
            << c.name;
    }
}

TEST(UnsavedChanges, ConditionsAndThePlanInForceAreChangesOfTheirOwnFiles)
{
    Workbook book;
    book.setConditions({{{1, 3}}, {}, {}, {}});
    book.setPlanInForce({{{1, 4}}});
    EXPECT_TRUE(book.conditionsDocument().modified());
    EXPECT_TRUE(book.planInForceDocument().modified());
    EXPECT_FALSE(book.inputDocument().modified());
    book.conditionsDocument().setSaved(QStringLiteral("c.json"));
    book.planInForceDocument().setSaved(QStringLiteral("p.json"));
    EXPECT_FALSE(book.hasUnsavedChanges());
    // Another line starts without conditions, plan and their files.
    book.setConditions({{}, {{1, 4}}, {}, {}});
    book.setStationCount(5);
    EXPECT_FALSE(book.conditionsDocument().modified() || book.planInForceDocument().modified());
    EXPECT_TRUE(book.conditionsDocument().fileName().isEmpty());
    EXPECT_TRUE(book.planInForceDocument().fileName().isEmpty());
    // What was given (restored) before the line's first calculation stays.
    book.load(QStringLiteral(ZELTRAC_EXAMPLES_DIR "/five-stations.dat"));
    book.setPlanInForce({{{1, 3}}});
    ASSERT_EQ(book.calculate(), zeltrac::CalcStatus::Completed);
    EXPECT_TRUE(book.planInForceDocument().modified());
}

// A program killed with SIGKILL leaves its recovery file; the next start
// finds it, and not the file of a program still running.
TEST(Recovery, TheFileOfAKilledProgramIsFoundAndRestored)
{
    const QTemporaryDir dir;
    QProcess program;
    program.start(QStringLiteral(ZELTRAC_RECOVERY_CHILD), {dir.path(), QStringLiteral("12,5")});
    ASSERT_TRUE(program.waitForStarted());
    const QDeadlineTimer deadline(60000);
    while (recoveryFiles(dir.path()).isEmpty() && !deadline.hasExpired())
        QThread::msleep(50);
    ASSERT_EQ(recoveryFiles(dir.path()).size(), 1);
    EXPECT_TRUE(recovery::findAbandoned(dir.path()).empty()); // it still runs

    program.kill();
    ASSERT_TRUE(program.waitForFinished());
    std::vector<recovery::Abandoned> found = recovery::findAbandoned(dir.path());
    ASSERT_EQ(found.size(), 1u);
    QFile file(found.front().path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    Workbook book;
    recovery::restore(book, file.readAll());
    EXPECT_EQ(book.param(0, 0), QStringLiteral("12,5"));
    EXPECT_TRUE(book.inputDocument().modified());
    recovery::remove(found.front());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// A file that cannot be restored says why, before anything is asked.
TEST(Recovery, AFileThatCannotBeRestoredSaysWhy)
{
    Workbook typed;
    typed.setFlow(1, 1, QStringLiteral("5"));
    const QByteArray whole = recovery::compose(typed);
    const auto edited = [&](const char* from, const char* to) {
        return QByteArray(whole).replace(from, to);
    };
    const QString damaged = QStringLiteral("Файл восстановления повреждён.");
    const struct
    {
        const char* name;
        std::optional<QByteArray> bytes; // none: no file
        QString message;
    } cases[] = {
        {"whole", whole, QString()},
        {"truncated", whole.left(whole.size() / 2), damaged},
        {"not JSON", "Cm;Tек", damaged},
        {"no format", edited("\"format\"", "\"formats\""), damaged},
        {"newer", edited("\"format\": 1", "\"format\": 2"),
         QStringLiteral("Файл восстановления записан более новой версией программы.")},
        {"no documents", R"({"format": 1, "documents": {}})", damaged},
        {"another line's texts", edited("\"8\"", "\"22\""), damaged},
        {"too big", whole + QByteArray(recovery::kMaxFileBytes, ' '), damaged},
        {"missing", std::nullopt, QStringLiteral("Файл восстановления не открывается.")},
    };
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("recovery.json"));
    for (const auto& c : cases) {
        QFile file(path);
        file.remove();
        if (c.bytes) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(*c.bytes) == c.bytes->size());
        }
        file.close();
        QString message;
        try {
            EXPECT_EQ(recovery::read(typed, path), whole) << c.name;
        } catch (const zeltrac::Error& e) {
            message = QString::fromUtf8(e.what());
        }
        EXPECT_EQ(message, c.message) << c.name;
    }
}
