#pragma once

// TZelkDialog: what the toolkit's modal windows share. Each is created for one showing,
// centred on the screen, with only the system menu among its title-bar icons. Its show
// handler (FormShow) fills the controls; an exception the handler raises while the
// window is shown modally closes the window and is raised again by ExecModal, so the
// unit function that opened the window passes it to its caller. Widget signals reach the
// dialog's handlers through Guarded, which hands an escaping exception to the
// application's exception display instead of letting it cross the event loop.

#include "ShowException.h"

#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <exception>
#include <utility>

namespace zelk::dialogs {

// One update of a list control: painting is held until the scope ends, also when
// filling the control raises.
class TUpdateScope {
public:
    explicit TUpdateScope(QWidget* Widget) : FWidget(Widget) { FWidget->setUpdatesEnabled(false); }
    ~TUpdateScope() { FWidget->setUpdatesEnabled(true); }
    TUpdateScope(const TUpdateScope&) = delete;
    TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
    QWidget* FWidget;
};

// A dialog made for one showing. It is made on the heap and watched, since its parent
// may destroy it while it is shown; whatever is left of it goes with this holder.
template <class TDialog> class TOneShowing {
public:
    explicit TOneShowing(QWidget* Parent) : FDialog(new TDialog(Parent)) {}
    ~TOneShowing() { delete FDialog.data(); }
    TOneShowing(const TOneShowing&) = delete;
    TOneShowing& operator=(const TOneShowing&) = delete;

    TDialog* operator->() const noexcept { return FDialog.data(); }
    TDialog* Get() const noexcept { return FDialog.data(); }
    // Shows the dialog modally; whether it closed with OK and is still there.
    bool Confirmed() { return FDialog->ExecModal() == QDialog::Accepted && FDialog; }

private:
    QPointer<TDialog> FDialog;
};

// Shows a pick list whose right list starts as List; Setup gives the dialog its input.
// On OK List takes the right list and the result is true; otherwise List stays.
template <class TDialog, class Setup>
bool ShowPickList(QStringList& List, QWidget* Parent, Setup&& SetInput) {
    TOneShowing<TDialog> dialog(Parent);
    SetInput(*dialog.Get());
    dialog->SetSelected(List);
    if (!dialog.Confirmed())
        return false;
    List = dialog->Selected();
    return true;
}

} // namespace zelk::dialogs

class TZelkDialog : public QDialog {
    Q_OBJECT

public:
    explicit TZelkDialog(QWidget* parent = nullptr);
    ~TZelkDialog() override;

    // Fills the window from its input fields; called when the window is shown.
    virtual void FormShow() {}
    // Shows the window modally; raises what its show handler raised. Rejected when the
    // window was destroyed while it was shown.
    int ExecModal();

protected:
    void showEvent(QShowEvent* event) override;
    // A window whose show handler lets the user interface process messages runs it once
    // the window's own event loop is running, so closing it from there ends that loop.
    void SetDeferredFormShow(bool deferred) noexcept { FDeferredFormShow = deferred; }
    // Fixes the window's size at its layout's size: a dialog border that does not resize.
    void SetFixedBorder();

    template <class Fn> static auto Guarded(Fn fn) {
        return [fn = std::move(fn)]() {
            try {
                fn();
            } catch (const std::exception& e) {
                ShowException(e);
            }
        };
    }

private:
    void RunFormShow();

    std::exception_ptr FShowError;
    bool FDeferredFormShow = false;
    bool FPlaced = false;
};
