#include "ui/tests/uihelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "ui/textgrid.h"

namespace zeltrac::testutil {

BoxAnswerer::BoxAnswerer(std::function<void(const BoxRecord&)> whileOpen)
    : m_whileOpen(std::move(whileOpen))
{
    connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    m_timer.start(10);
}

QStringList BoxAnswerer::texts() const
{
    QStringList result;
    for (const BoxRecord& box : m_boxes)
        result << box.text;
    return result;
}

void BoxAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
        // Nobody answers for ever: a box that never comes is the test's to
        // notice, and a box left open fails through the function timeout.
        if (++m_idleTicks > 1000)
            m_timer.stop();
        return;
    }
    m_idleTicks = 0;
    BoxRecord record;
    record.title = box->windowTitle();
    record.text = box->text();
    record.icon = box->icon();
    const QList<QAbstractButton*> buttons = box->buttons();
    for (const QAbstractButton* button : buttons)
        record.buttons << button->text();
    m_boxes.push_back(record);
    if (m_whileOpen)
        m_whileOpen(record);
    if (!buttons.isEmpty())
        buttons.first()->click();
    else
        box->reject();
}

void sendText(QWidget* receiver, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, receiver, Qt::Key(ch.toUpper().unicode()), QString(ch),
                            Qt::NoModifier);
}

void typeText(QWidget* target, const QString& text)
{
    // The focus may move while typing (the first key opens a grid's editor).
    for (const QChar ch : text) {
        QWidget* focus = QApplication::focusWidget();
        sendText(focus ? focus : target, QString(ch));
    }
}

void typeIntoCell(zeltrac::ui::TextGrid* grid, int column, int row, const QString& text)
{
    // A message box that has just closed may leave no window active.
    QWidget* window = grid->window();
    if (!window->isActiveWindow()) {
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window);
    }
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(row, column));
    // F2 opens the editor with the cell's text selected; typing replaces it.
    QTest::keyClick(grid, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->selectAll();
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    typeText(editor, text);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    // Return closes the editor through a queued call.
    (void)QTest::qWaitFor([grid] { return !grid->isEditing(); });
}

} // namespace zeltrac::testutil
