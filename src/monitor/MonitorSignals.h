#pragma once

// TMonitorStopSignals: SIGINT and SIGTERM as a request to end the run cleanly. The
// handler only writes to a pipe; the event loop reads it and calls the stop function, so
// the disconnect runs on the user-interface thread like every other toolkit call.

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace zelk::monitor {

class TMonitorStopSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers for the object's lifetime. The first signal calls `OnStop`;
    // a second one ends the process the default way, in case the clean end hangs.
    explicit TMonitorStopSignals(std::function<void()> OnStop, QObject* parent = nullptr);
    ~TMonitorStopSignals() override;

    // Whether the handlers are in place (a pipe could be made).
    bool Installed() const noexcept { return FNotifier != nullptr; }

private:
    void Drain();

    std::function<void()> FOnStop;
    QSocketNotifier* FNotifier = nullptr; // owned as a Qt child
};

// Standard output may be a pipe whose reader goes away: the write then fails with EPIPE
// instead of killing the process.
void IgnoreBrokenPipeSignal();

} // namespace zelk::monitor
