#pragma once

// The toolkit's component runtime: message queue and worker thread, the transport
// abstraction and registry with the shared records, the OPC result texts and the
// server list component.

#include "ZelkClient.h"
#include "ZelkExceptions.h"
#include "ZelkIntfComponent.h"
#include "ZelkMsgQueue.h"
#include "ZelkOPCErrors.h"
#include "ZelkServerList.h"
#include "ZelkTransport.h"
#include "ZelkTypes.h"
