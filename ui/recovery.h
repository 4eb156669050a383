#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class QWidget;

namespace zeltrac {
class Workbook;
}

// The questions about data the planner has not saved: whether to save it
// before it goes, and whether to bring it back after a crash.
namespace zeltrac::ui {

// A modal question with the application title and one button per text,
// the first the default, the last the answer of Escape; the index of the
// button pressed.
int ask(QWidget* parent, const QString& question, const QStringList& buttons);

enum class SaveAnswer
{
    Save,
    Discard,
    Cancel
};
// `question` with "Да", "Нет", "Отмена".
SaveAnswer askToSave(QWidget* parent, const QString& question);

// "Восстановить несохранённые данные от 09.12.2026 14:05?"
QString restoreQuestion(const QDateTime& written);

// Offers the recovery files that programs no longer running left in
// `folder`, newest first, until the planner takes one, and restores it into
// the session. A file declined or restored is removed; one that cannot be
// restored is not offered: the error box says why and where it is kept
// aside. Returns whether one was restored.
bool offerRecovery(QWidget* parent, Workbook& book, const QString& folder);

} // namespace zeltrac::ui
