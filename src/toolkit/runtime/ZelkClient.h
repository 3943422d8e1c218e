#pragma once

// TZelkClient: the transport-neutral base of every server component. It holds what
// identifies a server, owns the connection object, runs the connection's life
// (activation, shutdown requests, keep-alive with its time-out, log entries, the error
// hook) and stores its published settings as text.

#include "ZelkMsgQueue.h"
#include "ZelkReconnect.h"
#include "ZelkTransport.h"

#include <QStringList>
#include <functional>
#include <memory>

class QIODevice;
class QTimer;

namespace zelk::runtime {
class TZelkCallState;
}

using TOnOPCServerShutdownEvent = std::function<void(TComponent* Sender, const QString& Reason)>;
using TOnOPCConnectEvent = std::function<void(TComponent* Sender)>;
using TOnOPCTimeoutEvent = std::function<void(TComponent* Sender)>;
using TOnOPCLogEvent = std::function<void(TComponent* Sender, TZelkLogMsg* LogMsg)>;
using TOnOPCErrorEvent =
    std::function<void(TComponent* Sender, const QString& Errorstring, bool& RaiseException)>;

class TZelkClient : public TZelkHandleComponent {
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ ServerName WRITE SetServerName)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(QString ClientName READ ClientName WRITE SetClientName)
    Q_PROPERTY(int KeepAlive READ KeepAlive WRITE SetKeepAlive)
    Q_PROPERTY(QString ComputerName READ ComputerName WRITE SetComputerName)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(int LogLevel READ LogLevel WRITE SetLogLevel)
    Q_PROPERTY(bool AutoReconnect READ AutoReconnect WRITE SetAutoReconnect)
    Q_CLASSINFO("stored:Active", "always")
    Q_CLASSINFO("stored:KeepAlive", "always")
    Q_CLASSINFO("stored:LogLevel", "always")

public:
    // Takes the first registered transport as its protocol: EOPCException when no
    // transport is registered.
    explicit TZelkClient(TComponent* AOwner = nullptr);
    // Deactivates without firing OnDisconnect.
    ~TZelkClient() override;

    // ---- published ----
    QString ServerName() const { return FServerName; }
    void SetServerName(const QString& Value);
    bool Active() const { return FActive; }
    void SetActive(bool Value);
    QString ClientName() const { return FClientName; }
    void SetClientName(const QString& Value);
    int KeepAlive() const { return FKeepAlive; }
    // 0 stays 0; anything else up to 500 becomes 500.
    void SetKeepAlive(int Value);
    QString ComputerName() const { return FComputername; }
    void SetComputerName(const QString& Value);
    QString Version() const { return FVersion; }
    // The version is the component's own: a stored or assigned value is dropped.
    void SetVersion(const QString&) {}
    int LogLevel() const { return fLogLevel; }
    void SetLogLevel(int Value);
    // Whether a connection the server ends or loses (shutdown request, keep-alive time-out,
    // a call answering that the server is gone) is made again by itself, with growing waits
    // between the attempts (ReconnectBackoff), until it succeeds or the application sets
    // Active to false. Off by default.
    bool AutoReconnect() const { return FAutoReconnect; }
    // Switching it off stops a reconnection that is waiting.
    void SetAutoReconnect(bool Value);

    TOnOPCServerShutdownEvent OnServerShutdown;
    TOnOPCConnectEvent OnConnect;
    TOnOPCConnectEvent OnDisconnect;
    TOnOPCTimeoutEvent OnTimeout;
    TOnOPCLogEvent OnLog;
    TOnOPCErrorEvent OnError;

    // ---- public ----
    int LocaleId();
    void SetLocaleId(int Value);
    // The server's display name, recomputed by the transport on every read.
    QString ServerCaption();
    void SetServerCaption(const QString& Value) { FServerCaption = Value; }
    QString ServerClsId();
    tZelkConnectionType Protocol() const { return FProtocol; }
    // A different protocol reconnects an active component.
    void SetProtocol(tZelkConnectionType Value);
    const QStringList& Params() const { return FCParams; }
    void SetParams(const QStringList& Value) { FCParams = Value; }
    bool IsActive() const { return FActive; }
    // The text the server gave with its last shutdown request, for logs and operators
    // (OnServerShutdown carries the request's code); empty until a server shuts down.
    const QString& ServerShutdownReason() const { return FServerShutdownReason; }
    void SetIsActive(bool Value) { SetActive(Value); }
    // A lost connection waits for its next attempt (Active reads false meanwhile).
    bool Reconnecting() const { return FReconnecting; }
    // The attempts made since the connection was lost.
    int ReconnectAttempts() const { return FReconnectAttempts; }
    // The waits between attempts; a test or a program may shorten them.
    TZelkBackoff& ReconnectBackoff() { return FBackoff; }
    // Told of a server call that failed with Code, on the user-interface thread. With
    // AutoReconnect on, a code that says the server is gone ends the connection on the next
    // turn of the event loop (not inside the caller's work) and starts reconnecting.
    void NoteCallFailure(HRESULT Code);

    void Connect(const QString& aServerName, const QString& aComputerName);
    void Disconnect();
    // "opc.tcp://" in the server name selects UA, "http://" XML; otherwise no change.
    void DetectProtocol();
    // Sets one transport parameter; an empty value changes nothing.
    void SetParam(QString Param, const QString& Value);
    TServerStateRecord GetState();
    QString ServerStateStr(int ServerState) const;
    QString ServerTypeName();
    bool Version2();
    bool Version3();

    void SaveToStream(QIODevice& Stream) const;
    void SaveToFile(const QString& ToFile) const;
    void LoadFromStream(QIODevice& Stream);
    void LoadFromFile(const QString& FromFile);

    void HandleMsg(TZelkMsg& Msg) override;
    // One keep-alive tick: the probe of the tick before must have answered by now (its
    // deadline is one keep-alive period), then a new probe starts. The probe runs on a
    // thread of its own, so a server that hangs in it cannot freeze this thread.
    void HandleTimer() override;

protected:
    virtual void DoShutdown(std::int64_t Reason);
    // The server stopped answering the keep-alive probe; called before OnTimeout, and the
    // component disconnects after both.
    virtual void DoTimeout() {}
    virtual void DoNotify(int Value);
    virtual void DoLog(TZelkLogMsg* LogMsg);
    virtual ComPtr<IZelkConnection> CreateConnection();
    virtual void DoConnected();
    virtual void DoActivate();
    virtual void DoDeactivate();
    virtual void GetServerInfo(TServerStateRecord& dState);
    // The application stopped a reconnection that was waiting (Active set to false,
    // another server chosen, AutoReconnect switched off). Nothing at this level.
    virtual void DoReconnectStopped() {}
    void Loaded() override;
    // True while the loss of a connection is being handled and reconnection will follow,
    // and during the activation of an attempt: a subclass keeps what it shows across it.
    bool ReconnectPending() const { return FReconnecting; }
    // Writes one line to OnLog (LogSeverity 1 for a failure, 0 otherwise).
    void LogLine(const QString& Msg, const QString& Detail = QString(), int Severity = 0);

    bool CheckConnected();
    // Calls OnError, then raises EOPCException with Errorstring unless the handler said no.
    void DoError(const QString& Errorstring);
    IZelkConnection* GetConnection() const { return FOPCClient.Get(); }
    // Raises "Wrong file format" unless the stored text names ClassName (any case) in its
    // first 299 bytes, or anywhere when it is shorter.
    static void CheckFileFormat(const QString& ClassName, QIODevice& Source);

    QString FVersion = QStringLiteral("unknown");
    bool FShutDownFromServer = false;
    bool fTimerInWork = false;
    bool FWrongServertype = false;

private:
    void Activate();
    void Deactivate();
    // Tells the handlers (Notify), then deactivates; with AutoReconnect on, the first
    // reconnection attempt is scheduled afterwards. Why is said in the log.
    void NotifyThenDeactivate(const std::function<void()>& Notify, const QString& Why);
    // ---- reconnection (ZelkClientReconnect.cpp) ----
    void BeginReconnecting();
    void ScheduleReconnect(const QString& Why);
    void ReconnectAttempt();
    void StopReconnecting();
    QString TargetText() const;

    // The connection's Connect as a server call that may hang (ZelkServerCall.h): a
    // computer that does not answer asks "Server is not responding" instead of freezing
    // the window. Given up, the connect goes on on its own thread and the connection it
    // makes is released there. (ZelkClientDeadline.cpp)
    void ConnectOffThread();

    // ---- the keep-alive probe (ZelkClientDeadline.cpp) ----
    // Runs the connection's DoTimer on a thread of its own; its answer comes back as
    // MSG_KEEPALIVE.
    void StartProbe();
    // Forgets the probe in flight: a late answer is ignored, the thread frees it.
    void DropProbe() noexcept;
    void ProbeAnswered(std::int64_t Number);
    // The server did not answer the keep-alive: OnTimeout (when set), then disconnect.
    void KeepAliveTimedOut();

    std::shared_ptr<zelk::runtime::TZelkCallState> FProbe;
    // Written by the probe's thread before its state says finished.
    std::shared_ptr<bool> FProbeAlive;
    std::int64_t FProbeNumber = 0;

    ComPtr<IZelkConnection> FOPCClient;
    bool FActive = false;
    // While Deactivate runs; a loss noticed meanwhile is not a loss.
    bool FDeactivating = false;
    QString FServerName;
    QString FComputername;
    QString FClientName;
    QString FServerCaption;
    int FConnectDelay = 0;
    int FKeepAlive = 0;
    tZelkConnectionType FProtocol = tZelkConnectionType::coCOM;
    QStringList FCParams;
    int fLogLevel = 0;
    QString FServerShutdownReason;
    bool FAutoReconnect = false;
    bool FReconnecting = false;
    bool FLossPending = false;
    int FReconnectAttempts = 0;
    TZelkBackoff FBackoff;
    // Owned (Qt child); fires on the user-interface thread.
    QTimer* FReconnectTimer = nullptr;
};
