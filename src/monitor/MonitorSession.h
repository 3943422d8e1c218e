#pragma once

// TMonitorSession: one streaming run of the monitor. It connects an event server
// component with the run's filter, writes every notification to standard output as it
// arrives (flushed at the end of each batch), and ends on the first of: the count or
// the duration reached, a stop request (SIGINT, SIGTERM), the reader of the output gone,
// or the connection lost (server shutdown, keep-alive time-out; with --reconnect a loss is
// told on standard error and the component connects again by itself). It then un-advises and
// disconnects cleanly. With a journal, the notifications it counts (and the connection's
// actions) are journaled as well; the journal is given time to catch up at the end.
// Everything runs on the user-interface thread.

#include "MonitorOptions.h"
#include "MonitorOutput.h"
#include "ZelkEventServer.h"

#include <QEventLoop>
#include <QObject>
#include <functional>
#include <memory>

class TZelkEventJournal;

namespace zelk::aesim {
class TAESimulator;
}

namespace zelk::monitor {

// Puts server, computer, client name and keep-alive of `options` into the component.
void ConfigureEventServer(TZelkEventServer& server, const TMonitorOptions& options);

class TMonitorSession : public QObject {
    Q_OBJECT

public:
    // `simulator` is the simulated server registered in this process, which the testing
    // aids act on; null without one. Neither it nor `output` is owned.
    TMonitorSession(const TMonitorOptions& options, TMonitorOutput& output,
                    zelk::aesim::TAESimulator* simulator = nullptr, QObject* parent = nullptr);
    ~TMonitorSession() override;

    // Connects, streams and disconnects; returns the exit status. What the user must be
    // told (the toolkit's error text, the shutdown reason) is in ErrorText afterwards.
    int Run();
    // Ends the run with status 0; callable from a handler or a signal notifier.
    void Stop();
    const QString& ErrorText() const noexcept { return FErrorText; }
    std::int64_t Notifications() const noexcept { return FNotifications; }

    // What the user should hear about while the run goes on (the journal's state); the
    // program writes it to standard error.
    std::function<void(const QString&)> OnNotice;

private:
    void Finish(int exitCode, const QString& errorText = QString());
    void InstallHandlers();
    // Activates the run's own filter once its categories are known to the server.
    bool StartFilter();
    void Disconnect();
    void HandleEvent(TZelkEvent* event);
    void HandleEndUpdate();
    void FlushOutput();
    void OpenJournal();
    void CloseJournal();
    void Notice(const QString& text);
    QString ShutdownReason(const QString& reported) const;
    // A lost connection ends the run, or, while the component reconnects, is told.
    void ConnectionLost(const QString& why);
    QString Target() const;

    TMonitorOptions FOptions;
    TMonitorOutput& FOutput;
    zelk::aesim::TAESimulator* FSimulator; // not owned
    std::unique_ptr<TZelkEventJournal> FJournal;
    std::unique_ptr<TZelkEventServer> FServer;
    TZelkEventFilter* FFilter = nullptr; // owned by the server's filter collection
    QEventLoop FLoop;
    bool FFinished = false;
    bool FDisconnecting = false;
    bool FCountReached = false;
    bool FConnected = false;
    // Why the connection went, told with the disconnect that follows.
    QString FLossReason;
    int FExitCode = ExitOk;
    QString FErrorText;
    std::int64_t FNotifications = 0;
    std::int64_t FJournaled = 0;
};

} // namespace zelk::monitor
