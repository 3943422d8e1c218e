// Acknowledgement of conditions, in bulk and one by one, and the snapshot of one
// condition's state. Everything here runs on the user-interface thread.

#include "ScopeExit.h"
#include "ZelkEventCondition.h"
#include "ZelkEventServer.h"
#include "ZelkExceptions.h"
#include "ZelkGIP.h"
#include "ZelkOPCErrors.h"
#include "ZelkServerCall.h"
#include "comholders.h"
#include "opcerror.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

using zelk::com::BStr;
using zelk::com::ComVariant;
using zelk::com::TaskMem;

// The conditions going to the server in one AckCondition call, as its parallel arrays.
struct TAckRequest {
    std::vector<BStr> Sources;
    std::vector<BStr> Conditions;
    std::vector<LPWSTR> SourcePointers;
    std::vector<LPWSTR> ConditionPointers;
    std::vector<FILETIME> ActiveTimes;
    std::vector<DWORD> Cookies;

    void Add(const TZelkEvent& Event) {
        Sources.emplace_back(Event.Source());
        Conditions.emplace_back(Event.ConditionName());
        ActiveTimes.push_back(Event.RawActiveTime());
        Cookies.push_back(static_cast<DWORD>(Event.Cookie()));
    }
    DWORD Count() const noexcept { return static_cast<DWORD>(Cookies.size()); }
    // What observers are told of the call: each condition with its own answer, or with
    // the call's result when there are no per-condition answers.
    std::vector<TZelkAckResult> Results(HRESULT Call, const HRESULT* Errors) const {
        std::vector<TZelkAckResult> results(Cookies.size());
        for (std::size_t i = 0; i < results.size(); ++i)
            results[i] = {zelk::com::BStrToQString(Sources[i].Get()),
                          zelk::com::BStrToQString(Conditions[i].Get()), Cookies[i], ActiveTimes[i],
                          FAILED(Call) || !Errors ? Call : Errors[i]};
        return results;
    }
    // The string arrays, built once the strings stop moving.
    void Seal() {
        for (const BStr& text : Sources)
            SourcePointers.push_back(text.Get());
        for (const BStr& text : Conditions)
            ConditionPointers.push_back(text.Get());
    }
};

// A simple, tracking or disabled event has nothing to acknowledge on the server: the
// acknowledgement is the handler's to see, and an inactive event then leaves the list.
void AcknowledgeLocally(TZelkEventServer& Server, TZelkEvent* Event) {
    Server.BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            if (Server.OnEventAck)
                Server.OnEventAck(&Server, Event);
            if (Server.AutoDelete() && !Event->Active())
                Server.DeleteEvent(Event);
        },
        [&] { Server.ResortAndEndUpdate(); });
}

// Acknowledges Events in the given order, walked through Owner, the list that destroys
// them: a handler of a local acknowledgement (or auto-delete) may destroy events further on.
void AcknowledgeInOrder(TZelkEventServer& Server, const QString& Who, const QString& Comment,
                        TZelkEvents& Owner, const std::vector<TZelkEvent*>& Events) {
    TAckRequest request;
    Owner.ForEachLive(Events, [&](std::size_t, TZelkEvent* event, const TZelkEvents::TWalk&) {
        if (!event->Enabled())
            AcknowledgeLocally(Server, event);
        else if (!event->Acknowledged() && event->AckRequired())
            request.Add(*event);
    });
    if (request.Count() == 0)
        return;
    const ComPtr<IOPCEventServer> server = Server.GetOPCEventServer();
    if (!server)
        throw EOPCException(NotConnectedMessage);
    // Everything the call uses goes with it to its thread and stays alive there, also
    // when the operator gives the call up.
    struct TAckCall {
        TAckRequest Request;
        BStr Who;
        BStr Comment;
        HRESULT Answer = E_FAIL;
        std::optional<std::vector<HRESULT>> Errors;
    };
    const auto call = std::make_shared<TAckCall>(
        TAckCall{std::move(request), BStr(Who), BStr(Comment), E_FAIL, std::nullopt});
    call->Request.Seal();
    const TZelkThreadIntf<IOPCEventServer> shared(server.Get());
    zelk::runtime::CallServer(Server, [call, shared] {
        TAckRequest& r = call->Request;
        TaskMem<HRESULT> errors;
        call->Answer = shared.Get()->AckCondition(
            r.Count(), call->Who.Get(), call->Comment.Get(), r.SourcePointers.data(),
            r.ConditionPointers.data(), r.ActiveTimes.data(), r.Cookies.data(), errors.Put());
        if (errors)
            call->Errors.emplace(errors.Get(), errors.Get() + r.Count());
    });
    const HRESULT answer = call->Answer;
    const HRESULT* errors = call->Errors ? call->Errors->data() : nullptr;
    Server.Observers().Acknowledged(&Server, Who, Comment, call->Request.Results(answer, errors));
    OPCCheck(answer);
    if (!errors)
        return;
    // Every condition's result counts: the first failure raises, whatever follows it.
    // Success codes such as OPC_S_ALREADYACKED raise nothing.
    const HRESULT* first = errors;
    const HRESULT* last = first + call->Request.Count();
    const HRESULT* failure = std::find_if(first, last, [](HRESULT code) { return FAILED(code); });
    if (failure != last)
        OPCCheck(*failure);
}

} // namespace

void TZelkEventServer::AcknowledgeEvents(const QString& Who, const QString& Comment,
                                         TZelkEvents* AckEvents) try {
    CheckConnected();
    if (!Active() || !AckEvents)
        return;
    // The list may change order (a local acknowledgement re-sorts) and lose events while
    // it is walked: the walk follows the order at the start.
    AcknowledgeInOrder(*this, Who, Comment, *AckEvents, AckEvents->Snapshot());
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}

void TZelkEventServer::AcknowledgeEvents(const QString& Who, const QString& Comment,
                                         const TZelkEventRefs& AckEvents) try {
    CheckConnected();
    if (!Active())
        return;
    AcknowledgeInOrder(*this, Who, Comment, *FEvents, AckEvents.Snapshot());
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}

void TZelkEventServer::AcknowledgeNotActiveEvents(const QString& Who, const QString& Comment) try {
    BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            CheckConnected();
            if (Active()) {
                // In key order, as a keyed list of them would present them. They are taken
                // from the list directly: a second keyed list would merge two events whose
                // keys have come to collide.
                TZelkEventRefs notActive;
                for (int i = 0; i < FEvents->KeyCount(); ++i)
                    if (TZelkEvent* event = FEvents->Objects(i); !event->Active())
                        notActive.AddEvent(event);
                AcknowledgeEvents(Who, Comment, notActive);
            }
        },
        [&] { EndUpdate(); });
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}

void TZelkEventServer::AcknowledgeAllEvents(const QString& Who, const QString& Comment) {
    AcknowledgeEvents(Who, Comment, FEvents.get());
}

std::unique_ptr<TZelkEventCondition>
TZelkEventServer::GetConditionState(const QString& Source, const QString& ConditionName) try {
    if (Source.isEmpty() || ConditionName.isEmpty())
        return nullptr;
    CheckConnected();
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        throw EOPCException(NotConnectedMessage);

    // The attributes of the category the condition is listed under; none for a condition
    // the server did not list.
    const TZelkEventItem* category = nullptr;
    if (const TZelkEventItem* condition = Conditions()->ByName(ConditionName))
        category = Categories()->ById(condition->IType);
    std::vector<DWORD> attributeIds;
    if (category)
        for (int i = 0; i < category->Items->Count(); ++i)
            attributeIds.push_back(static_cast<DWORD>(category->Items->Items(i)->Id));

    // The record is the call's until the call has returned: a call given up frees it on
    // its own thread.
    struct TStateCall {
        BStr Source;
        BStr Condition;
        std::vector<DWORD> AttributeIds;
        HRESULT Result = E_FAIL;
        zelk::ae::TConditionStateRecord Record;
    };
    const auto call = std::make_shared<TStateCall>();
    call->Source = BStr(Source);
    call->Condition = BStr(ConditionName);
    call->AttributeIds = attributeIds;
    const TZelkThreadIntf<IOPCEventServer> shared(server.Get());
    zelk::runtime::CallServer(*this, [call, shared] {
        std::vector<DWORD>& ids = call->AttributeIds;
        call->Result = shared.Get()->GetConditionState(
            call->Source.Get(), call->Condition.Get(), static_cast<DWORD>(ids.size()),
            ids.empty() ? nullptr : ids.data(), call->Record.Put());
    });
    if (call->Result == OPC_E_NOINFO)
        return nullptr;
    OPCCheck(call->Result);
    OPCCONDITIONSTATE* state = call->Record.Get();
    if (!state)
        return nullptr;

    auto snapshot = std::make_unique<TZelkEventCondition>(Source, ConditionName, *state);
    snapshot->FCustomProps = std::make_unique<TZelkEventCustomProps>();
    if (state->dwNumEventAttrs > 0 && category) {
        // Values beyond those asked for have no attribute to name them.
        const DWORD count =
            std::min<DWORD>(state->dwNumEventAttrs, static_cast<DWORD>(attributeIds.size()));
        TZelkEventCustomProps& props = *snapshot->FCustomProps;
        props.Init(CategoryLookup(), static_cast<int>(count), category->Id);
        for (int i = 0; i < props.Count(); ++i) {
            ComVariant value;
            if (state->pEventAttributes)
                value.Attach(state->pEventAttributes[i]);
            props.PutValue(i, std::move(value), state->pErrors ? state->pErrors[i] : S_OK);
        }
    }
    return snapshot;
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}

// ---- TZelkEvent ----

void TZelkEvent::Acknowledge(const QString& who, const QString& comment) {
    TZelkEventServer* server = FOPCAEServer;
    if (!server || !server->Active())
        return;
    // A local acknowledgement may destroy this event: nothing of it is touched after.
    TZelkEventRefs single;
    single.AddEvent(this);
    server->AcknowledgeEvents(who, comment, single);
}

std::unique_ptr<TZelkEventCondition> TZelkEvent::GetConditionState() const {
    return FOPCAEServer ? FOPCAEServer->GetConditionState(FSource, FConditionName) : nullptr;
}
