#pragma once

// TZelkEventServer: the component through which an application talks to one OPC AE
// server. It owns the AE connection, the event list into which every incoming batch of
// notifications is merged (with the handlers through which the application follows it
// and the auto-delete rule that drops finished conditions), the caches of the server's
// categories, attributes, conditions and sub-conditions, the filter collection whose
// filters each own one server subscription while connected, and the area browser. It
// acknowledges conditions and reads a condition's full state.
//
// Everything runs on the user-interface thread except NextEventId, which the event
// constructor calls on whatever thread the server delivers notifications on: a
// subscription's sink builds the events there and posts them as one MSG_EVENTS batch.

#include "ZelkComn.h"
#include "ZelkEvent.h"
#include "ZelkEventFilter.h"
#include "ZelkEventItems.h"
#include "ZelkEventList.h"
#include "ZelkEventRecycler.h"
#include "ZelkEventServerObservers.h"
#include "opc_ae.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_set>
#include <vector>

class TZelkCOMAEConnection;
class TZelkEventAreaBrowser;
class TZelkEventCondition;

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TOnZelkEvent = std::function<void(TComponent* Sender, TZelkEvent* Event)>;
using TOnZelkAckEvent = std::function<void(TComponent* Sender, TZelkEvent* Event)>;

// The payload of MSG_EVENTS: the events of one server callback in the order the server
// sent them. It owns them until the event list takes them over; whatever it still holds
// when it is destroyed is destroyed with it.
class TZelkEventBatch : public TObject {
public:
    std::vector<std::unique_ptr<TZelkEvent>> Events;
    // The server's last call of a refresh ended with this batch.
    bool LastRefresh = false;
};

class TZelkEventServer : public TZelkClient {
    Q_OBJECT
    Q_PROPERTY(TZelkEventFilters* Filter READ Filter)
    Q_PROPERTY(int MaxSize READ MaxSize WRITE SetMaxSize)
    Q_PROPERTY(int Buffertime READ Buffertime WRITE SetBuffertime)
    Q_PROPERTY(bool AutoDelete READ AutoDelete WRITE SetAutoDelete)
    Q_PROPERTY(QStringList EventlistSort READ EventlistSort WRITE SetEventlistSort)
    Q_CLASSINFO("default:AutoDelete", "True")

public:
    // An empty event list sorted by "Active (D)" and "Time (D)"; no caches; ids from 1;
    // no filter; a detached browser; AutoDelete on; Version "5.28"; the COM protocol.
    explicit TZelkEventServer(TComponent* AOwner = nullptr);
    // Disconnects without calling OnDisconnect, then destroys the browser, every event,
    // the caches and the filters (each un-advising its subscription).
    ~TZelkEventServer() override;

    // ---- published ----
    // The filters; while connected each has one server subscription.
    TZelkEventFilters* Filter() const noexcept { return FFilter.get(); }
    // Requested maximum number of events per server callback for new subscriptions.
    int MaxSize() const noexcept { return FMaxSize; }
    void SetMaxSize(int Value) noexcept { FMaxSize = Value; }
    // Requested buffer time in milliseconds for new subscriptions.
    int Buffertime() const noexcept { return FBuffertime; }
    void SetBuffertime(int Value) noexcept { FBuffertime = Value; }
    // Whether a condition that is enabled, inactive and needs no (more) acknowledgement
    // leaves the list as soon as its notification has been merged.
    bool AutoDelete() const noexcept { return FAutoDel; }
    void SetAutoDelete(bool Value) noexcept { FAutoDel = Value; }
    // The sort lines: a property name, ascending, or a name followed by " (D)",
    // descending. Setting them replaces the sort items and re-sorts; no sort item leaves
    // the single line "none". An unknown name raises EPropertyError "Property %s does not
    // exist": the items of the lines before it stay, and the lines are kept as given.
    const QStringList& EventlistSort() const noexcept { return FEventSort; }
    void SetEventlistSort(QStringList Value);

    // Fires for every incoming event before it is merged (its ID is still its own).
    TOnZelkEvent OnEvent;
    // Fires for a merged event whose notification reports an acknowledgement, and for an
    // event acknowledged locally (simple and tracking events).
    TOnZelkAckEvent OnEventAck;
    TNotifyEvent OnBeginUpdate;
    TNotifyEvent OnEndUpdate;
    TOnZelkEvent OnDeleteEvent;

    // Listeners beside the handlers above (a journal, a second view): see
    // IZelkEventServerObserver. Not owned; an observer removes itself before it goes, or
    // forgets the component when told it is destroyed.
    void AddObserver(IZelkEventServerObserver* Observer) { FObservers.Add(Observer); }
    void RemoveObserver(IZelkEventServerObserver* Observer) { FObservers.Remove(Observer); }
    zelk::ae::TEventServerObservers& Observers() noexcept { return FObservers; }

    // ---- public ----
    // The server's filter capabilities (OPC_FILTER_BY_...); all false before the first
    // connect, the last server's answer after a disconnect.
    bool CanFilterByEvent() const noexcept { return (FFilterMask & OPC_FILTER_BY_EVENT) != 0; }
    bool CanFilterByCategory() const noexcept {
        return (FFilterMask & OPC_FILTER_BY_CATEGORY) != 0;
    }
    bool CanFilterBySeverity() const noexcept {
        return (FFilterMask & OPC_FILTER_BY_SEVERITY) != 0;
    }
    bool CanFilterByArea() const noexcept { return (FFilterMask & OPC_FILTER_BY_AREA) != 0; }
    bool CanFilterBySource() const noexcept { return (FFilterMask & OPC_FILTER_BY_SOURCE) != 0; }
    // The area browser; attached to this component while connected.
    TZelkEventAreaBrowser* Browser() const noexcept { return FBrowser.get(); }
    // Whether the server offers an area browser. "Not connected to server" without a
    // connection.
    bool BrowserSupport();
    // The server's status record; the caller owns nothing in it (no vendor text).
    OPCEVENTSERVERSTATUS GetStatus();
    // Empties the event list and asks every subscription to send its conditions again.
    void Refresh();

    // Acknowledges the events of AckEvents: conditions waiting for an acknowledgement go
    // to the server in one call; simple, tracking and disabled events are acknowledged
    // here (OnEventAck, and auto-delete when inactive). The first per-condition failure
    // raises through OPCCheck.
    void AcknowledgeEvents(const QString& Who, const QString& Comment, TZelkEvents* AckEvents);
    // The same for the events a referring list names (events of this component's list,
    // or events their caller keeps alive), in its order.
    void AcknowledgeEvents(const QString& Who, const QString& Comment,
                           const TZelkEventRefs& AckEvents);
    // Acknowledges every event of the list that is not active.
    void AcknowledgeNotActiveEvents(const QString& Who, const QString& Comment);
    // Acknowledges every event of the list.
    void AcknowledgeAllEvents(const QString& Who, const QString& Comment);
    // The current state of one condition as the server reports it; null when Source or
    // ConditionName is empty or the server has no information (OPC_E_NOINFO).
    std::unique_ptr<TZelkEventCondition> GetConditionState(const QString& Source,
                                                           const QString& ConditionName);

    // Merges MSG_EVENTS batches; every other message goes to the base.
    void HandleMsg(TZelkMsg& Msg) override;
    TZelkEvents* Events() const noexcept { return FEvents.get(); }
    // The server's categories with their attributes: simple, then condition, then
    // tracking categories, each group in the server's order. Read from the server on
    // first use; a failing query leaves what was read before it. Empty without a
    // connection; dropped on every connect and disconnect.
    TZelkEventItems* Categories();
    // The condition names of every category in the order of Categories, each with its
    // sub-conditions. Read on first use; a failure raises and leaves the partly filled
    // cache, which later reads return.
    TZelkEventItems* Conditions();
    // Changes whenever the caches are dropped, so holders of a cache entry know to look
    // it up again.
    std::uint32_t CategoriesGeneration() const noexcept { return FCategoriesGeneration; }
    // The category lookup that names the attribute values of this server's events; it
    // expires when the component is destroyed. Callable from any thread.
    TZelkCategoryLookupRef CategoryLookup() const noexcept { return FCategoryLookup; }
    // Where the events the list lets go wait for the thread that built them (the event
    // sinks'); shared with them, as they may outlive the component.
    const std::shared_ptr<TZelkEventRecycler>& Recycler() const noexcept { return FRecycler; }

    // The next event id: 1 to 2147483646, then 1 again. Callable from any thread.
    int NextEventId() noexcept;
    // The update bracket: OnBeginUpdate fires at the outermost BeginUpdate, OnEndUpdate at
    // the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();
    // The connection's IOPCEventServer; null without a connection. Virtual, so that a
    // test can put a server of its own behind the component.
    virtual ComPtr<IOPCEventServer> GetOPCEventServer();
    // Replaces Conditions by the condition names the server knows for Source; empty when
    // the server answers anything but S_OK or there is no connection.
    void QuerySourceConditions(const QString& Source, QStringList& Conditions);

    // Deletes an event of the event list: fires OnDeleteEvent while the event is still
    // listed, then the list destroys it (also when the handler raised). An event the list
    // does not hold is not this component's to destroy: nothing happens.
    void DeleteEvent(TZelkEvent* Event);
    // Ends the life of an event nobody else holds (a previous notification the list
    // discards): OnDeleteEvent, then destruction (by the thread that built it when it can),
    // also when the handler raised.
    void DeleteEvent(std::unique_ptr<TZelkEvent> Event);
    // Re-sorts the event list inside the update bracket.
    void Resort();
    // Closes a bracket opened with BeginUpdate after re-sorting the list; the bracket
    // closes also when the sort raises.
    void ResortAndEndUpdate();
    void ClearSortItems();
    void AddSortItem(const QString& PropName, bool Desc);

protected:
    // Creates the AE connection and remembers it in FConnection.
    ComPtr<IZelkConnection> CreateConnection() override;
    // The filter capabilities are read, before the application's OnConnect.
    void DoConnected() override;
    // Ids start again at 1; the list is emptied and the caches dropped; every filter gets
    // a fresh subscription (or a "Default" filter is made) and is refreshed.
    void DoActivate() override;
    // The list is emptied, every subscription un-advised, the browser detached, the
    // connection forgotten and the caches dropped.
    void DoDeactivate() override;
    void DoShutdown(std::int64_t Reason) override;
    void DoTimeout() override;
    // The events kept across the outage go: nothing will bring them up to date.
    void DoReconnectStopped() override;
    // ---- after a reconnection (ZelkEventServerReconnect.cpp) ----
    // The list of the old connection stays while the new subscriptions refresh it; what
    // the refresh does not report again leaves the list once every refresh has ended.
    void RefreshAfterReconnect();
    // The keys of List are current again.
    void NoteReported(const TZelkEventBatch& List);
    // One subscription's refresh ended.
    void RefreshEnded();
    void DropStaleEvents();
    void GetServerInfo(TServerStateRecord& dState) override;
    // One batch, inside one update bracket: OnEvent, merge, OnEventAck, auto-delete for
    // each event in order. When a handler raises, the rest of the batch is destroyed.
    void ProcessEvents(std::unique_ptr<TZelkEventBatch> List);

    void AddCategories(DWORD EventType);
    void QueryCategories(DWORD EventType, TZelkEventItems* Items);
    void QueryAttributes(int CategoryId, TZelkEventItems* Items);
    void QueryConditions(int CategoryId, TZelkEventItems* Items);
    void QuerySubConditions(const QString& ConditionName, TZelkEventItems* Items);
    void DropCaches() noexcept;
    std::shared_ptr<IZelkCategoryLookup> MakeCategoryLookup();

    // The last id handed out; reached from server threads.
    std::atomic<std::int32_t> FGlobalId{0};
    std::uint32_t FFilterMask = 0;
    std::unique_ptr<TZelkEvents> FEvents;
    const std::shared_ptr<TZelkEventRecycler> FRecycler = std::make_shared<TZelkEventRecycler>();
    bool FAutoDel = true;
    std::unique_ptr<TZelkEventItems> FCategoryList;
    std::unique_ptr<TZelkEventItems> FConditions;
    std::unique_ptr<TZelkEventAreaBrowser> FBrowser;
    std::unique_ptr<TZelkEventFilters> FFilter;
    std::int32_t FMaxSize = 0;
    std::int32_t FBuffertime = 0;
    QStringList FEventSort;
    std::int32_t FUpdateCounter = 0;
    // Not counted: the base's connection reference keeps it alive; cleared when the
    // connection goes (DoDeactivate) and before a new one is made.
    TZelkCOMAEConnection* FConnection = nullptr;
    std::uint32_t FCategoriesGeneration = 0;
    zelk::ae::TEventServerObservers FObservers;
    // The keys of the lost connection's events that no notification of the new one has
    // reported yet, while the refresh after a reconnection runs, and the refreshes it
    // still waits for.
    std::unordered_set<QString> FStaleKeys;
    int FPendingRefreshes = 0;
    // Shared only so that events can hold it weakly; released at the end of destruction.
    std::shared_ptr<IZelkCategoryLookup> FCategoryLookup;
};
