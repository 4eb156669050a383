// Spreadsheet blocks: the tab-separated text, and pasting, clearing and
// undoing on the session's tables.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>

#include <ostream>

#include "workbook/celltable.h"
#include "workbook/tabtext.h"
#include "workbook/workbook.h"

using zeltrac::CellRange;
using zeltrac::CellTableModel;
using zeltrac::Workbook;
using zeltrac::tabtext::Block;

// Readable failure messages for Qt texts.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// Every text of a table up to `size` x `size`, beyond its current size too.
QStringList everyText(const CellTableModel& table, int size = 21)
{
    QStringList texts;
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c)
            texts << table.cell(c, r);
    return texts;
}

// A table of `columns` x `rows` with "c,r" in every cell, beyond it too.
void fill(CellTableModel& table, int columns, int rows)
{
    for (int r = 0; r < 21; ++r)
        for (int c = 0; c < 21; ++c)
            table.setCell(c, r, QStringLiteral("%1,%2").arg(c).arg(r));
    table.setColumns(columns);
    table.setRows(rows);
}

} // namespace

TEST(TabText, FormatsRowsOfTabSeparatedCellsEachEndedByALineFeed)
{
    EXPECT_EQ(zeltrac::tabtext::format({{u8("1"), u8("2,5")}, {u8("Станция"), QString()}}),
              u8("1\t2,5\nСтанция\t\n"));
    EXPECT_EQ(zeltrac::tabtext::format({{QString()}}), u8("\n"));
    EXPECT_EQ(zeltrac::tabtext::format({}), QString());
    // A tab or a line break inside a cell would change the block's shape.
    EXPECT_EQ(zeltrac::tabtext::format({{u8("a\tb"), u8("c\r\nd")}}), u8("a b\tc  d\n"));
}

TEST(TabText, ParsesWindowsAndUnixLineEndsWithOrWithoutATrailingOne)
{
    const Block expected{{u8("10"), u8("1,5"), u8("Ст.")}, {u8("7"), QString(), u8("-3")}};
    for (const char* text :
         {"10\t1,5\tСт.\n7\t\t-3", "10\t1,5\tСт.\n7\t\t-3\n", "10\t1,5\tСт.\r\n7\t\t-3\r\n",
          "10\t1,5\tСт.\r\n7\t\t-3", "10\t1,5\tСт.\r7\t\t-3\r"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(zeltrac::tabtext::parse(u8(text)), expected);
    }
    EXPECT_TRUE(zeltrac::tabtext::parse(QString()).isEmpty());
    EXPECT_EQ(zeltrac::tabtext::parse(u8("\n")), Block{{QString()}});
    EXPECT_EQ(zeltrac::tabtext::parse(u8("5")), Block{{u8("5")}});
    // Only one line end ends the block: an empty last row stays a row.
    EXPECT_EQ(zeltrac::tabtext::parse(u8("a\n\n")), (Block{{u8("a")}, {QString()}}));
    // Rows of different lengths stay as they are.
    const Block ragged = zeltrac::tabtext::parse(u8("1\t2\t3\n4\n"));
    EXPECT_EQ(ragged, (Block{{u8("1"), u8("2"), u8("3")}, {u8("4")}}));
    EXPECT_EQ(zeltrac::tabtext::columnCount(ragged), 3);
}

TEST(CellCopy, OffersTheTabTextAndAnHtmlTableWithTheStationHeads)
{
    Workbook book;
    book.setFlow(1, 1, u8("<Сто & два>"));
    const auto flows = book.flowModel()->copyData({1, 1, 2, 2});
    EXPECT_EQ(flows->text(), u8("<Сто & два>\t0\n0\t0\n"));
    // Origins 2 and 3 over the columns, destinations 7 and 6 beside the rows.
    const QString table = u8("<tr><th>Назначение \\ Отправление</th><th>2</th><th>3</th></tr>\n"
                             "<tr><th>7</th><td>&lt;Сто &amp; два&gt;</td><td>0</td></tr>\n"
                             "<tr><th>6</th><td>0</td><td>0</td></tr>\n");
    EXPECT_EQ(flows->html(), u8("<html><head><meta charset=\"utf-8\"></head><body><table>\n") +
                                 table + u8("</table></body></html>\n"));
    const auto params = book.parameterModel()->copyData({6, 0, 5, 2});
    EXPECT_TRUE(params->html().contains(
        u8("<tr><th>Станция</th><th>7</th><th>8</th></tr>\n<tr><th>Cm</th><td></td><td></td>")));
}

TEST(CellEdit, ATextLongerThanADataFileLineIsRefusedAndNothingChanges)
{
    CellTableModel table;
    fill(table, 3, 3);
    QSignalSpy refused(&table, &CellTableModel::editRefused);
    const QString longest(zeltrac::kMaxCellLength, u'7');
    const QString tooLong = longest + u'7';
    const QStringList before = everyText(table);
    EXPECT_FALSE(table.setData(table.index(1, 1), tooLong));
    EXPECT_TRUE(table.paste({{u8("1"), tooLong}}, 0, 0).written.isEmpty());
    EXPECT_TRUE(table.paste({{tooLong}}, 0, 0, {0, 0, 3, 3}).written.isEmpty());
    EXPECT_EQ(everyText(table), before);
    EXPECT_FALSE(table.canUndo());
    ASSERT_EQ(refused.count(), 3);
    EXPECT_EQ(refused.front().front().toString(),
              u8("Значение длиннее 65536 байт не принято: строка файла исходных данных не "
                 "может быть длиннее"));

    // The longest text accepted is saved and loaded back.
    Workbook book;
    ASSERT_TRUE(book.flowModel()->setData(book.flowModel()->index(0, 0), longest));
    QTemporaryDir dir;
    const QString path = dir.filePath(u8("long.dat"));
    book.save(path);
    Workbook loaded;
    loaded.load(path);
    EXPECT_EQ(loaded.flow(0, 0), longest);
}

TEST(CellPaste, ABlockCopiedAndPastedBackChangesNothing)
{
    CellTableModel table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(table, 7, 7);
    table.setCell(2, 3, u8("Пятьсот 1,5"));
    const QStringList before = everyText(table);
    const CellRange range{1, 2, 4, 3};
    const QString copied = zeltrac::tabtext::format(table.block(range));
    const auto result = table.paste(zeltrac::tabtext::parse(copied), 1, 2);
    EXPECT_EQ(result.written, range);
    EXPECT_EQ(result.rowsLeftOut, 0);
    EXPECT_EQ(result.columnsLeftOut, 0);
    EXPECT_EQ(everyText(table), before);
    // Nothing changed, so there is nothing to undo.
    EXPECT_FALSE(table.canUndo());
}

TEST(CellPaste, ABlockBeyondTheSizeWritesWhatFitsAndCountsTheRest)
{
    CellTableModel table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(table, 4, 3);
    // 3 x 3 at (2, 1) of a 4 x 3 table: 1 column and 1 row left out.
    const auto result =
        table.paste(zeltrac::tabtext::parse(u8("a\tb\tc\nd\te\tf\ng\th\ti\n")), 2, 1);
    EXPECT_EQ(result.written, (CellRange{2, 1, 2, 2}));
    EXPECT_EQ(result.rowsLeftOut, 1);
    EXPECT_EQ(result.columnsLeftOut, 1);
    EXPECT_EQ(table.cell(2, 1), u8("a"));
    EXPECT_EQ(table.cell(3, 1), u8("b"));
    EXPECT_EQ(table.cell(2, 2), u8("d"));
    EXPECT_EQ(table.cell(3, 2), u8("e"));
    // The cells beyond the size keep their texts and show them again.
    EXPECT_EQ(table.cell(4, 1), u8("4,1"));
    EXPECT_EQ(table.cell(2, 3), u8("2,3"));
    EXPECT_EQ(table.cell(4, 3), u8("4,3"));
    table.setColumns(5);
    table.setRows(4);
    EXPECT_EQ(table.index(1, 4).data().toString(), u8("4,1"));

    // Larger than the whole table, at its first cell.
    CellTableModel small;
    small.setColumns(2);
    small.setRows(2);
    const auto big =
        small.paste({{u8("1"), u8("2"), u8("3"), u8("4"), u8("5")}, {u8("6")}, {u8("7")}}, 0, 0);
    EXPECT_EQ(big.written, (CellRange{0, 0, 2, 2}));
    EXPECT_EQ(big.rowsLeftOut, 1);
    EXPECT_EQ(big.columnsLeftOut, 3);
    EXPECT_EQ(everyText(small, 3), (QStringList{u8("1"), u8("2"), QString(), u8("6"), QString(),
                                                QString(), QString(), QString(), QString()}));

    // At the last cell: everything but the first value is left out.
    const auto corner = small.paste({{u8("x"), u8("y")}, {u8("z")}}, 1, 1);
    EXPECT_EQ(corner.written, (CellRange{1, 1, 1, 1}));
    EXPECT_EQ(corner.rowsLeftOut, 1);
    EXPECT_EQ(corner.columnsLeftOut, 1);
    EXPECT_EQ(small.cell(1, 1), u8("x"));
    EXPECT_EQ(small.cell(2, 1), QString());
    EXPECT_EQ(small.cell(1, 2), QString());
}

TEST(CellPaste, ASingleValueFillsTheSelection)
{
    CellTableModel table;
    fill(table, 5, 5);
    const auto result = table.paste({{u8("0,5")}}, 1, 1, {1, 1, 2, 3});
    EXPECT_EQ(result.written, (CellRange{1, 1, 2, 3}));
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(table.cell(c, r), (c >= 1 && c <= 2 && r >= 1 && r <= 3)
                                            ? u8("0,5")
                                            : QStringLiteral("%1,%2").arg(c).arg(r));
    // A selection reaching beyond the size fills only what lies inside.
    table.paste({{u8("x")}}, 3, 3, {3, 3, 4, 4});
    EXPECT_EQ(table.cell(4, 4), u8("x"));
    EXPECT_EQ(table.cell(5, 5), u8("5,5"));
    // A block of more than one value is pasted at the corner, not repeated.
    table.paste({{u8("p"), u8("q")}}, 0, 0, {0, 0, 5, 5});
    EXPECT_EQ(table.cell(0, 0), u8("p"));
    EXPECT_EQ(table.cell(1, 0), u8("q"));
    EXPECT_EQ(table.cell(2, 0), u8("2,0"));
    EXPECT_EQ(table.cell(0, 1), u8("0,1"));
}

TEST(CellUndo, RestoresExactlyWhatPasteAndClearReplacedLatestFirst)
{
    CellTableModel table;
    QAbstractItemModelTester tester(&table, QAbstractItemModelTester::FailureReportingMode::Fatal);
    fill(table, 6, 6);
    table.setCell(1, 1, u8(" 0"));
    table.setCell(2, 1, QString());
    const QStringList original = everyText(table);

    table.paste(zeltrac::tabtext::parse(u8("Ф\t\n1,5\t2\n")), 1, 1);
    const QStringList afterPaste = everyText(table);
    EXPECT_NE(afterPaste, original);
    EXPECT_EQ(table.clear({0, 0, 3, 9}), (CellRange{0, 0, 3, 6}));
    EXPECT_EQ(table.cell(1, 2), QString());
    EXPECT_EQ(table.cell(0, 7), u8("0,7")); // beyond the size: untouched

    EXPECT_EQ(table.undo(), (CellRange{0, 0, 3, 6}));
    EXPECT_EQ(everyText(table), afterPaste);
    EXPECT_EQ(table.undo(), (CellRange{1, 1, 2, 2}));
    EXPECT_EQ(everyText(table), original);
    EXPECT_FALSE(table.canUndo());
    EXPECT_TRUE(table.undo().isEmpty());
    EXPECT_EQ(everyText(table), original);
}

TEST(CellUndo, TypingIntoOneCellIsOneStepUntilItEnds)
{
    CellTableModel table;
    table.setColumns(3);
    table.setRows(3);
    table.setCell(0, 0, u8("5"));
    for (const char* text : {"1", "12", "12,"})
        ASSERT_TRUE(table.setData(table.index(0, 0), u8(text)));
    table.endTyping();
    ASSERT_TRUE(table.setData(table.index(0, 0), u8("7")));
    table.endTyping();
    ASSERT_TRUE(table.setData(table.index(1, 0), u8("8")));
    EXPECT_EQ(table.undo(), (CellRange{0, 1, 1, 1}));
    EXPECT_EQ(table.cell(0, 1), QString());
    EXPECT_EQ(table.undo(), (CellRange{0, 0, 1, 1}));
    EXPECT_EQ(table.cell(0, 0), u8("12,"));
    EXPECT_EQ(table.undo(), (CellRange{0, 0, 1, 1}));
    EXPECT_EQ(table.cell(0, 0), u8("5"));
    EXPECT_FALSE(table.canUndo());
}

TEST(CellUndo, AChangeMadeOtherwiseEndsTheHistory)
{
    Workbook book;
    CellTableModel& flows = *book.flowModel();
    flows.paste({{u8("5")}}, 0, 0);
    flows.clear({0, 0, 2, 2});
    ASSERT_TRUE(flows.canUndo());
    // The station-count rule puts "0" back into the emptied triangle cells.
    book.setStationCount(5);
    EXPECT_FALSE(flows.canUndo());
    EXPECT_TRUE(flows.undo().isEmpty());
    EXPECT_EQ(book.flow(0, 0), u8("0"));

    // A rule that changes nothing keeps the history.
    flows.paste({{u8("9")}}, 3, 3);
    book.setStationCount(5);
    ASSERT_TRUE(flows.canUndo());
    flows.undo();
    EXPECT_EQ(book.flow(3, 3), QString());
}

TEST(CellUndo, ATableThatIsNotEditableTakesNoEdits)
{
    CellTableModel table;
    fill(table, 3, 3);
    table.paste({{u8("x")}}, 0, 0);
    table.setEditable(false);
    const QStringList before = everyText(table);
    EXPECT_TRUE(table.paste({{u8("y")}}, 0, 0).written.isEmpty());
    EXPECT_TRUE(table.clear({0, 0, 3, 3}).isEmpty());
    EXPECT_TRUE(table.undo().isEmpty());
    EXPECT_EQ(everyText(table), before);
}
