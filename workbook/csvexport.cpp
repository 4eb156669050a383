#include "workbook/csvexport.h"

#include <QRegularExpression>
#include <QStringList>

#include "calc/numtext.h"

namespace zeltrac::csv {

namespace {

// Collects the lines of the file, each a list of fields.
class Writer
{
public:
    explicit Writer(const QString& decimalSeparator)
        : m_decimalSeparator(decimalSeparator), m_separator(fieldSeparator(decimalSeparator))
    {
    }

    void line(const QStringList& fields = {})
    {
        QStringList quoted;
        quoted.reserve(fields.size());
        for (const QString& text : fields)
            quoted << field(text, m_separator);
        m_text += quoted.join(m_separator);
        m_text += QStringLiteral("\r\n");
    }

    QString number(Real40 value) const { return csv::number(value, m_decimalSeparator); }

    const QString& text() const { return m_text; }

private:
    QString m_decimalSeparator;
    QString m_separator;
    QString m_text;
};

QString text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// A matrix laid out like the flow grid: a head row of origin stations, then
// one row per grid row, headed by its destination station.
void writeMatrix(Writer& out, const QString& title, const TextTable& table, int stationCount)
{
    out.line({title});
    const tabtext::TableHeads heads = matrixHeads(stationCount);
    QStringList head{heads.corner};
    for (int c = 0; c < stationCount - 1; ++c)
        head << heads.column(c);
    out.line(head);
    for (int r = 0; r < stationCount - 1; ++r) {
        QStringList row{heads.row(r)};
        for (int c = 0; c < stationCount - 1; ++c)
            row << text(table.cell(c, r));
        out.line(row);
    }
}

void writeIndicators(Writer& out, const QString& title, const ResultTables& tables,
                     int stationCount)
{
    out.line({title});
    out.line({QStringLiteral("Станция"), QStringLiteral("Число назначений"),
              QStringLiteral("Переработка вагонов"), QStringLiteral("Накопление (ваг.-ч)"),
              QStringLiteral("Переработка (ваг.-ч)"), QStringLiteral("Итого (ваг.-ч)")});
    for (int station = 1; station <= stationCount - 1; ++station) {
        QStringList row;
        for (int column = 1; column <= 6; ++column)
            row << out.number(tables.indicator(column, station));
        out.line(row);
    }
    QStringList totals{QStringLiteral("Всего")};
    for (int element = 2; element <= 6; ++element)
        totals << out.number(tables.total(element));
    out.line(totals);
}

} // namespace

tabtext::TableHeads parameterHeads()
{
    return {QStringLiteral("Станция"), [](int column) { return QString::number(column + 1); },
            [](int row) { return row == 0 ? QStringLiteral("Cm") : QStringLiteral("Tек"); }};
}

tabtext::TableHeads matrixHeads(int stationCount)
{
    return {QStringLiteral("Назначение \\ Отправление"),
            [](int column) { return QString::number(column + 1); },
            [stationCount](int row) { return QString::number(stationCount - row); }};
}

QString planTitle()
{
    return QStringLiteral("План формирования");
}

QString exactPlanTitle()
{
    return QStringLiteral("Точный оптимум: план формирования");
}

bool looksLikeFormula(const QString& text)
{
    // Blanks before the first character do not stop a spreadsheet.
    const QString start = text.trimmed();
    if (start.isEmpty())
        return false;
    const QChar first = start.front();
    if (first != u'=' && first != u'+' && first != u'-' && first != u'@')
        return false;
    // A whole number stays a number.
    static const QRegularExpression number(
        QStringLiteral(R"(^[+-]?(\d+([.,]\d*)?|[.,]\d+)([eE][+-]?\d+)?$)"));
    return !number.match(start).hasMatch();
}

QString fieldSeparator(const QString& decimalSeparator)
{
    return decimalSeparator == u"," ? QStringLiteral(";") : QStringLiteral(",");
}

QString field(const QString& input, const QString& separator)
{
    // A text that a spreadsheet would take for a formula is kept a text.
    QString text = input;
    if (looksLikeFormula(text))
        text.prepend(u'\'');
    const bool quote = text.contains(separator) || text.contains(u'"') || text.contains(u'\n') ||
                       text.contains(u'\r');
    if (!quote)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString number(Real40 value, const QString& decimalSeparator)
{
    QString result = QString::fromStdString(numtext::realToText(value));
    result.replace(u'.', decimalSeparator);
    return result;
}

QByteArray compose(const ExportInput& input)
{
    const int n = input.stationCount;
    Writer out(input.decimalSeparator);
    out.line({QStringLiteral("Zeltrac")});
    out.line({QStringLiteral("Оператор"), input.operatorName});
    out.line({QStringLiteral("Число станций"), QString::number(n)});
    out.line();

    out.line({QStringLiteral("Исходные данные")});
    const tabtext::TableHeads heads = parameterHeads();
    QStringList stations{heads.corner};
    QStringList cm{heads.row(0)};
    QStringList tek{heads.row(1)};
    for (int c = 0; c < n; ++c) {
        stations << heads.column(c);
        cm << text(input.stationParams.cell(c, 0));
        tek << text(input.stationParams.cell(c, 1));
    }
    out.line(stations);
    out.line(cm);
    out.line(tek);
    out.line();
    writeMatrix(out, QStringLiteral("Вагонопотоки"), input.flows, n);
    out.line();

    writeMatrix(out, planTitle(), input.calculated.plan, n);
    out.line();
    writeIndicators(out, QStringLiteral("Показатели плана формирования"), input.calculated.tables,
                    n);

    if (input.exact) {
        out.line();
        writeMatrix(out, exactPlanTitle(), input.exact->plan, n);
        out.line();
        writeIndicators(out, QStringLiteral("Точный оптимум: показатели плана формирования"),
                        input.exact->tables, n);
    }
    return QByteArray("\xEF\xBB\xBF") + out.text().toUtf8();
}

} // namespace zeltrac::csv
