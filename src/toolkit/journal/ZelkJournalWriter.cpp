#include "ZelkJournalWriter.h"

#include "ZelkJournalSchema.h"
#include "ZelkJournalStore.h"

#include <iterator>

namespace {

// An idle journal looks for rows to purge this often; a busy purge goes on step by step.
constexpr std::chrono::seconds PurgeInterval{30};

} // namespace

TZelkJournalWriter::TZelkJournalWriter(TZelkJournalWriterSettings Settings)
    : FSettings(std::move(Settings)) {}

TZelkJournalWriter::~TZelkJournalWriter() {
    Stop(std::chrono::milliseconds{0});
}

void TZelkJournalWriter::Start() {
    const std::lock_guard lock(FLock);
    if (FThread.joinable() || FStopping)
        return;
    FThread = std::thread([this] { Run(); });
}

void TZelkJournalWriter::Post(std::vector<TZelkJournalEntry>&& Entries) {
    if (Entries.empty())
        return;
    {
        const std::lock_guard lock(FLock);
        const std::size_t held = FQueued + FInFlight;
        const std::size_t room = held < FSettings.Bound ? FSettings.Bound - held : 0;
        if (const auto dropped =
                static_cast<std::int64_t>(Entries.size() - std::min(room, Entries.size()))) {
            // The oldest are kept: what follows a gap is worth less than what led to it.
            Entries.resize(Entries.size() - static_cast<std::size_t>(dropped));
            if (FLostUnrecorded == 0)
                FLostSince = zelk::journal::NowTicks();
            FLostUnrecorded += dropped;
            FStatus.Lost += dropped;
        }
        if (!Entries.empty()) {
            FQueued += Entries.size();
            FQueue.push_back(std::move(Entries));
        }
    }
    FWake.notify_one();
}

bool TZelkJournalWriter::Stop(std::chrono::milliseconds Drain) {
    {
        const std::lock_guard lock(FLock);
        if (!FStopping) {
            FStopping = true;
            FDrainDeadline = TClock::now() + Drain;
        }
    }
    FWake.notify_one();
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
    const std::lock_guard lock(FLock);
    const bool drained = FQueued == 0 && FInFlight == 0;
    if (!drained) {
        // Never started, or stopped before it could write everything.
        FStatus.Lost += static_cast<std::int64_t>(FQueued + FInFlight);
        FQueue.clear();
        FQueued = 0;
        FInFlight = 0;
    }
    return drained && FLostUnrecorded == 0;
}

TZelkJournalWriterStatus TZelkJournalWriter::Status() const {
    const std::lock_guard lock(FLock);
    TZelkJournalWriterStatus status = FStatus;
    status.Backlog = FQueued + FInFlight;
    return status;
}

void TZelkJournalWriter::Unavailable(const QString& Message) {
    FStore.reset();
    FConnection.reset();
    FRetry = FRetry.count() == 0 ? FSettings.RetryMin : std::min(FRetry * 2, FSettings.RetryMax);
    const std::lock_guard lock(FLock);
    FStatus.Available = false;
    FStatus.Started = true;
    FStatus.Message = Message;
}

bool TZelkJournalWriter::OpenDatabase() {
    try {
        FConnection = std::make_unique<TZelkJournalConnection>(FSettings.Location, true);
        zelk::journal::PrepareSchema(*FConnection, true);
        FStore = std::make_unique<TZelkJournalStore>(*FConnection);
    } catch (const Exception& e) {
        Unavailable(e.Message());
        return false;
    } catch (const std::exception& e) {
        // Nothing may end the writer's thread: what it cannot do now it retries.
        Unavailable(QString::fromLocal8Bit(e.what()));
        return false;
    }
    const std::lock_guard lock(FLock);
    FStatus.Available = true;
    FStatus.Started = true;
    FStatus.Message.clear();
    return true;
}

TZelkJournalEntry TZelkJournalWriter::LostEntry() const {
    TZelkJournalAction lost;
    lost.Kind = QString::fromLatin1(zelk::journal::kind::Lost);
    lost.Count = FLostUnrecorded;
    lost.Reason =
        QStringLiteral("the journal's backlog of %1 entries was full").arg(FSettings.Bound);
    return TZelkJournalEntry{FLostSince, {}, std::move(lost)};
}

void TZelkJournalWriter::WriteBatch(std::vector<TZelkJournalEntry>& Batch) {
    std::int64_t lostRecorded = 0;
    {
        const std::lock_guard lock(FLock);
        if (FLostUnrecorded > 0) {
            Batch.push_back(LostEntry());
            lostRecorded = FLostUnrecorded;
        }
    }
    QString failure;
    try {
        FStore->Write(Batch);
    } catch (const Exception& e) {
        failure = e.Message();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (!failure.isEmpty()) {
        if (lostRecorded > 0)
            Batch.pop_back();
        Unavailable(failure);
        return;
    }
    FRetry = std::chrono::milliseconds{0};
    const std::lock_guard lock(FLock);
    FStatus.Written += static_cast<std::int64_t>(Batch.size()) - (lostRecorded > 0 ? 1 : 0);
    FLostUnrecorded -= lostRecorded;
    FStatus.Available = true;
    FStatus.Message.clear();
    Batch.clear();
    FInFlight = 0;
}

void TZelkJournalWriter::Run() {
    std::vector<TZelkJournalEntry> batch;
    TClock::time_point nextAttempt = TClock::now();
    TClock::time_point nextPurge = TClock::now();
    for (;;) {
        std::unique_lock lock(FLock);
        const TClock::time_point now = TClock::now();
        if (FStopping &&
            ((FQueue.empty() && batch.empty() && FLostUnrecorded == 0) || now >= FDrainDeadline))
            break;
        if (!FConnection) {
            if (now < nextAttempt) {
                FWake.wait_until(lock,
                                 FStopping ? std::min(nextAttempt, FDrainDeadline) : nextAttempt);
                continue;
            }
            lock.unlock();
            if (!OpenDatabase())
                nextAttempt = TClock::now() + FRetry;
            continue;
        }
        if (batch.empty()) {
            if (FQueue.empty() && FLostUnrecorded == 0) {
                if (FSettings.Retention.Any() && now >= nextPurge && !FStopping) {
                    lock.unlock();
                    std::int64_t deleted = 0;
                    try {
                        deleted = FStore->PurgeStep(FSettings.Retention, zelk::journal::NowTicks());
                    } catch (const Exception& e) {
                        Unavailable(e.Message());
                        nextAttempt = TClock::now() + FRetry;
                    }
                    nextPurge = deleted > 0 ? TClock::now() : TClock::now() + PurgeInterval;
                    continue;
                }
                const TClock::time_point until =
                    FSettings.Retention.Any() ? nextPurge : now + std::chrono::hours(1);
                FWake.wait_until(lock, until, [this] { return FStopping || !FQueue.empty(); });
                continue;
            }
            // Whole posts, up to MaxBatch entries (at least one post); joined unlocked.
            std::vector<std::vector<TZelkJournalEntry>> posts;
            std::size_t taken = 0;
            while (!FQueue.empty() &&
                   (taken == 0 || taken + FQueue.front().size() <= FSettings.MaxBatch)) {
                taken += FQueue.front().size();
                posts.push_back(std::move(FQueue.front()));
                FQueue.pop_front();
            }
            FQueued -= taken;
            FInFlight = taken;
            lock.unlock();
            if (posts.size() == 1) {
                batch = std::move(posts.front());
            } else {
                batch.reserve(taken);
                for (auto& post : posts)
                    std::move(post.begin(), post.end(), std::back_inserter(batch));
            }
        } else {
            lock.unlock();
        }
        WriteBatch(batch);
        if (!FConnection)
            nextAttempt = TClock::now() + FRetry;
    }
    // The lock is released by the break's scope; the database goes with the thread.
    FStore.reset();
    FConnection.reset();
    const std::lock_guard lock(FLock);
    if (!batch.empty()) {
        // Stopped before this batch could be written: it waits with the rest, so Stop
        // counts it.
        FQueued += batch.size();
        FQueue.push_front(std::move(batch));
        FInFlight = 0;
    }
}
