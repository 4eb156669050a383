#include "ui/filedialog.h"

#include <QDir>
#include <QFileInfo>

namespace zeltrac::ui {

QString filterSuffix(const QString& filter)
{
    const qsizetype star = filter.indexOf(QStringLiteral("*."));
    if (star < 0)
        return {};
    qsizetype end = star + 2;
    while (end < filter.size() && filter[end].isLetterOrNumber())
        ++end;
    return filter.mid(star + 2, end - star - 2);
}

QString runFileDialog(QWidget* parent, const FileDialogSettings& settings, const QString& folder,
                      const QString& lastName)
{
    QFileDialog dialog(parent, settings.title, folder, settings.filter);
    dialog.setObjectName(settings.objectName);
    dialog.setAcceptMode(settings.mode);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!settings.defaultSuffix.isEmpty()) {
        dialog.setDefaultSuffix(settings.defaultSuffix);
        // With several types offered, a typed name gets the chosen type's.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& filter) {
                             const QString suffix = filterSuffix(filter);
                             if (!suffix.isEmpty())
                                 dialog.setDefaultSuffix(suffix);
                         });
    }
    if (!lastName.isEmpty()) {
        const QFileInfo last(lastName);
        if (last.absoluteDir().exists())
            dialog.selectFile(last.absoluteFilePath());
        else
            dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString withDefaultSuffix(const QString& path, const QString& suffix)
{
    if (suffix.isEmpty() || QFileInfo(path).fileName().contains(u'.'))
        return path;
    return path + u'.' + suffix;
}

} // namespace zeltrac::ui
