#pragma once

// The Alarms and Events client: the event server component with its AE connection,
// caches, subscriptions and filters, area browser, acknowledgement and condition state;
// the event record; and the keyed and sorted event list.

#include "ZelkCOMAEConnection.h"
#include "ZelkEvent.h"
#include "ZelkEventAreaBrowser.h"
#include "ZelkEventCondition.h"
#include "ZelkEventCustomProps.h"
#include "ZelkEventFilter.h"
#include "ZelkEventItems.h"
#include "ZelkEventList.h"
#include "ZelkEventRecord.h"
#include "ZelkEventServer.h"
#include "ZelkEventServerObserver.h"
#include "ZelkEventSort.h"
#include "ZelkEventSubscription.h"
#include "ZelkTextCompare.h"
