#pragma once

// The monitor's command line: what a run is asked to do, read with QCommandLineParser
// (GNU style: "--name value" or "--name=value"), and the exit statuses it ends with.

#include "MonitorFormat.h"
#include "ZelkEventFilter.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace zelk::monitor {

// The statuses of sysexits.h, which scripts and service managers know.
enum TMonitorExit : int {
    ExitOk = 0,
    ExitUsage = 64,       // bad command line
    ExitUnavailable = 69, // the server cannot be reached (or browsed)
    ExitIoError = 74,     // standard output failed for another reason than a closed pipe
    ExitConnectionLost = 75,
};

enum class TMonitorMode { Stream, ListServers, Browse };

inline constexpr const char* SimulatorProgID = "Zelk.AESimulator.1";

struct TMonitorOptions {
    TMonitorMode Mode = TMonitorMode::Stream;
    QString ServerName = QString::fromLatin1(SimulatorProgID);
    QString ComputerName;
    QString ClientName = QStringLiteral("Zelk AE Monitor");

    // The one filter; without any filter option the component's "Default" filter.
    bool HasFilter = false;
    tZelkEventtypes EventTypes;
    int SeverityLow = 0;
    int SeverityHigh = 1000;
    QStringList Categories;
    QStringList Areas;
    QStringList Sources;

    TMonitorFormat Format = TMonitorFormat::Text;
    // Print nothing per notification (with a journal: journal only).
    bool Quiet = false;
    // Journal every notification received and the connection's actions; empty: none.
    QString JournalUrl;
    std::int64_t DurationMs = 0; // 0: until stopped
    std::int64_t Count = 0;      // 0: no limit
    int KeepAlive = 0;
    // Keep running when the connection is lost: the component reconnects by itself.
    bool Reconnect = false;

    // Testing aids, acting on the simulated server registered in this process.
    std::int64_t SimulateShutdownAfter = 0; // 0: never
    // Shut down after N notifications and start again at once (a restarted server).
    std::int64_t SimulateRestartAfter = 0; // 0: never
    std::optional<int> SimulateFlood;      // notifications per second, 0: flat out
};

struct TMonitorCommand {
    enum TAction { Run, ShowHelp, ShowVersion, UsageError };
    TAction Action = Run;
    TMonitorOptions Options;
    // The help text, the version line or the usage error.
    QString Text;
};

// Reads the arguments (program name first, as QCoreApplication::arguments gives them).
TMonitorCommand ParseMonitorCommand(const QStringList& arguments);

} // namespace zelk::monitor
