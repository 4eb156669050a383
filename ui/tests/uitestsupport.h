#pragma once

// What the window tests share: answering message boxes and dialogs, typing,
// finding controls by name, reading and writing files, and the checks of the
// program's common boxes.

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "ui/tests/testutil.h"
#include "ui/tests/uihelpers.h"
#include "workbook/workbook.h"

class QWidget;

namespace zeltrac {
class CellTableModel;
} // namespace zeltrac

namespace zeltrac::testutil {

// The child of `parent` named `name`; a missing one ends the test program,
// as a test of a window that lacks a designed control cannot go on.
template <typename T> T* namedChild(const QObject* parent, const char* name)
{
    T* object = parent->findChild<T*>(QString::fromLatin1(name));
    if (!object)
        qFatal("no child %s", name);
    return object;
}

// Types a five-station line whose calculated plan costs 75 car-hours and
// whose cheapest plan costs 46: trains 1-2 11, 1-4 9, 2-3 8, 2-4 2, 2-5 6, 3-4 4
// and 4-5 10 cars; train 1-5 is not among them.
void typeFiveStationLine(zeltrac::Workbook& workbook);

// A test class whose every test starts on that line, calculated, in a
// session of its own.
class CalculatedLineTest : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<zeltrac::Workbook> m_workbook;

private slots:
    void init();
    void cleanup();
};

// For the programs that open windows on a data file, to look at: loads the
// file their first argument names into `workbook` and calculates it. 0 when
// that completed, else the code to exit with, the reason printed.
int loadCalculatedFile(zeltrac::Workbook& workbook, int argc, char** argv, const char* program);

// Every row of the table within its size, its cells joined by "|".
QStringList rowTexts(const zeltrac::ui::TextGrid* grid);
QStringList rowTexts(const zeltrac::CellTableModel* model);

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString& path);

// Writes the whole file; false when it cannot be written in full.
bool writeFile(const QString& path, const QByteArray& bytes);

// Runs `action` and answers every modal message box it opens with the box's
// first button; returns what the boxes showed, in order.
QList<BoxRecord> answerBoxes(const std::function<void()>& action);

// Runs `action`, which opens a modal dialog; hands the first one that `match`
// accepts to `answer`, and cancels it if `answer` left it open. Returns whether
// such a dialog was seen.
bool answerModalDialog(const std::function<void()>& action,
                       const std::function<QDialog*(QWidget*)>& match,
                       const std::function<void(QDialog*)>& answer);

template <typename T>
bool answerDialog(const std::function<void()>& action, const std::function<void(T*)>& answer)
{
    return answerModalDialog(
        action, [](QWidget* widget) -> QDialog* { return qobject_cast<T*>(widget); },
        [&answer](QDialog* dialog) { answer(static_cast<T*>(dialog)); });
}

// The first of `families` that this system has installed; empty when it has
// none of them. What a font asking for `families` in that order should get.
QString firstInstalledFamily(const QStringList& families);

// The families the windows' own font may come out as, in the order the
// windows should prefer them.
QStringList windowFontFamilies();

// The caption of the common error box in these test programs: their file
// names have no "." and no capital letter, so the title is the name itself.
QString testProgramTitle();

// The common error box: stop icon, the test program's title, one "OK".
void expectErrorBox(const BoxRecord& box, const QString& text);

// The information dialog: information icon, "Information", one "OK".
void expectInformationBox(const BoxRecord& box, const QString& text);

} // namespace zeltrac::testutil
