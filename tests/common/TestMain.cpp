#include <QApplication>
#include <gtest/gtest.h>

// Every suite runs with a Qt application object on the main thread, which is the
// user-interface thread of the code under test. Widget suites need the offscreen
// platform; CTest sets it, and a suite started by hand falls back to it too.
int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
