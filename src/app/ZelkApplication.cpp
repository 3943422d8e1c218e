#include "ZelkApplication.h"

#include "Exceptions.h"
#include "ShowException.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkNotResponding.h"
#include "objbase.h"

#include <QMessageBox>

const QString TZelkApplication::Title = QStringLiteral("Zelk AE Client");

TZelkApplication::TZelkApplication(int& argc, char** argv) : QApplication(argc, argv) {
    CoInitialize(nullptr);
    setApplicationName(Title);
    SetShowExceptionHandler(&TZelkApplication::ShowExceptionBox);
    zelk::runtime::SetNotRespondingHandler(&AskServerNotResponding);
}

TZelkApplication::~TZelkApplication() {
    zelk::runtime::SetNotRespondingHandler({});
    SetShowExceptionHandler({});
    CoUninitialize();
}

void TZelkApplication::RegisterStartup() {
    RegisterZelkCOMLink();
    zelk::aesim::RegisterAESimulator({.Clock = zelk::aesim::TSimClockMode::RealTime});
}

void TZelkApplication::ShowExceptionBox(const std::exception& E) {
    const auto* own = dynamic_cast<const Exception*>(&E);
    const QString message = own ? own->Message() : QString::fromUtf8(E.what());
    QMessageBox::critical(activeWindow(), Title, message);
}

bool TZelkApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception(QStringLiteral("Unknown exception")));
    }
    return false;
}
