#include "ZelkEventSortDlg.h"

#include "ZelkEvent.h"
#include "ZelkEventServer.h"
#include "ZelkTextCompare.h"
#include "ui_ZelkEventSortDlg.h"

#include <QMenu>
#include <QMetaProperty>

namespace {

const QString DescendingMark = QStringLiteral("(D)");

} // namespace

QString StripDescending(const QString& S) {
    const qsizetype mark = S.indexOf(DescendingMark);
    if (mark < 0)
        return S;
    return S.left(std::max<qsizetype>(mark - 1, 0));
}

QString ToggleDescending(const QString& S) {
    if (S.contains(DescendingMark))
        return StripDescending(S);
    return S + QLatin1Char(' ') + DescendingMark;
}

QStringList ZelkEventPropertyNames() {
    QStringList names;
    const QMetaObject& meta = TZelkEvent::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        names.append(QString::fromLatin1(meta.property(i).name()));
    return names;
}

TZelkEvSortDlg::TZelkEvSortDlg(QWidget* parent)
    : TZelkPickListDlg(parent), ui(std::make_unique<Ui::TZelkEvSortDlg>()) {
    ui->setupUi(this);
    SetFixedBorder();
    FIncludeNeedsSelection = false;
    FExcludeNeedsSelection = true;
    BindControls(
        {ui->SrcList, ui->DstList, ui->IncludeBtn, ui->IncAllBtn, ui->ExcludeBtn, ui->ExAllBtn});

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* up = menu->addAction(QStringLiteral("Move up"));
    up->setObjectName(QStringLiteral("Moveup1"));
    QAction* down = menu->addAction(QStringLiteral("Move down"));
    down->setObjectName(QStringLiteral("Movedown1"));
    connect(up, &QAction::triggered, this, Guarded([this] { Moveup1Click(); }));
    connect(down, &QAction::triggered, this, Guarded([this] { Movedown1Click(); }));
    ui->DstList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(
        ui->DstList, &QWidget::customContextMenuRequested, this,
        [this, menu](const QPoint& at) { menu->popup(ui->DstList->viewport()->mapToGlobal(at)); });
    connect(ui->DstList, &QListWidget::itemDoubleClicked, this,
            Guarded([this] { DstListDblClick(); }));
    connect(ui->bOk, &QPushButton::clicked, this, Guarded([this] { bOkClick(); }));
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TZelkEvSortDlg::~TZelkEvSortDlg() = default;

void TZelkEvSortDlg::FormShow() {
    ui->SrcList->clear();
    ui->DstList->clear();
    ui->DstList->addItems(FSortProps);
    QStringList chosen;
    for (const QString& key : std::as_const(FSortProps))
        chosen.append(StripDescending(key));
    QStringList offered = ZelkEventPropertyNames();
    offered.removeIf(
        [&](const QString& name) { return zelk::dialogs::ContainsText(chosen, name); });
    FillAvailable(offered);
    SetButtons();
}

void TZelkEvSortDlg::DstListDblClick() {
    QListWidgetItem* item = ui->DstList->currentItem();
    if (item)
        item->setText(ToggleDescending(item->text()));
}

void TZelkEvSortDlg::Moveup1Click() {
    const int index = ui->DstList->currentRow();
    if (index > 0) {
        ui->DstList->insertItem(index - 1, ui->DstList->takeItem(index));
        ui->DstList->setCurrentRow(index - 1, QItemSelectionModel::ClearAndSelect);
    }
}

void TZelkEvSortDlg::Movedown1Click() {
    const int index = ui->DstList->currentRow();
    if (index >= 0 && index < ui->DstList->count() - 1) {
        ui->DstList->insertItem(index + 1, ui->DstList->takeItem(index));
        ui->DstList->setCurrentRow(index + 1, QItemSelectionModel::ClearAndSelect);
    }
}

void TZelkEvSortDlg::bOkClick() {
    FSortProps = Selected();
    accept();
}

bool ShowEventSortDlg(TZelkEventServer* Server, QWidget* Parent) {
    if (!Server)
        return false;
    zelk::dialogs::TOneShowing<TZelkEvSortDlg> dialog(Parent);
    QStringList keys = Server->EventlistSort();
    keys.removeAll(QStringLiteral("none"));
    dialog->SortProps() = keys;
    if (!dialog.Confirmed())
        return false;
    Server->SetEventlistSort(dialog->SortProps());
    return true;
}
