#pragma once

// The COM transport's registration in the transport registry, and its server
// enumerator. The program (and every test that needs the COM transport) calls
// RegisterZelkCOMLink once at start-up, before any client component exists: every
// client component takes the first registered transport as its protocol.

#include "ZelkCOMServerBrowser.h"

// Registers the COM transport. Calling it again while the transport is registered
// changes nothing.
void RegisterZelkCOMLink();
