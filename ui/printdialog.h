#pragma once

class QPrinter;
class QWidget;

namespace zeltrac::ui {

// The print dialog every window prints through; false when cancelled.
bool execPrintDialog(QWidget* parent, QPrinter& printer);

} // namespace zeltrac::ui
