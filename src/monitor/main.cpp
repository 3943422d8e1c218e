#include "MonitorProgram.h"

#include <QCoreApplication>

// The headless alarm monitor: QtCore only, so it runs without a display.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return zelk::monitor::RunMonitor(QCoreApplication::arguments());
}
