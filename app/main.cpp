// zeltrac: the formation-plan program. `zeltrac FILE.dat` opens that file at
// start-up as "Открыть" would, unless the planner restores instead what a
// program that died had not saved (kept in the user's data folder).
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <QTimer>

#include <string>

#include "datafile/safefile.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/errorbox.h"
#include "ui/recovery.h"
#include "workbook/qttranslation.h"
#include "workbook/recovery.h"

int main(int argc, char** argv)
{
    zeltrac::datafile::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    // Latin-1, so that the id stands in the program as the desktop file names it.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(ZELTRAC_APP_ID));
    // The standard dialogs in Russian, like the program's own texts.
    zeltrac::installQtTranslation(app);

    Form1 form1;
    // Closing the main window ends the program; the result window only hides.
    Form2 form2;
    form1.setResultWindow(&form2);
    form1.show();

    // What was not saved when a program died is offered first; restored, it
    // stands instead of a file named on the command line.
    const QString recoveryFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
            .filePath(QStringLiteral("recovery"));
    zeltrac::RecoveryWriter recovery(form1.workbook(), recoveryFolder);
    const QStringList arguments = QApplication::arguments();
    // A name whose bytes are not UTF-8 cannot reach its file through Qt: say
    // so rather than report a file that exists as missing.
    const std::string unreadable =
        arguments.size() > 1 ? zeltrac::datafile::unreadableFileName(argv[1]) : std::string();
    QTimer::singleShot(0, &form1, [&form1, &recoveryFolder, &arguments, &unreadable] {
        if (zeltrac::ui::offerRecovery(&form1, form1.workbook(), recoveryFolder) ||
            arguments.size() < 2)
            return;
        if (unreadable.empty())
            form1.openFile(arguments.at(1));
        else
            zeltrac::ui::showErrorBox(&form1, QString::fromStdString(unreadable));
    });
    const int code = QApplication::exec();
    if (code == 0)
        recovery.finish();
    return code;
}
