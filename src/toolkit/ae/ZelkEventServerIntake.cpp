// The event server's intake of notification batches, its refresh and its status.

#include "ScopeExit.h"
#include "ZelkCOMAEConnection.h"
#include "ZelkEventServer.h"
#include "ZelkEventSubscription.h"

void TZelkEventServer::HandleMsg(TZelkMsg& Msg) {
    if (Msg.MsgId != MSG_EVENTS) {
        TZelkClient::HandleMsg(Msg);
        return;
    }
    // Anything but a batch is left to the message, which destroys it.
    auto* batch = dynamic_cast<TZelkEventBatch*>(Msg.OParam.get());
    if (!batch)
        return;
    const bool lastRefresh = batch->LastRefresh;
    if (!FStaleKeys.empty())
        NoteReported(*batch);
    if (!batch->Events.empty())
        ProcessEvents(
            std::unique_ptr<TZelkEventBatch>(static_cast<TZelkEventBatch*>(Msg.OParam.release())));
    if (lastRefresh)
        RefreshEnded();
    // Nothing more waits: the sinks are not building much now, so the events they would
    // destroy before their next batch go here, and do not wait for it.
    if (Backlog()->Queued() == 0)
        FRecycler->Purge();
}

void TZelkEventServer::ProcessEvents(std::unique_ptr<TZelkEventBatch> List) {
    if (!List)
        return;
    // The events not merged when a handler raises are destroyed with the batch.
    FObservers.EventsReceived(this, List->Events);
    std::vector<TZelkEvent*> batch;
    batch.reserve(List->Events.size());
    for (const std::unique_ptr<TZelkEvent>& event : List->Events)
        batch.push_back(event.get());
    BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            FEvents->ForEachLive(batch, [&](std::size_t position, TZelkEvent* event,
                                            const TZelkEvents::TWalk& walk) {
                if (OnEvent)
                    OnEvent(this, event);
                FEvents->AddEvent(std::move(List->Events[position]));
                if ((event->ChangeMask() & OPC_CHANGE_ACK_STATE) && OnEventAck) {
                    OnEventAck(this, event);
                    // The handler may have deleted the event itself: then it is done with.
                    if (walk.Gone(event))
                        return;
                }
                if (FAutoDel && event->Enabled() && !event->Active() &&
                    (!event->AckRequired() || event->Acknowledged()))
                    DeleteEvent(event);
            });
        },
        [&] { ResortAndEndUpdate(); });
}

void TZelkEventServer::Refresh() try {
    BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            FEvents->DeleteEvents();
            for (int i = 0; i < FFilter->Count(); ++i)
                if (TZelkEventSubscription* subscription = FFilter->Items(i)->Subscriptor())
                    subscription->Refresh();
            FObservers.Refreshed(this);
        },
        [&] { EndUpdate(); });
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}

OPCEVENTSERVERSTATUS TZelkEventServer::GetStatus() try {
    CheckConnected();
    return TZelkCOMAEConnection::StatusOf(GetOPCEventServer().Get());
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}

void TZelkEventServer::GetServerInfo(TServerStateRecord& dState) try {
    dState = TServerStateRecord{};
    CheckConnected();
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    QString vendorInfo;
    const std::optional<OPCEVENTSERVERSTATUS> status =
        server ? TZelkCOMAEConnection::ReadStatus(*server, &vendorInfo) : std::nullopt;
    if (!status) {
        DoError(NotConnectedMessage);
        return;
    }
    dState.Starttime = FileTimeToDateTime(status->ftStartTime);
    dState.Currenttime = FileTimeToDateTime(status->ftCurrentTime);
    dState.LastUpdateTime = FileTimeToDateTime(status->ftLastUpdateTime);
    dState.ServerState = static_cast<std::int32_t>(status->dwServerState);
    dState.MajorVersion = status->wMajorVersion;
    dState.MinorVersion = status->wMinorVersion;
    dState.BuildNumber = QString::number(status->wBuildNumber);
    dState.VendorInfo = vendorInfo;
} catch (const EOleSysError& e) {
    NoteCallFailure(e.ErrorCode());
    throw;
}
