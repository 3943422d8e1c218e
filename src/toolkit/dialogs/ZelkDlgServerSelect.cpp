#include "ZelkDlgServerSelect.h"

#include "Exceptions.h"
#include "OsHelpers.h"
#include "ScopeExit.h"
#include "ShowException.h"
#include "StringLists.h"
#include "ZelkComn.h"
#include "ZelkEventServer.h"
#include "ZelkImages.h"
#include "registry.h"
#include "ui_ZelkDlgServerSelect.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QUrl>
#include <algorithm>

using enum ZelkEnums::tZelkConnectionType;
using enum ZelkEnums::tZelkServerKind;

const QString ZelkKeyFileFilter = QStringLiteral("Private Key (*.pem);;Public Certificate (*.der)");

namespace {

const QString UAScheme = QStringLiteral("opc.tcp");
const QString NetworkPrefix = QStringLiteral("\\\\");
constexpr int UADefaultPort = 4840;
constexpr int CertificateUserMode = 2;

class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// A control's signal runs its handler through this: what the handler raises goes to the
// application's exception display instead of crossing the event loop.
template <class Fn> auto Guarded(Fn fn) {
    return [fn = std::move(fn)]() {
        try {
            fn();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    };
}

// The row of the server list that stands for the first of Keys found (by server name,
// then class id), or the first row.
int PreselectedRow(const TZelkServerBrowser& Browser, const QStringList& Keys) {
    for (const QString& key : Keys) {
        if (key.isEmpty())
            continue;
        if (const int row = Browser.FindServer(key); row >= 0)
            return row;
    }
    return 0;
}

// Shows the server of a list box's selected row: its name, and its class id (on the UA
// page the endpoint URL, which the UA server list keeps there). No selection, no change.
void ShowSelectedServer(const QListWidget* List, const TZelkServerBrowser& Browser, QLineEdit* Name,
                        QLineEdit* ClassId) {
    const QListWidgetItem* item = List->currentItem();
    const int row = List->currentRow();
    if (!item || !item->isSelected() || row >= Browser.Count())
        return;
    const TZelkServerItem* server = Browser.Items(row);
    Name->setText(server->ServerName());
    ClassId->setText(server->ServerClsId());
}

} // namespace

void TZelkDropDownComboBox::showPopup() {
    if (OnDropDown) {
        try {
            OnDropDown();
        } catch (const std::exception& e) {
            ShowException(e);
        }
    }
    QComboBox::showPopup();
}

TZelkSelectServerDlg::TZelkSelectServerDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TZelkSelectServerDlg>()) {
    ui->setupUi(this);
    FormCreate();
    ConnectControls();
}

TZelkSelectServerDlg::~TZelkSelectServerDlg() {
    // The controls outlive this body: what they signal while they are destroyed (a list
    // losing its current row) must not reach the handlers of a window that is gone.
    for (QObject* control : findChildren<QObject*>())
        QObject::disconnect(control, nullptr, this, nullptr);
    FormDestroy();
}

void TZelkSelectServerDlg::FormCreate() {
    OPCCOMServerBrowser = std::make_unique<TZelkServerBrowser>();
    OPCUAServerBrowser = std::make_unique<TZelkServerBrowser>();
    // A UA discovery server lists UA servers; the browser's default kinds are the classic
    // Data Access ones.
    OPCUAServerBrowser->SetServertype({svr_UA});

    ui->cUAHost->setEditText(QStringLiteral("localhost"));
    // The lists are the network's computers: a name typed and confirmed with Enter is not
    // one of them, and it would stop the list from being filled on first opening.
    ui->cUAHost->setInsertPolicy(QComboBox::NoInsert);
    ui->cComputerName->setInsertPolicy(QComboBox::NoInsert);
    ui->eUAProtocol->setMaximumWidth(
        ui->eUAProtocol->fontMetrics().horizontalAdvance(QStringLiteral("opc.tcp://WW")) + 12);
    ui->eUAPort->setMaximumWidth(
        ui->eUAPort->fontMetrics().horizontalAdvance(QStringLiteral(":48400WW")) + 12);
    for (QWidget* hidden : std::initializer_list<QWidget*>{ui->Label11, ui->eUAServerName,
                                                           ui->LPrivateKey, ui->ePrivateKey})
        hidden->hide();
    ui->bSelectPrivate->setIcon(ZelkFolderImage());
    ui->bSelectCert->setIcon(ZelkFolderImage());
    ui->bUACancel->setAutoDefault(false);
    ui->bCancel->setAutoDefault(false);
    ui->Button2->setAutoDefault(false);

    ShowMessage = [this](const QString& Text) {
        QMessageBox::information(this, QApplication::applicationDisplayName(), Text);
    };
    OpenFileQuery = [this](const QString& Filter, int FilterIndex) {
        QString selected = Filter.split(QStringLiteral(";;")).value(FilterIndex - 1);
        return QFileDialog::getOpenFileName(this, QString(), QString(), Filter, &selected);
    };
}

void TZelkSelectServerDlg::FormDestroy() {
    OPCUAServerBrowser.reset();
    OPCCOMServerBrowser.reset();
}

void TZelkSelectServerDlg::ConnectControls() {
    ui->cComputerName->OnDropDown = [this] { cComputerNameDropDown(); };
    ui->cUAHost->OnDropDown = [this] { cUAHostDropDown(); };
    auto bind = [this](auto* sender, auto signal, void (TZelkSelectServerDlg::*handler)()) {
        connect(sender, signal, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    bind(ui->bRefresh, &QPushButton::clicked, &TZelkSelectServerDlg::bRefreshClick);
    bind(ui->ListBox1, &QListWidget::currentRowChanged, &TZelkSelectServerDlg::ListBox1Click);
    bind(ui->ListBox1, &QListWidget::itemClicked, &TZelkSelectServerDlg::ListBox1Click);
    bind(ui->ListBox1, &QListWidget::itemDoubleClicked, &TZelkSelectServerDlg::ListBox1DblClick);
    bind(ui->bOkCOM, &QPushButton::clicked, &TZelkSelectServerDlg::bOkCOMClick);
    bind(ui->bOkXML, &QPushButton::clicked, &TZelkSelectServerDlg::bOkXMLClick);
    bind(ui->bUAFind, &QPushButton::clicked, &TZelkSelectServerDlg::bUAFindClick);
    bind(ui->UAListBox, &QListWidget::currentRowChanged, &TZelkSelectServerDlg::UAListBoxClick);
    bind(ui->UAListBox, &QListWidget::itemClicked, &TZelkSelectServerDlg::UAListBoxClick);
    bind(ui->UAListBox, &QListWidget::itemDoubleClicked, &TZelkSelectServerDlg::UAListBoxDblClick);
    bind(ui->bUAOk, &QPushButton::clicked, &TZelkSelectServerDlg::bUAOkClick);
    bind(ui->bSelectPrivate, &QToolButton::clicked, &TZelkSelectServerDlg::bSelectPrivateClick);
    bind(ui->bSelectCert, &QToolButton::clicked, &TZelkSelectServerDlg::bSelectCertClick);
    bind(ui->cUAUserMode, &QComboBox::currentIndexChanged,
         &TZelkSelectServerDlg::cUAUserModeChange);
    bind(ui->PageControl1, &QTabWidget::currentChanged, &TZelkSelectServerDlg::PageChanged);
    for (QPushButton* cancel : {ui->bCancel, ui->Button2, ui->bUACancel})
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TZelkSelectServerDlg::SetPageVisible(QWidget* Page, bool Visible,
                                          tZelkConnectionType Transport) {
    ui->PageControl1->setTabVisible(ui->PageControl1->indexOf(Page),
                                    Visible && ConnectionTypeRegistered(Transport));
}

bool TZelkSelectServerDlg::PageVisible(QWidget* Page) const {
    return ui->PageControl1->isTabVisible(ui->PageControl1->indexOf(Page));
}

void TZelkSelectServerDlg::LoadFromClient(TZelkClient* Client, tZelkServerSet ServerKinds,
                                          bool ShowUA, bool ShowCOM, bool ShowXML) {
    SetPageVisible(ui->SheetCOM, ShowCOM, coCOM);
    SetPageVisible(ui->SheetXML, ShowXML, coXML);
    SetPageVisible(ui->SheetUA, ShowUA, coUA);
    if (ConnectionTypeRegistered(coUA))
        OPCUAServerBrowser->SetProtocol(coUA);
    FProtocol = Client->Protocol();
    OPCCOMServerBrowser->SetServertype(ServerKinds);

    switch (FProtocol) {
    case coCOM:
        ui->cComputerName->setEditText(Client->ComputerName());
        ui->eServerName->setText(Client->ServerCaption());
        ui->eServerClassId->setText(Client->ServerClsId());
        break;
    case coUA: {
        // Without a UA transport there is no endpoint to resolve an empty name into, and
        // asking would keep the window from opening at all.
        const bool resolve = Client->ServerName().isEmpty() && ConnectionTypeRegistered(coUA);
        ui->eUAServerURL->setText(resolve ? Client->ServerClsId() : Client->ServerName());
        ui->eServerName->clear();
        ui->eServerClassId->clear();
        const QString computer = Client->ComputerName();
        if (computer.isEmpty())
            break;
        const QUrl uri(computer, QUrl::StrictMode);
        if (!uri.isValid())
            throw EConvertError(
                QStringLiteral("'%1' is not a valid URI: %2").arg(computer, uri.errorString()));
        if (uri.scheme().toLower() == UAScheme) {
            ui->eUAProtocol->setText(uri.scheme().toLower() + QStringLiteral("://"));
            ui->cUAHost->setEditText(uri.host());
            ui->eUAPort->setText(QLatin1Char(':') + QString::number(uri.port(UADefaultPort)));
        }
        break;
    }
    case coXML:
        if (!Client->ServerName().isEmpty())
            ui->eURL->setText(Client->ServerName());
        ui->eServerName->clear();
        ui->eServerClassId->clear();
        break;
    }

    QStringList params = Client->Params();
    TransferParams(params, true);
}

void TZelkSelectServerDlg::SaveToClient(TZelkClient* Client) const {
    if (FProtocol == coUA) {
        Client->SetServerName(ui->eUAServerURL->text());
        Client->SetComputerName(UADiscoveryUrl());
    } else {
        Client->SetComputerName(ui->cComputerName->currentText());
        // A COM server is stored by its class id text. Without one (a ProgID that only
        // the remote computer knows, typed or kept from before) the name field is all
        // there is, and storing an empty name would lose the server.
        const QString classId = ui->eServerClassId->text();
        Client->SetServerName(classId.isEmpty() ? ui->eServerName->text() : classId);
    }
    QStringList params = Client->Params();
    TransferParams(params, false);
    Client->SetParams(params);
    Client->SetProtocol(FProtocol);
}

void TZelkSelectServerDlg::TransferParams(QStringList& Params, bool Load) const {
    TransferParam(Params, ui->eUser, QStringLiteral("xml-user"), Load);
    TransferParam(Params, ui->ePass, QStringLiteral("xml-pass"), Load);
    TransferParam(Params, ui->eProxy, QStringLiteral("xml-proxy"), Load);
    TransferParam(Params, ui->eUAUserName, QStringLiteral("ua-user"), Load);
    TransferParam(Params, ui->eUAUserPass, QStringLiteral("ua-pass"), Load);
    TransferParam(Params, ui->ePrivateKey, QStringLiteral("ua-data"), Load);
    TransferParam(Params, ui->eUAProxy, QStringLiteral("ua-proxy"), Load);
    TransferParam(Params, ui->eUAPrivate, QStringLiteral("ua-pkey-file"), Load);
    TransferParam(Params, ui->eUACert, QStringLiteral("ua-cert-file"), Load);
    TransferComboParam(Params, ui->cUASMode, QStringLiteral("ua-securitymode"), 1, Load);
    TransferComboParam(Params, ui->cUASPolicy, QStringLiteral("ua-securitypolicy"), 1, Load);
    TransferComboParam(Params, ui->cUAUserMode, QStringLiteral("ua-usermode"), 0, Load);
}

void TZelkSelectServerDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!FPlaced) {
        FPlaced = true;
        if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    // A window brought back by the window system (restored, uncovered) is not shown anew.
    if (!event->spontaneous())
        Guarded([this] { FormShow(); })();
}

void TZelkSelectServerDlg::FormShow() {
    QWidget* page = ui->SheetCOM;
    if (FProtocol == coXML)
        page = ui->SheetXML;
    else if (FProtocol == coUA)
        page = ui->SheetUA;
    // A client may name a transport whose page is not offered; its page then stays out of
    // reach and the first offered one shows.
    for (QWidget* offered : {page, ui->SheetUA, ui->SheetCOM, ui->SheetXML}) {
        if (PageVisible(offered)) {
            ui->PageControl1->setCurrentWidget(offered);
            break;
        }
    }
    ui->PageUAParams->setCurrentWidget(ui->SUAServer);
    cUAUserModeChange();
    PageChanged();
}

void TZelkSelectServerDlg::PageChanged() {
    QWidget* page = ui->PageControl1->currentWidget();
    ui->bUAOk->setDefault(page == ui->SheetUA);
    ui->bOkCOM->setDefault(page == ui->SheetCOM);
    ui->bOkXML->setDefault(page == ui->SheetXML);
}

// ---- COM page ----

void TZelkSelectServerDlg::cComputerNameDropDown() {
    FillComputers(ui->cComputerName, false);
}

void TZelkSelectServerDlg::FillComputers(QComboBox* Combo, bool StripPrefix) {
    QStringList entries;
    for (int i = 0; i < Combo->count(); ++i)
        entries.append(Combo->itemText(i));
    if (!entries.join(QLatin1Char('\n')).trimmed().isEmpty())
        return;
    try {
        QStringList computers;
        {
            TBusyCursor busy;
            GetNetworkComputers(computers, StripPrefix);
        }
        // Filling the list must not replace what the operator typed.
        const QString typed = Combo->currentText();
        Combo->addItems(computers);
        Combo->setCurrentIndex(-1);
        Combo->setEditText(typed);
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

void TZelkSelectServerDlg::bRefreshClick() {
    ui->ListBox1->clear();
    if (!PageVisible(ui->SheetCOM))
        return;
    FindServers(ui->ListBox1, *OPCCOMServerBrowser, ui->cComputerName->currentText(),
                QStringLiteral("no OPC server found on selected computer"),
                {ui->eServerName->text(), ui->eServerClassId->text()});
    ListBox1Click();
}

void TZelkSelectServerDlg::FindServers(QListWidget* List, TZelkServerBrowser& Browser,
                                       const QString& Computer, const QString& NoneFound,
                                       const QStringList& PreselectKeys) {
    {
        TBusyCursor busy;
        Browser.SetComputerName(Computer);
        Browser.Execute(false);
    }
    QStringList captions;
    Browser.GetServerCaptions(captions);
    List->addItems(captions);
    if (captions.isEmpty()) {
        ShowMessage(NoneFound);
        return;
    }
    List->setCurrentRow(PreselectedRow(Browser, PreselectKeys));
}

void TZelkSelectServerDlg::ListBox1Click() {
    ShowSelectedServer(ui->ListBox1, *OPCCOMServerBrowser, ui->eServerName, ui->eServerClassId);
}

void TZelkSelectServerDlg::ListBox1DblClick() {
    bOkCOMClick();
}

void TZelkSelectServerDlg::bOkCOMClick() {
    FProtocol = coCOM;
    if (ui->eServerName->text().isEmpty() && ui->eServerClassId->text().isEmpty())
        return;
    accept();
}

// ---- XML page ----

void TZelkSelectServerDlg::bOkXMLClick() {
    FProtocol = coXML;
    const QString url = ui->eURL->text();
    if (url.isEmpty())
        return;
    AcceptUrl(url);
}

void TZelkSelectServerDlg::AcceptUrl(const QString& Url) {
    ui->cComputerName->setEditText(QString());
    ui->eServerClassId->setText(Url);
    ui->eServerName->setText(Url);
    accept();
}

// ---- UA page ----

void TZelkSelectServerDlg::cUAHostDropDown() {
    FillComputers(ui->cUAHost, true);
}

QString TZelkSelectServerDlg::UADiscoveryUrl() const {
    return ui->eUAProtocol->text() + ui->cUAHost->currentText() + ui->eUAPort->text();
}

void TZelkSelectServerDlg::bUAFindClick() {
    ui->UAListBox->clear();
    if (!PageVisible(ui->SheetUA))
        return;
    OPCUAServerBrowser->SetProtocol(coUA);
    FindServers(ui->UAListBox, *OPCUAServerBrowser, UADiscoveryUrl(),
                QStringLiteral("no OPC UA server found on selected computer"),
                {ui->eUAServerName->text(), ui->eUAServerURL->text()});
    UAListBoxClick();
}

void TZelkSelectServerDlg::UAListBoxClick() {
    ShowSelectedServer(ui->UAListBox, *OPCUAServerBrowser, ui->eUAServerName, ui->eUAServerURL);
}

void TZelkSelectServerDlg::UAListBoxDblClick() {
    bUAOkClick();
}

void TZelkSelectServerDlg::bUAOkClick() {
    FProtocol = coUA;
    const QString url = ui->eUAServerURL->text();
    if (url.isEmpty()) {
        ShowMessage(QStringLiteral("Please select a OPC UA server URL first"));
        return;
    }
    AcceptUrl(url);
}

void TZelkSelectServerDlg::bSelectPrivateClick() {
    SelectFile(ui->eUAPrivate, 1);
}

void TZelkSelectServerDlg::bSelectCertClick() {
    SelectFile(ui->eUACert, 2);
}

void TZelkSelectServerDlg::SelectFile(QLineEdit* Edit, int FilterIndex) {
    const QString path = OpenFileQuery(ZelkKeyFileFilter, FilterIndex);
    if (!path.isEmpty())
        Edit->setText(path);
}

void TZelkSelectServerDlg::cUAUserModeChange() {
    const bool certificate = ui->cUAUserMode->currentIndex() == CertificateUserMode;
    ui->LUser->setText(certificate ? QStringLiteral("Certificate file") : QStringLiteral("User"));
    ui->LPrivateKey->setVisible(certificate);
    ui->ePrivateKey->setVisible(certificate);
}

// ---- unit functions ----

void TransferParam(QStringList& Params, QLineEdit* Edit, const QString& Key, bool Load) {
    if (Load)
        Edit->setText(Values(Params, Key));
    else
        SetValues(Params, Key, Edit->text());
}

void TransferComboParam(QStringList& Params, QComboBox* Combo, const QString& Key, int Offset,
                        bool Load) {
    if (!Load) {
        SetValues(Params, Key, QString::number(Combo->currentIndex() + Offset));
        return;
    }
    Combo->setCurrentIndex(0);
    bool isNumber = false;
    const int stored = Values(Params, Key).toInt(&isNumber);
    // A number that names no item keeps the first one: the list must always show, and
    // store back, one of its own entries.
    if (isNumber && stored >= Offset && stored - Offset < Combo->count())
        Combo->setCurrentIndex(stored - Offset);
}

void GetNetworkComputers(QStringList& List, bool StripPrefix) {
    List.clear();
    QStringList names = zelk::rtl::NetworkNeighbourhood();
    for (const QString& declared : zelk::com::DeclaredComputers())
        names.append(NetworkPrefix + declared);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const QString& a, const QString& b) {
                                return a.compare(b, Qt::CaseInsensitive) == 0;
                            }),
                names.end());
    for (QString& name : names) {
        if (StripPrefix && name.startsWith(NetworkPrefix))
            name.remove(0, NetworkPrefix.size());
        List.append(name);
    }
}

bool SelectServer(TZelkClient* Client, tZelkServerSet ServerKinds, bool ShowUA, bool ShowCOM,
                  bool ShowXML, QWidget* Parent) {
    // Watched: a parent destroyed while the window is shown takes the window with it.
    const QPointer<TZelkSelectServerDlg> dialog = new TZelkSelectServerDlg(Parent);
    const zelk::rtl::ScopeExit destroy([&dialog] { delete dialog.data(); });
    dialog->LoadFromClient(Client, ServerKinds, ShowUA, ShowCOM, ShowXML);
    const int result = dialog->exec();
    if (!dialog || result != QDialog::Accepted)
        return false;
    dialog->SaveToClient(Client);
    return true;
}

bool SelectEventServer(TZelkEventServer* Server, QWidget* Parent) {
    return SelectServer(Server, {svr_AE10}, false, true, false, Parent);
}
