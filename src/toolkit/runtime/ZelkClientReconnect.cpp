// TZelkClient's automatic reconnection: a lost connection is made again after a wait
// that grows with every failed attempt, until it succeeds or the application says no.
// Everything here runs on the user-interface thread: the waits are a single-shot timer of
// the component, and an attempt is an ordinary activation.

#include "DateTime.h"
#include "Exceptions.h"
#include "ZelkClient.h"
#include "ZelkOPCErrors.h"

#include <QDateTime>
#include <QTimer>

namespace {

QString FailureText(const std::exception& e) {
    if (const auto* ours = dynamic_cast<const Exception*>(&e))
        return ours->Message();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

void TZelkClient::SetAutoReconnect(bool Value) {
    FAutoReconnect = Value;
    if (!Value)
        StopReconnecting();
}

void TZelkClient::NoteCallFailure(HRESULT Code) {
    if (!FAutoReconnect || !FActive || FLossPending || !IsConnectionLostCode(Code))
        return;
    // The caller is still in the middle of its work with the connection: the loss is
    // handled once it has unwound.
    FLossPending = true;
    QTimer::singleShot(0, this, [this, Code] {
        FLossPending = false;
        if (!FActive || FShutDownFromServer || !FAutoReconnect)
            return;
        const QString why = QStringLiteral("a call failed: ") + OPCErrorName(Code);
        try {
            NotifyThenDeactivate([] {}, why);
        } catch (const std::exception& e) {
            LogLine(QStringLiteral("Disconnecting from %1 failed").arg(TargetText()),
                    FailureText(e), 1);
        }
    });
}

void TZelkClient::LogLine(const QString& Msg, const QString& Detail, int Severity) {
    if (!OnLog || ComponentState().Contains(csDestroying))
        return;
    TZelkLogMsg log;
    log.LogTime = QDateTimeToDateTime(QDateTime::currentDateTime());
    log.LogSeverity = Severity;
    log.Msg = Msg;
    log.Detail = Detail;
    DoLog(&log);
}

QString TZelkClient::TargetText() const {
    return FComputername.isEmpty() ? FServerName
                                   : FServerName + QStringLiteral(" on ") + FComputername;
}

void TZelkClient::BeginReconnecting() {
    const TComponentState state = ComponentState();
    if (!FAutoReconnect || FReconnecting || state.Contains(csDesigning) ||
        state.Contains(csDestroying))
        return;
    FReconnecting = true;
    FReconnectAttempts = 0;
}

void TZelkClient::ScheduleReconnect(const QString& Why) {
    // A handler may have stopped it, or connected again itself; a second report of the same
    // loss (a shutdown request queued behind the time-out) leaves the running wait alone.
    if (!FReconnecting || (FReconnectTimer && FReconnectTimer->isActive()))
        return;
    if (FActive) {
        FReconnecting = false;
        return;
    }
    if (!FReconnectTimer) {
        FReconnectTimer = new QTimer(this);
        FReconnectTimer->setSingleShot(true);
        connect(FReconnectTimer, &QTimer::timeout, this, [this] { ReconnectAttempt(); });
    }
    const std::chrono::milliseconds wait = FBackoff.Delay(FReconnectAttempts);
    FReconnectTimer->start(wait);
    if (FReconnectAttempts == 0)
        LogLine(QStringLiteral("Connection to %1 lost (%2); next attempt in %3")
                    .arg(TargetText(), Why, DelayText(wait)),
                Why, 1);
    else
        LogLine(QStringLiteral("Reconnection attempt %1 to %2 failed (%3); next attempt in %4")
                    .arg(FReconnectAttempts)
                    .arg(TargetText(), Why, DelayText(wait)),
                Why, 1);
}

void TZelkClient::ReconnectAttempt() {
    if (!FReconnecting || FActive)
        return;
    ++FReconnectAttempts;
    LogLine(QStringLiteral("Reconnecting to %1 (attempt %2)")
                .arg(TargetText())
                .arg(FReconnectAttempts));
    QString failure;
    try {
        Activate();
    } catch (const std::exception& e) {
        failure = FailureText(e);
    } catch (...) {
        failure = QStringLiteral("unknown failure");
    }
    if (failure.isEmpty() && FActive) {
        const int attempts = FReconnectAttempts;
        FReconnecting = false;
        LogLine(QStringLiteral("Reconnected to %1 at attempt %2").arg(TargetText()).arg(attempts));
        return;
    }
    // Connected, but the work after it failed (subscriptions, refresh): that connection
    // is of no use, and the next attempt starts clean.
    if (FActive) {
        try {
            Deactivate();
        } catch (...) {
        }
    }
    ScheduleReconnect(failure.isEmpty() ? QStringLiteral("not connected") : failure);
}

void TZelkClient::StopReconnecting() {
    if (!FReconnecting)
        return;
    FReconnecting = false;
    if (FReconnectTimer)
        FReconnectTimer->stop();
    LogLine(QStringLiteral("Reconnection to %1 stopped").arg(TargetText()));
    DoReconnectStopped();
}
