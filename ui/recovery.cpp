#include "ui/recovery.h"

#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <exception>

#include "ui/errorbox.h"
#include "workbook/recovery.h"
#include "workbook/workbook.h"

namespace zeltrac::ui {

int ask(QWidget* parent, const QString& question, const QStringList& buttons)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), question, QMessageBox::NoButton,
                    parent);
    QList<QAbstractButton*> added;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const QMessageBox::ButtonRole role = i == 0                    ? QMessageBox::YesRole
                                             : i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                       : QMessageBox::NoRole;
        added << box.addButton(buttons.at(i), role);
    }
    box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
    box.setEscapeButton(added.back());
    box.exec();
    const qsizetype pressed = added.indexOf(box.clickedButton());
    return int(pressed < 0 ? buttons.size() - 1 : pressed);
}

SaveAnswer askToSave(QWidget* parent, const QString& question)
{
    const QStringList buttons{QStringLiteral("Да"), QStringLiteral("Нет"),
                              QStringLiteral("Отмена")};
    return static_cast<SaveAnswer>(ask(parent, question, buttons));
}

namespace {

QString shownTime(const QDateTime& written)
{
    return written.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

} // namespace

QString restoreQuestion(const QDateTime& written)
{
    return QStringLiteral("Восстановить несохранённые данные от %1?").arg(shownTime(written));
}

bool offerRecovery(QWidget* parent, Workbook& book, const QString& folder)
{
    for (recovery::Abandoned& file : recovery::findAbandoned(folder)) {
        QByteArray bytes;
        try {
            bytes = recovery::read(book, file.path);
        } catch (const std::exception& e) {
            const QString aside = recovery::setAside(file);
            showErrorBox(parent, QStringLiteral("Несохранённые данные от %1 не восстановить. %2 "
                                                "Файл оставлен как %3")
                                     .arg(shownTime(file.written), QString::fromUtf8(e.what()),
                                          QDir::toNativeSeparators(aside)));
            continue;
        }
        const bool take = ask(parent, restoreQuestion(file.written),
                              {QStringLiteral("Да"), QStringLiteral("Нет")}) == 0;
        // Checked as it was read: restoring cannot fail.
        if (take)
            recovery::restore(book, bytes);
        recovery::remove(file);
        if (take)
            return true;
    }
    return false;
}

} // namespace zeltrac::ui
