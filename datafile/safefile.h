#pragma once

#include <QByteArray>
#include <QString>

#include <string>

namespace zeltrac::datafile {

// Writes a whole file. A regular file is replaced only once everything was
// written (a temporary file beside it, renamed over it), so a failed save
// leaves the old file intact; a read-only file is never replaced. Where no
// temporary file can be made beside an existing file (a folder the user may
// not write), the file is written in place, its old bytes kept in memory:
// a failed write puts them back, and its error says whether that worked. A
// device or pipe is written to directly, opened without blocking: a pipe
// without a reader is an error, not a wait. Throws zeltrac::Error("Cannot
// create file <path>") or Error(writeFailedMessage), after an in-place write
// followed by ". Файл <path> оставлен прежним: его содержимое восстановлено"
// or ". Прежнее содержимое файла <path> восстановить не удалось"; a
// cannotCreateMessage given (a format with one %s for the path) replaces the
// first.
void writeFileSafely(const QString& path, const QByteArray& bytes, const char* writeFailedMessage,
                     const char* cannotCreateMessage = nullptr);

// Makes a file-size limit (ulimit -f) end a write with an error the program
// reports instead of killing it without a word.
void ignoreFileSizeSignal();

// Whether two paths name one existing file (the same device and inode),
// whatever the names.
bool isSameFile(const QString& first, const QString& second);

// A command-line argument as text: UTF-8, a leading U+FEFF kept as a
// character of its own (it may be part of a file name).
QString argumentText(const char* argument);

// A file name given on the command line that does not survive the conversion
// to a Qt text and back (bytes that are not UTF-8): the message that says so;
// else an empty text.
std::string unreadableFileName(const char* argument);

} // namespace zeltrac::datafile
