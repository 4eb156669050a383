#include "ui/errorbox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace zeltrac::ui {

QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

QString applicationTitle()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

void showErrorBox(QWidget* parent, const QString& message)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), errorBoxText(message),
                    QMessageBox::Ok, parent);
    box.exec();
}

void showInformation(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

} // namespace zeltrac::ui
