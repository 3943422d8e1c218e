#include "ZelkEventSubscription.h"

#include "ZelkEventServer.h"
#include "ZelkGIP.h"
#include "ZelkServerCall.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <vector>

using zelk::com::BStr;

namespace {

// COM strings for an array argument; an empty name becomes an empty string, never null.
class TBStrArray {
public:
    explicit TBStrArray(const QStringList& Names) {
        FStrings.reserve(static_cast<std::size_t>(Names.size()));
        FPointers.reserve(static_cast<std::size_t>(Names.size()));
        for (const QString& name : Names) {
            FStrings.emplace_back(name);
            FPointers.push_back(FStrings.back().Get());
        }
    }
    DWORD Count() const noexcept { return static_cast<DWORD>(FPointers.size()); }
    LPWSTR* Data() noexcept { return FPointers.empty() ? nullptr : FPointers.data(); }

private:
    std::vector<BStr> FStrings;
    std::vector<LPWSTR> FPointers; // points into FStrings
};

// Private deep copies of one record's attribute values. The server owns the values it
// passes and releases them after the call, while the event takes (and empties) the values
// it is built from: it is built from these copies, so nothing the server owns is released
// here. Whatever the event leaves is cleared with the copies.
class TAttributeCopies {
public:
    explicit TAttributeCopies(ONEVENTSTRUCT& Record) {
        if (!Record.pEventAttributes || Record.dwNumEventAttrs == 0 ||
            Record.dwNumEventAttrs > static_cast<DWORD>(std::numeric_limits<std::int32_t>::max()))
            return;
        FValues.resize(Record.dwNumEventAttrs);
        for (DWORD i = 0; i < Record.dwNumEventAttrs; ++i) {
            VARIANT& copy = FValues[i];
            VariantInit(&copy);
            const HRESULT result = VariantCopy(&copy, &Record.pEventAttributes[i]);
            if (FAILED(result)) {
                // The value the server sent cannot be kept; the event shows why.
                VariantInit(&copy);
                copy.vt = VT_ERROR;
                copy.scode = result;
            }
        }
        Record.pEventAttributes = FValues.data();
    }
    TAttributeCopies(const TAttributeCopies&) = delete;
    TAttributeCopies& operator=(const TAttributeCopies&) = delete;
    ~TAttributeCopies() {
        for (VARIANT& value : FValues)
            VariantClear(&value);
    }

private:
    std::vector<VARIANT> FValues;
};

DWORD* DataOrNull(std::vector<DWORD>& Values) noexcept {
    return Values.empty() ? nullptr : Values.data();
}

} // namespace

TZelkEventSubscription::TZelkEventSubscription(TZelkEventServer* aOPCEventServer)
    : FOPCServer(aOPCEventServer), FBacklog(aOPCEventServer ? aOPCEventServer->Backlog() : nullptr),
      FRecycler(aOPCEventServer ? aOPCEventServer->Recycler() : nullptr) {}

TZelkEventSubscription::~TZelkEventSubscription() = default;

ComPtr<TZelkEventSubscription>
TZelkEventSubscription::Create(TZelkEventServer* aOPCEventServer,
                               const TZelkSubscriptionRequest& Request) {
    ComPtr<TZelkEventSubscription> subscription = ComObject::Create(aOPCEventServer);
    subscription->CreateOnServer(Request);
    subscription->FRetCode = subscription->Advise();
    try {
        subscription->SelectReturnedAttributes();
    } catch (...) {
        // The caller never sees this subscription: take the sink off the connection point
        // so that the server does not keep calling it.
        subscription->Disconnect();
        throw;
    }
    return subscription;
}

void TZelkEventSubscription::CreateOnServer(const TZelkSubscriptionRequest& Request) {
    const QString failed = QStringLiteral("can not create a event subscription");
    ComPtr<IOPCEventServer> server = FOPCServer ? FOPCServer->GetOPCEventServer() : nullptr;
    if (!server)
        throw EOPCException(failed);
    ComPtr<IUnknown> created;
    DWORD revisedBufferTime = 0;
    DWORD revisedMaxSize = 0;
    const HRESULT result = server->CreateEventSubscription(
        FALSE, static_cast<DWORD>(Request.BufferTime), static_cast<DWORD>(Request.MaxSize), 1,
        IID_IOPCEventSubscriptionMgt, created.Put(), &revisedBufferTime, &revisedMaxSize);
    FRetCode = result;
    FBufferTime = static_cast<std::int32_t>(revisedBufferTime);
    FMaxSize = static_cast<std::int32_t>(revisedMaxSize);
    FActive = false;
    // Success codes such as OPC_S_INVALIDBUFFERTIME only tell that a value was revised.
    if (FAILED(result))
        throw EOPCException(failed);
    if (!created || FAILED(created.As(&FEventMgt)) || !FEventMgt)
        throw EIntfCastError(QStringLiteral("Interface not supported"));
    // Cookie is still 0 here, and becomes the client handle of the subscription.
    UpdateState(false, FBufferTime, FMaxSize);
    if (Request.AskAgainOnActivation) {
        FBufferTime = Request.BufferTime;
        FMaxSize = Request.MaxSize;
    }
}

HRESULT TZelkEventSubscription::Advise() {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (FAILED(FEventMgt.As(&container)) || !container ||
        FAILED(container->FindConnectionPoint(IID_IOPCEventSink, point.Put())) || !point)
        return E_FAIL;
    DWORD cookie = 0;
    const HRESULT result = point->Advise(GetUnknown(), &cookie);
    if (SUCCEEDED(result))
        FCookie = static_cast<std::int32_t>(cookie);
    return result;
}

void TZelkEventSubscription::StopWaiting() noexcept {
    FReleased = true;
    if (FBacklog)
        FBacklog->Wake();
}

void TZelkEventSubscription::Disconnect() noexcept {
    // Unadvise may drop every other reference to this object.
    const ComPtr<TZelkEventSubscription> self(this);
    StopWaiting();
    if (FEventMgt && FCookie != 0) {
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(FEventMgt.As(&container)) && container &&
            SUCCEEDED(container->FindConnectionPoint(IID_IOPCEventSink, point.Put())) && point)
            point->Unadvise(static_cast<DWORD>(FCookie));
    }
    FRetCode = -1;
    // A server that no longer answers keeps the sink advised; without this reference the
    // two no longer hold each other, and both go with their last outside reference.
    FEventMgt = nullptr;
    // Waits for an OnEvent that is posting right now; later calls post nothing.
    const std::lock_guard guard(FServerLock);
    FOPCServer = nullptr;
}

TZelkEventServer* TZelkEventSubscription::OPCServer() const {
    const std::lock_guard guard(FServerLock);
    return FOPCServer;
}

void TZelkEventSubscription::UpdateState(bool Active, int BufferTime, int MaxSize) {
    if (!FEventMgt)
        return;
    BOOL active = Active ? -1 : 0;
    DWORD bufferTime = static_cast<DWORD>(BufferTime);
    DWORD maxSize = static_cast<DWORD>(MaxSize);
    DWORD revisedBufferTime = 0;
    DWORD revisedMaxSize = 0;
    OPCCheck(FEventMgt->SetState(&active, &bufferTime, &maxSize, static_cast<OPCHANDLE>(FCookie),
                                 &revisedBufferTime, &revisedMaxSize));
    FBufferTime = static_cast<std::int32_t>(revisedBufferTime);
    FMaxSize = static_cast<std::int32_t>(revisedMaxSize);
}

void TZelkEventSubscription::SetActive(bool Value) {
    if (!FOPCServer || !FOPCServer->Active() || Value == FActive)
        return;
    UpdateState(Value, FBufferTime, FMaxSize);
    FActive = Value;
}

void TZelkEventSubscription::SetBufferTime(int Value) {
    if (Value != FBufferTime)
        UpdateState(FActive, Value, FMaxSize);
}

void TZelkEventSubscription::SetMaxSize(int Value) {
    if (Value != FMaxSize)
        UpdateState(FActive, FBufferTime, Value);
}

void TZelkEventSubscription::SetFilter(DWORD EventType, DWORD SeverityLow, DWORD SeverityHigh,
                                       const QStringList& Categories, const QStringList& Areas,
                                       const QStringList& Sources) {
    std::vector<DWORD> ids;
    if (const TZelkEventItems* known = FOPCServer ? FOPCServer->Categories() : nullptr) {
        for (const QString& name : Categories)
            if (const TZelkEventItem* category = known->ByName(name))
                ids.push_back(static_cast<DWORD>(category->Id));
    }
    TBStrArray areas(Areas);
    TBStrArray sources(Sources);
    if (!FEventMgt)
        return;
    const auto send = [&](DWORD low) {
        return FEventMgt->SetFilter(EventType, static_cast<DWORD>(ids.size()), DataOrNull(ids), low,
                                    SeverityHigh, areas.Count(), areas.Data(), sources.Count(),
                                    sources.Data());
    };
    HRESULT result = send(SeverityLow);
    // Many servers refuse a lowest severity of 0.
    if (result != S_OK && SeverityLow == 0)
        result = send(1);
    OPCCheck(result);
}

void TZelkEventSubscription::SelectReturnedAttributes() {
    if (!FEventMgt || !FOPCServer)
        return;
    const TZelkEventItems* categories = FOPCServer->Categories();
    if (!categories)
        return;
    for (int i = 0; i < categories->Count(); ++i) {
        const TZelkEventItem* category = categories->Items(i);
        const TZelkEventItems& attributes = *category->Items;
        if (attributes.Count() == 0)
            continue;
        std::vector<DWORD> ids;
        ids.reserve(static_cast<std::size_t>(attributes.Count()));
        for (int a = 0; a < attributes.Count(); ++a)
            ids.push_back(static_cast<DWORD>(attributes.Items(a)->Id));
        OPCCheck(FEventMgt->SelectReturnedAttributes(static_cast<DWORD>(category->Id),
                                                     static_cast<DWORD>(ids.size()), ids.data()));
    }
}

bool TZelkEventSubscription::Refresh() {
    if (!FActive || !FEventMgt || !FOPCServer)
        return false;
    const TZelkThreadIntf<IOPCEventSubscriptionMgt> eventMgt(FEventMgt.Get());
    const DWORD cookie = static_cast<DWORD>(FCookie);
    const HRESULT result = zelk::runtime::CallServer<HRESULT>(
        *FOPCServer, [eventMgt, cookie] { return eventMgt.Get()->Refresh(cookie); });
    if (result == E_NOTIMPL)
        return false;
    OPCCheck(result);
    return true;
}

void TZelkEventSubscription::UnAdvise() {
    // A server may wait for its delivering thread while it deactivates: that thread must
    // not be waiting in OnEvent for a UI thread that is busy here.
    StopWaiting();
    if (FRetCode != 0) {
        // Never advised (or already un-advised): nothing reaches the server.
        const std::lock_guard guard(FServerLock);
        FOPCServer = nullptr;
        return;
    }
    // A server that fails the deactivation (it may be gone) must still lose the sink, or
    // it would keep calling it and the two would hold each other for ever.
    std::exception_ptr failure;
    try {
        SetActive(false);
    } catch (...) {
        failure = std::current_exception();
    }
    Disconnect();
    if (failure)
        std::rethrow_exception(failure);
}

HRESULT TZelkEventSubscription::OnEvent(OPCHANDLE hClientSubscription, BOOL /*bRefresh*/,
                                        BOOL bLastRefresh, DWORD dwCount, ONEVENTSTRUCT* pEvents) {
    // Called on a server thread: build the events and post them, touch nothing else.
    if (!pEvents)
        dwCount = 0;
    if (dwCount == 0 && !bLastRefresh)
        return S_OK;
    zelk::com::ComBoundary([&] {
        // The end of a refresh is told even when its last call brings nothing.
        const DWORD batches = std::max<DWORD>(1, (dwCount + TZelkMsgBacklog::MaxBatch - 1) /
                                                     TZelkMsgBacklog::MaxBatch);
        for (DWORD n = 0; n < batches; ++n) {
            const DWORD first = n * static_cast<DWORD>(TZelkMsgBacklog::MaxBatch);
            // Waiting here, with no lock held, is how the server learns that its client is
            // busy; un-advising or destroying the event server lets it go.
            if (FBacklog)
                FBacklog->WaitForRoom(FReleased);
            if (FRecycler)
                FRecycler->Purge();
            const DWORD count =
                std::min<DWORD>(dwCount - first, static_cast<DWORD>(TZelkMsgBacklog::MaxBatch));
            const std::lock_guard guard(FServerLock);
            if (!FOPCServer)
                return;
            auto batch = std::make_unique<TZelkEventBatch>();
            batch->LastRefresh = bLastRefresh && n + 1 == batches;
            batch->Events.reserve(count);
            for (DWORD i = first; i < first + count; ++i) {
                ONEVENTSTRUCT record = pEvents[i];
                const TAttributeCopies attributes(record);
                batch->Events.push_back(std::make_unique<TZelkEvent>(FOPCServer, record));
            }
            FOPCServer->PostMsg(MSG_EVENTS, static_cast<std::int64_t>(hClientSubscription),
                                std::move(batch));
        }
    });
    // The server cannot act on a failure of ours; a batch that could not be built is lost.
    return S_OK;
}
