#include "MonitorSession.h"

#include "ZelkAESim.h"
#include "ZelkEventItems.h"
#include "ZelkEventJournal.h"

#include <QTimer>

namespace zelk::monitor {

namespace {
// How long the end of a run waits for the journal to write what is still waiting.
constexpr std::chrono::seconds JournalDrain{15};
} // namespace

void ConfigureEventServer(TZelkEventServer& server, const TMonitorOptions& options) {
    server.SetServerName(options.ServerName);
    server.SetComputerName(options.ComputerName);
    server.SetClientName(options.ClientName);
    server.SetKeepAlive(options.KeepAlive);
    server.SetAutoReconnect(options.Reconnect);
}

TMonitorSession::TMonitorSession(const TMonitorOptions& options, TMonitorOutput& output,
                                 zelk::aesim::TAESimulator* simulator, QObject* parent)
    : QObject(parent), FOptions(options), FOutput(output), FSimulator(simulator) {}

TMonitorSession::~TMonitorSession() {
    Disconnect();
}

int TMonitorSession::Run() {
    FServer = std::make_unique<TZelkEventServer>();
    ConfigureEventServer(*FServer, FOptions);
    if (FOptions.HasFilter) {
        // Off until connected: an inactive filter gets an inactive subscription, so
        // nothing arrives before the category names have been checked.
        FFilter = FServer->Filter()->Add();
        FFilter->SetName(QStringLiteral("Monitor"));
        FFilter->SetActive(false);
        FFilter->SetEventType(FOptions.EventTypes);
        FFilter->SetSeverityLow(FOptions.SeverityLow);
        FFilter->SetSeverityHigh(FOptions.SeverityHigh);
        FFilter->SetCategories(FOptions.Categories);
        FFilter->SetAreas(FOptions.Areas);
        FFilter->SetSources(FOptions.Sources);
    }
    InstallHandlers();
    OpenJournal();
    const QString target = Target();
    try {
        FServer->SetActive(true);
    } catch (const Exception& e) {
        Finish(ExitUnavailable,
               QStringLiteral("cannot connect to %1: %2").arg(target, e.Message()));
    } catch (const std::exception& e) {
        Finish(ExitUnavailable, QStringLiteral("cannot connect to %1: %2")
                                    .arg(target, QString::fromLocal8Bit(e.what())));
    }
    if (!FFinished && !FServer->Active())
        Finish(ExitUnavailable, QStringLiteral("cannot connect to %1").arg(target));
    if (!FFinished) {
        if (!FFilter || StartFilter()) {
            if (FOptions.DurationMs > 0)
                QTimer::singleShot(std::chrono::milliseconds(FOptions.DurationMs), this,
                                   [this] { Finish(ExitOk); });
            if (!FFinished)
                FLoop.exec();
        }
    }
    Disconnect();
    return FExitCode;
}

void TMonitorSession::Stop() {
    Finish(ExitOk);
}

void TMonitorSession::Finish(int exitCode, const QString& errorText) {
    if (FFinished)
        return;
    FFinished = true;
    FExitCode = exitCode;
    FErrorText = errorText;
    FLoop.exit();
}

void TMonitorSession::InstallHandlers() {
    FServer->OnEvent = [this](TComponent*, TZelkEvent* event) { HandleEvent(event); };
    FServer->OnEndUpdate = [this](TComponent*) { HandleEndUpdate(); };
    FServer->OnServerShutdown = [this](TComponent*, const QString& reason) {
        FlushOutput();
        ConnectionLost(QStringLiteral("the server shut down: %1").arg(ShutdownReason(reason)));
    };
    FServer->OnTimeout = [this](TComponent*) {
        FlushOutput();
        ConnectionLost(QStringLiteral("the server stopped answering the keep-alive probe"));
    };
    FServer->OnDisconnect = [this](TComponent*) {
        if (FDisconnecting)
            return;
        if (!FServer->Reconnecting()) {
            Finish(ExitConnectionLost, QStringLiteral("connection lost"));
            return;
        }
        FlushOutput();
        Notice(
            QStringLiteral("connection lost: %1; reconnecting")
                .arg(FLossReason.isEmpty() ? QStringLiteral("the server is gone") : FLossReason));
        FLossReason.clear();
    };
    FServer->OnConnect = [this](TComponent*) {
        if (FConnected)
            Notice(QStringLiteral("reconnected to %1 (attempt %2)")
                       .arg(Target())
                       .arg(FServer->ReconnectAttempts()));
        FConnected = true;
    };
}

bool TMonitorSession::StartFilter() {
    const TZelkEventItems* categories = FServer->Categories();
    QStringList unknown;
    for (const QString& name : std::as_const(FOptions.Categories))
        if (!categories->ByName(name))
            unknown << name;
    if (!unknown.isEmpty()) {
        // The toolkit drops names the server does not know, which would widen the filter
        // to every category: refuse instead.
        QStringList known;
        categories->NamesToStrings(known);
        Finish(ExitUsage, QStringLiteral("unknown category %1; the server knows: %2")
                              .arg(QLatin1Char('\'') + unknown.join(QStringLiteral("', '")) +
                                       QLatin1Char('\''),
                                   known.join(QStringLiteral(", "))));
        return false;
    }
    try {
        FFilter->SetActive(true);
        FFilter->Refresh();
        // The conditions active now, as the default filter gets them on connect.
        FServer->Refresh();
    } catch (const Exception& e) {
        Finish(ExitUsage, QStringLiteral("the server refused the filter: %1").arg(e.Message()));
        return false;
    }
    return true;
}

void TMonitorSession::Disconnect() {
    if (!FServer)
        return;
    FDisconnecting = true;
    FServer->OnEvent = nullptr;
    FServer->OnBeginUpdate = nullptr;
    FServer->OnEndUpdate = nullptr;
    FServer->OnServerShutdown = nullptr;
    FServer->OnTimeout = nullptr;
    FServer->OnDisconnect = nullptr;
    FServer->OnConnect = nullptr;
    try {
        FServer->SetActive(false);
    } catch (const Exception&) {
        // A server that fails while being released cannot change how the run ended.
    }
    FFilter = nullptr;
    FServer.reset();
    FOutput.Flush();
    CloseJournal();
}

void TMonitorSession::OpenJournal() {
    if (FOptions.JournalUrl.isEmpty())
        return;
    FJournal = std::make_unique<TZelkEventJournal>();
    // The journal keeps what the run counts, so it holds what the output shows.
    FJournal->EventFilter = [this](const TZelkEvent&) {
        if (FFinished || (FOptions.Count > 0 && FJournaled >= FOptions.Count))
            return false;
        ++FJournaled;
        return true;
    };
    // Trouble is told as it starts, and so is the recovery; a journal that simply works
    // stays quiet.
    connect(FJournal.get(), &TZelkEventJournal::StateChanged, this,
            [this, last = TZelkEventJournal::TState::Off,
             reason = QString()](TZelkEventJournal::TState state) mutable {
                using TState = TZelkEventJournal::TState;
                const bool told =
                    (state != last && (state != TState::Writing || last != TState::Off)) ||
                    (state == TState::Unavailable && FJournal->Reason() != reason);
                last = state;
                reason = FJournal->Reason();
                if (told && state != TState::Off)
                    Notice(FJournal->StateText().replace(0, 1, QLatin1Char('j')));
            });
    FJournal->Open(FOptions.JournalUrl);
    FJournal->Attach(FServer.get());
}

void TMonitorSession::CloseJournal() {
    if (!FJournal)
        return;
    const QString url = FJournal->Url();
    const std::int64_t waiting = FJournal->Backlog();
    if (waiting > 0 && FJournal->State() == TZelkEventJournal::TState::Unavailable)
        Notice(QStringLiteral("journal: waiting up to %1 s for %2 to take %3 entries")
                   .arg(JournalDrain.count())
                   .arg(url)
                   .arg(waiting));
    disconnect(FJournal.get(), nullptr, this, nullptr);
    const bool complete = FJournal->Close(JournalDrain);
    if (!complete) {
        Notice(QStringLiteral("journal: %1 entries could not be written to %2")
                   .arg(FJournal->Lost())
                   .arg(url));
        if (FExitCode == ExitOk)
            FExitCode = ExitIoError;
    }
    FJournal.reset();
}

void TMonitorSession::Notice(const QString& text) {
    if (OnNotice)
        OnNotice(text);
}

void TMonitorSession::HandleEvent(TZelkEvent* event) {
    if (FFinished || FCountReached)
        return;
    if (!FOptions.Quiet) {
        if (FOptions.Format == TMonitorFormat::JsonLines)
            AppendJsonLine(FOutput.Buffer(), *event);
        else
            AppendTextLine(FOutput.Buffer(), *event);
    }
    ++FNotifications;
    if (FOptions.Count > 0 && FNotifications >= FOptions.Count)
        FCountReached = true;
    if (FSimulator && FNotifications == FOptions.SimulateRestartAfter) {
        zelk::aesim::TAESimulator* simulator = FSimulator;
        const QString reason =
            QStringLiteral("simulated restart after %1 notifications").arg(FNotifications);
        QTimer::singleShot(0, this, [simulator, reason] {
            simulator->Shutdown(reason);
            simulator->Restart();
        });
    }
    if (FSimulator && FNotifications == FOptions.SimulateShutdownAfter) {
        // Not from inside the component's batch: the shutdown request takes its own turn.
        zelk::aesim::TAESimulator* simulator = FSimulator;
        const QString reason =
            QStringLiteral("simulated shutdown after %1 notifications").arg(FNotifications);
        QTimer::singleShot(0, this, [simulator, reason] { simulator->Shutdown(reason); });
    }
    if (FOutput.Full())
        FlushOutput();
}

void TMonitorSession::HandleEndUpdate() {
    FlushOutput();
    if (FCountReached)
        Finish(ExitOk);
}

void TMonitorSession::FlushOutput() {
    if (FOutput.Buffer().empty() || FOutput.Flush())
        return;
    if (FOutput.BrokenPipe())
        Finish(ExitOk);
    else
        Finish(ExitIoError,
               QStringLiteral("cannot write to standard output: %1").arg(FOutput.ErrorText()));
}

void TMonitorSession::ConnectionLost(const QString& why) {
    if (FServer->Reconnecting())
        FLossReason = why;
    else
        Finish(ExitConnectionLost, QStringLiteral("connection lost: ") + why);
}

QString TMonitorSession::Target() const {
    return FOptions.ComputerName.isEmpty()
               ? FOptions.ServerName
               : FOptions.ServerName + QStringLiteral(" on ") + FOptions.ComputerName;
}

QString TMonitorSession::ShutdownReason(const QString& reported) const {
    // The handler's text is the request's code, which COM servers leave at 0; the
    // server's own words come with the request.
    if (!reported.isEmpty())
        return reported;
    if (!FServer->ServerShutdownReason().isEmpty())
        return FServer->ServerShutdownReason();
    return QStringLiteral("no reason given");
}

} // namespace zelk::monitor
