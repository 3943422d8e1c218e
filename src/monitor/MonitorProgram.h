#pragma once

// The monitor program: reads the command line, registers the COM transport and the
// simulated server, runs the listing or the streaming session, and reports on standard
// error. main() only makes the application object and calls RunMonitor.

#include <QStringList>

namespace zelk::monitor {

// The program's exit status. Needs a QCoreApplication.
int RunMonitor(const QStringList& arguments);

} // namespace zelk::monitor
