#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <string>

// The report's date and time in the regional formats.
namespace zeltrac::report {

// A time format without its time-zone name: every unquoted run of "t" goes,
// together with the space before it (or after it, when it opens the format).
QString timeFormatWithoutZone(const QString& format);

// "<short date> <long time>" of the moment in the locale's formats, the time
// with hours, minutes and seconds and no time-zone name; only the date in
// the first second after midnight.
std::string reportDateTime(const QLocale& locale, const QDateTime& moment);

} // namespace zeltrac::report
