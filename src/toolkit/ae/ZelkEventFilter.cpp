#include "ZelkEventFilter.h"

#include "ZelkEventServer.h"
#include "ZelkEventSubscription.h"
#include "opc_ae.h"

using enum ZelkAEEnums::TZelkEventtype;

TZelkEventFilter::TZelkEventFilter(TCollection* Collection) : TCollectionItem(Collection) {
    // The base constructor has already added this filter to the collection.
    FName = QStringLiteral("Filter_%1").arg(Collection ? Collection->Count() : 1);
}

TZelkEventFilter::~TZelkEventFilter() {
    try {
        UnSubscribe();
    } catch (...) {
        // A server that fails while being left cannot keep the filter alive.
    }
}

QString TZelkEventFilter::DisplayName() const {
    return FName.trimmed().isEmpty() ? TCollectionItem::DisplayName() : FName;
}

void TZelkEventFilter::SetName(const QString& Value) {
    if (!Value.isEmpty())
        FName = Value;
}

void TZelkEventFilter::SetActive(bool Value) {
    if (Value == FActive)
        return;
    FActive = Value;
    TZelkEventServer* server = OPCServer();
    if (!server || server->ComponentState().Contains(csDesigning) || !Value || FSubscriptor ||
        !server->Active())
        return;
    Subscribe();
    ApplyFilter();
}

void TZelkEventFilter::Refresh() {
    if (!FSubscriptor)
        return;
    FSubscriptor->SetActive(false);
    ApplyFilter();
}

void TZelkEventFilter::ApplyFilter() {
    if (!FActive || !FSubscriptor)
        return;
    // Held for the two calls: a handler reached from them cannot pull it away.
    const ComPtr<TZelkEventSubscription> subscription = FSubscriptor;
    subscription->SetFilter(EventTypeMask(), static_cast<DWORD>(FSeverityLow),
                            static_cast<DWORD>(FSeverityHigh), FCategories, FAreas, FSources);
    subscription->SetActive(FActive);
}

DWORD TZelkEventFilter::EventTypeMask() const noexcept {
    if (FEventType.IsEmpty())
        return OPC_ALL_EVENTS;
    DWORD mask = 0;
    if (FEventType.Contains(evSimple))
        mask |= OPC_SIMPLE_EVENT;
    if (FEventType.Contains(evCondition))
        mask |= OPC_CONDITION_EVENT;
    if (FEventType.Contains(evTracking))
        mask |= OPC_TRACKING_EVENT;
    return mask;
}

TZelkEventServer* TZelkEventFilter::OPCServer() const {
    const auto* filters = qobject_cast<const TZelkEventFilters*>(Collection());
    return filters ? filters->OPCServer() : nullptr;
}

void TZelkEventFilter::Assign(const TZelkEventFilter* Source) {
    if (!Source || Source == this)
        return;
    FEventType = Source->FEventType;
    FSeverityLow = Source->FSeverityLow;
    FSeverityHigh = Source->FSeverityHigh;
    FCategories = Source->FCategories;
    FAreas = Source->FAreas;
    FSources = Source->FSources;
    SetName(Source->FName);
    FTag = Source->FTag;
    SetActive(Source->FActive);
}

ZelkEventtypeFlags::tZelkEventtypeFlags TZelkEventFilter::EventTypeFlags() const {
    return ZelkEventtypeFlags::tZelkEventtypeFlags::fromInt(FEventType.ToBits());
}

void TZelkEventFilter::SetEventTypeFlags(ZelkEventtypeFlags::tZelkEventtypeFlags Value) {
    FEventType = tZelkEventtypes::FromBits(Value.toInt());
}

void TZelkEventFilter::Subscribe(bool AskAgainOnActivation) {
    TZelkEventServer* server = OPCServer();
    TZelkSubscriptionRequest request;
    if (server)
        request = {server->Buffertime(), server->MaxSize(), AskAgainOnActivation};
    FSubscriptor = TZelkEventSubscription::Create(server, request);
}

void TZelkEventFilter::UnSubscribe() {
    const ComPtr<TZelkEventSubscription> subscription = std::move(FSubscriptor);
    FSubscriptor = nullptr;
    if (subscription)
        subscription->UnAdvise();
}

// ---- TZelkEventFilters ----

TZelkEventFilters::TZelkEventFilters(TZelkEventServer* aOwner)
    : TCollection(ItemFactory<TZelkEventFilter>(), aOwner), FOwner(aOwner) {}

TZelkEventFilters::~TZelkEventFilters() {
    Clear();
}

TZelkEventFilter* TZelkEventFilters::Add() {
    return static_cast<TZelkEventFilter*>(TCollection::Add());
}

TZelkEventFilter* TZelkEventFilters::Items(int Index) const {
    return static_cast<TZelkEventFilter*>(TCollection::Items(Index));
}

void TZelkEventFilters::SetItems(int Index, TZelkEventFilter* Value) {
    Items(Index)->Assign(Value);
}

bool TZelkEventFilters::Designing() const {
    return FOwner && FOwner->ComponentState().Contains(csDesigning);
}

void TZelkEventFilters::UnAdviseAll() noexcept {
    try {
        if (Designing())
            return;
        for (int i = 0; i < Count(); ++i) {
            try {
                Items(i)->UnSubscribe();
            } catch (...) {
                // The subscription is forgotten all the same; the next connect makes a new one.
            }
        }
    } catch (...) {
    }
}

void TZelkEventFilters::Refresh() {
    if (Designing())
        return;
    const TCollectionUpdate update(*this);
    UnAdviseAll();
    for (int i = 0; i < Count(); ++i) {
        TZelkEventFilter* filter = Items(i);
        // An inactive filter gets an inactive subscription.
        filter->Subscribe();
        filter->ApplyFilter();
    }
    if (Count() > 0 || !FOwner || !FOwner->Active())
        return;
    TZelkEventFilter* filter = Add();
    // The activating SetState asks for the event server's own settings.
    filter->Subscribe(true);
    filter->ApplyFilter();
    filter->SetName(QStringLiteral("Default"));
    filter->FSubscriptor->SetActive(true);
}
