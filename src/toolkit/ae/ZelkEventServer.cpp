#include "ZelkEventServer.h"

#include "ZelkCOMAEConnection.h"

TZelkEventServer::TZelkEventServer(TComponent* AOwner)
    : TZelkClient(AOwner), FEvents(std::make_unique<TZelkEvents>()) {
    SetEventlistSort({QStringLiteral("Active (D)"), QStringLiteral("Time (D)")});
}

TZelkEventServer::~TZelkEventServer() {
    Destroying();
    OnDisconnect = nullptr;
    try {
        SetActive(false);
    } catch (...) {
        // A server that fails while being released cannot stop the component's end.
    }
    FEvents->DeleteEvents();
    DropCaches();
}

// ---- sorting ----

void TZelkEventServer::SetEventlistSort(QStringList Value) {
    ClearSortItems();
    FEventSort = std::move(Value);
    const QLatin1String descending("(D)");
    for (const QString& line : std::as_const(FEventSort)) {
        const qsizetype marker = line.indexOf(descending);
        // The character before the marker is taken to be the blank that separates it.
        if (marker >= 0)
            AddSortItem(line.left(std::max<qsizetype>(marker - 1, 0)), true);
        else
            AddSortItem(line, false);
    }
    if (FEvents->SortItemCount() > 0)
        Resort();
    else
        FEventSort = QStringList{QStringLiteral("none")};
}

void TZelkEventServer::Resort() {
    BeginUpdate();
    // The bracket closes also when the sort raises; the sort's exception wins.
    try {
        FEvents->Resort();
    } catch (...) {
        try {
            EndUpdate();
        } catch (...) {
        }
        throw;
    }
    EndUpdate();
}

void TZelkEventServer::ClearSortItems() {
    FEvents->ClearSortItems();
}

void TZelkEventServer::AddSortItem(const QString& PropName, bool Desc) {
    FEvents->AddSortItem(PropName, Desc);
}

// ---- events ----

int TZelkEventServer::NextEventId() noexcept {
    constexpr std::int32_t lastId = 2147483646;
    std::int32_t current = FGlobalId.load(std::memory_order_relaxed);
    std::int32_t next = 0;
    do {
        next = (current >= lastId || current < 0) ? 1 : current + 1;
    } while (!FGlobalId.compare_exchange_weak(current, next, std::memory_order_relaxed));
    return next;
}

void TZelkEventServer::DeleteEvent(TZelkEvent* Event) {
    if (!Event)
        return;
    const std::unique_ptr<TZelkEvent> doomed(Event);
    if (OnDeleteEvent)
        OnDeleteEvent(this, Event);
}

void TZelkEventServer::BeginUpdate() {
    if (FUpdateCounter == 0 && OnBeginUpdate)
        OnBeginUpdate(this);
    ++FUpdateCounter;
}

void TZelkEventServer::EndUpdate() {
    const std::int32_t before = FUpdateCounter--;
    if (before == 1 && OnEndUpdate)
        OnEndUpdate(this);
}

// ---- connection ----

ComPtr<IOPCEventServer> TZelkEventServer::GetOPCEventServer() {
    if (!FConnection || !GetConnection())
        return nullptr;
    return FConnection->OPCServer();
}

ComPtr<IZelkConnection> TZelkEventServer::CreateConnection() {
    FConnection = nullptr;
    ComPtr<TZelkCOMAEConnection> connection = TZelkCOMAEConnection::Create(this);
    FConnection = connection.Get();
    return ComPtr<IZelkConnection>(connection);
}

void TZelkEventServer::DoActivate() {
    CheckConnected();
    FGlobalId.store(0, std::memory_order_relaxed);
    FEvents->DeleteEvents();
    DropCaches();
    TZelkClient::DoActivate();
}

void TZelkEventServer::DoDeactivate() {
    TZelkClient::DoDeactivate();
    FEvents->DeleteEvents();
    FConnection = nullptr;
    DropCaches();
}
