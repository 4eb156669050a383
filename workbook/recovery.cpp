#include "workbook/recovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <utility>

#include "calc/error.h"
#include "datafile/safefile.h"
#include "workbook/workbook.h"

namespace zeltrac {

namespace {

constexpr int kFormat = 1;
const QString kPattern = QStringLiteral("recovery-*.json");

// The session's documents by the keys of the file, in the order they are
// restored: a new station count starts new conditions and a new plan in
// force.
template <typename Book> auto documents(Book& book)
{
    return std::array{std::pair{"input", &book.inputDocument()},
                      std::pair{"conditions", &book.conditionsDocument()},
                      std::pair{"planInForce", &book.planInForceDocument()}};
}

QString lockName(const QString& path)
{
    return path + QStringLiteral(".lock");
}

Error damaged()
{
    return Error("Файл восстановления повреждён.");
}

// A document of the file: its place in documents(), its texts and file.
struct Entry
{
    std::size_t document;
    QStringList texts;
    QString file;
};

// The file's documents, every one checked before any changes.
std::vector<Entry> parse(const Workbook& book, const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !json.isObject())
        throw damaged();
    const int format = json.object().value(QStringLiteral("format")).toInt();
    if (format > kFormat)
        throw Error("Файл восстановления записан более новой версией программы.");
    if (format != kFormat)
        throw damaged();
    const QJsonObject entries = json.object().value(QStringLiteral("documents")).toObject();
    std::vector<Entry> found;
    const auto all = documents(book);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const QJsonObject entry = entries.value(QLatin1String(all[i].first)).toObject();
        if (entry.isEmpty())
            continue;
        QStringList texts;
        for (const QJsonValue text : entry.value(QStringLiteral("texts")).toArray()) {
            if (!text.isString())
                throw damaged();
            texts << text.toString();
        }
        if (!all[i].second->canRestore(texts))
            throw damaged();
        found.push_back({i, texts, entry.value(QStringLiteral("file")).toString()});
    }
    // A program writes no file while nothing is unsaved.
    if (found.empty())
        throw damaged();
    return found;
}

} // namespace

namespace recovery {

QByteArray compose(const Workbook& book)
{
    QJsonObject entries;
    for (const auto& [key, document] : documents(book)) {
        if (document->modified())
            entries.insert(QLatin1String(key),
                           QJsonObject{{QStringLiteral("file"), document->fileName()},
                                       {QStringLiteral("texts"),
                                        QJsonArray::fromStringList(document->state())}});
    }
    const QJsonObject root{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("documents"), entries}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void restore(Workbook& book, const QByteArray& bytes)
{
    const std::vector<Entry> found = parse(book, bytes);
    const auto all = documents(book);
    for (const Entry& entry : found)
        all[entry.document].second->restore(entry.texts, entry.file);
}

QByteArray read(const Workbook& book, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error("Файл восстановления не открывается.");
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        throw damaged();
    parse(book, bytes);
    return bytes;
}

std::vector<Abandoned> findAbandoned(const QString& folder)
{
    const QDir dir(folder);
    const auto lockIfAbandoned = [](const QString& path) {
        auto lock = std::make_shared<QLockFile>(lockName(path));
        // Only a program that no longer runs lets go of its lock.
        lock->setStaleLockTime(0);
        return lock->tryLock(0) ? lock : nullptr;
    };
    std::vector<Abandoned> files;
    for (const QFileInfo& info : dir.entryInfoList({kPattern}, QDir::Files))
        if (std::shared_ptr<QLockFile> lock = lockIfAbandoned(info.filePath()))
            files.push_back({info.filePath(), info.lastModified(), std::move(lock)});
    // The locks of programs that died before they wrote anything.
    for (const QFileInfo& info : dir.entryInfoList({lockName(kPattern)}, QDir::Files)) {
        const QString path = info.dir().filePath(info.completeBaseName());
        if (!QFile::exists(path))
            if (std::shared_ptr<QLockFile> lock = lockIfAbandoned(path))
                lock->unlock();
    }
    std::sort(files.begin(), files.end(),
              [](const Abandoned& a, const Abandoned& b) { return a.written > b.written; });
    return files;
}

void remove(Abandoned& file)
{
    QFile::remove(file.path);
    if (file.lock)
        file.lock->unlock();
}

QString setAside(Abandoned& file)
{
    const QString aside = file.path + QStringLiteral(".damaged");
    QFile::remove(aside);
    const bool renamed = QFile::rename(file.path, aside);
    if (file.lock)
        file.lock->unlock();
    return renamed ? aside : file.path;
}

} // namespace recovery

RecoveryWriter::RecoveryWriter(Workbook& book, const QString& folder, QObject* parent)
    : QObject(parent), m_book(book),
      m_path(QDir(folder).filePath(QStringLiteral("recovery-%1-%2.json")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(QDateTime::currentMSecsSinceEpoch()))),
      m_lock(lockName(m_path))
{
    QDir().mkpath(folder);
    m_lock.setStaleLockTime(0);
    m_lock.tryLock(0);
    m_disk.setMaxThreadCount(1);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &RecoveryWriter::write);
    for (const auto& [key, document] : documents(book))
        connect(document, &Document::changed, &m_timer, qOverload<>(&QTimer::start));
    // A session restored before this writer came has its changes written.
    if (book.hasUnsavedChanges())
        m_timer.start();
}

RecoveryWriter::~RecoveryWriter()
{
    m_timer.stop();
    m_disk.waitForDone();
}

void RecoveryWriter::write()
{
    const QString path = m_path;
    if (!m_book.hasUnsavedChanges()) {
        m_disk.start([path] { QFile::remove(path); });
        return;
    }
    // Composed here, written there: the thread shares nothing with the session.
    const QByteArray bytes = recovery::compose(m_book);
    m_disk.start([path, bytes] {
        try {
            datafile::writeFileSafely(path, bytes, "Stream write error");
        } catch (const std::exception&) {
            // The next change tries again; the planner's work goes on.
        }
    });
}

void RecoveryWriter::finish()
{
    m_timer.stop();
    disconnect(&m_timer, nullptr, this, nullptr);
    m_disk.waitForDone();
    QFile::remove(m_path);
    m_lock.unlock();
}

} // namespace zeltrac
