#pragma once

// The toolkit's component runtime: message queue and worker thread, the transport
// abstraction and registry with the shared records, and the OPC result texts.

#include "ZelkClient.h"
#include "ZelkExceptions.h"
#include "ZelkIntfComponent.h"
#include "ZelkMsgQueue.h"
#include "ZelkOPCErrors.h"
#include "ZelkTransport.h"
#include "ZelkTypes.h"
