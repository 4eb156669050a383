#pragma once

class QCoreApplication;

namespace zeltrac {

// Installs Qt's own Russian translation on the application, so that Qt's own
// texts speak Russian: the standard file and print dialogs of the window and
// the command-line parser's messages of zeltrac-cli. The program's own texts
// are not translated. Returns false (and changes nothing) when the
// translation files are not installed.
bool installQtTranslation(QCoreApplication& application);

} // namespace zeltrac
