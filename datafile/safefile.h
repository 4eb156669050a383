#pragma once

#include <QByteArray>
#include <QString>

namespace zeltrac::datafile {

// Writes a whole file. A regular file is replaced only once everything was
// written (a temporary file beside it, renamed over it), so a failed save
// leaves the old file intact; a read-only file is never replaced. A device or
// pipe is written to directly. Throws zeltrac::Error("Cannot create file
// <path>") or Error(writeFailedMessage); a cannotCreateMessage given (a
// format with one %s for the path) replaces the first.
void writeFileSafely(const QString& path, const QByteArray& bytes, const char* writeFailedMessage,
                     const char* cannotCreateMessage = nullptr);

} // namespace zeltrac::datafile
