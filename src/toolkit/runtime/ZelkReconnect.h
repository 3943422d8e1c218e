#pragma once

// The waits of a client component between its attempts to make a lost connection again:
// the first after First, each further one twice the last, never more than Max. Each wait
// is shortened by up to Jitter (a fraction) at random, so that the clients of a server
// that restarts do not all knock again at the same moment.

#include "comtypes.h"

#include <QString>
#include <chrono>
#include <functional>

class TZelkBackoff {
public:
    std::chrono::milliseconds First{1000};
    std::chrono::milliseconds Max{60'000};
    double Jitter = 0.2;
    // A number in [0, 1); a generator of the process by default. Tests put their own.
    std::function<double()> Random;

    // The wait after the failed attempt `Attempt` (1 for the first; 0 for the wait
    // before the first attempt, which is First as well).
    std::chrono::milliseconds Delay(int Attempt) const;
};

// Whether a failed call's code says the server's process or its computer can no longer be
// reached (RPC_E_DISCONNECTED, the RPC server unavailable, the remote call failed).
bool IsConnectionLostCode(HRESULT Code) noexcept;

// "1.0 s", "0.25 s": a wait as the log says it.
QString DelayText(std::chrono::milliseconds Delay);
