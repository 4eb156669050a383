#pragma once

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <memory>
#include <vector>

namespace zeltrac {

class Workbook;

// Keeping what the session has not saved through a crash. Every running
// program writes a recovery file of its own into one folder, named by its
// process and start, and keeps it locked while it runs: another program
// leaves it alone, and the file of a program that died is found by its lock
// no longer being held.
//
// A recovery file is JSON: {"format": 1, "documents": {"input": {"file":
// "/path/line.dat", "texts": [...]}, "conditions": {...}, "planInForce":
// {...}}}, the texts of each changed document of the session as
// Document::state() gives them.
namespace recovery {

// The recovery file of the session's changed documents.
QByteArray compose(const Workbook& book);

// Writes the file's documents back into the session, the input first; each
// counts as changed, with the file it belonged to. A file that is not a
// recovery file throws zeltrac::Error and changes nothing.
void restore(Workbook& book, const QByteArray& bytes);

// A recovery file of any line is far smaller.
constexpr qint64 kMaxFileBytes = 4 << 20;

// The bytes of the recovery file at `path`, checked as restore() checks them
// and the session left as it is; zeltrac::Error says why a file cannot be
// restored: it cannot be opened, is bigger than kMaxFileBytes, is not a
// recovery file, or was written by a newer version of the program.
QByteArray read(const Workbook& book, const QString& path);

// A recovery file left by a program that no longer runs, locked by this one
// while it is held.
struct Abandoned
{
    QString path;
    QDateTime written;
    std::shared_ptr<QLockFile> lock;
};

// The recovery files in `folder` whose programs no longer run, newest
// first.
std::vector<Abandoned> findAbandoned(const QString& folder);

// Removes an abandoned file and its lock.
void remove(Abandoned& file);

// Keeps an abandoned file that cannot be restored under a name no start
// offers again (".damaged" appended), for the planner to look at, and
// removes its lock; where the file is now.
QString setAside(Abandoned& file);

} // namespace recovery

// The session's own recovery file: written a few seconds after the last
// change of a document, on a thread of its own so that typing never waits
// for the disk; removed when nothing is left unsaved and at a normal end.
class RecoveryWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDelayMs = 3000;

    RecoveryWriter(Workbook& book, const QString& folder, QObject* parent = nullptr);
    // Waits for a write under way; the file stays.
    ~RecoveryWriter() override;

    QString fileName() const { return m_path; }

    // The end of a normal run: no more writes, the file removed.
    void finish();

private:
    void write();

    Workbook& m_book;
    QString m_path;
    QLockFile m_lock;
    QTimer m_timer;
    QThreadPool m_disk; // one thread: the writes keep their order
};

} // namespace zeltrac
