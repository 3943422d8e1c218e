#include "ZelkSelSourceDlg.h"

#include "ZelkEventServer.h"
#include "ZelkImages.h"
#include "ZelkPickList.h"
#include "ui_ZelkSelSourceDlg.h"

#include <QKeyEvent>

namespace {

constexpr int ImageRole = Qt::UserRole;

} // namespace

TZelkSelectSourceDlg::TZelkSelectSourceDlg(QWidget* parent)
    : TZelkDialog(parent), ui(std::make_unique<Ui::TZelkSelectSourceDlg>()) {
    ui->setupUi(this);
    SetFixedBorder();
    ui->bBack->setIcon(QIcon(ZelkFolderUpImage()));
    ui->ListView->header()->setSectionResizeMode(QHeaderView::Stretch);
    ui->ListView->installEventFilter(this);
    ui->DstList->installEventFilter(this);
    connect(ui->ListView, &QTreeWidget::itemDoubleClicked, this,
            Guarded([this] { ListViewDblClick(); }));
    connect(ui->bBack, &QToolButton::clicked, this, Guarded([this] { bBackClick(); }));
    connect(ui->IncludeBtn, &QToolButton::clicked, this,
            Guarded([this] { IncludeSources(false); }));
    connect(ui->IncAllBtn, &QToolButton::clicked, this, Guarded([this] { IncludeSources(true); }));
    connect(ui->ExcludeBtn, &QToolButton::clicked, this,
            Guarded([this] { ExcludeSources(false); }));
    connect(ui->ExAllBtn, &QToolButton::clicked, this, Guarded([this] { ExcludeSources(true); }));
    connect(ui->bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TZelkSelectSourceDlg::~TZelkSelectSourceDlg() = default;

TZelkSelectSourceDlg::TRowImage TZelkSelectSourceDlg::ImageOf(const QTreeWidgetItem* Row) {
    return static_cast<TRowImage>(Row->data(0, ImageRole).toInt());
}

void TZelkSelectSourceDlg::FormShow() {
    if (FBrowser && FBrowser->OPCServer() && FBrowser->OPCServer()->Active()) {
        ui->pInfo->hide();
        FillList();
    }
    SetButtons();
}

void TZelkSelectSourceDlg::FillList() {
    ui->ListView->clear();
    ui->ePath->setText(FBrowser->CurrentPath().isEmpty() ? QStringLiteral("Root")
                                                         : FBrowser->CurrentPosition());
    SetButtons();
    // Both listings are read before any row is shown: a list that failed half-way would
    // offer names of another position.
    FBrowser->ShowAreas();
    const QStringList areas = FBrowser->Items();
    FBrowser->ShowSources();
    const QStringList sources = FBrowser->Items();
    {
        const zelk::dialogs::TUpdateScope update(ui->ListView);
        const QIcon folder(ZelkFolderImage());
        const QIcon bell(ZelkBellImages().at(1));
        const auto addRow = [&](const QString& name, const QIcon& icon, TRowImage image) {
            auto* row = new QTreeWidgetItem(ui->ListView, {name});
            row->setIcon(0, icon);
            row->setData(0, ImageRole, image);
        };
        for (const QString& area : areas)
            addRow(area, folder, riArea);
        for (const QString& source : sources)
            addRow(source, bell, riSource);
    }
    if (QTreeWidgetItem* first = ui->ListView->topLevelItem(0)) {
        ui->ListView->setCurrentItem(first, 0, QItemSelectionModel::ClearAndSelect);
        ui->ListView->setFocus();
    }
    SetButtons();
}

bool TZelkSelectSourceDlg::OpenArea() {
    if (!FBrowser)
        return false;
    // The first selected row, in row order.
    const QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < ui->ListView->topLevelItemCount() && !row; ++i)
        if (ui->ListView->topLevelItem(i)->isSelected())
            row = ui->ListView->topLevelItem(i);
    if (!row || ImageOf(row) != riArea)
        return false;
    if (!FBrowser->MoveDown(row->text(0)))
        return false;
    FillList();
    return true;
}

void TZelkSelectSourceDlg::GoBack() {
    if (!FBrowser || FBrowser->CurrentPath().isEmpty())
        return;
    FBrowser->Moveup();
    FillList();
}

void TZelkSelectSourceDlg::IncludeSources(bool All) {
    if (!FBrowser)
        return;
    for (int i = 0; i < ui->ListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ui->ListView->topLevelItem(i);
        if (ImageOf(row) != riSource || !(All || row->isSelected()))
            continue;
        const QString qualified = FBrowser->GetItemId(row->text(0));
        if (!zelk::dialogs::ContainsText(Selected(), qualified))
            ui->DstList->addItem(qualified);
    }
    SetButtons();
}

void TZelkSelectSourceDlg::ExcludeSources(bool All) {
    for (int i = ui->DstList->count() - 1; i >= 0; --i)
        if (All || ui->DstList->item(i)->isSelected())
            delete ui->DstList->takeItem(i);
    SetButtons();
}

void TZelkSelectSourceDlg::SetButtons() {
    bool sources = false;
    for (int i = 0; i < ui->ListView->topLevelItemCount() && !sources; ++i)
        sources = ImageOf(ui->ListView->topLevelItem(i)) != riArea;
    const bool selected = ui->DstList->count() > 0;
    ui->IncludeBtn->setEnabled(sources);
    ui->IncAllBtn->setEnabled(sources);
    ui->ExcludeBtn->setEnabled(selected);
    ui->ExAllBtn->setEnabled(selected);
}

void TZelkSelectSourceDlg::ListViewDblClick() {
    OpenArea();
}

void TZelkSelectSourceDlg::bBackClick() {
    GoBack();
}

bool TZelkSelectSourceDlg::ListViewKeyDown(int Key) {
    switch (Key) {
    case Qt::Key_Backspace: {
        const bool moved = FBrowser && !FBrowser->CurrentPath().isEmpty();
        GoBack();
        return moved;
    }
    case Qt::Key_Space:
        return OpenArea();
    case Qt::Key_Right:
        IncludeSources(false);
        return false;
    default:
        return false;
    }
}

void TZelkSelectSourceDlg::DstListKeyDown(int Key) {
    if (Key == Qt::Key_Left || Key == Qt::Key_Delete)
        ExcludeSources(false);
}

bool TZelkSelectSourceDlg::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        bool refilled = false;
        Guarded([&] {
            if (Watched == ui->ListView)
                refilled = ListViewKeyDown(key);
            else if (Watched == ui->DstList)
                DstListKeyDown(key);
        })();
        // A key that replaced the list is done: its ordinary effect would act on rows it
        // was not meant for (Space would unselect the new first row).
        if (refilled)
            return true;
    }
    // Otherwise the keys keep their ordinary effect in the lists as well.
    return TZelkDialog::eventFilter(Watched, Event);
}

QStringList TZelkSelectSourceDlg::Selected() const {
    QStringList entries;
    for (int i = 0; i < ui->DstList->count(); ++i)
        entries.append(ui->DstList->item(i)->text());
    return entries;
}

void TZelkSelectSourceDlg::SetSelected(const QStringList& Entries) {
    ui->DstList->clear();
    ui->DstList->addItems(Entries);
}

bool SelectSources(TZelkEventAreaBrowser* Browser, QStringList& List, QWidget* Parent) {
    return zelk::dialogs::ShowPickList<TZelkSelectSourceDlg>(
        List, Parent, [&](TZelkSelectSourceDlg& dialog) { dialog.SetBrowser(Browser); });
}
