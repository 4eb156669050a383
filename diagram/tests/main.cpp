// The diagram's tests: GoogleTest inside a QGuiApplication, so that the
// painting tests have fonts and images.
#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Listing the tests at build time runs this program without a display too.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
