#pragma once

// TConditionStateDlg: a read-only window that shows one condition snapshot as the server
// reported it: source, condition, quality, acknowledger and comment, the four time
// stamps, the state flags, the sub-conditions with the active one marked by a bell, and
// the attribute values with their result codes. It only reads the snapshot.

#include "DateTime.h"
#include "ZelkDialog.h"

#include <memory>

class QLineEdit;
class TZelkEventCondition;

namespace Ui {
class TConditionStateDlg;
}

class TConditionStateDlg : public TZelkDialog {
    Q_OBJECT

public:
    explicit TConditionStateDlg(QWidget* parent = nullptr);
    ~TConditionStateDlg() override;

    // The snapshot to show; the caller owns it.
    TZelkEventCondition* Conditionstate() const noexcept { return FConditionstate; }
    void SetConditionstate(TZelkEventCondition* Value) noexcept { FConditionstate = Value; }

    // Fills every control from the snapshot.
    void FormShow() override;
    // "unknown" for 0 (the server gave no time), else the locale's short date and long
    // time, the time left out at exactly midnight.
    static void SetTimeText(QLineEdit* Edit, TDateTime Time);

private:
    void FillSubConditions();
    void FillCustomProps();

    std::unique_ptr<Ui::TConditionStateDlg> ui;
    TZelkEventCondition* FConditionstate = nullptr; // not owned
};

// Shows the snapshot in a modal window, then destroys the window. Nothing happens for a
// null snapshot. The snapshot stays the caller's.
void ShowConditionState(TZelkEventCondition* Condition, QWidget* Parent = nullptr);
