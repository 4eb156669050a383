#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The report as an RTF document: one paragraph per line, Courier New 9 pt,
// Cyrillic character set.
namespace zeltrac::report {

QByteArray toRtf(const QStringList& lines);

// Writes the document safely (temporary file, then replace). Throws
// zeltrac::Error("Cannot create file <path>") or Error("Failed to Save Stream").
void saveRtf(const QString& path, const QStringList& lines);

} // namespace zeltrac::report
