// zeltrac: the formation-plan program. `zeltrac FILE.dat` opens that file at
// start-up as "Открыть" would.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "datafile/safefile.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"

int main(int argc, char** argv)
{
    zeltrac::datafile::ignoreFileSizeSignal();
    QApplication app(argc, argv);

    Form1 form1;
    Form2 form2;
    // Closing the main window ends the program, the result window with it.
    form2.setAttribute(Qt::WA_QuitOnClose, false);
    form1.setResultWindow(&form2);
    form1.show();

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString path = arguments.at(1);
        QTimer::singleShot(0, &form1, [&form1, path] { form1.openFile(path); });
    }
    return QApplication::exec();
}
