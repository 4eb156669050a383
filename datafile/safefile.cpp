#include "datafile/safefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "calc/error.h"

namespace zeltrac::datafile {

namespace {

constexpr const char* cannotCreate = "Cannot create file %s";

// A file that may not be replaced. Write permission is checked by the file's
// own bits too: the superuser may write to any file, but a file marked
// read-only stays read-only for this program.
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

} // namespace

// Writes a whole file. A regular file is replaced only once everything was
// written (a temporary file beside it, renamed over it), so a failed save
// leaves the old file intact. A device or pipe is written to directly:
// renaming over it would replace the special file itself.
void writeFileSafely(const QString& path, const QByteArray& bytes, const char* writeFailed,
                     const char* cannotCreateMessage)
{
    const auto cannotCreateFile = [&] {
        return Error(formatMessage(cannotCreateMessage ? cannotCreateMessage : cannotCreate,
                                   path.toStdString()));
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

} // namespace zeltrac::datafile
