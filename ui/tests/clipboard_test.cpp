// Spreadsheet copy and paste in the input grids, the plan to the clipboard and
// the CSV export of the main window, on the offscreen clipboard.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMimeData>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/tabcontrol.h"
#include "ui/tests/uitestsupport.h"
#include "ui/textgrid.h"
#include "workbook/csvexport.h"
#include "workbook/workbook.h"

using zeltrac::testutil::BoxAnswerer;
using zeltrac::ui::TabControl;
using zeltrac::ui::TextGrid;

namespace {

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// Every text of the flow table up to the widest line, beyond its size too.
QStringList allFlowTexts(const zeltrac::Workbook& book)
{
    QStringList texts;
    for (int r = 0; r < zeltrac::kMaxStations; ++r)
        for (int c = 0; c < zeltrac::kMaxStations; ++c)
            texts << book.flow(c, r);
    return texts;
}

void selectCells(TextGrid* grid, int column, int row, int columns, int rows)
{
    const QModelIndex topLeft = grid->model()->index(row, column);
    const QModelIndex bottomRight = grid->model()->index(row + rows - 1, column + columns - 1);
    grid->selectionModel()->setCurrentIndex(topLeft, QItemSelectionModel::NoUpdate);
    grid->selectionModel()->select(QItemSelection(topLeft, bottomRight),
                                   QItemSelectionModel::ClearAndSelect);
}

void press(TextGrid* grid, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
{
    QTest::keyClick(grid, key, modifiers);
}

} // namespace

class ClipboardTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Form2> m_result;
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_dir;

    TextGrid* grid(const char* name) const
    {
        return zeltrac::testutil::namedChild<TextGrid>(m_form.get(), name);
    }
    QAction* action(const char* name) const
    {
        return zeltrac::testutil::namedChild<QAction>(m_form.get(), name);
    }
    zeltrac::Workbook& book() const { return m_form->workbook(); }

    void clickTab(int index)
    {
        QTabBar* bar = m_form->findChild<TabControl*>(QStringLiteral("TabControl1"))->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    // Three stations: Cm 20 and 4, Tек of station 2 is 1; flows 1->3: 10,
    // 1->2: 5, 2->3: 7. The plan sends 17 cars from 2 to 3 and 15 from 1 to 2.
    void enterThreeStationExample()
    {
        book().setStationCount(3);
        book().setParam(0, 0, u8("20"));
        book().setParam(1, 0, u8("4"));
        book().setParam(1, 1, u8("1"));
        book().setFlow(0, 0, u8("10"));
        book().setFlow(0, 1, u8("5"));
        book().setFlow(1, 0, u8("7"));
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_result = std::make_unique<Form2>();
        m_form = std::make_unique<Form1>();
        m_form->setResultWindow(m_result.get());
        m_form->csvFileDialog = [](const QString&, const QString&) -> QString {
            qFatal("unexpected CSV dialog");
        };
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QApplication::clipboard()->clear();
    }

    void cleanup()
    {
        m_form.reset();
        m_result.reset();
    }

    void copiedBlockPastedBackChangesNothing()
    {
        TextGrid* flows = grid("StringGrid3");
        book().setFlow(1, 1, u8("Сто двадцать"));
        book().setFlow(2, 1, u8("1,5"));
        book().setFlow(3, 2, QString());
        selectCells(flows, 1, 1, 3, 2);
        press(flows, Qt::Key_C);
        QCOMPARE(QApplication::clipboard()->text(), u8("Сто двадцать\t1,5\t0\n0\t0\t\n"));
        // Beside it, for spreadsheets, a table headed by origins 2..4 and destinations 7, 6.
        const QString html = QApplication::clipboard()->mimeData()->html();
        QVERIFY2(html.contains(u8("<th>2</th><th>3</th><th>4</th></tr>\n<tr><th>7</th>")),
                 qPrintable(html));

        const QStringList before = allFlowTexts(book());
        BoxAnswerer answerer;
        press(flows, Qt::Key_V);
        QCOMPARE(allFlowTexts(book()), before);
        QVERIFY(answerer.boxes().empty());
        // The pasted block is selected.
        QCOMPARE(flows->selectionModel()->selectedIndexes().size(), 6);
        QCOMPARE(flows->currentIndex(), flows->model()->index(1, 1));
    }

    void deleteAndUndoRestoreExactly()
    {
        TextGrid* flows = grid("StringGrid3");
        book().setFlow(0, 0, u8(" 0"));
        book().setFlow(6, 6, u8("вне треугольника"));
        book().setFlow(9, 9, u8("за краем"));
        const QStringList original = allFlowTexts(book());

        selectCells(flows, 5, 4, 1, 1);
        QApplication::clipboard()->setText(u8("1\t2\t3\n4\t5\t6\n"));
        BoxAnswerer answerer;
        press(flows, Qt::Key_V);
        QCOMPARE(answerer.texts(), QStringList{u8("Не вставлено: строк — 0, столбцов — 1.")});
        QCOMPARE(answerer.boxes().front().title, QStringLiteral("Information"));
        QCOMPARE(answerer.boxes().front().icon, QMessageBox::Information);
        QCOMPARE(flows->cell(5, 4), u8("1"));
        QCOMPARE(flows->cell(6, 5), u8("5"));
        const QStringList afterPaste = allFlowTexts(book());
        selectCells(flows, 0, 0, 7, 7);
        press(flows, Qt::Key_Delete, Qt::NoModifier);
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 7; ++c)
                QCOMPARE(flows->cell(c, r), QString());
        QCOMPARE(book().flow(9, 9), u8("за краем"));

        press(flows, Qt::Key_Z);
        QCOMPARE(allFlowTexts(book()), afterPaste);
        press(flows, Qt::Key_Z);
        QCOMPARE(allFlowTexts(book()), original);
        // Nothing more to undo.
        press(flows, Qt::Key_Z);
        QCOMPARE(allFlowTexts(book()), original);
    }

    void aValueTooLongForTheDataFileIsRefusedInTheErrorBox()
    {
        TextGrid* flows = grid("StringGrid3");
        const QStringList before = allFlowTexts(book());
        selectCells(flows, 0, 0, 3, 3);
        QApplication::clipboard()->setText(QString(70000, u'5'));
        BoxAnswerer answerer;
        press(flows, Qt::Key_V);
        QCOMPARE(answerer.texts(), QStringList{u8("Значение длиннее 65536 байт не принято: строка "
                                                  "файла исходных данных не может быть длиннее.")});
        QCOMPARE(answerer.boxes().front().icon, QMessageBox::Critical);
        QCOMPARE(allFlowTexts(book()), before);
    }

    void typingStillWorksAndIsUndoneToo()
    {
        TextGrid* flows = grid("StringGrid3");
        zeltrac::testutil::typeIntoCell(flows, 1, 1, u8("12,5"));
        QTRY_COMPARE(book().flow(1, 1), u8("12,5"));
        // Keys in an open editor stay the editor's: Delete removes a character,
        // Ctrl+C copies from the line, not the grid's cells.
        flows->setCurrentIndex(flows->model()->index(1, 1));
        QTest::keyClick(flows, Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor != flows);
        QTest::keyClick(editor, Qt::Key_Home);
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!flows->isEditing());
        QCOMPARE(book().flow(1, 1), u8("2,5"));
        QCOMPARE(QApplication::clipboard()->text(), u8("2,5"));
        // Tab still moves from cell to cell.
        QTest::keyClick(flows, Qt::Key_Tab);
        QCOMPARE(flows->currentIndex(), flows->model()->index(1, 2));

        // Each typing is one step.
        press(flows, Qt::Key_Z);
        QCOMPARE(book().flow(1, 1), u8("12,5"));
        press(flows, Qt::Key_Z);
        QCOMPARE(book().flow(1, 1), u8("0"));
    }

    void copyPlanPutsTheTriangleOnTheClipboard()
    {
        enterThreeStationExample();
        QVERIFY(!action("mmCopyPlan")->isEnabled());
        clickTab(1);
        QVERIFY(action("mmCopyPlan")->isEnabled());
        QCOMPARE(grid("StringGrid4")->cell(1, 0), u8("17"));
        action("mmCopyPlan")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), u8("\t17\n15\n"));
        QCOMPARE(QApplication::clipboard()->mimeData()->html(), book().planClipboardData()->html());
        // The plan grid stays disabled.
        QVERIFY(!grid("StringGrid4")->isEnabled());

        // Pasted into the flow grid of the same line, the triangle is the plan.
        clickTab(0);
        TextGrid* flows = grid("StringGrid3");
        book().setFlow(1, 1, u8("вне"));
        selectCells(flows, 0, 0, 1, 1);
        press(flows, Qt::Key_V);
        QCOMPARE(book().flow(0, 0), QString());
        QCOMPARE(book().flow(1, 0), u8("17"));
        QCOMPARE(book().flow(0, 1), u8("15"));
        QCOMPARE(book().flow(1, 1), u8("вне"));
    }

    void exportCsvWritesTheSessionThroughItsDialog()
    {
        enterThreeStationExample();
        clickTab(1);
        QVERIFY(action("mmExportCsv")->isEnabled());
        const QString path = m_dir.filePath(QStringLiteral("plan.csv"));
        m_form->csvFileDialog = [&](const QString&, const QString&) { return path; };
        BoxAnswerer answerer;
        action("mmExportCsv")->trigger();
        QVERIFY(answerer.boxes().empty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes, zeltrac::csv::compose(book().csvExport()));
        // The regional decimal separator decides the field separator.
        const bool comma = QLocale::system().decimalPoint() == u",";
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QString text = QString::fromUtf8(bytes);
        QVERIFY2(text.contains(comma ? u8("\r\n1;1;0;20;0;20\r\n") : u8("\r\n1,1,0,20,0,20\r\n")),
                 qPrintable(text));
        QVERIFY(
            text.contains(comma ? u8("Всего;2;10;24;10;34\r\n") : u8("Всего,2,10,24,10,34\r\n")));

        // A file that cannot be created goes to the error box.
        const QString missing = m_dir.filePath(QStringLiteral("нет/plan.csv"));
        m_form->csvFileDialog = [&](const QString&, const QString&) { return missing; };
        action("mmExportCsv")->trigger();
        QCOMPARE(answerer.texts(), QStringList{u8("Cannot create file ") + missing + u8(".")});
        QCOMPARE(answerer.boxes().front().icon, QMessageBox::Critical);
    }
};

ZELTRAC_REGISTER_TEST(ClipboardTest);

#include "clipboard_test.moc"
