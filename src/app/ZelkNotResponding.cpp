#include "ZelkNotResponding.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

zelk::runtime::tZelkBusyAnswer AskServerNotResponding(zelk::runtime::TZelkBusyCall& Call) {
    using zelk::runtime::tZelkBusyAnswer;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Zelk AE Client"),
                    QStringLiteral("Server is not responding"), QMessageBox::NoButton,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ServerNotResponding"));
    box.setInformativeText(
        QStringLiteral("%1 has not answered yet. Wait for it, or disconnect from it.")
            .arg(Call.Server().isEmpty() ? QStringLiteral("The server") : Call.Server()));
    QPushButton* wait = box.addButton(QStringLiteral("Wait"), QMessageBox::AcceptRole);
    wait->setObjectName(QStringLiteral("Wait"));
    QPushButton* disconnect =
        box.addButton(QStringLiteral("Disconnect"), QMessageBox::DestructiveRole);
    disconnect->setObjectName(QStringLiteral("Disconnect"));
    box.setDefaultButton(wait);
    box.setEscapeButton(wait);
    // A call that returns while the box is open answers the question itself.
    QObject::connect(&Call, &zelk::runtime::TZelkBusyCall::CallReturned, &box,
                     [&box] { box.done(QMessageBox::Ok); });
    if (Call.Returned())
        return tZelkBusyAnswer::Wait;
    box.exec();
    return box.clickedButton() == disconnect ? tZelkBusyAnswer::Disconnect : tZelkBusyAnswer::Wait;
}
