#pragma once

#include <QFileDialog>
#include <QString>

namespace zeltrac::ui {

// What a file dialog of the program asks for.
struct FileDialogSettings
{
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
    QString title;
    QString objectName;
    QString filter;
    // Added to a name typed without an extension; none when empty. When set,
    // choosing another file type takes that type's suffix instead.
    QString defaultSuffix;
};

// Runs the program's file dialog: a typed name is taken as it is (opening a
// missing file is reported by the command, saving replaces a file without
// asking). The name chosen last is offered again in its own folder, so that
// accepting it at once takes the same file again. Returns the chosen name,
// or an empty one when cancelled.
QString runFileDialog(QWidget* parent, const FileDialogSettings& settings, const QString& folder,
                      const QString& lastName);

// The suffix of a filter's first pattern ("Рисунок PNG (*.png)" -> "png"),
// empty when it has none.
QString filterSuffix(const QString& filter);

// `path` with the default suffix added when its file name has no extension.
QString withDefaultSuffix(const QString& path, const QString& suffix);

} // namespace zeltrac::ui
