#pragma once

// How the window writes times: in local time, the way the operator's clock reads (the
// default), or in UTC, the way a plant spanning time zones compares notes. The texts keep
// the window's formats either way; UTC texts of a full date and time end in " UTC".

#include "DateTime.h"
#include "comtypes.h"

enum class TTimeDisplay { Local, Utc };

// "dd.mm hh:nn:ss" of a notification's time: Local is the local date-time the event
// carries, Utc is the FILETIME as the server sent it.
QString DayMonthTimeText(TDateTime local, const FILETIME& raw, TTimeDisplay display);
// The locale's date-and-time text of a local date-time; 0 (no time) is written as in
// local display whatever the choice.
QString DateTimeText(TDateTime local, TTimeDisplay display);
// The current time for the placeholder row's caption.
QString NowDayMonthTimeText(TTimeDisplay display);
