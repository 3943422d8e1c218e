#pragma once

// TZelkPickListDlg: the mechanics the sort, area and category dialogs share. The
// operator builds an ordered list by moving entries between the available list on the
// left (SrcList, kept in alphabetical order) and the selected list on the right
// (DstList, in the order entries arrive), with the buttons ">", ">>", "<" and "<<".

#include "ZelkDialog.h"

#include <QStringList>

class QAbstractButton;
class QLabel;
class QListWidget;
class QListWidgetItem;

class TZelkPickListDlg : public TZelkDialog {
    Q_OBJECT

public:
    explicit TZelkPickListDlg(QWidget* parent = nullptr);
    ~TZelkPickListDlg() override;

    // ">": moves the selected left entries to the right list.
    void IncludeBtnClick();
    // ">>": every left entry, in order, to the right list.
    void IncAllBtnClick();
    // "<": the selected right entries back to the left list.
    void ExcludeBtnClick();
    // "<<": every right entry back to the left list.
    void ExcAllBtnClick();

    // Walks List from its last entry to its first and moves each selected entry to the
    // end of Items (into its sorted place when Items is the left list): several selected
    // entries arrive in reverse order of their positions.
    void MoveSelected(QListWidget* List, QListWidget* Items);
    // ">" and ">>" enabled exactly when the left list has entries, "<" and "<<" exactly
    // when the right list has.
    virtual void SetButtons();
    // The position of the first selected entry; -1 when none is.
    static int GetFirstSelection(const QListWidget* List);
    // Focuses List and selects the entry at Index, clamped into the list (-1 is 0).
    void SetItem(QListWidget* List, int Index);

    // The right list's entries in order; replaced by SetSelected.
    QStringList Selected() const;
    void SetSelected(const QStringList& Entries);
    // The left list's entries in order.
    QStringList Available() const;

protected:
    struct TControls {
        QListWidget* SrcList;
        QListWidget* DstList;
        QAbstractButton* IncludeBtn;
        QAbstractButton* IncAllBtn;
        QAbstractButton* ExcludeBtn;
        QAbstractButton* ExAllBtn;
    };
    // Connects the four move buttons; called once the form is set up.
    void BindControls(const TControls& Controls);
    // A double-click moves the entry as ">" (left) or "<" (right) does.
    void BindDoubleClickMoves();
    // The text an entry takes when it leaves the right list.
    virtual QString LeavingDst(const QString& Text) const { return Text; }
    // Fills the left list with Entries, in alphabetical order, leaving out those the
    // right list already holds (case ignored).
    void FillAvailable(QStringList Entries);
    // Whether the right list holds Text, case ignored.
    bool InSelected(const QString& Text) const;

    // ">" with nothing selected does nothing (area and category dialogs) rather than
    // selecting the first left entry (sort dialog).
    bool FIncludeNeedsSelection = true;
    // "<" with nothing selected does nothing (sort dialog) rather than selecting the
    // first right entry (area and category dialogs).
    bool FExcludeNeedsSelection = false;

    QListWidget* FSrcList = nullptr;
    QListWidget* FDstList = nullptr;

private:
    void InsertSorted(QListWidgetItem* Item);

    QAbstractButton* FIncludeBtn = nullptr;
    QAbstractButton* FIncAllBtn = nullptr;
    QAbstractButton* FExcludeBtn = nullptr;
    QAbstractButton* FExAllBtn = nullptr;
};

namespace zelk::dialogs {

// Whether List holds Text, case ignored as the locale compares texts.
bool ContainsText(const QStringList& List, const QString& Text);

} // namespace zelk::dialogs
