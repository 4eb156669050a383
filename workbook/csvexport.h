#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "calc/plan.h"
#include "calc/texttable.h"
#include "workbook/tabtext.h"

// The input and the results of a planning session as one CSV file for
// spreadsheet programs: labelled sections, one after the other, separated by
// an empty line.
namespace zeltrac::csv {

// A plan with its indicators: the plan texts, (N-1) x (N-1), laid out like
// the plan grid, and the result tables (stations 1..N-1 and the totals).
struct PlanSection
{
    TextTable plan;
    ResultTables tables;
};

struct ExportInput
{
    int stationCount = kStartupStations; // N
    QString operatorName;
    TextTable stationParams;          // "Cm" (row 0) and "Tек" (row 1), N columns
    TextTable flows;                  // (N-1) x (N-1), cell (c, r) = origin c+1, destination N-r
    PlanSection calculated;           // the calculated plan
    std::optional<PlanSection> exact; // the exact optimum, when computed
    QString decimalSeparator = QStringLiteral(".");
};

// The heads of the station parameters: "Станция" in the corner, the stations
// over the columns, "Cm" and "Tек" beside the rows.
tabtext::TableHeads parameterHeads();
// The heads of a flow or plan matrix of N stations: the corner
// "Назначение \ Отправление", the origin stations over the columns, the
// destination stations N .. 2 beside the rows.
tabtext::TableHeads matrixHeads(int stationCount);
// The titles of the calculated plan and of the exact optimum's plan.
QString planTitle();
QString exactPlanTitle();

// ";" when the decimal separator is ",", otherwise ",".
QString fieldSeparator(const QString& decimalSeparator);

// Whether a spreadsheet would take the text for a formula: its first
// character other than a blank (space, tab, line break) is "=", "+", "-" or
// "@", and the whole text is not a number.
bool looksLikeFormula(const QString& text);

// The field as RFC 4180 writes it: in double quotes, inner quotes doubled,
// when it holds the separator, a quote or a line break; otherwise as it is.
// A text that looks like a formula gets a leading "'" first, so that opening
// the file runs nothing.
QString field(const QString& text, const QString& separator);

// The shortest decimal text that reads back as the same 6-byte real, with the
// given decimal separator; 0 has no sign.
QString number(Real40 value, const QString& decimalSeparator);

// The whole file: UTF-8 with a byte-order mark, lines ended by CR LF.
//
//   Zeltrac
//   Оператор | name
//   Число станций | N
//
//   Исходные данные
//   Станция | 1 .. N
//   Cm | texts
//   Tек | texts
//
//   Вагонопотоки
//   Назначение \ Отправление | 1 .. N-1
//   N .. 2 | one row of the flow grid each
//
//   План формирования           (the same layout, the plan texts)
//   Показатели плана формирования
//   Станция | Число назначений | Переработка вагонов | Накопление (ваг.-ч) |
//       Переработка (ваг.-ч) | Итого (ваг.-ч)
//   1 .. N-1 | the indicators
//   Всего | totals 2..6
//
//   and, when the exact optimum is given, its plan and indicators under
//   "Точный оптимум: план формирования" and
//   "Точный оптимум: показатели плана формирования".
//
// The input texts are written as they stand; the indicators as numbers.
QByteArray compose(const ExportInput& input);

} // namespace zeltrac::csv
