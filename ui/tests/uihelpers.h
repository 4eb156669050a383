#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

class QWidget;

namespace zeltrac::ui {
class TextGrid;
}

namespace zeltrac::testutil {

// What a modal message box showed.
struct BoxRecord
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Answers the modal message boxes that an action opens: records each one,
// lets a callback look at the program while it is open, and presses its
// first button. Lives as long as the action it watches.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit BoxAnswerer(std::function<void(const BoxRecord&)> whileOpen = {});

    const std::vector<BoxRecord>& boxes() const { return m_boxes; }
    QStringList texts() const;

private:
    void poll();

    std::function<void(const BoxRecord&)> m_whileOpen;
    std::vector<BoxRecord> m_boxes;
    QTimer m_timer;
    int m_idleTicks = 0;
};

// Sends each character of `text` to `receiver` as a key click (Cyrillic
// included), whichever widget has the focus.
void sendText(QWidget* receiver, const QString& text);

// Types text into the focused widget of `target`'s window one character at a
// time (Cyrillic included).
void typeText(QWidget* target, const QString& text);

// Types `text` into a cell of an editable grid, replacing what it holds, and
// closes the editor with Return.
void typeIntoCell(zeltrac::ui::TextGrid* grid, int column, int row, const QString& text);

} // namespace zeltrac::testutil
