#include "workbook/tabtext.h"

#include <algorithm>

namespace zeltrac::tabtext {

int columnCount(const Block& block)
{
    qsizetype columns = 0;
    for (const QStringList& row : block)
        columns = std::max(columns, row.size());
    return int(columns);
}

QString format(const Block& block)
{
    QString text;
    for (const QStringList& row : block) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0)
                text += u'\t';
            QString cell = row[c];
            for (QChar& ch : cell) {
                if (ch == u'\t' || ch == u'\n' || ch == u'\r')
                    ch = u' ';
            }
            text += cell;
        }
        text += u'\n';
    }
    return text;
}

Block parse(const QString& text)
{
    Block block;
    if (text.isEmpty())
        return block;
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch != u'\n' && ch != u'\r')
            continue;
        lines << text.mid(start, i - start);
        if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    // The text after the last line end is a row of its own unless it is empty.
    if (start < text.size())
        lines << text.mid(start);
    for (const QString& line : lines)
        block << line.split(u'\t');
    return block;
}

} // namespace zeltrac::tabtext
