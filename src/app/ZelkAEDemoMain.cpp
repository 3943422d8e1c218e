#include "ZelkAEDemoMain.h"

#include "ShowException.h"
#include "ZelkAE.h"
#include "ZelkAlarmListModel.h"
#include "ZelkCom.h"
#include "ZelkConditionStateDlg.h"
#include "ZelkDefFilterDlg.h"
#include "ZelkDlgServerSelect.h"
#include "ZelkEventCondition.h"
#include "ZelkEventSortDlg.h"
#include "ZelkImages.h"
#include "ZelkServerCall.h"
#include "ui_ZelkAEDemoMain.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>

namespace {} // namespace

TMainForm::TMainForm(QWidget* parent, const QString& SettingsFolder)
    : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()), FSettingsFolder(SettingsFolder) {
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Zelk AE Client - alarms and events of OPC AE servers"));
    FModel = new TZelkAlarmListModel(this);
    FModel->SetImages(ZelkBellImages());
    ui->ListView1->setModel(FModel);
    for (const auto& [column, width] : {std::pair{0, 125}, {1, 190}, {2, 250}})
        ui->ListView1->header()->resizeSection(column, width);
    ui->bCondState->setIcon(QIcon(ZelkQuestionMarkImage()));
    InputQuery = [this](QString& value) {
        bool ok = false;
        const QString entered =
            QInputDialog::getText(this, QStringLiteral("Acknowledge Event"),
                                  QStringLiteral("Acknowledge by"), QLineEdit::Normal, value, &ok);
        if (ok)
            value = entered;
        return ok;
    };
    FormCreate();
    ConnectControls();
    SetUpViewAndStatusBar();
    SetUpJournal();
    if (!FSettingsFolder.isEmpty())
        LoadSettings();
}

TMainForm::~TMainForm() {
    Guarded([&] { FormDestroy(); });
    if (!FSettingsSaved && !FSettingsFolder.isEmpty())
        Guarded([&] { SaveSettings(); });
    // The component goes before the controls its handlers write to.
    FServer.reset();
}

QTreeView* TMainForm::ListView1() const {
    return ui->ListView1;
}

void TMainForm::ConnectControls() {
    const auto bind = [this](QAction* action, void (TMainForm::*handler)()) {
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    bind(ui->Connect1, &TMainForm::Connect1Click);
    bind(ui->Disconnect1, &TMainForm::Disconnect1Click);
    bind(ui->ReconnectAutomatically1, &TMainForm::ReconnectAutomatically1Click);
    bind(ui->Exit1, &TMainForm::Exit1Click);
    bind(ui->AcknownledgeEvent1, &TMainForm::Acknowledge1Click);
    bind(ui->Acknownledgeallnotactive1, &TMainForm::AcknowledgeAll1Click);
    bind(ui->Refresh1, &TMainForm::Refresh1Click);
    bind(ui->SortListBy1, &TMainForm::SortListBy1Click);
    bind(ui->SetFilter1, &TMainForm::SetFilter1Click);
    bind(ui->Freeze1, &TMainForm::Freeze1Click);
    bind(ui->Info1, &TMainForm::Info1Click);
    bind(ui->Acknowledge1, &TMainForm::Acknowledge1Click);
    bind(ui->AcknowledgewithComment1, &TMainForm::AcknowledgewithComment1Click);
    bind(ui->AcknowledgeAll1, &TMainForm::AcknowledgeAll1Click);
    connect(ui->bClear, &QPushButton::clicked, this, [this] { Guarded([&] { bClearClick(); }); });
    connect(ui->bCondState, &QToolButton::clicked, this,
            [this] { Guarded([&] { bCondStateClick(); }); });
    connect(ui->ListView1, &QAbstractItemView::doubleClicked, this,
            [this] { Guarded([&] { ListView1DblClick(); }); });

    // The context menu's own items share their keys with the Edit menu's, which serve
    // them; only "Acknowledge with Comment..." has no twin there, so the window serves its
    // key itself.
    auto* popup = new QMenu(this);
    popup->setObjectName(QStringLiteral("PopupMenu1"));
    popup->addAction(ui->Acknowledge1);
    popup->addAction(ui->AcknowledgewithComment1);
    popup->addAction(ui->AcknowledgeAll1);
    addAction(ui->AcknowledgewithComment1);
    connect(ui->ListView1, &QWidget::customContextMenuRequested, this,
            [this, popup](const QPoint& pos) {
                popup->popup(ui->ListView1->viewport()->mapToGlobal(pos));
            });
    const char* separators[] = {"N1", "N2", "N3"};
    int next = 0;
    for (QMenu* menu : {ui->File1, ui->Edit1})
        for (QAction* action : menu->actions())
            if (action->isSeparator() && next < 3)
                action->setObjectName(QString::fromLatin1(separators[next++]));

    connect(ui->ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Guarded([&] { ListView1Change(); }); });
}

void TMainForm::SetUpEventServer() {
    FServer = std::make_unique<TZelkEventServer>();
    FServer->setObjectName(QStringLiteral("ZelkEventServer1"));
    ApplyDefaultServerSettings();
    FServer->OnConnect = [this](TComponent* sender) { ZelkEventServer1Connect(sender); };
    FServer->OnDisconnect = [this](TComponent* sender) { ZelkEventServer1Disconnect(sender); };
    FServer->OnServerShutdown = [this](TComponent* sender, const QString& reason) {
        ZelkEventServer1ServerShutdown(sender, reason);
    };
    FServer->OnEndUpdate = [this](TComponent* sender) { ZelkEventServer1EndUpdate(sender); };
    FServer->OnEvent = [this](TComponent*, TZelkEvent*) { ++FReceivedThisSecond; };
    // The reconnection's attempts and their results go to the connection log.
    FServer->OnLog = [this](TComponent*, TZelkLogMsg* log) { AddLine(ui->Memo1, log->Msg); };
    FModel->SetEventServer(FServer.get());
}

void TMainForm::ApplyDefaultServerSettings() {
    FServer->SetClientName(QStringLiteral("Zelk Version 2.0 Client"));
    FServer->SetKeepAlive(0);
    FServer->SetLogLevel(0);
    FServer->SetMaxSize(0);
    FServer->SetBuffertime(0);
    FServer->SetAutoDelete(true);
    FServer->SetEventlistSort({QStringLiteral("Active (D)"), QStringLiteral("Time (D)")});
    FServer->SetAutoReconnect(false);
    ShowReconnectSetting();
}

void TMainForm::Guarded(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const EOPCNotResponding&) {
        // The operator gave the server up in "Server is not responding": nothing to add.
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

// ---- handlers ----

void TMainForm::FormCreate() {
    // Once per process; a second window's call is refused by COM and that is fine.
    InitCOMSecurity();
    SetUpEventServer();
}

void TMainForm::FormShow() {
    FSelectedEventID = -1;
    ClearControls(1);
    ClearControls(2);
    AddNotConnectedRow();
    ui->PageControl1->setCurrentWidget(ui->TabAlarms);
}

void TMainForm::FormResize() {
    // The memo's right edge follows the window's.
    ui->Memo2->resize(std::max(0, frameGeometry().width() - ui->Memo2->x() - 15),
                      ui->Memo2->height());
}

void TMainForm::FormDestroy() {
    if (FServer)
        FServer->SetActive(false);
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    Guarded([&] { FormShow(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // A handler of this window waits for a server call further down the stack: the
    // window stays until that call is over (or given up in "Server is not responding").
    if (zelk::runtime::WaitingCalls() > 0) {
        event->ignore();
        return;
    }
    // Settings are written while every control still shows what the operator left.
    Guarded([&] { FormDestroy(); });
    if (!FSettingsFolder.isEmpty())
        Guarded([&] { SaveSettings(); });
    FSettingsSaved = true;
    QMainWindow::closeEvent(event);
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainForm::Connect1Click() {
    if (!SelectEventServer(FServer.get(), this))
        return;
    FSelectedEventID = -1;
    FModel->Clear();
    ui->Freeze1->setChecked(false);
    FServer->SetActive(true);
}

void TMainForm::SortListBy1Click() {
    ShowEventSortDlg(FServer.get(), this);
}

void TMainForm::SetFilter1Click() {
    ShowDefineFilterDlg(FServer.get(), this);
}

void TMainForm::bCondStateClick() {
    TZelkEvent* event = EventOfItem(SelectedRow());
    if (!event)
        return;
    // The snapshot is the window's until the dialog has closed.
    const std::unique_ptr<TZelkEventCondition> condition = event->GetConditionState();
    if (condition)
        ShowConditionState(condition.get(), this);
}

void TMainForm::ListView1DblClick() {
    bCondStateClick();
}

void TMainForm::ConnectTo(const QString& Server, const QString& Computer) {
    FServer->SetServerName(Server);
    FServer->SetComputerName(Computer);
    FSelectedEventID = -1;
    FModel->Clear();
    ui->Freeze1->setChecked(false);
    FServer->SetActive(true);
}

void TMainForm::Disconnect1Click() {
    FServer->SetActive(false);
}

void TMainForm::Exit1Click() {
    close();
}

void TMainForm::Refresh1Click() {
    FServer->Refresh();
}

void TMainForm::Freeze1Click() {
    if (!ui->Freeze1->isChecked())
        FillEventList();
}

void TMainForm::bClearClick() {
    ui->Memo1->clear();
}

void TMainForm::Info1Click() {
    QMessageBox box(QMessageBox::Information, QStringLiteral("About"),
                    QStringLiteral("Zelk AE Client 1.1\n"
                                   "Built on the Zelk OPC toolkit 5.28\n\n"
                                   "Shows, sorts, filters and acknowledges the alarms and "
                                   "events of OPC Alarms and Events servers."),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.exec();
}

void TMainForm::Acknowledge1Click() {
    AcknowledgeSelected(QStringLiteral("Tarsk"), QString());
}

void TMainForm::AcknowledgewithComment1Click() {
    QString who;
    if (InputQuery && InputQuery(who))
        AcknowledgeSelected(who, QStringLiteral("no comment"));
}

void TMainForm::AcknowledgeAll1Click() {
    if (FServer->Active())
        FServer->AcknowledgeNotActiveEvents(QStringLiteral("ALL"),
                                            QStringLiteral("Acknowledge all"));
}

void TMainForm::ListView1Change() {
    const int row = SelectedRow();
    if (row < 0) {
        ClearControls(2);
        return;
    }
    TZelkEvent* event = EventOfItem(row);
    if (!event)
        return;
    FSelectedEventID = event->ID();
    ui->eEventType->setText(event->EventTypeStr());
    ui->eEventCategory->setText(event->CategoryName());
    ui->eCondition->setText(event->ConditionName());
    ui->eSubCondition->setText(event->SubconditionName());
    ui->eActiveTime->setText(DateTimeText(event->ActiveTime(), FTimeDisplay));
    ui->cAcknowledge->setChecked(event->AckRequired());
    ui->eEventId->setText(QString::number(event->Cookie()));
    ui->eActorId->setText(event->ActorID());
    ui->eQuality->setText(event->IsGoodQuality() ? QStringLiteral("Good") : QStringLiteral("Bad"));
    ui->cEnabled->setChecked(event->Enabled());
    ui->cActive->setChecked(event->Active());
    ui->cACKED->setChecked(event->Acknowledged());
    const TZelkEventCustomProps* props = event->CustomProps();
    QStringList lines;
    lines.reserve(props->Count());
    for (int i = 0; i < props->Count(); ++i)
        lines << props->Names(i) + QStringLiteral("->") + props->ValueAsString(i);
    ui->Memo2->setPlainText(lines.join(QLatin1Char('\n')));
}

void TMainForm::ZelkEventServer1Connect(TComponent*) {
    AddLine(ui->Memo1, QStringLiteral("connect to OPC AE server: ") + FServer->ServerCaption());
    ui->canFilterByEvent->setChecked(FServer->CanFilterByEvent());
    ui->canFilterByCategory->setChecked(FServer->CanFilterByCategory());
    ui->canFilterBySEVERITY->setChecked(FServer->CanFilterBySeverity());
    ui->canFilterByArea->setChecked(FServer->CanFilterByArea());
    ui->canFilterBySource->setChecked(FServer->CanFilterBySource());
    FillServerPage();
    UpdateStatusBar();
}

void TMainForm::FillServerPage() {
    const TServerStateRecord state = FServer->GetState();
    ui->lState->setText(ServerStateToStr(state.ServerState, tZelkConnectionType::coCOM));
    ui->lVendor->setText(state.VendorInfo);
    ui->lVersion->setText(QString::asprintf("%d.%d (%s)", state.MajorVersion, state.MinorVersion,
                                            qUtf8Printable(state.BuildNumber)));
    ui->lStarttime->setText(DateTimeText(state.Starttime, FTimeDisplay));
}

void TMainForm::ZelkEventServer1Disconnect(TComponent*) {
    ClearControls(1);
    ClearControls(2);
    AddNotConnectedRow();
    AddLine(ui->Memo1,
            QStringLiteral("disconnect from OPC AE server: ") + FServer->ServerCaption());
    UpdateStatusBar();
}

void TMainForm::ZelkEventServer1ServerShutdown(TComponent*, const QString& Reason) {
    // A COM server's request carries its reason as text only, which the component keeps.
    AddLine(ui->Memo1, QStringLiteral("server shutdown connection ") +
                           (Reason.isEmpty() ? FServer->ServerShutdownReason() : Reason));
}

void TMainForm::ZelkEventServer1EndUpdate(TComponent*) {
    if (!ui->Freeze1->isChecked())
        ScheduleFillEventList();
}

// ---- operations ----

TZelkEvent* TMainForm::EventOfItem(int Row) const {
    return FModel->EventOfRow(Row);
}

int TMainForm::SelectedRow() const {
    const QModelIndexList rows = ui->ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TMainForm::AcknowledgeSelected(const QString& Who, const QString& Comment) {
    if (TZelkEvent* event = EventOfItem(SelectedRow()))
        event->Acknowledge(Who, Comment);
}

void TMainForm::AddNotConnectedRow() {
    FModel->InsertPlaceholderRow(NowDayMonthTimeText(FTimeDisplay));
}

void TMainForm::ClearControls(int Group) {
    for (QWidget* control : findChildren<QWidget*>()) {
        const QVariant tag = control->property("Tag");
        if (!tag.isValid() || tag.toInt() != Group)
            continue;
        if (auto* label = qobject_cast<QLabel*>(control))
            label->clear();
        else if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->clear();
        else if (auto* check = qobject_cast<QCheckBox*>(control))
            check->setChecked(false);
    }
    if (Group == 1)
        ui->lState->setText(QStringLiteral("not connected"));
    else if (Group == 2)
        ui->Memo2->clear();
}

void TMainForm::ScheduleFillEventList() {
    if (FFillPending)
        return;
    FFillPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FFillPending = false;
            Guarded([&] { FillEventList(); });
        },
        Qt::QueuedConnection);
}

void TMainForm::SelectRow(int Row) {
    const QModelIndex index = FModel->index(Row, 0);
    ui->ListView1->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
}

void TMainForm::FillEventList() {
    if (ui->Freeze1->isChecked())
        return;
    QTreeView* view = ui->ListView1;
    // The operator's place in the list survives the rebuild: the row at the top of the
    // view stays at the top, unless the view was at the very top, where new arrivals
    // are what the operator is watching.
    const bool atTop = view->verticalScrollBar()->value() == 0;
    const int anchorId = atTop ? 0 : FModel->RowId(view->indexAt(QPoint(0, 0)).row());
    const int anchorValue = view->verticalScrollBar()->value();
    const int horizontal = view->horizontalScrollBar()->value();

    TZelkEvents* events = FServer->Events();
    const int count = events->Count();
    int matched = -1;
    int anchorRow = -1;
    view->setUpdatesEnabled(false);
    FModel->BeginRebuild(count + 1);
    if (!FServer->Active())
        FModel->AppendPlaceholderRow(NowDayMonthTimeText(FTimeDisplay));
    QHash<int, QString> categories;
    for (int i = 0; i < count; ++i) {
        TZelkEvent* event = events->Events(i);
        if (!FFindText.isEmpty() && !MatchesFind(event, categories))
            continue;
        const int id = event->ID();
        const int row = FModel->rowCount();
        FModel->AppendEventRow(id, i);
        if (id == FSelectedEventID && matched < 0)
            matched = row;
        if (id == anchorId && anchorId != 0)
            anchorRow = row;
    }
    FShownEvents = FModel->rowCount() - (FServer->Active() ? 0 : 1);
    FModel->EndRebuild();

    if (matched >= 0) {
        SelectRow(matched);
    } else if (FModel->rowCount() > 0) {
        SelectRow(0);
        // Not while the operator types a find text, which narrows the rows as it goes.
        if (view->isVisible() && view->isEnabled() && !ui->FindEdit->hasFocus())
            view->setFocus();
    } else {
        ListView1Change();
    }
    // Selecting scrolled to the selected row; the operator's place wins.
    if (anchorRow >= 0)
        view->scrollTo(FModel->index(anchorRow, 0), QAbstractItemView::PositionAtTop);
    else
        view->verticalScrollBar()->setValue(atTop ? 0 : anchorValue);
    view->horizontalScrollBar()->setValue(horizontal);
    view->setUpdatesEnabled(true);
    UpdateSortIndicator();
    UpdateStatusBar();
}

void TMainForm::AddLine(QPlainTextEdit* Memo, const QString& Line) {
    Memo->appendPlainText(Line);
}
