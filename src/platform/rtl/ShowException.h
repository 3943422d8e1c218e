#pragma once

// The application's exception display: where an exception goes that nobody raises
// further (a failing activation in design mode, an exception that escapes an event
// handler). The program installs a handler that shows the message in a box; without
// one the message is written to the Qt log.

#include <exception>
#include <functional>

using TShowExceptionHandler = std::function<void(const std::exception& E)>;

// Shows `E` through the installed handler (UI thread).
void ShowException(const std::exception& E);
// Installs `Handler` and returns the one it replaces; an empty handler restores the default.
TShowExceptionHandler SetShowExceptionHandler(TShowExceptionHandler Handler);
