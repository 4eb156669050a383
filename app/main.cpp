// zeltrac: the formation-plan program. `zeltrac FILE.dat` opens that file at
// start-up as "Открыть" would.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "datafile/safefile.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/qttranslation.h"

int main(int argc, char** argv)
{
    zeltrac::datafile::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    // The standard dialogs in Russian, like the program's own texts.
    zeltrac::ui::installQtTranslation(app);

    Form1 form1;
    // Closing the main window ends the program; the result window only hides.
    Form2 form2;
    form1.setResultWindow(&form2);
    form1.show();

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString path = arguments.at(1);
        QTimer::singleShot(0, &form1, [&form1, path] { form1.openFile(path); });
    }
    return QApplication::exec();
}
