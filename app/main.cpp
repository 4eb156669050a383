// zeltrac: the formation-plan program. `zeltrac FILE.dat` opens that file at
// start-up as "Открыть" would.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <string>

#include "datafile/safefile.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/errorbox.h"
#include "workbook/qttranslation.h"

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

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        // A name whose bytes are not UTF-8 cannot reach its file through Qt:
        // say so rather than report a file that exists as missing.
        const std::string unreadable = zeltrac::datafile::unreadableFileName(argv[1]);
        const QString path = arguments.at(1);
        QTimer::singleShot(0, &form1, [&form1, path, unreadable] {
            if (unreadable.empty())
                form1.openFile(path);
            else
                zeltrac::ui::showErrorBox(&form1, QString::fromStdString(unreadable));
        });
    }
    return QApplication::exec();
}
