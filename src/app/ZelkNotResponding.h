#pragma once

// "Server is not responding": the question the program asks when a server call made for
// the operator has not returned in time (see ZelkServerCall.h). Wait keeps waiting;
// Disconnect gives the call up and disconnects from the server. The box closes by itself
// when the call returns meanwhile.

#include "ZelkServerCall.h"

zelk::runtime::tZelkBusyAnswer AskServerNotResponding(zelk::runtime::TZelkBusyCall& Call);
