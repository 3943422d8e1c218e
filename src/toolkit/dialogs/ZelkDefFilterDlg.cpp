#include "ZelkDefFilterDlg.h"

#include "ZelkEventFilter.h"
#include "ZelkImages.h"
#include "ZelkSelAreaDlg.h"
#include "ZelkSelCategoryDlg.h"
#include "ZelkSelSourceDlg.h"
#include "ui_ZelkDefFilterDlg.h"

#include <QSignalBlocker>
#include <limits>

using enum ZelkAEEnums::TZelkEventtype;

namespace zelk::dialogs {

int StrToInt(const QString& Text) {
    QStringView digits = QStringView(Text).trimmed();
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'-' || digits.front() == u'+')) {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    int base = 10;
    if (digits.startsWith(u'$')) {
        base = 16;
        digits = digits.mid(1);
    } else if (digits.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        digits = digits.mid(2);
    }
    bool ok = !digits.isEmpty() && digits.front() != u'-' && digits.front() != u'+';
    const qlonglong magnitude = ok ? digits.toLongLong(&ok, base) : 0;
    const qlonglong value = negative ? -magnitude : magnitude;
    if (!ok || value < std::numeric_limits<qint32>::min() ||
        value > std::numeric_limits<qint32>::max())
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(Text));
    return static_cast<int>(value);
}

} // namespace zelk::dialogs

TZelkDefineFilterDlg::TZelkDefineFilterDlg(QWidget* parent)
    : TZelkDialog(parent), ui(std::make_unique<Ui::TZelkDefineFilterDlg>()) {
    ui->setupUi(this);
    ui->TabControl1->AddTab(QStringLiteral("Categories"));
    ui->TabControl1->AddTab(QStringLiteral("Areas"));
    ui->TabControl1->AddTab(QStringLiteral("Sources"));
    ui->TabControl1->SetTabIndex(ftCategories);
    ui->bFilterDef->setIcon(QIcon(ZelkFunnelDefineImage()));
    ui->bFilterAdd->setIcon(QIcon(ZelkFunnelAddImage()));
    ui->bFilterDel->setIcon(QIcon(ZelkFunnelDeleteImage()));

    connect(ui->FilterBox, &QListWidget::currentRowChanged, this,
            Guarded([this] { FilterBoxClick(); }));
    connect(ui->TabControl1, &TZelkTabControl::Change, this,
            Guarded([this] { TabControl1Change(); }));
    connect(ui->bFilterDef, &QToolButton::clicked, this, Guarded([this] { bFilterDefClick(); }));
    connect(ui->Listbox, &QListWidget::itemDoubleClicked, this,
            Guarded([this] { bFilterDefClick(); }));
    for (QCheckBox* box : {ui->cActive, ui->cSimple, ui->cCondition, ui->cTracking})
        connect(box, &QCheckBox::toggled, this, [this] { cActiveClick(); });
    for (QLineEdit* edit : {ui->eFilterName, ui->eFrom, ui->eTo})
        connect(edit, &QLineEdit::textChanged, this, [this] { eFilterNameChange(); });
    connect(ui->bFilterAdd, &QToolButton::clicked, this, Guarded([this] { bFilterAddClick(); }));
    connect(ui->bFilterDel, &QToolButton::clicked, this, Guarded([this] { bFilterDelClick(); }));
    connect(ui->bUpdate, &QPushButton::clicked, this, Guarded([this] { bUpdateClick(); }));
    connect(ui->bClose, &QPushButton::clicked, this, &QDialog::reject);
}

TZelkDefineFilterDlg::~TZelkDefineFilterDlg() = default;

QString TZelkDefineFilterDlg::EntryText(const TZelkEventFilter* Filter, int Index) {
    if (Filter->Name().trimmed().isEmpty())
        return QStringLiteral("Filter_%1").arg(Index + 1);
    return Filter->Name();
}

int TZelkDefineFilterDlg::SelectedFilter() const {
    const QList<QListWidgetItem*> selected = ui->FilterBox->selectedItems();
    return selected.isEmpty() ? -1 : ui->FilterBox->row(selected.front());
}

void TZelkDefineFilterDlg::SelectFilter(int Index) {
    // A program's own selection does not count as a click.
    const QSignalBlocker blocker(ui->FilterBox);
    if (Index < 0) {
        ui->FilterBox->clearSelection();
        ui->FilterBox->setCurrentRow(-1);
    } else {
        ui->FilterBox->setCurrentRow(Index, QItemSelectionModel::ClearAndSelect);
    }
}

QStringList& TZelkDefineFilterDlg::WorkingList(int Tab) {
    switch (Tab) {
    case ftAreas:
        return FAreaList;
    case ftSources:
        return FSourceList;
    default:
        return FCatList;
    }
}

void TZelkDefineFilterDlg::FormShow() {
    {
        const QSignalBlocker blocker(ui->FilterBox);
        ui->FilterBox->clear();
        if (FServer) {
            TZelkEventFilters* filters = FServer->Filter();
            for (int i = 0; i < filters->Count(); ++i)
                ui->FilterBox->addItem(EntryText(filters->Items(i), i));
        }
    }
    SelectFilter(ui->FilterBox->count() > 0 ? 0 : -1);
    FilterBoxClick();
}

void TZelkDefineFilterDlg::FilterBoxClick() {
    const int index = SelectedFilter();
    if (index < 0 || !FServer)
        EnableControls(false);
    else
        ShowFilter(FServer->Filter()->Items(index));
    ui->bUpdate->setEnabled(false);
}

void TZelkDefineFilterDlg::EnableControls(bool Enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->cActive, ui->eFilterName, ui->cSimple, ui->cCondition, ui->cTracking, ui->eFrom,
             ui->eTo, ui->gFilter, ui->gSeverity, ui->gEvents, ui->TabControl1, ui->bFilterDef})
        control->setEnabled(Enabled);
    if (!Enabled) {
        for (QCheckBox* box : {ui->cActive, ui->cSimple, ui->cCondition, ui->cTracking})
            box->setChecked(false);
        ui->eFilterName->clear();
        ui->eFrom->clear();
        ui->eTo->clear();
        // Nothing is shown, so no list of a former filter stays visible either.
        ui->Listbox->clear();
    }
}

void TZelkDefineFilterDlg::ShowFilter(TZelkEventFilter* Filter) {
    if (!ui->bFilterDef->isEnabled())
        EnableControls(true);
    ui->cActive->setChecked(Filter->Active());
    ui->eFilterName->setText(Filter->Name());
    const tZelkEventtypes types = Filter->EventType();
    ui->cSimple->setChecked(types.IsEmpty() || types.Contains(evSimple));
    ui->cCondition->setChecked(types.IsEmpty() || types.Contains(evCondition));
    ui->cTracking->setChecked(types.IsEmpty() || types.Contains(evTracking));
    ui->eFrom->setText(QString::number(Filter->SeverityLow()));
    ui->eTo->setText(QString::number(Filter->SeverityHigh()));
    FCatList = Filter->Categories();
    FAreaList = Filter->Areas();
    FSourceList = Filter->Sources();
    TabControl1Change();
}

void TZelkDefineFilterDlg::TabControl1Change() {
    if (SelectedFilter() < 0)
        return;
    ui->Listbox->clear();
    ui->Listbox->addItems(WorkingList(ui->TabControl1->TabIndex()));
}

void TZelkDefineFilterDlg::bFilterDefClick() {
    if (!FServer)
        return;
    bool confirmed = false;
    switch (ui->TabControl1->TabIndex()) {
    case ftCategories:
        confirmed = SelectCategories(FServer, FCatList, this);
        break;
    case ftAreas:
        confirmed = SelectAreas(FServer->Browser(), FAreaList, this);
        break;
    case ftSources:
        confirmed = SelectSources(FServer->Browser(), FSourceList, this);
        break;
    default:
        break;
    }
    if (confirmed) {
        ui->bUpdate->setEnabled(true);
        TabControl1Change();
    }
}

void TZelkDefineFilterDlg::cActiveClick() {
    ui->bUpdate->setEnabled(true);
}

void TZelkDefineFilterDlg::eFilterNameChange() {
    ui->bUpdate->setEnabled(true);
}

void TZelkDefineFilterDlg::bFilterAddClick() {
    if (!FServer)
        return;
    TZelkEventFilter* filter = FServer->Filter()->Add();
    filter->SetActive(false);
    ui->FilterBox->addItem(filter->Name());
    SelectFilter(ui->FilterBox->count() - 1);
    ShowFilter(filter);
    ui->bUpdate->setEnabled(false);
}

void TZelkDefineFilterDlg::bFilterDelClick() {
    const int index = SelectedFilter();
    if (index < 0 || !FServer)
        return;
    delete FServer->Filter()->Items(index);
    {
        const QSignalBlocker blocker(ui->FilterBox);
        delete ui->FilterBox->takeItem(index);
    }
    SelectFilter(index > 0 ? index - 1 : -1);
    // The list shows again what the remaining filters let through.
    FServer->Refresh();
    FilterBoxClick();
}

void TZelkDefineFilterDlg::bUpdateClick() {
    const int index = SelectedFilter();
    if (index < 0 || !FServer)
        return;
    TZelkEventFilter* filter = FServer->Filter()->Items(index);
    filter->SetName(ui->eFilterName->text());
    ui->FilterBox->item(index)->setText(EntryText(filter, index));
    filter->SetActive(ui->cActive->isChecked());
    tZelkEventtypes types;
    if (ui->cSimple->isChecked())
        types.Include(evSimple);
    if (ui->cCondition->isChecked())
        types.Include(evCondition);
    if (ui->cTracking->isChecked())
        types.Include(evTracking);
    // All three, like none, means every type: the empty set.
    if (types == tZelkEventtypes{evSimple, evCondition, evTracking})
        types = tZelkEventtypes();
    filter->SetEventType(types);
    // Both bounds are read before either is written: a bad one leaves the range whole.
    const int low = zelk::dialogs::StrToInt(ui->eFrom->text());
    const int high = zelk::dialogs::StrToInt(ui->eTo->text());
    filter->SetSeverityLow(low);
    filter->SetSeverityHigh(high);
    filter->SetCategories(FCatList);
    filter->SetAreas(FAreaList);
    filter->SetSources(FSourceList);
    filter->Refresh();
    ui->bUpdate->setEnabled(false);
    FServer->Refresh();
}

bool ShowDefineFilterDlg(TZelkEventServer* Server, QWidget* Parent) {
    zelk::dialogs::TOneShowing<TZelkDefineFilterDlg> dialog(Parent);
    dialog->SetServer(Server);
    return dialog.Confirmed();
}
