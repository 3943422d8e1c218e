#pragma once

// TZelkJournalWriter: the journal's own thread. Entries are posted from any thread into a
// bounded backlog and never wait for the database; the thread takes everything waiting,
// writes it in one transaction, and runs the retention's purge in small steps when idle.
// While the database cannot be opened or written, the thread retries with a growing pause
// and the backlog holds what waits; entries beyond the bound are counted as lost, and the
// count goes into the journal itself once it can be written again.

#include "ZelkJournalEntry.h"
#include "ZelkJournalLocation.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct TZelkJournalWriterSettings {
    TZelkJournalLocation Location;
    // Entries the backlog holds at most (the batch being written included).
    std::size_t Bound = 1'000'000;
    // The pause before the first retry, doubled after each failure up to RetryMax.
    std::chrono::milliseconds RetryMin{250};
    std::chrono::milliseconds RetryMax{10'000};
    // Entries per transaction at most.
    std::size_t MaxBatch = 20'000;
    TZelkJournalRetention Retention;
};

struct TZelkJournalWriterStatus {
    bool Available = false;  // the database is open and the last write went through
    bool Started = false;    // a first attempt to open it has been made
    std::size_t Backlog = 0; // entries waiting, the batch being written included
    std::int64_t Written = 0;
    std::int64_t Lost = 0; // dropped because the backlog was full
    QString Message;       // why the journal is unavailable; empty otherwise
};

class TZelkJournalWriter {
public:
    explicit TZelkJournalWriter(TZelkJournalWriterSettings Settings);
    // Stops without waiting for the backlog (see Stop).
    ~TZelkJournalWriter();
    TZelkJournalWriter(const TZelkJournalWriter&) = delete;
    TZelkJournalWriter& operator=(const TZelkJournalWriter&) = delete;

    void Start();
    // Any thread. Takes what fits into the backlog; the rest is counted as lost.
    void Post(std::vector<TZelkJournalEntry>&& Entries);
    // Lets the thread write what is waiting for up to Drain, then ends it. What is still
    // waiting then is counted as lost. True when everything posted was written.
    bool Stop(std::chrono::milliseconds Drain);
    TZelkJournalWriterStatus Status() const;

private:
    using TClock = std::chrono::steady_clock;

    void Run();
    // The thread's steps; each returns with the lock released.
    bool OpenDatabase();
    void WriteBatch(std::vector<TZelkJournalEntry>& Batch);
    void Unavailable(const QString& Message);
    TZelkJournalEntry LostEntry() const;

    const TZelkJournalWriterSettings FSettings;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    // What waits, as posted: each Post hands over its entries in one piece, so a poster
    // holds the lock only for a move, whatever the batch's size.
    std::deque<std::vector<TZelkJournalEntry>> FQueue;
    std::size_t FQueued = 0;
    std::size_t FInFlight = 0;
    bool FStopping = false;
    TClock::time_point FDrainDeadline;
    TZelkJournalWriterStatus FStatus;
    // Lost entries not yet recorded in the journal, and when the first of them was lost.
    std::int64_t FLostUnrecorded = 0;
    std::int64_t FLostSince = 0;
    std::thread FThread;

    // Owned and used by the thread only.
    std::unique_ptr<TZelkJournalConnection> FConnection;
    std::unique_ptr<class TZelkJournalStore> FStore;
    std::chrono::milliseconds FRetry{0};
};
