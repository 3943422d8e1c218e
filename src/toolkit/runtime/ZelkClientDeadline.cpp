// The calls of TZelkClient that a hung server must not freeze: its connect and its
// keep-alive. Each tick of the keep-alive timer starts one probe
// (the connection's DoTimer) on a thread of its own and returns; a probe that fails answers through
// MSG_KEEPALIVE at once, and a probe that has not answered by the next tick (one keep-alive period
// later) counts as a lost server. A hung server therefore cannot freeze the thread that handles the
// ticks, and the time-out still fires. The hung call is left to finish on its thread, which frees
// whatever it returns.

#include "ZelkClient.h"
#include "ZelkServerCall.h"

void TZelkClient::HandleTimer() {
    if (ComponentState().Contains(csDesigning) || !FActive || !FOPCClient)
        return;
    if (FProbe) {
        const bool answered = FProbe->Finished();
        const bool alive = answered && *FProbeAlive;
        DropProbe();
        if (!alive) {
            KeepAliveTimedOut();
            return;
        }
    }
    StartProbe();
}

void TZelkClient::StartProbe() {
    auto alive = std::make_shared<bool>(false);
    const ComPtr<IZelkConnection> connection = FOPCClient;
    FProbe = zelk::runtime::StartCall([connection, alive] { *alive = connection->DoTimer(); });
    FProbeAlive = std::move(alive);
    const std::int64_t number = ++FProbeNumber;
    // Cleared by DropProbe before this component can go, so the probe's thread never
    // posts to a component that is gone.
    FProbe->OnFinished([this, number] { PostMsg(MSG_KEEPALIVE, number, nullptr); });
}

void TZelkClient::DropProbe() noexcept {
    if (FProbe)
        FProbe->OnFinished({});
    FProbe.reset();
    FProbeAlive.reset();
}

void TZelkClient::ProbeAnswered(std::int64_t Number) {
    // An answer of a probe already judged (or of an earlier connection) is ignored.
    if (!FProbe || Number != FProbeNumber || !FProbe->Finished())
        return;
    const bool alive = *FProbeAlive;
    DropProbe();
    if (!alive && FActive && !ComponentState().Contains(csDesigning))
        KeepAliveTimedOut();
}

void TZelkClient::KeepAliveTimedOut() {
    if (FKeepAlive > 0)
        WorkThread().KillTimer();
    if (FShutDownFromServer)
        return;
    if (OnTimeout)
        FShutDownFromServer = true;
    NotifyThenDeactivate(
        [&] {
            DoTimeout();
            if (OnTimeout)
                OnTimeout(this);
        },
        QStringLiteral("the server stopped answering the keep-alive probe"));
}

void TZelkClient::ConnectOffThread() {
    const ComPtr<IZelkConnection> connection = FOPCClient;
    zelk::runtime::CallServer(*this,
                              [connection, clientName = FClientName, server = FServerName,
                               computer = FComputername, params = FCParams, delay = FConnectDelay] {
                                  connection->Connect(clientName, server, computer, params, delay);
                              });
}
