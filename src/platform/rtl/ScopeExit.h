#pragma once

// Work that must be done however a block is left: ScopeExit for clean-up that cannot
// fail, RunThenClose for a closing step that may raise itself.

#include <type_traits>
#include <utility>

namespace zelk::rtl {

// Calls `fn` when the guard goes out of scope, also while an exception unwinds the
// stack. `fn` must not raise: it runs in a destructor. Usage:
//     const zelk::rtl::ScopeExit release([&] { FBrowser.Reset(); });
template <class Fn> class ScopeExit {
public:
    explicit ScopeExit(Fn fn) noexcept(std::is_nothrow_move_constructible_v<Fn>)
        : FFn(std::move(fn)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() { FFn(); }

private:
    Fn FFn;
};

// Runs `body`, then `close`, also when `body` raises. The body's exception wins: one that
// `close` raises on the way out is swallowed. When the body succeeds, an exception from
// `close` passes to the caller.
template <class Body, class Close> void RunThenClose(Body&& body, Close&& close) {
    try {
        body();
    } catch (...) {
        try {
            close();
        } catch (...) {
        }
        throw;
    }
    close();
}

} // namespace zelk::rtl
