#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelk AE Client"));

    // Transports register before any client component exists: a component takes the
    // first registered one as its protocol. The simulated server makes a plant's alarms
    // available on this computer, as an installed AE server would.
    RegisterZelkCOMLink();
    zelk::aesim::RegisterAESimulator({.Clock = zelk::aesim::TSimClockMode::RealTime});

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zelk AE Client"));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
