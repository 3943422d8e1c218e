#include "ZelkCOMConnection.h"

#include "ZelkCOMHelpers.h"

#include <chrono>
#include <thread>

bool COMMultiThread = false;

// ---- TZelkCOMConnection ----

TZelkCOMConnection::TZelkCOMConnection(TComponent* AOwner)
    : TZelkIntfComponent(AOwner), FMultiThread(COMMultiThread) {}

TZelkCOMConnection::~TZelkCOMConnection() {
    ReleaseServer();
}

void TZelkCOMConnection::Connect(const QString& ClientName, const QString& Server,
                                 const QString& Computer, const QStringList& /*Params*/,
                                 int Delay) {
    FServerName = Server;
    FComputerName = Computer;
    FClientName = ClientName;
    FDelay = Delay;
    FVersion2orHigher = -1;
    SetActive(true);
}

void TZelkCOMConnection::Disconnect() {
    SetActive(false);
}

int TZelkCOMConnection::GetLocaleId() {
    if (!FICommon)
        throw EOPCException(NotConnectedMessage);
    LCID locale = 0;
    OPCCheck(FICommon->GetLocaleID(&locale));
    return static_cast<int>(locale);
}

bool TZelkCOMConnection::SetOption(const QString& /*Option*/, const QString& /*Value*/) {
    return false;
}

void TZelkCOMConnection::SetLocaleId(int Value) {
    if (FICommon)
        FICommon->SetLocaleID(static_cast<LCID>(Value));
}

int TZelkCOMConnection::Servertype() {
    if (Version3())
        return 3;
    return Version2orHigher() ? 2 : 1;
}

bool TZelkCOMConnection::SetClientName(const QString& ClientName) {
    if (!FICommon || ClientName.trimmed().isEmpty())
        return false;
    zelk::com::BStr name;
    name.Attach(StrToBSTR(ClientName));
    return FICommon->SetClientName(name.Get()) == S_OK;
}

bool TZelkCOMConnection::DoTimer() {
    return true;
}

void TZelkCOMConnection::SetActive(bool Value) {
    if (Value == FActive)
        return;
    if (Value) {
        Activate();
    } else {
        FActive = false;
        ReleaseInterfaces();
    }
}

void TZelkCOMConnection::Activate() {
    ReleaseInterfaces();
    CLSID classId;
    if (!NameToClsid(FServerName, classId))
        throw EOPCServerException(QStringLiteral("Server name not found in registry or empty"));
    CreateServerObject(classId, FComputerName, FIServer);
    if (FMultiThread && FIServer)
        FSharedServer = std::make_unique<TGIP>(FIServer.Get(), IID_IUnknown);
    // A server that is still starting up gets this much time; 0 only yields.
    if (FDelay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(FDelay));
    else
        std::this_thread::yield();
    if (!FIServer)
        throw EOPCServerException(
            QStringLiteral("Unable to connect to OPC server %1").arg(FServerName));

    // From here on a failure leaves the connection active; the client component treats
    // the activation as failed and releases this object.
    FActive = true;
    GetCommonIF();
    FShutDown = TZelkShutdownEvent::Create(this);
    if (FICommon && !FClientName.trimmed().isEmpty()) {
        zelk::com::BStr name;
        name.Attach(StrToBSTR(FClientName));
        FICommon->SetClientName(name.Get());
    }
    GetInterfaces();
}

void TZelkCOMConnection::GetInterfaces() {}

void TZelkCOMConnection::ReleaseInterfaces() {
    ReleaseServer();
}

void TZelkCOMConnection::ReleaseServer() noexcept {
    if (FShutDown) {
        // Detached before the unadvise, so that a request arriving meanwhile is dropped
        // instead of reaching a component that is disconnecting.
        const ComPtr<TZelkShutdownEvent> sink = std::move(FShutDown);
        sink->Detach();
        if (FIServer && sink->RetCode() == S_OK) {
            try {
                ConnectionUnadvise(OPCServer().Get(), IID_IOPCShutdown, sink->Cookie());
            } catch (...) {
                // The shared pointer could not be fetched: the server keeps the sink.
            }
        }
    }
    FICommon.Reset();
    FSharedServer.reset();
    FIServer.Reset();
}

ComPtr<IUnknown> TZelkCOMConnection::OPCServer() {
    if (FMultiThread && FSharedServer) {
        ComPtr<IUnknown> shared;
        FSharedServer->GetIntf(shared.PutVoid());
        FIServer = std::move(shared);
    }
    return FIServer;
}

ComPtr<IOPCCommon> TZelkCOMConnection::GetCommonIF() {
    const ComPtr<IUnknown> server = OPCServer();
    if (!server)
        return nullptr;
    if (!FICommon && FAILED(server.As(&FICommon)))
        FICommon.Reset();
    return FICommon;
}

bool TZelkCOMConnection::Version2orHigher() {
    if (FVersion2orHigher < 0) {
        FVersion2orHigher = 0;
        if (FIServer) {
            ComPtr<IConnectionPointContainer> container;
            if (SUCCEEDED(OPCServer().As(&container)) && container)
                FVersion2orHigher = 1;
        }
    }
    return FVersion2orHigher == 1;
}

bool TZelkCOMConnection::Version3() {
    if (!FIServer)
        return false;
    ComPtr<IUnknown> browse;
    return SUCCEEDED(OPCServer().QueryInterface(IID_IOPCBrowse, browse.PutVoid())) && browse;
}

void TZelkCOMConnection::CheckConnected() {
    if (!OPCServer())
        throw EOPCServerException(NotConnectedMessage);
}

void TZelkCOMConnection::CreateServerObject(REFCLSID ClassId, const QString& Computer,
                                            ComPtr<IUnknown>& Unk) {
    Unk.Reset();
    if (Computer.trimmed().isEmpty()) {
        ComPtr<IUnknown> server;
        const HRESULT hr =
            CoCreateInstance(ClassId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                             IID_PPV_ARGS(server.Put()));
        if (FAILED(hr))
            throw EOleSysError(
                QStringLiteral("%1, ClassID: %2").arg(SysErrorMessage(hr), ClsidToStr(ClassId)),
                hr);
        Unk = std::move(server);
        return;
    }
    // The name goes to the platform as it was given, untrimmed.
    Unk = CreateRemoteObject(ClassId, Computer);
}

// ---- TZelkShutdownEvent ----

TZelkShutdownEvent::TZelkShutdownEvent(TZelkCOMConnection* aOPCServer) : FOPCServer(aOPCServer) {
    if (aOPCServer && aOPCServer->Version2orHigher()) {
        DWORD cookie = 0;
        FRetCode =
            ConnectionAdvise(aOPCServer->OPCServer().Get(), IID_IOPCShutdown, GetUnknown(), cookie);
        FCookie = cookie;
    }
}

HRESULT STDMETHODCALLTYPE TZelkShutdownEvent::ShutdownRequest(LPCWSTR szReason) {
    return zelk::com::ComBoundary([&] {
        std::lock_guard lock(FLock);
        if (!FOPCServer)
            return S_OK;
        // Set first: the server is going away whether or not the post succeeds.
        FRetCode = E_FAIL;
        FOPCServer->GetHandler()->PostMsg(
            MSG_SERVER_SHUTDOWN, 0,
            std::make_unique<TZelkShutdownReason>(zelk::com::ToQString(szReason)));
        return S_OK;
    });
}

void TZelkShutdownEvent::Detach() {
    std::lock_guard lock(FLock);
    FOPCServer = nullptr;
}
