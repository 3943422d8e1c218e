#pragma once

#include <chrono>
#include <functional>

namespace zelk::test {

// Processes Qt events until `condition` holds or `timeout` passes; returns whether it
// held. Tests wait for asynchronous work with this, never with a fixed sleep.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

} // namespace zelk::test
