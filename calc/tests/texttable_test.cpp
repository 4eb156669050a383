#include <gtest/gtest.h>

#include "calc/texttable.h"

using zeltrac::TextTable;

TEST(TextTable, CellsWithinTheSize)
{
    TextTable table(3, 2);
    EXPECT_EQ(table.columnCount(), 3);
    EXPECT_EQ(table.rowCount(), 2);
    table.setCell(2, 1, "x");
    table.setCell(0, 1, "поток");
    EXPECT_EQ(table.cell(2, 1), "x");
    EXPECT_EQ(table.cell(0, 1), "поток");
    EXPECT_EQ(table.cell(1, 0), "");
}

TEST(TextTable, OutOfRangeReadsEmptyAndIgnoresWrites)
{
    TextTable table(2, 2);
    table.setCell(2, 0, "a");
    table.setCell(0, 2, "a");
    table.setCell(-1, 0, "a");
    EXPECT_EQ(table, TextTable(2, 2));
    EXPECT_EQ(table.cell(5, 5), "");
    EXPECT_EQ(table.cell(-1, 0), "");
    EXPECT_EQ(TextTable(-3, 4).columnCount(), 0);
    EXPECT_EQ(TextTable().cell(0, 0), "");
}

TEST(TextTable, Equality)
{
    TextTable a(2, 1);
    TextTable b(2, 1);
    a.setCell(1, 0, "7");
    EXPECT_NE(a, b);
    b.setCell(1, 0, "7");
    EXPECT_EQ(a, b);
    EXPECT_NE(TextTable(2, 1), TextTable(1, 2));
}
