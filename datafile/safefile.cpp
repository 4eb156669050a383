#include "datafile/safefile.h"

#include <string>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// A pipe or a device. Opened without blocking, so that a pipe nobody reads
// is an error at once instead of a wait for ever; then written normally.
void writeSpecialFile(const QString& path, const QByteArray& bytes, const Error& cannotCreateFile,
                      const char* writeFailed)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = -1;
    do {
        fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw cannotCreateFile;
    const int flags = ::fcntl(fd, F_GETFL);
    const bool written =
        flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && writeAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed)
        throw Error(writeFailed);
}

// Makes the open file hold exactly `bytes`.
bool replaceContent(QFile& file, const QByteArray& bytes)
{
    return file.seek(0) && file.resize(0) && file.write(bytes) == bytes.size() && file.flush();
}

// The file itself, written over: used only when no temporary file can be
// made beside it (a folder the user may not write). Its old bytes are read
// first, so that a failed write can put them back; a file whose bytes cannot
// be kept so is not written at all.
void writeInPlace(const QString& path, const QByteArray& bytes, const Error& cannotCreateFile,
                  const char* writeFailed)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw cannotCreateFile;
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError || old.size() != file.size())
        throw cannotCreateFile;
    if (replaceContent(file, bytes)) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return;
        throw Error(writeFailed);
    }
    const bool restored = replaceContent(file, old);
    file.close();
    const char* pattern = restored && file.error() == QFileDevice::NoError
                              ? ". Файл %s оставлен прежним: его содержимое восстановлено"
                              : ". Прежнее содержимое файла %s восстановить не удалось";
    throw Error(writeFailed + formatMessage(pattern, path.toStdString()));
}

} // namespace

// Writes a whole file. A regular file is replaced only once everything was
// written (a temporary file beside it, renamed over it), so a failed save
// leaves the old file intact. A device or pipe is written to directly:
// renaming over it would replace the special file itself.
void writeFileSafely(const QString& path, const QByteArray& bytes, const char* writeFailed,
                     const char* cannotCreateMessage)
{
    const Error cannotCreateFile(formatMessage(
        cannotCreateMessage ? cannotCreateMessage : cannotCreate, path.toStdString()));
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        writeSpecialFile(path, bytes, cannotCreateFile, writeFailed);
        return;
    }
    if (isReadOnly(path))
        throw cannotCreateFile;
    QSaveFile file(path);
    // Unbuffered: a buffered QSaveFile ignores a failed flush of its buffer
    // and commits the truncated file; an unbuffered write reports the short
    // count.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // No temporary file beside an existing file: it is written in place.
        if (info.exists() && info.isFile()) {
            writeInPlace(path, bytes, cannotCreateFile, writeFailed);
            return;
        }
        throw cannotCreateFile;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw Error(writeFailed);
    }
    // A new file is named only at the commit: failing there (a name too long
    // for the folder, say), it was never created.
    if (!file.commit())
        throw info.exists() ? Error(writeFailed) : cannotCreateFile;
}

void ignoreFileSizeSignal()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

QString argumentText(const char* argument)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(argument));
}

bool isSameFile(const QString& first, const QString& second)
{
    struct stat a
    {
    };
    struct stat b
    {
    };
    return ::stat(QFile::encodeName(first).constData(), &a) == 0 &&
           ::stat(QFile::encodeName(second).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

std::string unreadableFileName(const char* argument)
{
    const QByteArray raw(argument);
    if (QFile::encodeName(argumentText(argument)) == raw)
        return {};
    std::string shown;
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            shown += "\\x";
            shown += digits[byte >> 4];
            shown += digits[byte & 0xF];
        } else {
            shown += c;
        }
    }
    return "Параметр «" + shown +
           "» не в кодировке UTF-8: файл с таким именем программа открыть не может. "
           "Переименуйте файл.";
}

} // namespace zeltrac::datafile
