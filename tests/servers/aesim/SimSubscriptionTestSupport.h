#pragma once

// Helpers of the subscription and area browser suites: a fake server that answers the
// catalog questions from lists the test sets, an event sink that keeps copies of what it
// receives, and a rig that makes one subscription of the fake server with its sink.

#include "SimCatalog.h"
#include "SimFaults.h"
#include "SimSubscription.h"
#include "bstr.h"
#include "comobject.h"
#include "opc_ae.h"
#include "taskmem.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

// The fake server's own interface (interfaces are declared in the global namespace).
ZELK_INTERFACE_IDENTITY(ISubTestServer, IUnknown, "5A0C2E61-7B1D-4C8E-9F20-3D4E5F607181");
struct ISubTestServer : IUnknown {
protected:
    ~ISubTestServer() = default;
};

namespace zelk::aesim::subtest {

// Declared first in a test: when the test ends, after everything else it made has gone,
// checks that no task memory and no COM object was left behind.
class TSubLeakCheck {
public:
    TSubLeakCheck() = default;
    TSubLeakCheck(const TSubLeakCheck&) = delete;
    TSubLeakCheck& operator=(const TSubLeakCheck&) = delete;
    ~TSubLeakCheck() {
        EXPECT_EQ(zelk::com::LiveTaskAllocations(), FTaskAllocations) << "task memory leaked";
        EXPECT_EQ(zelk::com::LiveComObjects(), FComObjects) << "COM objects leaked";
    }

private:
    const long long FTaskAllocations = zelk::com::LiveTaskAllocations();
    const long long FComObjects = zelk::com::LiveComObjects();
};

// Category and attribute ids of the fake plant.
inline constexpr DWORD kSystemMessage = 1;  // simple
inline constexpr DWORD kLevel = 2;          // condition: CV, AREAS, ACK COMMENT
inline constexpr DWORD kOperatorChange = 3; // tracking: PREV VALUE, NEW VALUE
inline constexpr DWORD kAttrCV = 10;
inline constexpr DWORD kAttrAreas = 11;
inline constexpr DWORD kAttrAckComment = 12;
inline constexpr DWORD kAttrPrevValue = 20;
inline constexpr DWORD kAttrNewValue = 21;

// The server a subscription belongs to: only its catalog answers matter here. Tests
// change the lists before they make the calls that read them.
class TSubFakeServer : public zelk::com::ComObject<TSubFakeServer, ISubTestServer>,
                       public ISimCatalog {
public:
    TSubFakeServer();

    bool FindCategory(DWORD Id, TSimCategoryInfo& Category) const override;
    QStringList AreaNames() const override { return Areas; }
    QStringList SourceNames() const override { return Sources; }
    std::vector<TSimNotification> RefreshSnapshot() const override { return Snapshot; }
    bool AcceptsLowSeverityZero() const override { return LowZero; }
    bool RefreshNotImplemented() const override { return NoRefresh; }

    std::vector<TSimCategoryInfo> Categories;
    QStringList Areas;
    QStringList Sources;
    std::vector<TSimNotification> Snapshot;
    bool LowZero = false;
    bool NoRefresh = false;
};

// A notification of `source` (fully qualified; its areas follow from the name).
TSimNotification Note(const QString& source, DWORD category = kLevel, DWORD severity = 500,
                      const QString& message = QString());
// Attribute values to add to a notification.
TSimAttributeValue Attr(DWORD id, double value);
TSimAttributeValue Attr(DWORD id, const QString& text);

// What a sink received in one record, copied during the call.
struct TSubEvent {
    QString Source;
    QString Message;
    QString Condition;
    QString Subcondition;
    QString Actor;
    bool NullText = false; // any string field was a null pointer
    WORD ChangeMask = 0;
    WORD NewState = 0;
    FILETIME Time{};
    FILETIME ActiveTime{};
    DWORD EventType = 0;
    DWORD Category = 0;
    DWORD Severity = 0;
    WORD Quality = 0;
    BOOL AckRequired = FALSE;
    DWORD Cookie = 0;
    std::vector<zelk::com::ComVariant> Attributes;
};

struct TSubCall {
    DWORD ClientHandle = 0;
    BOOL Refresh = FALSE;
    BOOL LastRefresh = FALSE;
    DWORD Count = 0;
    bool NullArray = false;
    std::vector<TSubEvent> Events;
    QStringList Sources() const;
};

class TSubSink : public zelk::com::ComObject<TSubSink, IOPCEventSink> {
public:
    HRESULT STDMETHODCALLTYPE OnEvent(OPCHANDLE hClientSubscription, BOOL bRefresh,
                                      BOOL bLastRefresh, DWORD dwCount,
                                      ONEVENTSTRUCT* pEvents) override;

    std::vector<TSubCall> Calls() const;
    // The sources of every real-time (or every refresh) record received, in order.
    QStringList Sources(bool refresh = false) const;
    void Clear();

    // What OnEvent answers after it has recorded the call.
    std::atomic<HRESULT> Result{S_OK};
    // Runs inside OnEvent after the call was recorded (a sink calling back).
    std::function<void(const TSubCall&)> OnCall;
    // Set when two calls were inside OnEvent at the same time.
    std::atomic<bool> Overlapped{false};

private:
    mutable std::mutex FLock;
    std::vector<TSubCall> FCalls;
    std::atomic<int> FInside{0};
};

// One subscription of a fake server, created as the server would create it.
class TSubRig {
public:
    TSubRig();
    ~TSubRig();

    // CreateSimSubscription's answer; Mgt and Channel hold the subscription.
    HRESULT Create(bool active = true, DWORD bufferTime = 0, DWORD maxSize = 0,
                   DWORD clientHandle = 1);
    // Advises `Sink` on the subscription's point; Cookie holds the cookie.
    HRESULT Advise();
    void Publish(const TSimNotification& notification) const { Channel->Publish(notification); }
    void Pump(TSimMillis now) const { Channel->Pump(now); }
    // SetFilter with every criterion given as lists.
    HRESULT SetFilter(DWORD eventType, std::vector<DWORD> categories, DWORD low, DWORD high,
                      const QStringList& areas = {}, const QStringList& sources = {});
    HRESULT SetState(const BOOL* active, const DWORD* bufferTime, const DWORD* maxSize,
                     DWORD clientHandle, DWORD* revisedBufferTime = nullptr,
                     DWORD* revisedMaxSize = nullptr);
    HRESULT SetActive(bool active);

    TSimFaults Faults;
    ComPtr<TSubFakeServer> Server;
    ComPtr<IOPCEventSubscriptionMgt> Mgt;
    std::shared_ptr<ISimChannel> Channel;
    ComPtr<TSubSink> Sink;
    DWORD Cookie = 0;
    DWORD RevisedBufferTime = 0;
    DWORD RevisedMaxSize = 0;
};

} // namespace zelk::aesim::subtest
