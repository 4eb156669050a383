// Stands in for the program in the crash test: a session with a recovery
// writer in the folder argv[1], "Cm" of station 1 typed as argv[2]; runs
// until it is killed.
#include <QCoreApplication>

#include "workbook/recovery.h"
#include "workbook/workbook.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    zeltrac::Workbook book;
    zeltrac::RecoveryWriter recovery(book, QString::fromLocal8Bit(argv[1]));
    book.setParam(0, 0, QString::fromUtf8(argv[2]));
    return QCoreApplication::exec();
}
