#pragma once

// TZelkCOMConnection: the COM transport's connection. It resolves the server name to a
// class id, creates the server object on this or a named computer, announces the client
// name, asks for shutdown notifications and tells which OPC interface generation the
// server implements. TZelkShutdownEvent is the sink the server calls to send its
// clients away; it only posts MSG_SERVER_SHUTDOWN to the owning component.

#include "ZelkComn.h"
#include "ZelkGIP.h"
#include "objbase.h"
#include "opccomn.h"

#include <memory>
#include <mutex>

// Whether new connections share their server interface through the global interface
// table. Nothing in this program changes it.
extern bool COMMultiThread;

class TZelkShutdownEvent;

// The inherited Create makes a TZelkCOMConnection, so a subclass declares its own:
//
//   static ComPtr<TSub> Create(TComponent* AOwner) {
//       ComPtr<TSub> connection;
//       connection.Attach(new TSub(AOwner));
//       return connection;
//   }
class TZelkCOMConnection : public TZelkIntfComponent<TZelkCOMConnection, IZelkConnection> {
public:
    explicit TZelkCOMConnection(TComponent* AOwner);
    // Releases what an unfinished or failed activation left behind; the shutdown sink is
    // detached first, so that it can no longer reach this object.
    ~TZelkCOMConnection() override;

    // ---- IZelkConnection ----
    // `Params` is not read by this transport.
    void Connect(const QString& ClientName, const QString& Server, const QString& Computer,
                 const QStringList& Params, int Delay) override;
    void Disconnect() override;
    // EOPCException "Not connected to server" without the server's IOPCCommon.
    int GetLocaleId() override;
    // This transport takes no options: always false.
    bool SetOption(const QString& Option, const QString& Value) override;
    // Ignored without IOPCCommon; the server's answer is not examined.
    void SetLocaleId(int Value) override;
    // 3 for a server with IOPCBrowse, else 2 for one with connection points, else 1.
    int Servertype() override;
    TObject* GetObject() override { return this; }
    tZelkConnectionType Connectiontype() override { return tZelkConnectionType::coCOM; }
    // Whether the server accepted the name; false without IOPCCommon or for a blank name.
    bool SetClientName(const QString& ClientName) override;
    // A plain COM connection cannot tell that its server is gone: always true.
    bool DoTimer() override;

    bool Active() const noexcept { return FActive; }
    // Activates (see Connect) or deactivates; nothing when the state does not change.
    void SetActive(bool Value);

    // The server object (for the calling thread when the interface is shared); null
    // while not connected. Every use of the server goes through here.
    ComPtr<IUnknown> OPCServer();
    // The server's IOPCCommon, asked for once; null when the server lacks it.
    ComPtr<IOPCCommon> GetCommonIF();
    // Whether the server has connection points; cached until the next Connect.
    bool Version2orHigher();
    // Whether the server answers IOPCBrowse; asked each time.
    bool Version3();
    // EOPCServerException "Not connected to server" without a server object.
    void CheckConnected();
    // Creates the server object on `Computer` (blank: this computer). A failure raises
    // EOleSysError with the system's text; a local one adds ", ClassID: " and the class
    // id text.
    void CreateServerObject(REFCLSID ClassId, const QString& Computer, ComPtr<IUnknown>& Unk);

protected:
    // Called last in an activation, to obtain a subclass's server interfaces.
    virtual void GetInterfaces();
    // Ends the shutdown advice (unless the server asked its clients to go) and releases
    // every server interface.
    virtual void ReleaseInterfaces();

    ComPtr<IUnknown> FIServer;
    ComPtr<IOPCCommon> FICommon;
    QString FServerName;
    QString FComputerName;
    QString FClientName;
    int FDelay = 0;
    bool FActive = false;
    int FVersion2orHigher = -1; // -1 unknown, 0 no, 1 yes
    bool FMultiThread;
    std::unique_ptr<TGIP> FSharedServer; // only while connected with FMultiThread

private:
    void Activate();
    void ReleaseServer() noexcept;

    // Counted, although the sink never counts us back: the server may drop its reference
    // at any time, and the sink has to outlive the moment this object detaches it.
    ComPtr<TZelkShutdownEvent> FShutDown;
};

class TZelkShutdownEvent : public zelk::com::ComObject<TZelkShutdownEvent, IOPCShutdown> {
public:
    // Advises itself on the server of `aOPCServer` when that server has connection
    // points; RetCode holds the result (E_FAIL when not advised). A failed advice is not
    // reported: the connection then receives no shutdown requests.
    explicit TZelkShutdownEvent(TZelkCOMConnection* aOPCServer);

    // Called by the server, on any of its threads: posts MSG_SERVER_SHUTDOWN (IParam 0)
    // to the owning component and answers S_OK at once. The reason is not passed on.
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override;

    // The connection forgets the sink: requests arriving afterwards do nothing.
    void Detach();

    DWORD Cookie() const noexcept { return FCookie; }
    // 0 (S_OK) while advised and no shutdown request has arrived.
    HRESULT RetCode() const noexcept { return FRetCode.load(); }

private:
    // Not counted; cleared by Detach under FLock, which ShutdownRequest holds while it
    // posts, so the connection is never reached after it detached the sink.
    TZelkCOMConnection* FOPCServer;
    std::mutex FLock;
    DWORD FCookie = 0;
    std::atomic<HRESULT> FRetCode{E_FAIL};
};
