#include "ZelkSelCategoryDlg.h"

#include "ZelkEventItems.h"
#include "ui_ZelkSelCategoryDlg.h"

TZelkSelCatDlg::TZelkSelCatDlg(QWidget* parent)
    : TZelkPickListDlg(parent), ui(std::make_unique<Ui::TZelkSelCatDlg>()) {
    ui->setupUi(this);
    SetFixedBorder();
    BindControls(
        {ui->SrcList, ui->DstList, ui->IncludeBtn, ui->IncAllBtn, ui->ExcludeBtn, ui->ExAllBtn});
    BindDoubleClickMoves();
    connect(ui->bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TZelkSelCatDlg::~TZelkSelCatDlg() = default;

void TZelkSelCatDlg::FormShow() {
    ui->SrcList->clear();
    if (FOPCServer && FOPCServer->Active()) {
        ui->pInfo->hide();
        QStringList names;
        FOPCServer->Categories()->NamesToStrings(names);
        FillAvailable(names);
    }
    SetButtons();
}

bool SelectCategories(TZelkEventServer* Server, QStringList& List, QWidget* Parent) {
    return zelk::dialogs::ShowPickList<TZelkSelCatDlg>(
        List, Parent, [&](TZelkSelCatDlg& dialog) { dialog.SetOPCServer(Server); });
}
