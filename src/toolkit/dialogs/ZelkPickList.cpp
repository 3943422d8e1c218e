#include "ZelkPickList.h"

#include "ZelkTextCompare.h"

#include <QAbstractButton>
#include <QListWidget>
#include <algorithm>

namespace zelk::dialogs {

bool ContainsText(const QStringList& List, const QString& Text) {
    return std::any_of(List.begin(), List.end(),
                       [&](const QString& entry) { return AnsiCompareText(entry, Text) == 0; });
}

} // namespace zelk::dialogs

TZelkPickListDlg::TZelkPickListDlg(QWidget* parent) : TZelkDialog(parent) {}

TZelkPickListDlg::~TZelkPickListDlg() = default;

void TZelkPickListDlg::BindControls(const TControls& Controls) {
    FSrcList = Controls.SrcList;
    FDstList = Controls.DstList;
    FIncludeBtn = Controls.IncludeBtn;
    FIncAllBtn = Controls.IncAllBtn;
    FExcludeBtn = Controls.ExcludeBtn;
    FExAllBtn = Controls.ExAllBtn;
    connect(FIncludeBtn, &QAbstractButton::clicked, this, Guarded([this] { IncludeBtnClick(); }));
    connect(FIncAllBtn, &QAbstractButton::clicked, this, Guarded([this] { IncAllBtnClick(); }));
    connect(FExcludeBtn, &QAbstractButton::clicked, this, Guarded([this] { ExcludeBtnClick(); }));
    connect(FExAllBtn, &QAbstractButton::clicked, this, Guarded([this] { ExcAllBtnClick(); }));
}

void TZelkPickListDlg::BindDoubleClickMoves() {
    connect(FSrcList, &QListWidget::itemDoubleClicked, this,
            Guarded([this] { IncludeBtnClick(); }));
    connect(FDstList, &QListWidget::itemDoubleClicked, this,
            Guarded([this] { ExcludeBtnClick(); }));
}

int TZelkPickListDlg::GetFirstSelection(const QListWidget* List) {
    for (int i = 0; i < List->count(); ++i)
        if (List->item(i)->isSelected())
            return i;
    return -1;
}

void TZelkPickListDlg::SetButtons() {
    const bool available = FSrcList->count() > 0;
    const bool selected = FDstList->count() > 0;
    FIncludeBtn->setEnabled(available);
    FIncAllBtn->setEnabled(available);
    FExcludeBtn->setEnabled(selected);
    FExAllBtn->setEnabled(selected);
}

void TZelkPickListDlg::SetItem(QListWidget* List, int Index) {
    List->setFocus();
    if (List->count() > 0) {
        Index = std::clamp(Index, 0, List->count() - 1);
        List->clearSelection();
        List->setCurrentRow(Index, QItemSelectionModel::ClearAndSelect);
    }
    SetButtons();
}

void TZelkPickListDlg::InsertSorted(QListWidgetItem* Item) {
    // Binary search for the first entry that sorts after the new one, so equal texts keep
    // their arrival order.
    int low = 0;
    int high = FSrcList->count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (AnsiCompareText(FSrcList->item(middle)->text(), Item->text()) <= 0)
            low = middle + 1;
        else
            high = middle;
    }
    FSrcList->insertItem(low, Item);
}

void TZelkPickListDlg::MoveSelected(QListWidget* List, QListWidget* Items) {
    for (int i = List->count() - 1; i >= 0; --i) {
        if (!List->item(i)->isSelected())
            continue;
        QListWidgetItem* item = List->takeItem(i);
        item->setSelected(false);
        if (List == FDstList)
            item->setText(LeavingDst(item->text()));
        if (Items == FSrcList)
            InsertSorted(item);
        else
            Items->addItem(item);
    }
}

void TZelkPickListDlg::IncludeBtnClick() {
    const int index = GetFirstSelection(FSrcList);
    if (index < 0 && FIncludeNeedsSelection)
        return;
    MoveSelected(FSrcList, FDstList);
    SetItem(FSrcList, index);
}

void TZelkPickListDlg::ExcludeBtnClick() {
    const int index = GetFirstSelection(FDstList);
    if (index < 0 && FExcludeNeedsSelection)
        return;
    MoveSelected(FDstList, FSrcList);
    SetItem(FDstList, index);
}

void TZelkPickListDlg::IncAllBtnClick() {
    while (FSrcList->count() > 0) {
        QListWidgetItem* item = FSrcList->takeItem(0);
        item->setSelected(false);
        FDstList->addItem(item);
    }
    SetItem(FSrcList, 0);
}

void TZelkPickListDlg::ExcAllBtnClick() {
    while (FDstList->count() > 0) {
        QListWidgetItem* item = FDstList->takeItem(0);
        item->setSelected(false);
        item->setText(LeavingDst(item->text()));
        InsertSorted(item);
    }
    SetItem(FDstList, 0);
}

QStringList TZelkPickListDlg::Selected() const {
    QStringList entries;
    for (int i = 0; i < FDstList->count(); ++i)
        entries.append(FDstList->item(i)->text());
    return entries;
}

void TZelkPickListDlg::SetSelected(const QStringList& Entries) {
    FDstList->clear();
    FDstList->addItems(Entries);
}

QStringList TZelkPickListDlg::Available() const {
    QStringList entries;
    for (int i = 0; i < FSrcList->count(); ++i)
        entries.append(FSrcList->item(i)->text());
    return entries;
}

bool TZelkPickListDlg::InSelected(const QString& Text) const {
    return zelk::dialogs::ContainsText(Selected(), Text);
}

void TZelkPickListDlg::FillAvailable(QStringList Entries) {
    const QStringList selected = Selected();
    Entries.removeIf(
        [&](const QString& entry) { return zelk::dialogs::ContainsText(selected, entry); });
    std::stable_sort(Entries.begin(), Entries.end(),
                     [](const QString& a, const QString& b) { return AnsiCompareText(a, b) < 0; });
    FSrcList->addItems(Entries);
}
