#include "ZelkEventServerObservers.h"

#include <QtGlobal>
#include <algorithm>
#include <exception>

namespace zelk::ae {

void TEventServerObservers::Add(IZelkEventServerObserver* Observer) {
    if (Observer && std::find(FObservers.begin(), FObservers.end(), Observer) == FObservers.end())
        FObservers.push_back(Observer);
}

void TEventServerObservers::Remove(IZelkEventServerObserver* Observer) {
    const auto found = std::find(FObservers.begin(), FObservers.end(), Observer);
    if (found == FObservers.end())
        return;
    if (FNotifying > 0)
        *found = nullptr;
    else
        FObservers.erase(found);
}

bool TEventServerObservers::Empty() const noexcept {
    return std::all_of(FObservers.begin(), FObservers.end(),
                       [](const IZelkEventServerObserver* o) { return o == nullptr; });
}

void TEventServerObservers::Notify(const std::function<void(IZelkEventServerObserver&)>& Call) {
    if (FObservers.empty())
        return;
    ++FNotifying;
    // Observers added during the call are not called: the count is taken now.
    const std::size_t count = FObservers.size();
    for (std::size_t i = 0; i < count && i < FObservers.size(); ++i) {
        IZelkEventServerObserver* observer = FObservers[i];
        if (!observer)
            continue;
        try {
            Call(*observer);
        } catch (const std::exception& e) {
            qWarning("An event server observer failed: %s", e.what());
        } catch (...) {
            qWarning("An event server observer failed");
        }
    }
    if (--FNotifying == 0)
        std::erase(FObservers, nullptr);
}

void TEventServerObservers::EventsReceived(TZelkEventServer* Server,
                                           const std::vector<std::unique_ptr<TZelkEvent>>& Events) {
    Notify([&](IZelkEventServerObserver& o) { o.EventsReceived(Server, Events); });
}

void TEventServerObservers::Acknowledged(TZelkEventServer* Server, const QString& Who,
                                         const QString& Comment,
                                         const std::vector<TZelkAckResult>& Results) {
    Notify([&](IZelkEventServerObserver& o) { o.Acknowledged(Server, Who, Comment, Results); });
}

void TEventServerObservers::Refreshed(TZelkEventServer* Server) {
    Notify([&](IZelkEventServerObserver& o) { o.Refreshed(Server); });
}

void TEventServerObservers::Connected(TZelkEventServer* Server) {
    Notify([&](IZelkEventServerObserver& o) { o.Connected(Server); });
}

void TEventServerObservers::Disconnected(TZelkEventServer* Server) {
    Notify([&](IZelkEventServerObserver& o) { o.Disconnected(Server); });
}

void TEventServerObservers::ServerShutdown(TZelkEventServer* Server, const QString& Reason) {
    Notify([&](IZelkEventServerObserver& o) { o.ServerShutdown(Server, Reason); });
}

void TEventServerObservers::KeepAliveTimedOut(TZelkEventServer* Server) {
    Notify([&](IZelkEventServerObserver& o) { o.KeepAliveTimedOut(Server); });
}

void TEventServerObservers::ServerDestroyed(TZelkEventServer* Server) {
    Notify([&](IZelkEventServerObserver& o) { o.ServerDestroyed(Server); });
    FObservers.clear();
}

} // namespace zelk::ae
