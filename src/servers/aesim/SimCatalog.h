#pragma once

// The seam between the simulated server's plant and its subscriptions: what a
// notification is before a subscription shapes it into an ONEVENTSTRUCT, what a
// subscription may ask the server about its address space, and the clock both run on.

#include "comholders.h"
#include "comtypes.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace zelk::aesim {

// Milliseconds on the simulator's clock: the manual clock of test mode, or a monotonic
// clock in real-time mode. Buffer times and delivery intervals are measured on it.
using TSimMillis = std::int64_t;

// One attribute value of a notification, keyed by the category's attribute id.
struct TSimAttributeValue {
    DWORD Id = 0;
    zelk::com::ComVariant Value;
};

// One notification as the plant produces it. Every field has the meaning of the
// ONEVENTSTRUCT field of the same name; Attributes holds the value of every attribute
// of the notification's category (a subscription picks the ones selected for it).
struct TSimNotification {
    WORD ChangeMask = 0;
    WORD NewState = 0;
    QString Source; // fully qualified
    FILETIME Time{};
    QString Message;
    DWORD EventType = 0;
    DWORD EventCategory = 0;
    DWORD Severity = 0;
    QString ConditionName;
    QString SubconditionName;
    WORD Quality = 0;
    bool AckRequired = false;
    FILETIME ActiveTime{};
    DWORD Cookie = 0;
    QString ActorID;
    std::vector<TSimAttributeValue> Attributes;
    // Every area the source lies in, fully qualified, innermost last
    // ("Plant1", "Plant1.TankFarm", "Plant1.TankFarm.Tank 1").
    QStringList Areas;
};

struct TSimAttributeInfo {
    DWORD Id = 0;
    QString Description;
    VARTYPE Type = VT_EMPTY;
};

struct TSimCategoryInfo {
    DWORD Id = 0;
    QString Description;
    DWORD EventType = 0; // exactly one of OPC_SIMPLE_EVENT, OPC_TRACKING_EVENT, OPC_CONDITION_EVENT
    std::vector<TSimAttributeInfo> Attributes;
};

// What a subscription asks the server it belongs to. Implemented by the server; every
// call is thread-safe and returns copies, so the subscription holds no server lock
// while it uses the answer.
class ISimCatalog {
public:
    virtual ~ISimCatalog() = default;

    // The category with this id; false when there is none.
    virtual bool FindCategory(DWORD Id, TSimCategoryInfo& Category) const = 0;
    // Fully qualified names of every area and every source of the plant.
    virtual QStringList AreaNames() const = 0;
    virtual QStringList SourceNames() const = 0;
    // The current state of every enabled condition that is active or unacknowledged, as
    // notifications (ChangeMask 0), for a refresh. The subscription filters them.
    virtual std::vector<TSimNotification> RefreshSnapshot() const = 0;
    // Whether low severity 0 is accepted by SetFilter (a capability of the server class).
    virtual bool AcceptsLowSeverityZero() const = 0;
    // Whether Refresh answers E_NOTIMPL (a capability of the server class).
    virtual bool RefreshNotImplemented() const = 0;
};

// Fault injection and observation, one per simulated server class. Every COM method of
// the simulator starts with
//     if (auto injected = Faults.Enter("IOPCEventSubscriptionMgt::SetFilter")) return *injected;
// which waits the configured delay and then answers the injected result (using up one
// use of it), RPC_E_DISCONNECTED once the server has stopped answering or shut down, or
// nothing, in which case the method does its work. Methods that tests want to see
// record their arguments in text form with Record.
class TSimFaults;

// The server's side of one subscription. The server keeps it weakly: the subscription
// object owns it, and it ends with that object.
class ISimChannel {
public:
    virtual ~ISimChannel() = default;
    // Queues the notification when the subscription is active and its filter passes it.
    // Any thread; never calls the sink. Taken by value: the last of several channels is
    // handed the notification itself, so a flood copies no attribute value it need not.
    virtual void Publish(TSimNotification Notification) = 0;
    // Delivers what is due at `Now` (buffer time, max size, pending refresh chunks).
    // Calls the sink with no lock of the server or the subscription held.
    virtual void Pump(TSimMillis Now) = 0;
    // The server has shut down: drop the queue and the sink; every method of the
    // subscription answers RPC_E_DISCONNECTED from now on.
    virtual void Disconnect() = 0;
};

// Creates one subscription of `Server` (kept alive by the subscription) with the
// arguments of IOPCEventServer::CreateEventSubscription, which it validates and revises
// like that method; on success *ppUnk holds interface `riid` and `Channel` the
// subscription's channel. Implemented with the subscription object.
HRESULT CreateSimSubscription(IUnknown* Server, ISimCatalog& Catalog, TSimFaults& Faults,
                              BOOL bActive, DWORD dwBufferTime, DWORD dwMaxSize,
                              DWORD hClientSubscription, REFIID riid, IUnknown** ppUnk,
                              DWORD* pdwRevisedBufferTime, DWORD* pdwRevisedMaxSize,
                              std::shared_ptr<ISimChannel>* Channel);

// Creates an area browser of `Server` (kept alive by the browser) positioned at the root,
// answering interface `riid` in *ppUnk. The tree is the one the catalog's area and source
// names describe ("." between levels). Implemented with the area browser.
HRESULT CreateSimAreaBrowser(IUnknown* Server, ISimCatalog& Catalog, TSimFaults& Faults,
                             REFIID riid, IUnknown** ppUnk);

} // namespace zelk::aesim
