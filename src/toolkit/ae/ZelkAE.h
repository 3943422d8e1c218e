#pragma once

// The Alarms and Events client: the event server component with its AE connection and
// caches, the event record, and the keyed and sorted event list.

#include "ZelkCOMAEConnection.h"
#include "ZelkEvent.h"
#include "ZelkEventCustomProps.h"
#include "ZelkEventItems.h"
#include "ZelkEventList.h"
#include "ZelkEventServer.h"
#include "ZelkEventSort.h"
#include "ZelkTextCompare.h"
