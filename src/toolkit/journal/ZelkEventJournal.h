#pragma once

// TZelkEventJournal: records what one or more event servers receive and what the operator
// does through them into a journal (see ZelkJournalLocation.h for the URLs). It observes
// the servers beside the application's handlers, turns each notification into a plain
// record on the user-interface thread and hands it to its writer thread; the UI thread
// never waits for the database. The state (writing, behind by N, unavailable) is reported
// through StateChanged, for a status bar or a log:
//
//   auto* journal = new TZelkEventJournal(window);
//   journal->Open(DefaultJournalUrl());       // EZelkJournalError for a bad URL only
//   journal->Attach(eventServer);
//   connect(journal, &TZelkEventJournal::StateChanged, window, [=] {
//       statusBar->showMessage(journal->StateText()); });
//
// Lives on the user-interface thread.

#include "ZelkEventServerObserver.h"
#include "ZelkJournalEntry.h"
#include "ZelkJournalWriter.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class TZelkEventJournal : public QObject, public IZelkEventServerObserver {
    Q_OBJECT

public:
    enum class TState { Off, Writing, Behind, Unavailable };
    Q_ENUM(TState)

    struct TOptions {
        // Entries held in memory while the database is away; beyond it they are counted
        // as lost (and the count is journaled once the database is back).
        std::size_t Bound = 1'000'000;
        // Entries waiting above which the journal reports itself behind.
        std::size_t BehindThreshold = 10'000;
        std::chrono::milliseconds RetryMin{250};
        std::chrono::milliseconds RetryMax{10'000};
        TZelkJournalRetention Retention;
    };

    explicit TZelkEventJournal(QObject* parent = nullptr);
    // Detaches from every server and closes (giving the writer a moment to finish).
    ~TZelkEventJournal() override;

    // Starts journaling to Url; an open journal is closed first. The database itself is
    // opened by the writer: the state stays Off until its first attempt, then becomes
    // Writing, or Unavailable with the reason.
    void Open(const QString& Url, const TOptions& Options);
    void Open(const QString& Url) { Open(Url, TOptions{}); }
    // Waits up to Drain for the writer to write what is waiting, then stops it. True when
    // everything recorded since Open reached the journal. The state becomes Off.
    bool Close(std::chrono::milliseconds Drain = std::chrono::seconds(5));
    bool IsOpen() const noexcept { return FWriter != nullptr; }
    // The URL of the open journal; empty when off.
    const QString& Url() const noexcept { return FUrl; }

    // Follows Server until Detach or its destruction. Not owned.
    void Attach(TZelkEventServer* Server);
    void Detach(TZelkEventServer* Server);

    // The notifications to keep, asked for each one in the order received; all when
    // unset. (The monitor keeps those it prints.)
    std::function<bool(const TZelkEvent&)> EventFilter;

    TState State() const noexcept { return FState; }
    // "Journal: writing", "Journal: behind by 12345", "Journal unavailable: <why>",
    // "Journal: off".
    QString StateText() const;
    // Entries waiting for the database; written and lost since Open.
    std::int64_t Backlog() const noexcept { return FStatus.Backlog; }
    std::int64_t Written() const noexcept { return FStatus.Written; }
    std::int64_t Lost() const noexcept { return FStatus.Lost; }
    // Why the journal is unavailable; empty otherwise.
    const QString& Reason() const noexcept { return FStatus.Message; }

    // Records an operator action that did not go through an event server.
    void RecordAction(TZelkEventServer* Server, TZelkJournalAction Action);

    // ---- IZelkEventServerObserver ----
    void EventsReceived(TZelkEventServer* Server,
                        const std::vector<std::unique_ptr<TZelkEvent>>& Events) override;
    void Acknowledged(TZelkEventServer* Server, const QString& Who, const QString& Comment,
                      const std::vector<TZelkAckResult>& Results) override;
    void Refreshed(TZelkEventServer* Server) override;
    void Connected(TZelkEventServer* Server) override;
    void Disconnected(TZelkEventServer* Server) override;
    void ServerShutdown(TZelkEventServer* Server, const QString& Reason) override;
    void KeepAliveTimedOut(TZelkEventServer* Server) override;
    void ServerDestroyed(TZelkEventServer* Server) override;

Q_SIGNALS:
    // The state changed, or the backlog of a journal that is behind did.
    void StateChanged(TZelkEventJournal::TState State);

private:
    // Reads the writer's status and signals a change.
    void Poll();
    void Post(std::vector<TZelkJournalEntry>&& Entries);
    void RecordKind(TZelkEventServer* Server, const char* Kind, const QString& Reason = {});

    std::unique_ptr<TZelkJournalWriter> FWriter;
    QString FUrl;
    TOptions FOptions;
    std::vector<TZelkEventServer*> FServers; // not owned; each removed when it is destroyed
    QTimer FPoll;
    TState FState = TState::Off;
    TZelkJournalWriterStatus FStatus;
};

// The server and computer an entry of Server is journaled under.
TZelkJournalServer JournalServerOf(const TZelkEventServer& Server);
