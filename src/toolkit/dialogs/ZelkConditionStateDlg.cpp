#include "ZelkConditionStateDlg.h"

#include "ZelkEventCondition.h"
#include "ZelkImages.h"
#include "ui_ZelkConditionStateDlg.h"

namespace {

constexpr int SeverityColumn = 3;

} // namespace

TConditionStateDlg::TConditionStateDlg(QWidget* parent)
    : TZelkDialog(parent), ui(std::make_unique<Ui::TConditionStateDlg>()) {
    ui->setupUi(this);
    // Both columns of edits share the width, so long source names show whole.
    ui->Panel2Layout->setColumnStretch(1, 1);
    ui->Panel2Layout->setColumnStretch(3, 1);
    ui->ListView1->headerItem()->setTextAlignment(SeverityColumn,
                                                  Qt::AlignRight | Qt::AlignVCenter);
    ui->ListView1->setColumnWidth(0, 140);
    ui->ListView1->setColumnWidth(1, 180);
    ui->ListView1->setColumnWidth(2, 240);
    ui->ListView2->setColumnWidth(0, 200);
    ui->ListView2->setColumnWidth(1, 300);
    connect(ui->bClose, &QPushButton::clicked, this, &QDialog::reject);
}

TConditionStateDlg::~TConditionStateDlg() = default;

void TConditionStateDlg::SetTimeText(QLineEdit* Edit, TDateTime Time) {
    Edit->setText(Time == 0 ? QStringLiteral("unknown") : DateTimeToStr(Time, QLocale()));
}

void TConditionStateDlg::FormShow() {
    if (!FConditionstate)
        return;
    const TZelkEventCondition& state = *FConditionstate;
    ui->eSource->setText(state.Source());
    ui->eCondition->setText(state.ConditionName());
    ui->eAcknowledger->setText(state.AcknowledgerID());
    ui->eAckComment->setText(state.Comment());
    SetTimeText(ui->eLAck, state.LastAckTime());
    SetTimeText(ui->eLCondition, state.CondLastActive());
    SetTimeText(ui->eLSubcondition, state.SubCondLastActive());
    SetTimeText(ui->eLInactive, state.CondLastInactive());
    ui->eQuality->setText(state.IsGoodQuality() ? QStringLiteral("Good") : QStringLiteral("Bad"));
    ui->cActive->setChecked(state.Active());
    ui->cEnabled->setChecked(state.Enabled());
    ui->cAcknowledged->setChecked(state.Acknowledged());
    // Long texts show their beginning: the source's plant and area.
    for (QLineEdit* edit : ui->Panel2->findChildren<QLineEdit*>())
        edit->setCursorPosition(0);
    FillSubConditions();
    FillCustomProps();
}

void TConditionStateDlg::FillSubConditions() {
    QTreeWidget* list = ui->ListView1;
    const zelk::dialogs::TUpdateScope update(list);
    list->clear();
    const TZelkEventSubConditions& subConditions = FConditionstate->SubConditions();
    // The active sub-condition carries the grey bell; every other row has no picture.
    const QIcon bell(ZelkBellImages().at(1));
    for (int i = 0; i < subConditions.Count(); ++i) {
        const TZelkEventSubCondition* sub = subConditions.Items(i);
        auto* row = new QTreeWidgetItem(list, {sub->Name(), sub->Definition(), sub->Description(),
                                               QString::number(sub->Severity())});
        row->setTextAlignment(SeverityColumn, Qt::AlignRight | Qt::AlignVCenter);
        if (i == FConditionstate->ActiveSubCondition())
            row->setIcon(0, bell);
    }
}

void TConditionStateDlg::FillCustomProps() {
    QTreeWidget* list = ui->ListView2;
    const zelk::dialogs::TUpdateScope update(list);
    list->clear();
    if (const TZelkEventCustomProps* props = FConditionstate->CustomProps()) {
        for (int i = 0; i < props->Count(); ++i) {
            // The result code as the signed number it is: 0 for success, negative for a
            // failure such as -1073479663 (0xC0040011).
            new QTreeWidgetItem(list, {props->Names(i), props->ValueAsString(i),
                                       QString::number(static_cast<qint32>(props->Errors(i)))});
        }
    }
}

void ShowConditionState(TZelkEventCondition* Condition, QWidget* Parent) {
    if (!Condition)
        return;
    zelk::dialogs::TOneShowing<TConditionStateDlg> dialog(Parent);
    dialog->SetConditionstate(Condition);
    dialog->ExecModal();
}
