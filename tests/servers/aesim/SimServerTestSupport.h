#pragma once

// Helpers of the server suites: a leak check, a shutdown sink that keeps the reasons the
// server sends, and a rig that registers a simulator with a manual clock and connects to it
// through COM as a client does.

#include "RecordingEventSink.h"
#include "ZelkAESim.h"
#include "activation.h"
#include "comobject.h"
#include "opc_ae.h"
#include "opccomn.h"
#include "regkeys.h"
#include "taskmem.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace zelk::aesim::servertest {

// Declared first in a test: when the test ends, after everything else it made has gone,
// checks that no task memory, COM object or registry key was left behind.
class TSrvLeakCheck {
public:
    TSrvLeakCheck() = default;
    TSrvLeakCheck(const TSrvLeakCheck&) = delete;
    TSrvLeakCheck& operator=(const TSrvLeakCheck&) = delete;
    ~TSrvLeakCheck() {
        EXPECT_EQ(zelk::com::LiveTaskAllocations(), FTaskAllocations) << "task memory leaked";
        EXPECT_EQ(zelk::com::LiveComObjects(), FComObjects) << "COM objects leaked";
        EXPECT_EQ(zelk::com::OpenRegistryKeys(), FRegistryKeys) << "registry keys left open";
    }

private:
    const long long FTaskAllocations = zelk::com::LiveTaskAllocations();
    const long long FComObjects = zelk::com::LiveComObjects();
    const std::size_t FRegistryKeys = zelk::com::OpenRegistryKeys();
};

inline QString S(const char* text) {
    return QString::fromUtf8(text);
}

using zelk::test::TRecordedEvent;
using zelk::test::TRecordingEventSink;

class TSrvShutdownSink : public zelk::com::ComObject<TSrvShutdownSink, IOPCShutdown> {
public:
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override;
    QStringList Reasons() const;

private:
    mutable std::mutex FLock;
    QStringList FReasons;
};

// A registered simulator (manual clock, no process drift unless a test runs steps) and
// one client connection to it, made through CoCreateInstance.
class TSrvRig {
public:
    explicit TSrvRig(const TSimClassOptions& options = TSimClassOptions());
    ~TSrvRig();

    // A new client connection (another server object of the same class).
    ComPtr<IOPCEventServer> Connect() const;
    // An active subscription of `server` with buffer time 0 and no size limit, with
    // `sink` advised on it.
    ComPtr<IOPCEventSubscriptionMgt> Subscribe(IOPCEventServer* server,
                                               TRecordingEventSink* sink) const;

    TScopedAESimulator Sim;
    ComPtr<IOPCEventServer> Server;
    ComPtr<TRecordingEventSink> Sink;
    ComPtr<IOPCEventSubscriptionMgt> Subscription;
};

// AckCondition for one condition; *itemResult receives the per-condition result.
HRESULT AckOne(IOPCEventServer* server, const QString& acknowledger, const QString& comment,
               const QString& source, const QString& condition, FILETIME activeTime, DWORD cookie,
               HRESULT* itemResult);

std::uint64_t Ticks(const FILETIME& time);

} // namespace zelk::aesim::servertest
