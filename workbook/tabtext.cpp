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

HeadedBlock TableHeads::around(const Block& cells, int column, int row) const
{
    HeadedBlock block;
    block.corner = corner;
    block.cells = cells;
    if (this->column) {
        for (int c = 0; c < columnCount(cells); ++c)
            block.columnHeads << this->column(column + c);
    }
    if (this->row) {
        for (int r = 0; r < int(cells.size()); ++r)
            block.rowHeads << this->row(row + r);
    }
    return block;
}

QString html(const QList<HeadedBlock>& blocks)
{
    const auto cell = [](const QString& tag, const QString& text) {
        return QStringLiteral("<%1>%2</%1>").arg(tag, text.toHtmlEscaped());
    };
    const QString th = QStringLiteral("th");
    const QString td = QStringLiteral("td");
    QString out = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>\n");
    for (qsizetype b = 0; b < blocks.size(); ++b) {
        const HeadedBlock& block = blocks[b];
        if (b > 0)
            out += QStringLiteral("<tr><td></td></tr>\n");
        if (!block.title.isEmpty())
            out += QStringLiteral("<tr>") + cell(th, block.title) + QStringLiteral("</tr>\n");
        const bool rowHeads = !block.rowHeads.isEmpty();
        if (!block.columnHeads.isEmpty()) {
            out += QStringLiteral("<tr>");
            if (rowHeads)
                out += cell(th, block.corner);
            for (const QString& head : block.columnHeads)
                out += cell(th, head);
            out += QStringLiteral("</tr>\n");
        }
        for (qsizetype r = 0; r < block.cells.size(); ++r) {
            out += QStringLiteral("<tr>");
            if (rowHeads)
                out += cell(th, block.rowHeads.value(r));
            for (const QString& text : block.cells[r])
                out += cell(td, text);
            out += QStringLiteral("</tr>\n");
        }
    }
    out += QStringLiteral("</table></body></html>\n");
    return out;
}

std::unique_ptr<QMimeData> mimeData(const QString& text, const QList<HeadedBlock>& blocks)
{
    auto data = std::make_unique<QMimeData>();
    data->setText(text);
    data->setHtml(html(blocks));
    return data;
}

} // namespace zeltrac::tabtext
