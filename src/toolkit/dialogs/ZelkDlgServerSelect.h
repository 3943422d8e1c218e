#pragma once

// TZelkSelectServerDlg: the window in which the operator chooses the server a client
// component connects to, and through which transport. One page per transport: "COM"
// (pick a computer, list its OPC servers, pick one), "XML" (type a server URL) and "UA"
// (pick a discovery host, list its OPC UA servers, pick one, set security and user
// options). Only the pages of transports that the caller asks for and that are
// registered are offered.
//
// SelectServer fills the window from the client, shows it modally and, on OK, writes
// server name, computer name, transport parameters and transport back. The handlers are
// public and the controls carry their names, so a program or a test can drive the window
// without its modal loop. What escapes a handler run by a control goes to the
// application's exception display (ShowException) and the window stays open.

#include "ZelkTypes.h"

#include <QComboBox>
#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class QLineEdit;
class QListWidget;
class TZelkClient;
class TZelkEventServer;
class TZelkServerBrowser;

namespace Ui {
class TZelkSelectServerDlg;
}

// An editable drop-down that tells its owner when its list is about to open, so the
// list can be filled on first use.
class TZelkDropDownComboBox : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    // Runs before the list opens; it may add entries.
    std::function<void()> OnDropDown;

    void showPopup() override;
};

class TZelkSelectServerDlg : public QDialog {
    Q_OBJECT

public:
    explicit TZelkSelectServerDlg(QWidget* parent = nullptr);
    ~TZelkSelectServerDlg() override;

    // The transport the window is about: the client's before showing, then the one of
    // the page whose OK button was pressed.
    tZelkConnectionType Protocol() const noexcept { return FProtocol; }
    void SetProtocol(tZelkConnectionType Value) noexcept { FProtocol = Value; }

    // Everything SelectServer does before showing the window: page visibility, the
    // pre-fill from the client by its protocol, and the transport parameters. A UA client
    // whose computer name is not a URI raises EConvertError.
    void LoadFromClient(TZelkClient* Client, tZelkServerSet ServerKinds, bool ShowUA, bool ShowCOM,
                        bool ShowXML);
    // What SelectServer does after OK: server and computer name, the parameters, then the
    // protocol (which raises for a transport the client refuses; what was written before
    // stays written).
    void SaveToClient(TZelkClient* Client) const;

    // The message box; replaceable so that tests never block on one.
    std::function<void(const QString& Text)> ShowMessage;
    // The file-open dialog of the key and certificate buttons: the chosen file's full path,
    // or empty when the operator cancelled. FilterIndex counts the filter's entries from 1.
    // Replaceable for tests.
    std::function<QString(const QString& Filter, int FilterIndex)> OpenFileQuery;

    // ---- handlers ----
    void FormShow();
    void cComputerNameDropDown();
    void cUAHostDropDown();
    void bRefreshClick();
    void ListBox1Click();
    void ListBox1DblClick();
    void bOkCOMClick();
    void bOkXMLClick();
    void bUAFindClick();
    void UAListBoxClick();
    void UAListBoxDblClick();
    void bUAOkClick();
    void bSelectPrivateClick();
    void bSelectCertClick();
    void cUAUserModeChange();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void ConnectControls();
    // Shows a tab when asked for and its transport is registered.
    void SetPageVisible(QWidget* Page, bool Visible, tZelkConnectionType Transport);
    bool PageVisible(QWidget* Page) const;
    // The OK button of the page shown answers Enter.
    void PageChanged();
    // Fills a computer drop-down from the network neighbourhood when it has no entries yet.
    void FillComputers(QComboBox* Combo, bool StripPrefix);
    // Lists the servers of Computer in List: the message NoneFound when there are none,
    // otherwise the row of the first of PreselectKeys found is selected, or the first row.
    void FindServers(QListWidget* List, TZelkServerBrowser& Browser, const QString& Computer,
                     const QString& NoneFound, const QStringList& PreselectKeys);
    // The discovery URL of the UA page: protocol, host and port run together.
    QString UADiscoveryUrl() const;
    // Closes with OK for a server named by URL: the URL becomes the server name, the
    // computer name is emptied.
    void AcceptUrl(const QString& Url);
    void SelectFile(QLineEdit* Edit, int FilterIndex);
    // The edits and drop-downs of the transport parameters: loaded from, or saved to,
    // a client's parameter lines.
    void TransferParams(QStringList& Params, bool Load) const;

    std::unique_ptr<Ui::TZelkSelectServerDlg> ui;
    std::unique_ptr<TZelkServerBrowser> OPCCOMServerBrowser;
    std::unique_ptr<TZelkServerBrowser> OPCUAServerBrowser;
    tZelkConnectionType FProtocol = tZelkConnectionType::coCOM;
    bool FPlaced = false;
};

// The filter of the key and certificate file dialog: entry 1 the private key (*.pem),
// entry 2 the certificate (*.der).
extern const QString ZelkKeyFileFilter;

// One parameter line and an edit: on load the edit gets the value of Key (empty when the
// line is absent); on save Key gets the edit's text, and an empty text removes the line.
void TransferParam(QStringList& Params, QLineEdit* Edit, const QString& Key, bool Load);
// One parameter line and a fixed-list drop-down whose stored value is the item index plus
// Offset. On load item 0 is selected first; a stored whole number n then selects item
// n - Offset when there is such an item.
void TransferComboParam(QStringList& Params, QComboBox* Combo, const QString& Key, int Offset,
                        bool Load);

// The server computers of the network neighbourhood as "\\NAME" (this computer, the
// host database's names and the computers of the simulated network, each once, sorted);
// without the two backslashes when StripPrefix.
void GetNetworkComputers(QStringList& List, bool StripPrefix);

// Lets the operator choose the server of Client on the pages asked for (the registered
// ones among them), listing servers of ServerKinds on the COM page. True when the
// operator confirmed and the choice was written into Client; false when the window was
// cancelled or closed, and then Client is unchanged.
bool SelectServer(TZelkClient* Client, tZelkServerSet ServerKinds, bool ShowUA, bool ShowCOM,
                  bool ShowXML, QWidget* Parent = nullptr);
// SelectServer for an Alarms and Events server: the COM page alone, AE servers only.
bool SelectEventServer(TZelkEventServer* Server, QWidget* Parent = nullptr);
