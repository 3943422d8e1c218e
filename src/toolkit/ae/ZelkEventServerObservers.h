#pragma once

// The observers of one event server and the calls that reach them. Each call goes to
// every observer registered when it starts and still registered when its turn comes; an
// exception an observer throws is dropped there. Adding and removing are allowed from
// inside a call: removed observers are skipped, added ones wait for the next call.

#include "ZelkEventServerObserver.h"

#include <functional>

namespace zelk::ae {

class TEventServerObservers {
public:
    // Registers Observer once; registering it again changes nothing. Not owned.
    void Add(IZelkEventServerObserver* Observer);
    void Remove(IZelkEventServerObserver* Observer);
    bool Empty() const noexcept;

    void EventsReceived(TZelkEventServer* Server,
                        const std::vector<std::unique_ptr<TZelkEvent>>& Events);
    void Acknowledged(TZelkEventServer* Server, const QString& Who, const QString& Comment,
                      const std::vector<TZelkAckResult>& Results);
    void Refreshed(TZelkEventServer* Server);
    void Connected(TZelkEventServer* Server);
    void Disconnected(TZelkEventServer* Server);
    void ServerShutdown(TZelkEventServer* Server, const QString& Reason);
    void KeepAliveTimedOut(TZelkEventServer* Server);
    void ServerDestroyed(TZelkEventServer* Server);

private:
    void Notify(const std::function<void(IZelkEventServerObserver&)>& Call);

    // Removed slots are null while a call runs and compacted when the outermost ends.
    std::vector<IZelkEventServerObserver*> FObservers;
    int FNotifying = 0;
};

} // namespace zelk::ae
