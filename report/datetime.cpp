#include "report/datetime.h"

#include "report/report.h"

namespace zeltrac::report {

QString timeFormatWithoutZone(const QString& format)
{
    // Drops every unquoted run of "t" together with the space before it (or
    // after it, when it opens the format).
    QString result;
    bool quoted = false;
    bool dropNextSpace = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar ch = format.at(i);
        if (ch == u'\'') {
            quoted = !quoted;
        } else if (!quoted && ch == u't') {
            while (i + 1 < format.size() && format.at(i + 1) == u't')
                ++i;
            if (result.endsWith(u' '))
                result.chop(1);
            else
                dropNextSpace = true;
            continue;
        } else if (dropNextSpace && ch == u' ') {
            dropNextSpace = false;
            continue;
        }
        dropNextSpace = false;
        result += ch;
    }
    return result;
}

std::string reportDateTime(const QLocale& locale, const QDateTime& moment)
{
    const QTime clock = moment.time();
    const QString date = locale.toString(moment.date(), QLocale::ShortFormat);
    const QString time =
        locale.toString(clock, timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
    const bool midnight = clock.hour() == 0 && clock.minute() == 0 && clock.second() == 0;
    return dateTimeText(date.toStdString(), time.toStdString(), midnight);
}

} // namespace zeltrac::report
