#pragma once

class QCoreApplication;

namespace zeltrac::ui {

// Installs Qt's own Russian translation on the application, so that the
// standard file and print dialogs speak Russian. The program's own texts are
// not translated. Returns false (and changes nothing) when the translation
// files are not installed.
bool installQtTranslation(QCoreApplication& application);

} // namespace zeltrac::ui
