#include "ui/printdialog.h"

#include <QPrintDialog>
#include <QPrinter>

namespace zeltrac::ui {

bool execPrintDialog(QWidget* parent, QPrinter& printer)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintDialog1"));
    return dialog.exec() == QDialog::Accepted;
}

} // namespace zeltrac::ui
