#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <limits>

#include "ui/filedialog.h"
#include "ui/tabcontrol.h"
#include "ui/tests/testutil.h"
#include "ui/tests/uihelpers.h"
#include "ui/textgrid.h"
#include "ui/updown.h"

using zeltrac::ui::TabControl;
using zeltrac::ui::TextGrid;
using zeltrac::ui::TextGridModel;
using zeltrac::ui::UpDown;

class WidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void modelPassesTheModelTester()
    {
        TextGridModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns(3);
        model.setRows(2);
        model.setCell(1, 1, QStringLiteral("x"));
        model.setCell(7, 9, QStringLiteral("outside"));
        QVERIFY(model.setData(model.index(0, 2), QStringLiteral("y")));
        model.setColumns(1);
        model.setRows(5);
        model.setColumns(10);
        model.setRows(0);
        model.setColumns(0);
        model.setColumns(4);
        model.setRows(4);
        model.setEditable(false);
        QCOMPARE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::ItemFlags());
        QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("z"), Qt::DisplayRole));
    }

    void cellsOutsideTheCountsAreKept()
    {
        TextGridModel model;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setColumns(3);
        model.setRows(3);
        model.setCell(5, 1, QStringLiteral("12"));
        QCOMPARE(changed.count(), 0); // not shown, nothing to repaint
        QCOMPARE(model.cell(5, 1), QStringLiteral("12"));
        model.setCell(2, 2, QStringLiteral(" 0"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.data(model.index(2, 2)).toString(), QStringLiteral(" 0"));

        model.setColumns(2);
        model.setRows(2);
        QVERIFY(!model.index(2, 2).isValid());
        model.setColumns(6);
        model.setRows(3);
        QCOMPARE(model.data(model.index(1, 5)).toString(), QStringLiteral("12"));
        QCOMPARE(model.data(model.index(2, 2), Qt::EditRole).toString(), QStringLiteral(" 0"));

        // Emptying a cell forgets it; negative addresses are nothing.
        model.setCell(5, 1, QString());
        QCOMPARE(model.cell(5, 1), QString());
        model.setCell(-1, 0, QStringLiteral("no"));
        QCOMPARE(model.cell(-1, 0), QString());
        QCOMPARE(model.cell(0, 1000000), QString());
    }

    void gridShowsAnotherTableWithItsOwnEditableState()
    {
        TextGridModel table;
        table.setColumns(2);
        table.setRows(2);
        table.setCell(1, 0, QStringLiteral("shared"));
        TextGrid grid;
        grid.setEditable(false);
        grid.setTextModel(&table);
        QCOMPARE(grid.model(), &table);
        QCOMPARE(grid.colCount(), 2);
        QCOMPARE(grid.cell(1, 0), QStringLiteral("shared"));
        QVERIFY(!table.isEditable());
        QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
        grid.setColCount(5);
        QCOMPARE(table.columnCount(), 5);
        grid.setCell(0, 1, QStringLiteral("typed"));
        QCOMPARE(table.cell(0, 1), QStringLiteral("typed"));
        grid.setTextModel(nullptr); // ignored
        QCOMPARE(grid.model(), &table);
    }

    void defaultSuffixOnlyForANameWithoutExtension()
    {
        using zeltrac::ui::withDefaultSuffix;
        QCOMPARE(withDefaultSuffix(QStringLiteral("/a/отчет"), QStringLiteral("rtf")),
                 QStringLiteral("/a/отчет.rtf"));
        QCOMPARE(withDefaultSuffix(QStringLiteral("/a/report.txt"), QStringLiteral("rtf")),
                 QStringLiteral("/a/report.txt"));
        // A dot in the folder's name does not count.
        QCOMPARE(withDefaultSuffix(QStringLiteral("/a.v2/итог"), QStringLiteral("rtf")),
                 QStringLiteral("/a.v2/итог.rtf"));
        QCOMPARE(withDefaultSuffix(QStringLiteral("/a/plan"), QString()),
                 QStringLiteral("/a/plan"));
    }

    void gridHasFixedCellsAndNoScrollBars()
    {
        TextGrid grid;
        grid.setCellWidth(33);
        grid.setCellHeight(19);
        grid.setBordered(true);
        grid.setColCount(4);
        grid.setRowCount(4);
        grid.resize(33 * 4 + 2, 19 * 4 + 2);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(grid.columnWidth(i), 33);
            QCOMPARE(grid.rowHeight(i), 19);
            QCOMPARE(grid.columnViewportPosition(i), 33 * i);
            QCOMPARE(grid.rowViewportPosition(i), 19 * i);
        }
        QCOMPARE(grid.frameWidth(), 1);
        QCOMPARE(grid.viewport()->size(), QSize(132, 76));
        QVERIFY(!grid.horizontalScrollBar()->isVisible());
        QVERIFY(!grid.verticalScrollBar()->isVisible());
        QVERIFY(!grid.horizontalHeader()->isVisible());
        QVERIFY(!grid.verticalHeader()->isVisible());
        QCOMPARE(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        grid.setBordered(false);
        QCOMPARE(grid.frameWidth(), 0);
    }

    void tabMovesAlongRowsAndWraps()
    {
        TextGrid grid;
        grid.setColCount(3);
        grid.setRowCount(2);
        grid.resize(200, 100);
        grid.show();
        grid.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&grid));
        grid.setFocus();
        grid.setCurrentIndex(grid.model()->index(0, 0));
        const QList<QPoint> expected{{1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 0}};
        for (const QPoint& cell : expected) {
            QTest::keyClick(&grid, Qt::Key_Tab);
            QCOMPARE(grid.currentIndex().column(), cell.x());
            QCOMPARE(grid.currentIndex().row(), cell.y());
            QCOMPARE(QApplication::focusWidget(), &grid); // Tab never leaves the grid
        }
        QTest::keyClick(&grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(grid.currentIndex(), grid.model()->index(1, 2));
    }

    void typingEditsCellsAndTabCarriesOn()
    {
        TextGrid grid;
        grid.setColCount(2);
        grid.setRowCount(2);
        grid.setCell(0, 0, QStringLiteral("0"));
        grid.resize(200, 100);
        grid.show();
        grid.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&grid));

        zeltrac::testutil::typeIntoCell(&grid, 0, 0, QStringLiteral("Тек 5"));
        QCOMPARE(grid.cell(0, 0), QStringLiteral("Тек 5"));

        // The cell follows its editor at once, before the editor is closed.
        grid.setCurrentIndex(grid.model()->index(0, 1));
        QTest::keyClick(&grid, Qt::Key_7);
        QVERIFY(grid.isEditing());
        zeltrac::testutil::typeText(&grid, QStringLiteral("5"));
        QCOMPARE(grid.cell(1, 0), QStringLiteral("75"));
        // Tab commits and goes on to the next row, editing there.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(grid.currentIndex(), grid.model()->index(1, 0));
        zeltrac::testutil::typeText(&grid, QStringLiteral("3"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!grid.isEditing());
        QCOMPARE(grid.cell(0, 1), QStringLiteral("3"));
        QCOMPARE(grid.cell(1, 0), QStringLiteral("75"));

        // A text set while the editor is open reaches the editor.
        grid.setCurrentIndex(grid.model()->index(1, 1));
        QTest::keyClick(&grid, Qt::Key_F2);
        grid.setCell(1, 1, QStringLiteral("loaded"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!grid.isEditing());
        QCOMPARE(grid.cell(1, 1), QStringLiteral("loaded"));

        // A display-only grid ignores typing.
        grid.setEditable(false);
        grid.setCurrentIndex(grid.model()->index(0, 0));
        QTest::keyClick(&grid, Qt::Key_9);
        QVERIFY(!grid.isEditing());
        QCOMPARE(grid.cell(0, 0), QStringLiteral("Тек 5"));
    }

    void upDownStepsWithinItsRange()
    {
        QWidget window;
        auto* edit = new QLineEdit(&window);
        auto* upDown = new UpDown(&window);
        upDown->setMinimum(3);
        upDown->setMaximum(21);
        upDown->setPosition(8);
        upDown->setAssociate(edit);
        upDown->setPosition(8);
        QCOMPARE(edit->text(), QStringLiteral("8"));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
        QCOMPARE(upDown->position(), 9);
        QCOMPARE(edit->text(), QStringLiteral("9"));
        QTest::mouseClick(upDown->downButton(), Qt::LeftButton);
        QTest::mouseClick(upDown->downButton(), Qt::LeftButton);
        QCOMPARE(edit->text(), QStringLiteral("7"));

        edit->setFocus();
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(upDown->position(), 21); // no wrap-around
        QCOMPARE(edit->text(), QStringLiteral("21"));
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(edit, Qt::Key_Down);
        QCOMPARE(upDown->position(), 3);
        QCOMPARE(edit->text(), QStringLiteral("3"));
        QVERIFY(edit->hasFocus()); // the spinner takes no focus

        upDown->setPosition(40);
        QCOMPARE(upDown->position(), 21);
        upDown->stepBy(std::numeric_limits<int>::max());
        QCOMPARE(upDown->position(), 21);
        upDown->stepBy(std::numeric_limits<int>::min());
        QCOMPARE(upDown->position(), 3);
    }

    void upDownTakesTypedWholeNumbersInRange()
    {
        QLineEdit edit;
        UpDown upDown;
        upDown.setMinimum(3);
        upDown.setMaximum(21);
        upDown.setPosition(8);
        upDown.setAssociate(&edit);
        QSignalSpy textChanged(&edit, &QLineEdit::textChanged);

        const struct
        {
            const char* text;
            int position;
        } cases[] = {
            // Each text that must be refused comes while the position is not
            // the value the text would give, so that taking it shows.
            {"12", 12}, {"25", 12},  {"x", 12},   {"", 12},   {"2", 12},  {"22", 12},
            {"21", 21}, {" 5", 5},   {"6 ", 5},   {"3", 3},   {"+07", 7}, {"1e1", 7},
            {"$B", 11}, {"$c", 12},  {"\t4", 12}, {"4x", 12}, {"-4", 12}, {"$-4", 12},
            {"  9", 9}, {"0004", 4}, {"5.0", 4},  {"$", 4},   {"+", 4},   {"10 ", 4},
        };
        for (const auto& c : cases) {
            edit.setText(QString::fromUtf8(c.text));
            QVERIFY2(upDown.position() == c.position, c.text);
            QCOMPARE(edit.text(), QString::fromUtf8(c.text)); // the typed text stays
        }
        // Writing the position that the edit already shows changes nothing.
        textChanged.clear();
        edit.setText(QStringLiteral("9"));
        upDown.setPosition(9);
        QCOMPARE(textChanged.count(), 1);
    }

    void tabControlReportsSelection()
    {
        TabControl tabs;
        tabs.setTabs({QStringLiteral("Исходные данные"), QStringLiteral("Результат")});
        QCOMPARE(tabs.tabs(),
                 (QStringList{QStringLiteral("Исходные данные"), QStringLiteral("Результат")}));
        QCOMPARE(tabs.tabIndex(), 0);
        QSignalSpy changed(&tabs, &TabControl::changed);
        tabs.resize(400, 200);
        tabs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tabs));
        QTest::mouseClick(tabs.tabBar(), Qt::LeftButton, {}, tabs.tabBar()->tabRect(1).center());
        QCOMPARE(tabs.tabIndex(), 1);
        QCOMPARE(changed.count(), 1);
        QTest::mouseClick(tabs.tabBar(), Qt::LeftButton, {}, tabs.tabBar()->tabRect(1).center());
        QCOMPARE(changed.count(), 1); // the selected tab again is no change
        tabs.setTabIndex(0);
        QCOMPARE(changed.count(), 2);
    }
};

ZELTRAC_REGISTER_TEST(WidgetsTest);

#include "widgets_test.moc"
