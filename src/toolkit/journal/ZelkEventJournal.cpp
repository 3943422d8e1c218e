#include "ZelkEventJournal.h"

#include "OsHelpers.h"
#include "ZelkEvent.h"
#include "ZelkEventServer.h"

namespace kind = zelk::journal::kind;

TZelkJournalServer JournalServerOf(const TZelkEventServer& Server) {
    // A plant-wide journal is written by many computers: "this computer" gets its name.
    const QString computer = Server.ComputerName();
    return {Server.ServerName(), computer.isEmpty() ? zelk::rtl::LocalComputerName() : computer};
}

TZelkEventJournal::TZelkEventJournal(QObject* parent) : QObject(parent) {
    FPoll.setInterval(250);
    connect(&FPoll, &QTimer::timeout, this, [this] { Poll(); });
}

TZelkEventJournal::~TZelkEventJournal() {
    for (TZelkEventServer* server : std::vector(FServers))
        Detach(server);
    Close();
}

void TZelkEventJournal::Open(const QString& Url, const TOptions& Options) {
    TZelkJournalWriterSettings settings;
    settings.Location = TZelkJournalLocation::Parse(Url);
    settings.Bound = Options.Bound;
    settings.RetryMin = Options.RetryMin;
    settings.RetryMax = Options.RetryMax;
    settings.Retention = Options.Retention;
    Close();
    FUrl = settings.Location.Url();
    FOptions = Options;
    FWriter = std::make_unique<TZelkJournalWriter>(std::move(settings));
    FWriter->Start();
    FStatus = TZelkJournalWriterStatus{};
    FPoll.start();
    Poll();
}

bool TZelkEventJournal::Close(std::chrono::milliseconds Drain) {
    if (!FWriter)
        return true;
    FPoll.stop();
    const bool complete = FWriter->Stop(Drain);
    FStatus = FWriter->Status();
    FWriter.reset();
    FUrl.clear();
    if (FState != TState::Off) {
        FState = TState::Off;
        Q_EMIT StateChanged(FState);
    }
    return complete;
}

void TZelkEventJournal::Attach(TZelkEventServer* Server) {
    if (!Server || std::find(FServers.begin(), FServers.end(), Server) != FServers.end())
        return;
    FServers.push_back(Server);
    Server->AddObserver(this);
}

void TZelkEventJournal::Detach(TZelkEventServer* Server) {
    const auto found = std::find(FServers.begin(), FServers.end(), Server);
    if (found == FServers.end())
        return;
    FServers.erase(found);
    Server->RemoveObserver(this);
}

QString TZelkEventJournal::StateText() const {
    switch (FState) {
    case TState::Writing:
        return QStringLiteral("Journal: writing");
    case TState::Behind:
        return QStringLiteral("Journal: behind by %1").arg(FStatus.Backlog);
    case TState::Unavailable:
        return QStringLiteral("Journal unavailable: %1").arg(FStatus.Message);
    case TState::Off:
        break;
    }
    return QStringLiteral("Journal: off");
}

void TZelkEventJournal::Poll() {
    if (!FWriter)
        return;
    const TZelkJournalWriterStatus status = FWriter->Status();
    // Nothing is known before the writer's first attempt to open the database.
    if (!status.Started)
        return;
    TState state = TState::Writing;
    if (!status.Available)
        state = TState::Unavailable;
    else if (status.Backlog > FOptions.BehindThreshold)
        state = TState::Behind;
    const bool changed = state != FState || status.Message != FStatus.Message ||
                         (state == TState::Behind && status.Backlog != FStatus.Backlog);
    FStatus = status;
    FState = state;
    if (changed)
        Q_EMIT StateChanged(FState);
}

void TZelkEventJournal::Post(std::vector<TZelkJournalEntry>&& Entries) {
    if (FWriter)
        FWriter->Post(std::move(Entries));
}

void TZelkEventJournal::RecordAction(TZelkEventServer* Server, TZelkJournalAction Action) {
    if (!FWriter)
        return;
    std::vector<TZelkJournalEntry> entries;
    entries.push_back({zelk::journal::NowTicks(),
                       Server ? JournalServerOf(*Server) : TZelkJournalServer{},
                       std::move(Action)});
    Post(std::move(entries));
}

void TZelkEventJournal::RecordKind(TZelkEventServer* Server, const char* Kind,
                                   const QString& Reason) {
    TZelkJournalAction action;
    action.Kind = QString::fromLatin1(Kind);
    action.Reason = Reason;
    RecordAction(Server, std::move(action));
}

void TZelkEventJournal::EventsReceived(TZelkEventServer* Server,
                                       const std::vector<std::unique_ptr<TZelkEvent>>& Events) {
    if (!FWriter)
        return;
    const std::int64_t received = zelk::journal::NowTicks();
    const TZelkJournalServer server = JournalServerOf(*Server);
    std::vector<TZelkJournalEntry> entries;
    entries.reserve(Events.size());
    for (const std::unique_ptr<TZelkEvent>& event : Events) {
        if (!event || (EventFilter && !EventFilter(*event)))
            continue;
        entries.push_back({received, server, TZelkEventRecord::FromEvent(*event)});
    }
    Post(std::move(entries));
}

void TZelkEventJournal::Acknowledged(TZelkEventServer* Server, const QString& Who,
                                     const QString& Comment,
                                     const std::vector<TZelkAckResult>& Results) {
    TZelkJournalAction action;
    action.Kind = QString::fromLatin1(kind::Acknowledge);
    action.Who = Who;
    action.Comment = Comment;
    action.Count = static_cast<std::int64_t>(Results.size());
    action.Results = Results;
    RecordAction(Server, std::move(action));
}

void TZelkEventJournal::Refreshed(TZelkEventServer* Server) {
    RecordKind(Server, kind::Refresh);
}

void TZelkEventJournal::Connected(TZelkEventServer* Server) {
    RecordKind(Server, kind::Connect);
}

void TZelkEventJournal::Disconnected(TZelkEventServer* Server) {
    RecordKind(Server, kind::Disconnect);
}

void TZelkEventJournal::ServerShutdown(TZelkEventServer* Server, const QString& Reason) {
    RecordKind(Server, kind::Shutdown, Reason);
}

void TZelkEventJournal::KeepAliveTimedOut(TZelkEventServer* Server) {
    RecordKind(Server, kind::Timeout);
}

void TZelkEventJournal::ServerDestroyed(TZelkEventServer* Server) {
    std::erase(FServers, Server);
}
