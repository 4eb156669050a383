#include "ui/errorbox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "calc/error.h"

namespace zeltrac::ui {

QString errorBoxText(const QString& message)
{
    return QString::fromStdString(shownMessage(message.toStdString()));
}

QString applicationTitle()
{
    return titleFromProgramPath(QCoreApplication::applicationFilePath());
}

QString titleFromProgramPath(const QString& programPath)
{
    QString name = QFileInfo(programPath).fileName();
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
