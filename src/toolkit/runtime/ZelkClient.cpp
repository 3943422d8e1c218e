#include "ZelkClient.h"

#include "ScopeExit.h"
#include "ShowException.h"
#include "StringLists.h"
#include "TextForm.h"
#include "ZelkExceptions.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

using enum ZelkEnums::tZelkConnectionType;

namespace {

// The transport parameters a component starts with, all empty.
QStringList InitialParams() {
    return {QStringLiteral("xml-user="),        QStringLiteral("xml-pass="),
            QStringLiteral("xml-proxy="),       QStringLiteral("ua-usermode="),
            QStringLiteral("ua-user="),         QStringLiteral("ua-pass="),
            QStringLiteral("ua-data="),         QStringLiteral("ua-proxy="),
            QStringLiteral("ua-cert-file="),    QStringLiteral("ua-pkey-file="),
            QStringLiteral("ua-securitymode="), QStringLiteral("ua-securitypolicy=")};
}

QString TransportModuleHint(tZelkConnectionType Protocol) {
    switch (Protocol) {
    case coXML:
        return QStringLiteral(" (add ZelkXMLLink in uses clause)");
    case coCOM:
        return QStringLiteral(" (add ZelkCOMLink in uses clause)");
    case coUA:
        return QStringLiteral(" (add ZelkUALink in uses clause)");
    }
    return QString();
}

// Takes the shutdown requests still queued out of Queue: they were posted by a connection
// that is gone, and must not end the one being made.
void DropQueuedShutdowns(std::deque<std::unique_ptr<TZelkMsg>>* Queue, std::mutex& Lock,
                         TZelkMsgBacklog& Backlog) {
    std::deque<std::unique_ptr<TZelkMsg>> dropped; // destroyed after the lock
    const std::lock_guard guard(Lock);
    if (!Queue)
        return;
    for (auto it = Queue->begin(); it != Queue->end();) {
        if ((*it)->MsgId == MSG_SERVER_SHUTDOWN) {
            dropped.push_back(std::move(*it));
            it = Queue->erase(it);
            Backlog.Taken();
        } else {
            ++it;
        }
    }
}

} // namespace

TZelkClient::TZelkClient(TComponent* AOwner)
    : TZelkHandleComponent(AOwner), FProtocol(DefaultConnectionType()), FCParams(InitialParams()) {}

TZelkClient::~TZelkClient() {
    Destroying();
    FReconnecting = false;
    OnDisconnect = nullptr;
    try {
        Deactivate();
    } catch (...) {
        // A server that fails while being released cannot stop the component's end.
    }
    DropProbe();
}

// ---- published properties ----

void TZelkClient::SetServerName(const QString& Value) {
    if (Value == FServerName)
        return;
    if (!ComponentState().Contains(csLoading)) {
        StopReconnecting();
        Deactivate();
    }
    FServerName = Value;
}

void TZelkClient::SetActive(bool Value) {
    // The application's word ends a reconnection that waits.
    if (!ComponentState().Contains(csLoading))
        StopReconnecting();
    if (Value)
        Activate();
    else
        Deactivate();
}

void TZelkClient::SetClientName(const QString& Value) {
    FClientName = Value;
    if (FActive && !ComponentState().Contains(csDesigning) && FOPCClient)
        FOPCClient->SetClientName(Value);
}

void TZelkClient::SetKeepAlive(int Value) {
    FKeepAlive = (Value == 0 || Value > 500) ? Value : 500;
}

void TZelkClient::SetComputerName(const QString& Value) {
    if (Value == FComputername)
        return;
    if (!ComponentState().Contains(csLoading)) {
        StopReconnecting();
        Deactivate();
    }
    FComputername = Value;
}

void TZelkClient::SetLogLevel(int Value) {
    fLogLevel = Value;
    if (FOPCClient)
        FOPCClient->SetOption(QStringLiteral("LOGLEVEL"), QString::number(Value));
}

// ---- public properties and methods ----

int TZelkClient::LocaleId() {
    if (!FOPCClient)
        throw EOPCException(NotConnectedMessage);
    return FOPCClient->GetLocaleId();
}

void TZelkClient::SetLocaleId(int Value) {
    if (FOPCClient)
        FOPCClient->SetLocaleId(Value);
}

QString TZelkClient::ServerCaption() {
    QString clsId;
    ResolveServerNames(FProtocol, FServerName, FServerCaption, clsId);
    return FServerCaption;
}

QString TZelkClient::ServerClsId() {
    QString caption;
    QString clsId;
    ResolveServerNames(FProtocol, FServerName, caption, clsId);
    return clsId;
}

void TZelkClient::SetProtocol(tZelkConnectionType Value) {
    if (Value == FProtocol)
        return;
    FProtocol = Value;
    if (!ComponentState().Contains(csLoading) && FActive) {
        Deactivate();
        Activate();
    }
}

void TZelkClient::Connect(const QString& aServerName, const QString& aComputerName) {
    StopReconnecting();
    Deactivate();
    SetServerName(aServerName);
    SetComputerName(aComputerName);
    Activate();
}

void TZelkClient::Disconnect() {
    StopReconnecting();
    Deactivate();
}

void TZelkClient::DetectProtocol() {
    const QString name = FServerName.toLower();
    if (name.contains(QStringLiteral("opc.tcp://")))
        SetProtocol(coUA);
    else if (name.contains(QStringLiteral("http://")))
        SetProtocol(coXML);
}

void TZelkClient::SetParam(QString Param, const QString& Value) {
    if (Value.isEmpty())
        return;
    if (FProtocol == coUA && !Param.startsWith(QStringLiteral("ua-")))
        Param.prepend(QStringLiteral("ua-"));
    else if (FProtocol == coXML && !Param.startsWith(QStringLiteral("xml-")))
        Param.prepend(QStringLiteral("xml-"));
    SetValues(FCParams, Param, Value);
}

TServerStateRecord TZelkClient::GetState() {
    TServerStateRecord state;
    GetServerInfo(state);
    return state;
}

QString TZelkClient::ServerStateStr(int ServerState) const {
    return ServerStateToStr(ServerState, FProtocol);
}

QString TZelkClient::ServerTypeName() {
    switch (FOPCClient ? FOPCClient->Servertype() : 0) {
    case 1:
        return QStringLiteral("DA 1 OPC Server");
    case 2:
        return QStringLiteral("DA 2 OPC Server");
    case 3:
        return QStringLiteral("DA 3 OPC Server");
    case 4:
        return QStringLiteral("XML DA 1 OPC Server");
    case 5:
        return QStringLiteral("OPC UA 1 Server ");
    }
    return QStringLiteral("unknown");
}

bool TZelkClient::Version2() {
    return FOPCClient && FOPCClient->Servertype() == 2;
}

bool TZelkClient::Version3() {
    return FOPCClient && FOPCClient->Servertype() == 3;
}

// ---- activation ----

void TZelkClient::Activate() {
    DetectProtocol();
    if (!ConnectionTypeRegistered(FProtocol))
        throw Exception(QStringLiteral("Protocol not supported") + TransportModuleHint(FProtocol));
    // While loading only the wish is kept; Loaded connects once every setting is read.
    if (ComponentState().Contains(csLoading)) {
        FActive = true;
        return;
    }
    if (FActive)
        return;

    DropQueuedShutdowns(fMsgQueue.get(), fLock, *fBacklog);
    FShutDownFromServer = false;
    FServerShutdownReason.clear();
    FOPCClient.Reset();
    FOPCClient = CreateConnection();
    if (!FOPCClient)
        throw Exception(OverrideCreateConnectionMessage);
    FOPCClient->SetOption(QStringLiteral("LOGLEVEL"), QString::number(fLogLevel));
    FOPCClient->SetOption(QStringLiteral("USESYNC"),
                          WorkThread().fUseSync ? QStringLiteral("1") : QStringLiteral("0"));
    FWrongServertype = false;

    const bool designing = ComponentState().Contains(csDesigning);
    if (!designing)
        fTimerInWork = false;
    try {
        ConnectOffThread();
        DoConnected();
        FActive = true;
        if (OnConnect)
            OnConnect(this);
        DoActivate();
    } catch (const std::exception& e) {
        // A designer shows the failure instead of failing the property write.
        if (!designing)
            throw;
        ShowException(e);
    }
}

void TZelkClient::Deactivate() {
    DropProbe();
    if (ComponentState().Contains(csLoading)) {
        FActive = false;
        return;
    }
    // Releasing the server may serve the message queue meanwhile (a worker that waits to
    // be synchronized): a loss handled there must not end the connection a second time.
    if (!FActive || FDeactivating)
        return;
    FDeactivating = true;
    const zelk::rtl::ScopeExit ended([this] { FDeactivating = false; });

    std::exception_ptr failure;
    try {
        DoDeactivate();
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        if (FOPCClient)
            FOPCClient->Disconnect();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    FActive = false;
    // Requests the connection posted before it was released would otherwise be taken for
    // a loss of the connection the application makes next.
    DropQueuedShutdowns(fMsgQueue.get(), fLock, *fBacklog);
    // The connection goes whatever OnDisconnect does.
    const zelk::rtl::ScopeExit release([this] { FOPCClient.Reset(); });
    if (OnDisconnect)
        OnDisconnect(this);
    if (failure)
        std::rethrow_exception(failure);
}

void TZelkClient::Loaded() {
    TZelkHandleComponent::Loaded();
    if (FActive) {
        FActive = false;
        Activate();
    }
}

// ---- virtual hooks ----

void TZelkClient::DoShutdown(std::int64_t Reason) {
    if (FShutDownFromServer)
        return;
    FShutDownFromServer = true;
    QString reason;
    if (Reason != 0)
        reason = FProtocol == coUA
                     ? u'$' + QString::number(static_cast<quint64>(Reason), 16).toUpper()
                     : QString::number(Reason);
    const QString why = FServerShutdownReason.isEmpty()
                            ? QStringLiteral("the server shut down")
                            : QStringLiteral("the server shut down: ") + FServerShutdownReason;
    NotifyThenDeactivate(
        [&] {
            if (OnServerShutdown)
                OnServerShutdown(this, reason);
        },
        why);
}

void TZelkClient::DoNotify(int) {}

void TZelkClient::DoLog(TZelkLogMsg* LogMsg) {
    if (OnLog && !ComponentState().Contains(csDestroying))
        OnLog(this, LogMsg);
}

ComPtr<IZelkConnection> TZelkClient::CreateConnection() {
    throw Exception(OverrideCreateConnectionMessage);
}

void TZelkClient::DoConnected() {}

void TZelkClient::DoActivate() {
    if (!ComponentState().Contains(csDesigning) && FKeepAlive > 0)
        WorkThread().SetTimer(FKeepAlive);
}

void TZelkClient::DoDeactivate() {
    if (!ComponentState().Contains(csDesigning) && FKeepAlive > 0)
        WorkThread().KillTimer();
}

void TZelkClient::GetServerInfo(TServerStateRecord&) {
    throw EAbstractError(QStringLiteral("Abstract Error"));
}

// ---- messages and the keep-alive timer ----

void TZelkClient::HandleMsg(TZelkMsg& Msg) {
    if (FShutDownFromServer) {
        // Ended by the server: everything is dropped until the next activation.
        Msg.OParam.reset();
        return;
    }
    switch (Msg.MsgId) {
    case MSG_SERVER_SHUTDOWN:
        // The request of a connection the application is ending: that connection is not
        // lost, and nothing reconnects it.
        if (FDeactivating)
            break;
        if (const auto* reason = dynamic_cast<const TZelkShutdownReason*>(Msg.OParam.get()))
            FServerShutdownReason = reason->Reason;
        DoShutdown(Msg.IParam);
        break;
    case MSG_TIMER:
        // A handler that pumps the event loop (a modal box in OnTimeout) must not let
        // the next tick in.
        if (!fTimerInWork && !FDeactivating) {
            fTimerInWork = true;
            const zelk::rtl::ScopeExit clear([this] { fTimerInWork = false; });
            HandleTimer();
        }
        break;
    case MSG_KEEPALIVE:
        ProbeAnswered(Msg.IParam);
        break;
    case MSG_NOTIFY:
        DoNotify(static_cast<int>(static_cast<std::uint32_t>(Msg.IParam & 0xFFFFFFFF)));
        break;
    case MSG_LOG: {
        // This class owns the log record: it goes when the message is handled.
        std::unique_ptr<TObject> record = std::move(Msg.OParam);
        if (OnLog)
            if (auto* log = dynamic_cast<TZelkLogMsg*>(record.get()))
                DoLog(log);
        break;
    }
    default:
        break;
    }
}

void TZelkClient::NotifyThenDeactivate(const std::function<void()>& Notify, const QString& Why) {
    // Set before the handlers run, so that they and the deactivation know a reconnection
    // follows; scheduled after, whatever they raised.
    BeginReconnecting();
    const zelk::rtl::ScopeExit schedule([this, &Why] {
        try {
            ScheduleReconnect(Why);
        } catch (...) {
            // A log handler that fails cannot keep the component from reconnecting.
        }
    });
    // The connection ends even when the handler fails; the handler's exception wins.
    zelk::rtl::RunThenClose(Notify, [this] { Deactivate(); });
}

// ---- errors ----

bool TZelkClient::CheckConnected() {
    if (!FOPCClient) {
        // OnError sees the text, but cannot stop the exception.
        DoError(NotConnectedMessage);
        throw EOPCException(NotConnectedMessage);
    }
    if (FWrongServertype)
        throw EOPCException(QStringLiteral("Server does not support requested specification"));
    return true;
}

void TZelkClient::DoError(const QString& Errorstring) {
    bool raiseException = true;
    if (OnError)
        OnError(this, Errorstring, raiseException);
    if (raiseException)
        throw EOPCException(Errorstring);
}

// ---- stored settings ----

void TZelkClient::SaveToStream(QIODevice& Stream) const {
    WriteComponentToStream(this, Stream);
}

void TZelkClient::SaveToFile(const QString& ToFile) const {
    const QByteArray text = WriteComponentToText(this);
    // Written aside and renamed at the end, so a failure never leaves a cut file.
    QSaveFile file(ToFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw EFCreateError(
            QStringLiteral("Cannot create file \"%1\". %2").arg(ToFile, file.errorString()));
}

void TZelkClient::LoadFromStream(QIODevice& Stream) {
    // A read that fails half-way must not leave a stored wish to be active behind.
    const bool wasActive = FActive;
    try {
        ReadComponentFromStream(Stream, this);
    } catch (...) {
        FActive = wasActive;
        throw;
    }
}

void TZelkClient::LoadFromFile(const QString& FromFile) {
    QFile file(FromFile);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(FromFile, file.errorString()));
    if (file.size() > zelk::rtl::MaxTextFormSize)
        throw EReadError(
            QStringLiteral("File \"%1\" is too large for stored settings").arg(FromFile));
    QByteArray text = file.readAll();
    QBuffer buffer(&text);
    buffer.open(QIODevice::ReadOnly);
    CheckFileFormat(QString::fromLatin1(metaObject()->className()), buffer);
    LoadFromStream(buffer);
}

void TZelkClient::CheckFileFormat(const QString& ClassName, QIODevice& Source) {
    // A component with few settings stores less than 299 bytes: the whole text is
    // searched then.
    Source.seek(0);
    const QByteArray head = Source.read(299);
    if (!QString::fromUtf8(head).toLower().contains(ClassName.toLower()))
        throw Exception(QStringLiteral("Wrong file format"));
    Source.seek(0);
}
