#pragma once

// TZelkEventServer: the component through which an application talks to one OPC AE
// server. This layer holds what the event record, the event list and everything built on
// them rely on: the AE connection and the accessor to its IOPCEventServer, the event id
// counter, the update bracket, the subscription defaults, the caches of the server's
// categories, attributes, conditions and sub-conditions, the event list with its sort
// settings, and the delete operation of an event.
//
// Everything runs on the user-interface thread except NextEventId, which the event
// constructor calls on whatever thread the server delivers notifications on.

#include "ZelkComn.h"
#include "ZelkEvent.h"
#include "ZelkEventItems.h"
#include "ZelkEventList.h"
#include "opc_ae.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class TZelkCOMAEConnection;

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TOnZelkEvent = std::function<void(TComponent* Sender, TZelkEvent* Event)>;

class TZelkEventServer : public TZelkClient {
    Q_OBJECT
    Q_PROPERTY(int MaxSize READ MaxSize WRITE SetMaxSize)
    Q_PROPERTY(int Buffertime READ Buffertime WRITE SetBuffertime)
    Q_PROPERTY(QStringList EventlistSort READ EventlistSort WRITE SetEventlistSort)

public:
    // An empty event list sorted by "Active (D)" and "Time (D)"; no caches; ids from 1.
    explicit TZelkEventServer(TComponent* AOwner = nullptr);
    // Disconnects without calling OnDisconnect, then destroys every event.
    ~TZelkEventServer() override;

    // ---- published ----
    // Requested maximum number of events per server callback for new subscriptions.
    int MaxSize() const noexcept { return FMaxSize; }
    void SetMaxSize(int Value) noexcept { FMaxSize = Value; }
    // Requested buffer time in milliseconds for new subscriptions.
    int Buffertime() const noexcept { return FBuffertime; }
    void SetBuffertime(int Value) noexcept { FBuffertime = Value; }
    // The sort lines: a property name, ascending, or a name followed by " (D)",
    // descending. Setting them replaces the sort items and re-sorts; no sort item leaves
    // the single line "none". An unknown name raises EPropertyError "Property %s does not
    // exist": the items of the lines before it stay, and the lines are kept as given.
    const QStringList& EventlistSort() const noexcept { return FEventSort; }
    void SetEventlistSort(QStringList Value);

    TNotifyEvent OnBeginUpdate;
    TNotifyEvent OnEndUpdate;
    TOnZelkEvent OnDeleteEvent;

    // ---- public ----
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

    // Fires OnDeleteEvent, then destroys Event (also when the handler raised); the event
    // leaves the event list.
    void DeleteEvent(TZelkEvent* Event);
    // Re-sorts the event list inside the update bracket.
    void Resort();
    void ClearSortItems();
    void AddSortItem(const QString& PropName, bool Desc);

protected:
    // Creates the AE connection and remembers it in FConnection.
    ComPtr<IZelkConnection> CreateConnection() override;
    // Ids start again at 1; the list is emptied and the caches dropped.
    void DoActivate() override;
    // The list is emptied, the connection forgotten and the caches dropped.
    void DoDeactivate() override;

    void AddCategories(DWORD EventType);
    void QueryCategories(DWORD EventType, TZelkEventItems* Items);
    void QueryAttributes(int CategoryId, TZelkEventItems* Items);
    void QueryConditions(int CategoryId, TZelkEventItems* Items);
    void QuerySubConditions(const QString& ConditionName, TZelkEventItems* Items);
    void DropCaches() noexcept;

    // The last id handed out; reached from server threads.
    std::atomic<std::int32_t> FGlobalId{0};
    std::unique_ptr<TZelkEvents> FEvents;
    std::unique_ptr<TZelkEventItems> FCategoryList;
    std::unique_ptr<TZelkEventItems> FConditions;
    std::int32_t FMaxSize = 0;
    std::int32_t FBuffertime = 0;
    QStringList FEventSort;
    std::int32_t FUpdateCounter = 0;
    // Not counted: the base's connection reference keeps it alive; cleared when the
    // connection goes (DoDeactivate) and before a new one is made.
    TZelkCOMAEConnection* FConnection = nullptr;
    std::uint32_t FCategoriesGeneration = 0;
};
