#pragma once

#include <QString>
#include <exception>

class QWidget;

// The program's common error box and information dialog.
namespace zeltrac::ui {

// The message as the error box shows it: "." appended when the last character
// comes after "." in character-code order.
QString errorBoxText(const QString& message);

// The application title: the program's file name without folder and without
// everything from its first ".", every character after the first in lower case.
QString applicationTitle();

// The title that the program file at `programPath` gets by that rule.
QString titleFromProgramPath(const QString& programPath);

// Modal box with the stop icon, one "OK" button and the application title.
void showErrorBox(QWidget* parent, const QString& message);

// Modal box with the information icon, the caption "Information" and one "OK".
void showInformation(QWidget* parent, const QString& text);

// Runs an event handler; an exception that escapes it ends the handler and is
// shown in the error box. Qt lets no exception cross the event loop, so every
// handler runs through here.
template <typename Handler> void guarded(QWidget* parent, Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showErrorBox(parent, QString::fromUtf8(e.what()));
    }
}

} // namespace zeltrac::ui
