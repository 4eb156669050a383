#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include <stdexcept>
#include <sys/stat.h>

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/errorbox.h"
#include "ui/tabcontrol.h"
#include "ui/tests/uitestsupport.h"
#include "ui/textgrid.h"
#include "ui/updown.h"

using zeltrac::testutil::answerDialog;
using zeltrac::testutil::BoxAnswerer;
using zeltrac::testutil::BoxRecord;
using zeltrac::testutil::expectErrorBox;
using zeltrac::testutil::readFile;
using zeltrac::testutil::rowTexts;
using zeltrac::ui::TabControl;
using zeltrac::ui::TextGrid;
using zeltrac::ui::UpDown;

namespace {

QStringList strings(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* s : list)
        result << QString::fromUtf8(s);
    return result;
}

void expectInformation(const BoxRecord& box, const char* text)
{
    zeltrac::testutil::expectInformationBox(box, QString::fromUtf8(text));
}

} // namespace

class Form1Test : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Form2> m_result;
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_dir;

    template <typename T> T* child(const char* name) const
    {
        return zeltrac::testutil::namedChild<T>(m_form.get(), name);
    }
    TextGrid* grid(const char* name) const { return child<TextGrid>(name); }
    QAction* action(const char* name) const { return child<QAction>(name); }
    QLineEdit* edit1() const { return child<QLineEdit>("Edit1"); }
    UpDown* upDown() const { return child<UpDown>("UpDown1"); }
    TabControl* tabs() const { return child<TabControl>("TabControl1"); }

    // Selects a tab with the mouse, as the planner does.
    void clickTab(int index)
    {
        QTabBar* bar = tabs()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }

    void typeStationCount(const QString& text)
    {
        if (!m_form->isActiveWindow()) {
            m_form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        }
        edit1()->setFocus();
        edit1()->selectAll();
        QTest::keyClick(edit1(), Qt::Key_Delete);
        zeltrac::testutil::typeText(edit1(), text);
    }

    // The four-station example: Cm 100, 80, 60; Tек 3 and 2 for stations 2
    // and 3; flows 1->4: 40, 1->3: 30, 1->2: 10, 2->4: 50, 2->3: 20, 3->4: 25.
    void typeFourStationExample()
    {
        typeStationCount(QStringLiteral("4"));
        TextGrid* params = grid("StringGrid2");
        const char* cm[] = {"100", "80", "60"};
        for (int c = 0; c < 3; ++c)
            zeltrac::testutil::typeIntoCell(params, c, 0, QString::fromLatin1(cm[c]));
        zeltrac::testutil::typeIntoCell(params, 1, 1, QStringLiteral("3"));
        zeltrac::testutil::typeIntoCell(params, 2, 1, QStringLiteral("2"));
        TextGrid* flows = grid("StringGrid3");
        const struct
        {
            int column, row;
            const char* text;
        } cells[] = {{0, 0, "40"}, {0, 1, "30"}, {0, 2, "10"},
                     {1, 0, "50"}, {1, 1, "20"}, {2, 0, "25"}};
        for (const auto& cell : cells)
            zeltrac::testutil::typeIntoCell(flows, cell.column, cell.row,
                                            QString::fromLatin1(cell.text));
    }

    QString tempPath(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QVERIFY(zeltrac::testutil::writeFile(path, bytes));
    }

    // What Open may change: the count, the grid sizes, and every cell text.
    QStringList inputSnapshot() const
    {
        QStringList state{edit1()->text(), QString::number(upDown()->position())};
        for (const char* name : {"StringGrid1", "StringGrid2", "StringGrid3"}) {
            const TextGrid* g = grid(name);
            state << QStringLiteral("%1x%2").arg(g->colCount()).arg(g->rowCount());
            for (int r = 0; r < 22; ++r)
                for (int c = 0; c < 23; ++c)
                    state << g->cell(c, r);
        }
        return state;
    }

    // Clicks a cell with the mouse, as the planner does.
    static void clickCell(TextGrid* grid, int column, int row)
    {
        const QRect cell = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

    // Types into whatever has the keyboard focus and presses Return.
    static void typeAndEnter(const QString& text)
    {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        zeltrac::testutil::typeText(focus, text);
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    // After tab round trips the focus and the current cell are where the
    // user left them, and typing changes that cell and nothing else.
    void expectTypingLandsInTheChosenCell(TextGrid* chosen, int column, int row, int roundTrips,
                                          const std::function<void()>& inResults = {})
    {
        const auto activate = [this] {
            if (!m_form->isActiveWindow()) {
                m_form->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
            }
        };
        activate();
        clickCell(chosen, column, row);
        QCOMPARE(QApplication::focusWidget(), chosen);
        const QStringList before = inputSnapshot();
        for (int trip = 0; trip < roundTrips; ++trip) {
            clickTab(1);
            if (inResults)
                inResults();
            // nothing hidden or disabled keeps the focus in the results
            if (QWidget* focus = m_form->focusWidget())
                QVERIFY(focus->isVisible() && focus->isEnabled());
            clickTab(0);
            activate();
            QCOMPARE(QApplication::focusWidget(), chosen);
            QCOMPARE(chosen->currentIndex(), chosen->model()->index(row, column));
        }
        QCOMPARE(inputSnapshot(), before); // nothing changed by the trips
        typeAndEnter(QStringLiteral("5"));
        QTRY_COMPARE(chosen->cell(column, row), QStringLiteral("5"));
        QStringList expected = before;
        const int gridIndex = chosen->objectName() == u"StringGrid2" ? 1 : 2;
        const int offset = 2 + gridIndex * (1 + 22 * 23) + 1 + row * 23 + column;
        expected[offset] = QStringLiteral("5");
        QCOMPARE(inputSnapshot(), expected);
    }

    // The fonts the controls really get: the first installed of the families
    // each one may fall back to, at the designed size.
    void checkResolvedFonts() const
    {
        using zeltrac::testutil::firstInstalledFamily;
        const QString sans = firstInstalledFamily(zeltrac::testutil::windowFontFamilies());
        QVERIFY2(!sans.isEmpty(), "no sans serif font for the windows is installed");
        for (QWidget* widget : {static_cast<QWidget*>(m_form.get()), child<QWidget>("Label1"),
                                child<QWidget>("Edit1"), child<QWidget>("StringGrid3"),
                                child<QWidget>("MainMenu1"), child<QWidget>("mnuPrRes")}) {
            const QFontInfo info(widget->font());
            QCOMPARE(info.family(), sans);
            QVERIFY(!info.fixedPitch());
            QCOMPARE(info.pixelSize(), 11);
        }
        const QFontInfo bold(child<QLabel>("Label4")->font());
        QCOMPARE(bold.family(), sans);
        QVERIFY(bold.bold());

        const QString serif = firstInstalledFamily(
            {QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif")});
        QVERIFY2(!serif.isEmpty(), "no serif font for the ruler is installed");
        const QFontInfo ruler(child<QLineEdit>("Edit3")->font());
        QCOMPARE(ruler.family(), serif);
        QCOMPARE(ruler.pixelSize(), 11);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_result = std::make_unique<Form2>();
        m_form = std::make_unique<Form1>();
        m_form->setResultWindow(m_result.get());
        m_form->openFileDialog = [](const QString&, const QString&) -> QString {
            qFatal("unexpected open dialog");
        };
        m_form->saveFileDialog = m_form->openFileDialog;
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    void cleanup()
    {
        m_form.reset();
        m_result.reset();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void tabRoundTripsKeepTheFocusAndTheCell()
    {
        typeFourStationExample();
        BoxAnswerer answerer;
        expectTypingLandsInTheChosenCell(grid("StringGrid3"), 0, 0, 3);
        expectTypingLandsInTheChosenCell(grid("StringGrid3"), 1, 1, 1);
        expectTypingLandsInTheChosenCell(grid("StringGrid2"), 1, 0, 3);
        expectTypingLandsInTheChosenCell(grid("StringGrid2"), 2, 1, 2);
        QVERIFY(answerer.boxes().empty());
        // the line edits keep the focus too
        edit1()->setFocus();
        clickTab(1);
        clickTab(0);
        QCOMPARE(QApplication::focusWidget(), edit1());
    }

    void tabRoundTripAfterAFailedCalculation()
    {
        typeFourStationExample();
        zeltrac::testutil::typeIntoCell(grid("StringGrid3"), 1, 0, QStringLiteral("5o"));
        BoxAnswerer answerer;
        expectTypingLandsInTheChosenCell(grid("StringGrid3"), 0, 1, 2);
        QCOMPARE(answerer.texts(), strings({"'5o' is not a valid integer value.",
                                            "'5o' is not a valid integer value."}));
        BoxAnswerer second;
        expectTypingLandsInTheChosenCell(grid("StringGrid2"), 0, 0, 1);
    }

    void tabRoundTripAfterTheStepBoxes()
    {
        typeFourStationExample();
        action("N5")->trigger();
        QVERIFY(action("N5")->isChecked());
        BoxAnswerer answerer;
        expectTypingLandsInTheChosenCell(grid("StringGrid3"), 2, 0, 2);
        QVERIFY(answerer.texts().contains(QStringLiteral("Следующий шаг")));
        expectTypingLandsInTheChosenCell(grid("StringGrid2"), 2, 0, 1);
    }

    void pipesAreRefusedWithoutWaiting()
    {
        const QString pipe = tempPath("pipe.dat");
        QVERIFY(mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        const auto removePipe = qScopeGuard([&] { QFile::remove(pipe); });
        const QStringList before = inputSnapshot();
        m_form->openFileDialog = [&](const QString&, const QString&) { return pipe; };
        {
            BoxAnswerer answerer;
            action("mmOpen")->trigger();
            QCOMPARE(answerer.texts(),
                     QStringList{u"Файл "_qs + pipe + u" нельзя открыть: это не обычный файл."_qs});
        }
        QCOMPARE(inputSnapshot(), before);

        // saving into a pipe nobody reads is an error, not a wait
        m_form->saveFileDialog = [&](const QString&, const QString&) { return pipe; };
        BoxAnswerer answerer;
        action("mmSave")->trigger();
        QCOMPARE(answerer.texts(), QStringList{u"Cannot create file "_qs + pipe + u"."_qs});
    }

    void startUpState()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("План формирования[*]"));
        QCOMPARE(child<QWidget>("centralWidget")->size(), QSize(751, 579));
        QCOMPARE(m_form->minimumSize(), m_form->maximumSize()); // not resizable
        const QRect area = m_form->screen()->availableGeometry();
        // the whole frame is centred, not the client area
        QVERIFY(m_form->frameGeometry().size() != m_form->geometry().size());
        const QPoint offCentre = m_form->frameGeometry().center() - area.center();
        QVERIFY2(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1,
                 qPrintable(QStringLiteral("%1, %2").arg(offCentre.x()).arg(offCentre.y())));

        const struct
        {
            const char* name;
            QRect geometry;
        } layout[] = {
            {"CoolBar1", {0, 0, 751, 20}},       {"TabControl1", {0, 20, 751, 559}},
            {"Edit1", {128, 32, 57, 21}},        {"UpDown1", {185, 32, 15, 21}},
            {"Edit2", {360, 32, 385, 21}},       {"Panel1", {8, 64, 737, 489}},
            {"StringGrid1", {0, 0, 729, 20}},    {"Edit3", {0, 18, 713, 22}},
            {"StringGrid2", {32, 40, 681, 41}},  {"StringGrid3", {43, 80, 233, 135}},
            {"StringGrid4", {43, 80, 670, 393}},
        };
        for (const auto& item : layout)
            QCOMPARE(child<QWidget>(item.name)->geometry(), item.geometry);
        QCOMPARE(child<QLabel>("Label1")->pos(), QPoint(16, 32));
        QCOMPARE(child<QLabel>("Label2")->pos(), QPoint(216, 32));
        QCOMPARE(child<QLabel>("Label4")->text(), QStringLiteral("Cm"));
        QVERIFY(child<QLabel>("Label4")->font().bold());
        QCOMPARE(child<QLabel>("Label5")->text(), QStringLiteral("Tек"));
        QVERIFY(child<QLabel>("Label5")->font().bold());
        QCOMPARE(m_form->font().families().constFirst(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(m_form->font().pixelSize(), 11);
        auto* ruler = child<QLineEdit>("Edit3");
        QCOMPARE(ruler->font().families().constFirst(), QStringLiteral("Times New Roman"));
        checkResolvedFonts();
        // The ruler's exact text; built once more from its run lengths, so
        // that a slip in either form shows.
        const QString rulerExpected = QStringLiteral(
            "               |-------|--------|-------|--------|--------|--------|--------|-------|"
            "--------|--------|-------|--------|--------|--------|--------|--------|--------|"
            "-------|-------|--------|");
        QString rulerBuilt = QString(15, u' ') + u'|';
        for (const int run : {7, 8, 7, 8, 8, 8, 8, 7, 8, 8, 7, 8, 8, 8, 8, 8, 8, 7, 7, 8})
            rulerBuilt += QString(run, u'-') + u'|';
        QCOMPARE(rulerBuilt, rulerExpected);
        QCOMPARE(rulerExpected.size(), 190);
        QCOMPARE(ruler->text(), rulerExpected);
        QVERIFY(!ruler->isEnabled());
        // Each tick mark of the ruler stands over a column line of the flow
        // grid at its widest (a line every 33 pixels), give or take the few
        // pixels the run lengths allow.
        const QFontMetricsF rulerMetrics(ruler->font());
        const QString rulerText = ruler->text();
        const qreal firstTick = rulerMetrics.horizontalAdvance(rulerText.left(15));
        int tick = 0;
        for (qsizetype i = 15; i < rulerText.size(); ++i) {
            if (rulerText.at(i) != u'|')
                continue;
            const qreal offset = rulerMetrics.horizontalAdvance(rulerText.left(i)) - firstTick;
            QVERIFY2(qAbs(offset - 33 * tick) <= 6,
                     qPrintable(QStringLiteral("tick %1 at %2").arg(tick).arg(offset)));
            ++tick;
        }
        QCOMPARE(tick, 21);

        QCOMPARE(tabs()->tabs(), strings({"Исходные данные", "Результат"}));
        QCOMPARE(tabs()->tabIndex(), 0);
        QCOMPARE(edit1()->text(), QStringLiteral("8"));
        QCOMPARE(upDown()->position(), 8);
        QCOMPARE(child<QLineEdit>("Edit2")->text(), QStringLiteral("Имя оператора"));
        QCOMPARE(child<QLineEdit>("Edit2")->maxLength(), 30);

        QCOMPARE(rowTexts(grid("StringGrid1")), QStringList{QStringLiteral("Ст.|1|2|3|4|5|6|7|8")});
        QCOMPARE(grid("StringGrid1")->cell(22, 0), QStringLiteral("22"));
        QVERIFY(!grid("StringGrid1")->isEnabled());
        QCOMPARE(rowTexts(grid("StringGrid2")), QStringList(2, QStringLiteral("|||||||")));
        QCOMPARE(rowTexts(grid("StringGrid3")),
                 strings({"0|0|0|0|0|0|0", "0|0|0|0|0|0|", "0|0|0|0|0||", "0|0|0|0|||", "0|0|0||||",
                          "0|0|||||", "0||||||"}));
        QVERIFY(!grid("StringGrid4")->isVisible());
        QVERIFY(!grid("StringGrid4")->isEnabled());

        QCOMPARE(child<QMenu>("mnuPrRes")->title(), QStringLiteral("Файл"));
        QCOMPARE(child<QMenu>("N3")->title(), QStringLiteral("Опции"));
        QStringList items;
        for (const QAction* item : child<QMenu>("mnuPrRes")->actions())
            items << (item->isSeparator() ? item->objectName() : item->text());
        QCOMPARE(items, strings({"Открыть", "Сохранить", "Печать результатов", "N4", "Выход"}));
        items.clear();
        for (const QAction* item : child<QMenu>("mnuAnalysis")->actions())
            items << item->text();
        QCOMPARE(items, strings({"Точный оптимум…", "Действующий план…", "Устойчивость плана…",
                                 "Схема плана…", "", "Копировать план", "Экспорт в CSV…"}));
        QCOMPARE(action("N5")->text(), QStringLiteral("По шагам"));
        QVERIFY(action("mmOpen")->isEnabled());
        QVERIFY(action("mmSave")->isEnabled());
        QVERIFY(action("mmExit")->isEnabled());
        QVERIFY(!action("mmPrRes")->isEnabled());
        QVERIFY(action("N5")->isCheckable());
        QVERIFY(!action("N5")->isChecked());

        // Tab: Edit1, Edit2, then the parameter grid, which keeps it.
        edit1()->setFocus();
        QTest::keyClick(edit1(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), child<QWidget>("Edit2"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), grid("StringGrid2"));
        for (int i = 0; i < 20; ++i)
            QTest::keyClick(grid("StringGrid2"), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), grid("StringGrid2"));
        QCOMPARE(grid("StringGrid2")->currentIndex().row(), 0);
        QCOMPARE(grid("StringGrid2")->currentIndex().column(), 4); // 20 steps over 16 cells
    }

    void stationCountFollowsSpinnerKeysAndText()
    {
        TextGrid* flows = grid("StringGrid3");
        QTest::mouseClick(upDown()->upButton(), Qt::LeftButton);
        QCOMPARE(edit1()->text(), QStringLiteral("9"));
        QCOMPARE(grid("StringGrid1")->colCount(), 10);
        QCOMPARE(grid("StringGrid2")->colCount(), 9);
        QCOMPARE(grid("StringGrid2")->rowCount(), 2);
        QCOMPARE(grid("StringGrid2")->width(), 681);
        QCOMPARE(flows->colCount(), 8);
        QCOMPARE(flows->rowCount(), 8);
        QCOMPARE(flows->size(), QSize(266, 154));

        for (int i = 0; i < 10; ++i)
            QTest::mouseClick(upDown()->downButton(), Qt::LeftButton);
        QCOMPARE(edit1()->text(), QStringLiteral("3"));
        QCOMPARE(rowTexts(grid("StringGrid1")), QStringList{QStringLiteral("Ст.|1|2|3")});
        QCOMPARE(rowTexts(flows), strings({"0|0", "0|"}));
        QCOMPARE(flows->size(), QSize(68, 40));

        edit1()->setFocus();
        for (int i = 0; i < 25; ++i)
            QTest::keyClick(edit1(), Qt::Key_Up);
        QCOMPARE(edit1()->text(), QStringLiteral("21"));
        QCOMPARE(rowTexts(grid("StringGrid1")).constFirst().split(u'|').size(), 22);
        QCOMPARE(grid("StringGrid1")->cell(21, 0), QStringLiteral("21"));
        QCOMPARE(flows->size(), QSize(662, 382));
        int zeros = 0;
        for (int c = 0; c < 20; ++c)
            for (int r = 0; r < 20; ++r)
                zeros += flows->cell(c, r) == u"0" ? 1 : 0;
        QCOMPARE(zeros, 210);
        QTest::keyClick(edit1(), Qt::Key_Down);
        QCOMPARE(upDown()->position(), 20);

        typeStationCount(QStringLiteral("12"));
        QCOMPARE(upDown()->position(), 12);
        QCOMPARE(flows->colCount(), 11);
        QCOMPARE(flows->size(), QSize(365, 211));
        for (const char* text : {"25", "x", "", "2"}) {
            typeStationCount(QString::fromLatin1(text));
            QCOMPARE(edit1()->text(), QString::fromLatin1(text));
            QCOMPARE(upDown()->position(), 12);
            QCOMPARE(flows->colCount(), 11);
            QCOMPARE(flows->rowCount(), 11);
            QCOMPARE(grid("StringGrid2")->colCount(), 12);
        }
        // Invalid text still re-applies the triangle rule for the count in force.
        zeltrac::testutil::typeIntoCell(flows, 0, 0, QString());
        QCOMPARE(flows->cell(0, 0), QString());
        typeStationCount(QStringLiteral("x"));
        QCOMPARE(flows->cell(0, 0), QStringLiteral("0"));
    }

    void triangleRuleKeepsOtherTextsAndHiddenCells()
    {
        TextGrid* flows = grid("StringGrid3");
        zeltrac::testutil::typeIntoCell(flows, 3, 3, QStringLiteral("12"));
        zeltrac::testutil::typeIntoCell(flows, 0, 0, QStringLiteral(" 0"));
        zeltrac::testutil::typeIntoCell(flows, 2, 0, QStringLiteral("00"));
        zeltrac::testutil::typeIntoCell(flows, 1, 1, QString());
        zeltrac::testutil::typeIntoCell(flows, 6, 0, QStringLiteral("7"));
        zeltrac::testutil::typeIntoCell(flows, 5, 1, QStringLiteral("0,0"));

        typeStationCount(QStringLiteral("6"));
        QCOMPARE(rowTexts(flows),
                 strings({" 0|0|00|0|0", "0|0|0|0|", "0|0|0||", "0|0||12|", "0||||"}));
        QVERIFY(flows->visualRect(flows->model()->index(3, 3)).isValid());

        typeStationCount(QStringLiteral("8"));
        QCOMPARE(rowTexts(flows), strings({" 0|0|00|0|0|0|7", "0|0|0|0|0|0,0|", "0|0|0|0|0||",
                                           "0|0|0|12|||", "0|0|0||||", "0|0|||||", "0||||||"}));
    }

    void gridsShowAndEditTheSession()
    {
        zeltrac::Workbook& book = m_form->workbook();
        TextGrid* params = grid("StringGrid2");
        TextGrid* flows = grid("StringGrid3");
        QCOMPARE(params->model(), book.parameterModel());
        QCOMPARE(flows->model(), book.flowModel());
        QCOMPARE(grid("StringGrid4")->model(), book.planModel());

        // A typed cell goes straight into the session.
        zeltrac::testutil::typeIntoCell(flows, 2, 1, QStringLiteral("45"));
        QCOMPARE(book.flow(2, 1), QStringLiteral("45"));
        zeltrac::testutil::typeIntoCell(params, 3, 0, QStringLiteral("700"));
        QCOMPARE(book.calcInput().stationParams.cell(3, 0), std::string("700"));
        QTest::keyClick(child<QLineEdit>("Edit2"), Qt::Key_End);
        QTest::keyClicks(child<QLineEdit>("Edit2"), "X");
        QCOMPARE(book.operatorName(), QStringLiteral("Имя оператораX"));
        typeStationCount(QStringLiteral("5"));
        QCOMPARE(book.stationCount(), 5);

        // A change of the session reaches the spinner and the grids.
        book.setStationCount(11);
        QCOMPARE(upDown()->position(), 11);
        QCOMPARE(edit1()->text(), QStringLiteral("11"));
        QCOMPARE(flows->colCount(), 10);
        QCOMPARE(grid("StringGrid1")->colCount(), 12);
        QCOMPARE(flows->size(), QSize(33 * 10 + 2, 19 * 10 + 2));
        book.setFlow(9, 0, QStringLiteral("3"));
        QCOMPARE(flows->cell(9, 0), QStringLiteral("3"));
    }

    void tabSwitchesSetEveryControlState()
    {
        grid("StringGrid2")->setCell(7, 0, QStringLiteral("5")); // station N: not read
        const QStringList before = inputSnapshot();
        auto* edit2 = child<QLineEdit>("Edit2");
        struct State
        {
            bool upDownVisible, edit1, edit2, params, flowsVisible, planVisible, open, save, print;
        };
        const auto state = [&] {
            return State{upDown()->isVisible(),
                         edit1()->isEnabled(),
                         edit2->isEnabled(),
                         grid("StringGrid2")->isEnabled(),
                         grid("StringGrid3")->isVisible(),
                         grid("StringGrid4")->isVisible(),
                         action("mmOpen")->isEnabled(),
                         action("mmSave")->isEnabled(),
                         action("mmPrRes")->isEnabled()};
        };
        const auto unchanged = [&] {
            QVERIFY(action("mmExit")->isEnabled());
            QVERIFY(action("N5")->isEnabled());
            QVERIFY(!grid("StringGrid1")->isEnabled());
            QVERIFY(!grid("StringGrid4")->isEnabled());
            QVERIFY(grid("StringGrid1")->isVisible());
            QVERIFY(child<QWidget>("Edit3")->isVisible());
            QVERIFY(edit1()->isVisible() && edit2->isVisible() && grid("StringGrid2")->isVisible());
        };

        for (int round = 0; round < 2; ++round) {
            BoxAnswerer answerer;
            clickTab(1);
            QCOMPARE(answerer.texts(), strings({"Данных недостаточно!"}));
            expectInformation(answerer.boxes().front(), "Данных недостаточно!");
            QCOMPARE(tabs()->tabIndex(), 1);
            const State result = state();
            QVERIFY(!result.upDownVisible && !result.edit1 && !result.edit2 && !result.params);
            QVERIFY(!result.flowsVisible && result.planVisible);
            // not enough data: no report, like the analyses
            QVERIFY(!result.open && !result.save && !result.print);
            QCOMPARE(grid("StringGrid4")->colCount(), 7);
            QCOMPARE(grid("StringGrid4")->rowCount(), 7);
            QCOMPARE(grid("StringGrid4")->geometry(), QRect(43, 80, 233, 135));
            QCOMPARE(edit2->text(), QStringLiteral("Имя оператора"));
            unchanged();

            clickTab(0);
            QCOMPARE(tabs()->tabIndex(), 0);
            const State input = state();
            QVERIFY(input.upDownVisible && input.edit1 && input.edit2 && input.params);
            QVERIFY(input.flowsVisible && !input.planVisible);
            QVERIFY(input.open && input.save && !input.print);
            unchanged();
            QCOMPARE(inputSnapshot(), before);
        }
    }

    void workedExampleGivesThePlan()
    {
        typeFourStationExample();
        BoxAnswerer answerer;
        clickTab(1);
        QVERIFY(answerer.boxes().empty());
        TextGrid* plan = grid("StringGrid4");
        QCOMPARE(rowTexts(plan), strings({"|50|65", "70|20|", "10||"}));
        QCOMPARE(plan->size(), QSize(101, 59));

        const zeltrac::ResultTables& tables = m_form->resultTables();
        const double expected[3][6] = {
            {1, 2, 0, 200, 0, 200}, {2, 2, 0, 160, 0, 160}, {3, 1, 40, 60, 80, 140}};
        for (int station = 1; station <= 3; ++station)
            for (int column = 1; column <= 6; ++column)
                QCOMPARE(tables.indicator(column, station).toDouble(),
                         expected[station - 1][column - 1]);
        const double totals[6] = {0, 5, 40, 420, 80, 500};
        for (int element = 1; element <= 6; ++element)
            QCOMPARE(tables.total(element).toDouble(), totals[element - 1]);

        // Back and forth: the input stays and the plan is computed again.
        clickTab(0);
        grid("StringGrid4")->setCell(0, 0, QStringLiteral("stale"));
        clickTab(1);
        QCOMPARE(rowTexts(plan), strings({"|50|65", "70|20|", "10||"}));
        QCOMPARE(grid("StringGrid2")->cell(0, 0), QStringLiteral("100"));
        QCOMPARE(upDown()->position(), 4);
    }

    void stepByStepShowsTheWorkingFlows()
    {
        typeFourStationExample();
        QAction* steps = action("N5");
        steps->trigger();
        QVERIFY(steps->isChecked());

        QList<QStringList> seen;
        QList<bool> hourglass;
        BoxAnswerer answerer([&](const BoxRecord&) {
            seen << rowTexts(grid("StringGrid4"));
            hourglass << (QApplication::overrideCursor() &&
                          QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        });
        clickTab(1);
        QCOMPARE(answerer.texts(), strings({"Следующий шаг", "Следующий шаг"}));
        expectInformation(answerer.boxes().front(), "Следующий шаг");
        // Column by column: 0, 0, 10 | 50, 20, - | 65, -, - after the first
        // train (1->3); then the second train (2->4) empties 2->4.
        QCOMPARE(seen.value(0), strings({"0|50|65", "0|20|", "10||"}));
        QCOMPARE(seen.value(1), strings({"0|0|65", "0|20|", "10||"}));
        QCOMPARE(hourglass, (QList<bool>{true, true}));
        QCOMPARE(rowTexts(grid("StringGrid4")), strings({"|50|65", "70|20|", "10||"}));
        QCOMPARE(m_form->resultTables().total(6).toDouble(), 500.0);

        // A search that fixes no train shows no box.
        clickTab(0);
        zeltrac::testutil::typeIntoCell(grid("StringGrid2"), 0, 0, QStringLiteral("1000"));
        zeltrac::testutil::typeIntoCell(grid("StringGrid2"), 1, 0, QStringLiteral("1000"));
        BoxAnswerer none;
        clickTab(1);
        QVERIFY(none.boxes().empty());
        // Every pair goes in local trains that stop at stations 2 and 3.
        QCOMPARE(rowTexts(grid("StringGrid4")), strings({"||115", "|140|", "80||"}));

        steps->trigger();
        QVERIFY(!steps->isChecked());
    }

    void calculationErrorsLeaveThePreviousPlan()
    {
        typeFourStationExample();
        clickTab(1);
        const QStringList plan = rowTexts(grid("StringGrid4"));
        const double total = m_form->resultTables().total(6).toDouble();
        QCOMPARE(total, 500.0);
        QVERIFY(action("mmPrRes")->isEnabled());
        // "Анализ" opens the plan in force's window and the stability's.
        action("mmPlanInForce")->trigger();
        action("mmStability")->trigger();
        for (const QWidget* window : {static_cast<QWidget*>(m_form->planInForceWindow()),
                                      static_cast<QWidget*>(m_form->stabilityWindow())})
            QVERIFY(window && window->isVisible());

        const struct
        {
            int gridNumber, column, row;
            const char* text;
            const char* message;
        } cases[] = {
            {2, 0, 0, "abc", "'abc' is not a valid integer value."},
            {2, 2, 0, " 1 2 ", "'1 2' is not a valid integer value."},
            // "?" stands for the separator that the regional settings do not use.
            {2, 1, 1, "1?5", "'1?5' is not a valid floating point value."},
            {2, 0, 1, "x", "'x' is not a valid floating point value."},
            {2, 1, 1, "1e39", "Floating point overflow."},
            {3, 2, 2, "z", "'z' is not a valid integer value."},
            {3, 0, 0, "2147483647", "Integer overflow."},
        };
        for (const auto& c : cases) {
            clickTab(0);
            TextGrid* target = grid(c.gridNumber == 2 ? "StringGrid2" : "StringGrid3");
            const QString old = target->cell(c.column, c.row);
            const QString wrongSeparator = QLocale::system().decimalPoint() == u","
                                               ? QStringLiteral(".")
                                               : QStringLiteral(",");
            const auto withSeparator = [&](const char* text) {
                return QString::fromLatin1(text).replace(u'?', wrongSeparator);
            };
            target->setCell(c.column, c.row, withSeparator(c.text));
            BoxAnswerer answerer;
            clickTab(1);
            QCOMPARE(answerer.boxes().size(), size_t(1));
            expectErrorBox(answerer.boxes().front(), withSeparator(c.message));
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            QCOMPARE(tabs()->tabIndex(), 1);
            // The old plan stays on screen, but it is not offered for the report.
            QVERIFY(!action("mmPrRes")->isEnabled());
            QVERIFY(grid("StringGrid4")->isVisible());
            QCOMPARE(rowTexts(grid("StringGrid4")), plan);
            QCOMPARE(m_form->resultTables().total(6).toDouble(), total);
            clickTab(0);
            target->setCell(c.column, c.row, old);
        }

        // Not enough data: nothing computed, the grid already resized keeps
        // its texts, and the input tab works again.
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 2; ++r)
                grid("StringGrid2")->setCell(c, r, QString());
        typeStationCount(QStringLiteral("5"));
        grid("StringGrid2")->setCell(4, 0, QStringLiteral("7")); // station N is not read
        BoxAnswerer answerer;
        clickTab(1);
        QCOMPARE(answerer.texts(), strings({"Данных недостаточно!"}));
        QCOMPARE(grid("StringGrid4")->colCount(), 4);
        QCOMPARE(grid("StringGrid4")->cell(0, 1), QStringLiteral("70"));
        QCOMPARE(grid("StringGrid4")->cell(3, 3), QString());
        QCOMPARE(m_form->resultTables().total(6).toDouble(), total);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        clickTab(0);
        QVERIFY(grid("StringGrid3")->isVisible());
        QVERIFY(edit1()->isEnabled());
    }

    void saveWritesTheInitialDataFile()
    {
        typeStationCount(QStringLiteral("3"));
        const char* params[2][3] = {{"500", "450", "520"}, {"3", "4", "2"}};
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                grid("StringGrid2")->setCell(c, r, QString::fromLatin1(params[r][c]));
        grid("StringGrid3")->setCell(0, 0, QStringLiteral("120"));
        grid("StringGrid3")->setCell(1, 0, QStringLiteral("80"));
        grid("StringGrid3")->setCell(0, 1, QStringLiteral("60"));

        QStringList asked;
        QString answer = tempPath("plan");
        m_form->saveFileDialog = [&](const QString& folder, const QString& lastName) {
            asked << folder << lastName;
            return answer;
        };
        action("mmSave")->trigger();
        QCOMPARE(asked, (QStringList{QDir::currentPath(), QString()}));
        const QByteArray expected(
            "3\r\n500\r\n450\r\n520\r\n3\r\n4\r\n2\r\n120\r\n80\r\n60\r\n\r\n");
        QCOMPARE(expected.size(), 42);
        QCOMPARE(readFile(tempPath("plan")), expected);

        // The name chosen last is offered again; cancelling writes nothing.
        asked.clear();
        answer.clear();
        grid("StringGrid3")->setCell(0, 0, QStringLiteral("999"));
        action("mmSave")->trigger();
        QCOMPARE(asked, (QStringList{QDir::currentPath(), tempPath("plan")}));
        QCOMPARE(readFile(tempPath("plan")), expected);

        // A file that cannot be created.
        answer = tempPath("missing/plan.dat");
        BoxAnswerer answerer;
        action("mmSave")->trigger();
        QCOMPARE(answerer.boxes().size(), size_t(1));
        expectErrorBox(answerer.boxes().front(),
                       QStringLiteral("Cannot create file %1.").arg(tempPath("missing/plan.dat")));
        QVERIFY(!QFile::exists(tempPath("missing/plan.dat")));
    }

    void openLoadsAllOrNothing()
    {
        // Five stations; texts kept as they are, outside the triangle too.
        QByteArray bytes("5\r\n");
        QStringList params, flows;
        for (int i = 0; i < 10; ++i) {
            params << (i == 3 ? QStringLiteral(" 7 ") : QString::number(10 + i));
            bytes += params.back().toLatin1() + "\r\n";
        }
        for (int i = 0; i < 16; ++i) {
            flows << (i == 0 ? QString() : i == 15 ? QStringLiteral("x") : QString::number(i));
            bytes += flows.back().toLatin1() + "\n"; // LF alone reads the same
        }
        bytes += "extra line\r\n";
        writeFile(tempPath("five.dat"), bytes);

        QStringList asked;
        QString answer = tempPath("five.dat");
        m_form->openFileDialog = [&](const QString& folder, const QString& lastName) {
            asked << folder << lastName;
            return answer;
        };
        action("mmOpen")->trigger();
        QCOMPARE(asked, (QStringList{QDir::currentPath(), QString()}));
        QCOMPARE(edit1()->text(), QStringLiteral("5"));
        QCOMPARE(upDown()->position(), 5);
        QCOMPARE(grid("StringGrid1")->colCount(), 6);
        QCOMPARE(grid("StringGrid3")->size(), QSize(134, 78));
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 5; ++c)
                QCOMPARE(grid("StringGrid2")->cell(c, r), params.at(r * 5 + c));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                QCOMPARE(grid("StringGrid3")->cell(c, r), flows.at(r * 4 + c));

        // Failures change nothing at all, and the name is offered again.
        const QStringList loaded = inputSnapshot();
        writeFile(tempPath("bad-count.dat"), "8 \r\n1\r\n");
        writeFile(tempPath("short.dat"), "4\r\n1\r\n2\r\n3\r\n4\r\n");
        writeFile(tempPath("empty.dat"), "");
        const struct
        {
            const char* name;
            QString message;
        } failures[] = {
            {"missing.dat", QStringLiteral("Cannot open file %1.").arg(tempPath("missing.dat"))},
            {"bad-count.dat", QStringLiteral("'8 ' is not a valid integer value.")},
            {"short.dat", QStringLiteral("List index out of bounds (5)")},
            {"empty.dat", QStringLiteral("List index out of bounds (0)")},
        };
        QString last = tempPath("five.dat");
        for (const auto& failure : failures) {
            asked.clear();
            answer = tempPath(failure.name);
            BoxAnswerer answerer;
            action("mmOpen")->trigger();
            QCOMPARE(asked.value(1), last);
            QCOMPARE(answerer.boxes().size(), size_t(1));
            expectErrorBox(answerer.boxes().front(), failure.message);
            QCOMPARE(inputSnapshot(), loaded);
            last = answer;
        }

        // Cancelled: nothing happens.
        answer.clear();
        BoxAnswerer none;
        action("mmOpen")->trigger();
        QVERIFY(none.boxes().empty());
        QCOMPARE(inputSnapshot(), loaded);

        // A count beyond the range is taken as 21, with a 21-station layout.
        QByteArray big("25\r\n");
        for (int i = 1; i < 443; ++i)
            big += QByteArray::number(i) + "\r\n";
        writeFile(tempPath("big.dat"), big);
        answer = tempPath("big.dat");
        action("mmOpen")->trigger();
        QCOMPARE(edit1()->text(), QStringLiteral("21"));
        QCOMPARE(grid("StringGrid2")->cell(20, 1), QStringLiteral("42"));
        QCOMPARE(grid("StringGrid3")->cell(19, 19), QStringLiteral("442"));

        // Save and open again reproduce every cell.
        grid("StringGrid3")->setCell(19, 19, QStringLiteral(" Тек "));
        const QStringList shown = inputSnapshot();
        m_form->saveFileDialog = [&](const QString&, const QString&) {
            return tempPath("again.dat");
        };
        action("mmSave")->trigger();
        typeStationCount(QStringLiteral("3"));
        // As "Открыть" does once its question and dialog have been answered.
        m_form->openFile(tempPath("again.dat"));
        QCOMPARE(inputSnapshot(), shown);
    }

    void openFileAtStartUp()
    {
        writeFile(tempPath("start.dat"), "3\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n\r\n");
        m_form->openFile(tempPath("start.dat"));
        QCOMPARE(upDown()->position(), 3);
        QCOMPARE(rowTexts(grid("StringGrid3")), strings({"7|8", "9|"}));

        BoxAnswerer answerer;
        m_form->openFile(tempPath("nothing.dat"));
        QCOMPARE(answerer.boxes().size(), size_t(1));
        expectErrorBox(answerer.boxes().front(),
                       QStringLiteral("Cannot open file %1.").arg(tempPath("nothing.dat")));
        // "Открыть" then offers the name given at start-up.
        QString offered;
        m_form->openFileDialog = [&](const QString&, const QString& lastName) {
            offered = lastName;
            return QString();
        };
        action("mmOpen")->trigger();
        QCOMPARE(offered, tempPath("nothing.dat"));

        // A name given relative to the working folder is taken with its full
        // path, in the message and when offered again.
        const QString previous = QDir::currentPath();
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
        QVERIFY(QDir::setCurrent(m_dir.path()));
        m_form->openFile(QStringLiteral("relative.dat"));
        QCOMPARE(answerer.boxes().size(), size_t(2));
        expectErrorBox(
            answerer.boxes().back(),
            QStringLiteral("Cannot open file %1.")
                .arg(QDir(m_dir.path()).absoluteFilePath(QStringLiteral("relative.dat"))));
        action("mmOpen")->trigger();
        QCOMPARE(offered, QDir(m_dir.path()).absoluteFilePath(QStringLiteral("relative.dat")));
    }

    void fileDialogsAsDesigned()
    {
        if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
            QSKIP("the program's own dialogs are driven on the offscreen platform only");
        // A window with the program's own dialogs in place of the seams.
        Form1 form;
        form.show();
        QAction* open = form.findChild<QAction*>(QStringLiteral("mmOpen"));
        QAction* save = form.findChild<QAction*>(QStringLiteral("mmSave"));
        QTemporaryDir work, other;
        QVERIFY(work.isValid() && other.isValid());
        const QString previous = QDir::currentPath();
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
        QVERIFY(QDir::setCurrent(work.path()));
        const QString workFolder = QDir(work.path()).canonicalPath();
        const QString otherFolder = QDir(other.path()).canonicalPath();

        // First use: the working folder, the one filter, nothing asked.
        for (QAction* command : {open, save}) {
            const bool forSaving = command == save;
            const bool shown = answerDialog<QFileDialog>(
                [&] { command->trigger(); },
                [&](QFileDialog* d) {
                    QCOMPARE(d->objectName(), forSaving ? QStringLiteral("SaveDialog1")
                                                        : QStringLiteral("OpenDialog1"));
                    QCOMPARE(d->directory().canonicalPath(), workFolder);
                    QCOMPARE(d->nameFilters(),
                             QStringList{QStringLiteral("Фалы исх.данных (*.dat)")});
                    QCOMPARE(d->acceptMode(),
                             forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
                    QCOMPARE(d->defaultSuffix(), forSaving ? QStringLiteral("dat") : QString());
                    QCOMPARE(d->fileMode(), QFileDialog::AnyFile);
                    QVERIFY(d->testOption(QFileDialog::DontConfirmOverwrite));
                });
            QVERIFY(shown);
        }

        // A name typed without an extension is saved with ".dat".
        QVERIFY(answerDialog<QFileDialog>(
            [&] { save->trigger(); },
            [&](QFileDialog* d) {
                auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(QDir(otherFolder).filePath(QStringLiteral("plan")));
                static_cast<QDialog*>(d)->accept(); // as the "Save" button does
            }));
        const QString saved = QDir(otherFolder).filePath(QStringLiteral("plan.dat"));
        QVERIFY(QFile::exists(saved));

        // Each dialog offers the name chosen last in it, in that name's own
        // folder, so that accepting it at once takes the same file again.
        QStringList offered;
        QVERIFY(answerDialog<QFileDialog>([&] { save->trigger(); },
                                          [&](QFileDialog* d) {
                                              QCOMPARE(d->directory().canonicalPath(), otherFolder);
                                              offered = d->selectedFiles();
                                          }));
        QCOMPARE(offered, QStringList{saved});
        QVERIFY(answerDialog<QFileDialog>(
            [&] { open->trigger(); },
            [&](QFileDialog* d) { QCOMPARE(d->directory().canonicalPath(), workFolder); }));
        form.openFile(saved);
        QVERIFY(answerDialog<QFileDialog>([&] { open->trigger(); },
                                          [&](QFileDialog* d) {
                                              QCOMPARE(d->directory().canonicalPath(), otherFolder);
                                              offered = d->selectedFiles();
                                          }));
        QCOMPARE(offered, QStringList{saved});
    }

    void reportGoesToTheResultWindow()
    {
        typeFourStationExample();
        clickTab(1);
        m_form->currentDateTime = [] { return QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9)); };
        const QString date = QLocale::system().toString(QDate(2026, 3, 5), QLocale::ShortFormat);
        action("mmPrRes")->trigger();
        QVERIFY(m_result->isVisible());
        const QStringList lines = m_result->reportLines();
        QCOMPARE(lines.size(), 31);
        QCOMPARE(lines.at(0), QStringLiteral("Zeltrac"));
        QCOMPARE(lines.at(1),
                 QStringLiteral("С ПРИЛОЖЕНИЕМ РАБОТАЕТ: Имя оператора  %1 14:07:09").arg(date));
        QCOMPARE(lines.at(7), QStringLiteral("Tek   0.0   3.0   2.0   0.0"));
        QCOMPARE(lines.at(19), QStringLiteral("          0    50    65"));
        QCOMPARE(lines.at(30),
                 QStringLiteral("  ВСЕГО          5       40      420       80      500"));

        // At midnight only the date is written.
        m_form->currentDateTime = [] { return QDateTime(QDate(2026, 3, 5), QTime(0, 0, 0)); };
        action("mmPrRes")->trigger();
        QCOMPARE(m_result->reportLines().at(1),
                 QStringLiteral("С ПРИЛОЖЕНИЕМ РАБОТАЕТ: Имя оператора  %1").arg(date));

        // A bad Tек: the box, the lines so far stay, the window is not shown.
        m_result->hide();
        clickTab(0);
        grid("StringGrid2")->setCell(3, 1, QStringLiteral("bad"));
        clickTab(1);
        BoxAnswerer answerer;
        action("mmPrRes")->trigger();
        QCOMPARE(answerer.boxes().size(), size_t(1));
        expectErrorBox(answerer.boxes().front(),
                       QStringLiteral("'bad' is not a valid floating point value."));
        QVERIFY(!m_result->isVisible());
        const QStringList partial = m_result->reportLines();
        QCOMPARE(partial.size(), 8);
        QCOMPARE(partial.at(7), QStringLiteral("Tek   0.0   3.0   2.0"));
    }

    void exitEndsTheProgram()
    {
        // The result window on the screen does not keep the program running.
        m_result->showReport();
        QVERIFY(QTest::qWaitForWindowExposed(m_result.get()));
        QVERIFY(m_form->isVisible());
        QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
        QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);

        // "Выход" chosen while the program's event loop runs, as in use. A loop
        // that does not end is ended by the guard with its own code.
        QTimer::singleShot(0, action("mmExit"), &QAction::trigger);
        constexpr int notEnded = 99;
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(notEnded); });
        guard.start(20000);
        const int exitCode = QApplication::exec();
        guard.stop();

        QCOMPARE(exitCode, 0);
        QCOMPARE(lastWindowClosed.count(), 1);
        QCOMPARE(aboutToQuit.count(), 1);
        QVERIFY(!m_form->isVisible());
        QVERIFY(!m_result->isVisible()); // the result window goes with it
    }

    void errorBoxTextAndCaption()
    {
        using zeltrac::ui::errorBoxText;
        QCOMPARE(errorBoxText(QStringLiteral("Cannot open file a.dat")),
                 QStringLiteral("Cannot open file a.dat."));
        QCOMPARE(errorBoxText(QStringLiteral("x 5")), QStringLiteral("x 5."));
        QCOMPARE(errorBoxText(QStringLiteral("Данных недостаточно")),
                 QStringLiteral("Данных недостаточно."));
        for (const char* kept :
             {"List index out of bounds (3)", "Стоп!", "'x'", "done.", "a-", "a ", ""})
            QCOMPARE(errorBoxText(QString::fromUtf8(kept)), QString::fromUtf8(kept));

        // The caption: the file name up to its first ".", the first character
        // as it is and the others in lower case.
        using zeltrac::ui::titleFromProgramPath;
        const struct
        {
            const char* path;
            const char* title;
        } titles[] = {
            {"/opt/zeltrac/bin/Zeltrac.Main.exe", "Zeltrac"},
            {"Zeltrac.Main.exe", "Zeltrac"},
            {"/usr/bin/ZELTRAC.EXE", "Zeltrac"},
            {"/usr/bin/PlanForm.v2.exe", "Planform"},
            {"/usr/bin/pLAN.exe", "plan"},
            {"/usr/bin/ПЛАН-2.exe", "План-2"},
            {"/tmp/a.b/Prog", "Prog"}, // a dot in a folder's name does not count
            {"/usr/bin/zeltrac", "zeltrac"},
            {"/usr/bin/Z.exe", "Z"},
            {"/usr/bin/.Hidden", ""},
            {"", ""},
        };
        for (const auto& t : titles)
            QCOMPARE(titleFromProgramPath(QString::fromUtf8(t.path)), QString::fromUtf8(t.title));
        QCOMPARE(zeltrac::ui::applicationTitle(),
                 titleFromProgramPath(QCoreApplication::applicationFilePath()));
        QCOMPARE(zeltrac::ui::applicationTitle(), QStringLiteral("ui_tests"));

        BoxAnswerer answerer;
        bool after = false;
        zeltrac::ui::guarded(m_form.get(), [&] {
            throw std::runtime_error("Stream write error");
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(answerer.boxes().size(), size_t(1));
        expectErrorBox(answerer.boxes().front(), QStringLiteral("Stream write error."));
    }
};

ZELTRAC_REGISTER_TEST(Form1Test);

#include "form1_test.moc"
