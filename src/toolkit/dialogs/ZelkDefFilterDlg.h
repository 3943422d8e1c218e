#pragma once

// TZelkDefineFilterDlg: edits the event server's filter collection while connected. The
// operator picks a filter on the left, edits its name, active flag, event types,
// severity range and its lists of categories, areas and sources (in the pick-list
// dialogs), and applies it with Update; filters are added and deleted at once.

#include "ZelkDialog.h"
#include "ZelkEventServer.h"

#include <QPointer>
#include <QStringList>
#include <memory>

class TZelkEventFilter;

namespace Ui {
class TZelkDefineFilterDlg;
}

class TZelkDefineFilterDlg : public TZelkDialog {
    Q_OBJECT

public:
    // The tabs of TabControl1, each with its working list and the filter's list.
    enum TFilterTab { ftCategories = 0, ftAreas = 1, ftSources = 2 };

    explicit TZelkDefineFilterDlg(QWidget* parent = nullptr);
    ~TZelkDefineFilterDlg() override;

    // The event server whose filters are edited; not owned.
    TZelkEventServer* Server() const noexcept { return FServer; }
    void SetServer(TZelkEventServer* Value) noexcept { FServer = Value; }
    // The working copies of the shown filter's lists; Update writes them into it.
    QStringList& CatList() noexcept { return FCatList; }
    QStringList& AreaList() noexcept { return FAreaList; }
    QStringList& SourceList() noexcept { return FSourceList; }

    // Lists the filters ("Filter_" and the position for a blank name), selects the first.
    void FormShow() override;
    // Shows the selected filter, or disables the controls when none is selected.
    void FilterBoxClick();
    // Puts the working list of the current tab into Listbox.
    void TabControl1Change();
    // Opens the pick-list dialog of the current tab on its working list.
    void bFilterDefClick();
    // A check box or an edit changed: Update has something to apply.
    void cActiveClick();
    void eFilterNameChange();
    // Adds an inactive filter and shows it.
    void bFilterAddClick();
    // Deletes the selected filter; the entry before it becomes the selected one.
    void bFilterDelClick();
    // Writes the controls into the selected filter and applies it. A severity that is
    // not an integer raises EConvertError after name, active flag and event types are
    // written, leaving severities and lists alone and Update enabled.
    void bUpdateClick();

private:
    void EnableControls(bool Enabled);
    void ShowFilter(TZelkEventFilter* Filter);
    // The position of the selected filter; -1 when none is selected.
    int SelectedFilter() const;
    void SelectFilter(int Index);
    QStringList& WorkingList(int Tab);
    // The text of a filter's entry: its name, or "Filter_" and its position from 1.
    static QString EntryText(const TZelkEventFilter* Filter, int Index);

    std::unique_ptr<Ui::TZelkDefineFilterDlg> ui;
    QPointer<TZelkEventServer> FServer;
    QStringList FCatList;
    QStringList FAreaList;
    QStringList FSourceList;
};

// Shows the filter dialog for Server. The dialog has no OK button: edits are applied by
// Update while it is open, so the result is always false.
bool ShowDefineFilterDlg(TZelkEventServer* Server, QWidget* Parent = nullptr);

namespace zelk::dialogs {

// The runtime's integer conversion: optional blanks, an optional sign, decimal digits or
// a hexadecimal number after "$" or "0x". EConvertError "'%s' is not a valid integer
// value" for anything else or a number outside 32 bits.
int StrToInt(const QString& Text);

} // namespace zelk::dialogs
