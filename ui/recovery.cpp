#include "ui/recovery.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <stdexcept>

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

QString restoreQuestion(const QDateTime& written)
{
    return QStringLiteral("Восстановить несохранённые данные от %1?")
        .arg(written.toString(QStringLiteral("dd.MM.yyyy HH:mm")));
}

bool offerRecovery(QWidget* parent, Workbook& book, const QString& folder)
{
    for (recovery::Abandoned& file : recovery::findAbandoned(folder)) {
        const bool take = ask(parent, restoreQuestion(file.written),
                              {QStringLiteral("Да"), QStringLiteral("Нет")}) == 0;
        bool restored = false;
        if (take) {
            QFile source(file.path);
            guarded(parent, [&] {
                if (!source.open(QIODevice::ReadOnly))
                    throw std::runtime_error("Cannot open file " + file.path.toStdString());
                recovery::restore(book, source.readAll());
                restored = true;
            });
        }
        recovery::remove(file);
        if (restored)
            return true;
    }
    return false;
}

} // namespace zeltrac::ui
