#include "ZelkDialog.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QTimer>

TZelkDialog::TZelkDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {}

TZelkDialog::~TZelkDialog() = default;

int TZelkDialog::ExecModal() {
    FShowError = nullptr;
    const QPointer<TZelkDialog> self(this);
    const int result = exec();
    if (!self)
        return QDialog::Rejected;
    if (FShowError)
        std::rethrow_exception(std::exchange(FShowError, nullptr));
    return result;
}

void TZelkDialog::SetFixedBorder() {
    if (layout())
        layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TZelkDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!FPlaced) {
        FPlaced = true;
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    if (FDeferredFormShow)
        QTimer::singleShot(0, this, [this] { RunFormShow(); });
    else
        RunFormShow();
}

void TZelkDialog::RunFormShow() {
    const QPointer<TZelkDialog> self(this);
    try {
        FormShow();
    } catch (const std::exception& e) {
        // The window went away while its handler ran: only the display is left to tell.
        if (!self) {
            ShowException(e);
            return;
        }
        // The window cannot be used half filled: it closes, and whoever opened it gets
        // the exception (ExecModal), or the application's display when nobody waits.
        FShowError = std::current_exception();
        QTimer::singleShot(0, this, [this] {
            if (!isModal() && FShowError) {
                try {
                    std::rethrow_exception(std::exchange(FShowError, nullptr));
                } catch (const std::exception& e) {
                    ShowException(e);
                }
            }
            reject();
        });
    }
}
