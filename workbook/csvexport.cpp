#include "workbook/csvexport.h"

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
    QStringList head{QStringLiteral("Назначение \\ Отправление")};
    for (int origin = 1; origin <= stationCount - 1; ++origin)
        head << QString::number(origin);
    out.line(head);
    for (int r = 0; r < stationCount - 1; ++r) {
        QStringList row{QString::number(stationCount - r)};
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

bool looksLikeFormula(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    if (first == u'=' || first == u'@')
        return true;
    if (first != u'+' && first != u'-')
        return false;
    // A signed number stays a number.
    for (const QChar ch : text) {
        const bool numeric = ch.isDigit() || ch == u'.' || ch == u',' || ch == u'e' || ch == u'E' ||
                             ch == u'+' || ch == u'-' || ch == u' ';
        if (!numeric)
            return true;
    }
    return false;
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
    QStringList stations{QStringLiteral("Станция")};
    QStringList cm{QStringLiteral("Cm")};
    QStringList tek{QStringLiteral("Tек")};
    for (int c = 0; c < n; ++c) {
        stations << QString::number(c + 1);
        cm << text(input.stationParams.cell(c, 0));
        tek << text(input.stationParams.cell(c, 1));
    }
    out.line(stations);
    out.line(cm);
    out.line(tek);
    out.line();
    writeMatrix(out, QStringLiteral("Вагонопотоки"), input.flows, n);
    out.line();

    writeMatrix(out, QStringLiteral("План формирования"), input.calculated.plan, n);
    out.line();
    writeIndicators(out, QStringLiteral("Показатели плана формирования"), input.calculated.tables,
                    n);

    if (input.exact) {
        out.line();
        writeMatrix(out, QStringLiteral("Точный оптимум: план формирования"), input.exact->plan, n);
        out.line();
        writeIndicators(out, QStringLiteral("Точный оптимум: показатели плана формирования"),
                        input.exact->tables, n);
    }
    return QByteArray("\xEF\xBB\xBF") + out.text().toUtf8();
}

} // namespace zeltrac::csv
