// Runs every Qt Test class of the windows in one program.
#include <QApplication>
#include <QTest>

#include "ui/tests/testutil.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failed = 0;
    for (const auto& factory : zeltrac::testutil::registeredTests()) {
        std::unique_ptr<QObject> test = factory();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
