#include "MonitorProgram.h"

#include "MonitorListing.h"
#include "MonitorSession.h"
#include "MonitorSignals.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

namespace zelk::monitor {

namespace {

const char* const ProgramName = "zelk-ae-monitor";

void WriteError(const QString& text) {
    const QByteArray line = QByteArray(ProgramName) + ": " + text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
}

// The simulated server this process offers, as an installed AE server would be: from
// start-up until the run is over, its own thread stopped before the process ends.
class TSimulatorRegistration {
public:
    explicit TSimulatorRegistration(const TMonitorOptions& options)
        : FSimulator(zelk::aesim::RegisterAESimulator(SimulatorOptions(options))) {}
    ~TSimulatorRegistration() {
        FSimulator.StopRealTime();
        zelk::aesim::UnregisterAESimulator();
    }
    TSimulatorRegistration(const TSimulatorRegistration&) = delete;
    TSimulatorRegistration& operator=(const TSimulatorRegistration&) = delete;

    zelk::aesim::TAESimulator& Simulator() noexcept { return FSimulator; }

private:
    static zelk::aesim::TSimClassOptions SimulatorOptions(const TMonitorOptions& options) {
        zelk::aesim::TSimClassOptions simulator;
        simulator.Clock = zelk::aesim::TSimClockMode::RealTime;
        // Its record of what it sent only grows memory in a process that never reads it.
        simulator.RecordNotifications = false;
        if (options.SimulateFlood) {
            simulator.Flood = true;
            simulator.FloodRate = *options.SimulateFlood;
        }
        return simulator;
    }

    zelk::aesim::TAESimulator FSimulator;
};

int Stream(const TMonitorOptions& options, TMonitorOutput& output,
           zelk::aesim::TAESimulator& simulator) {
    TMonitorSession session(options, output, &simulator);
    session.OnNotice = WriteError;
    const TMonitorStopSignals signals([&session] { session.Stop(); });
    const int status = session.Run();
    if (!session.ErrorText().isEmpty())
        WriteError(session.ErrorText());
    return status;
}

} // namespace

int RunMonitor(const QStringList& arguments) {
    QCoreApplication::setApplicationName(QString::fromLatin1(ProgramName));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELK_MONITOR_VERSION));
    IgnoreBrokenPipeSignal();

    const TMonitorCommand command = ParseMonitorCommand(arguments);
    TMonitorOutput output(STDOUT_FILENO);
    switch (command.Action) {
    case TMonitorCommand::ShowHelp:
    case TMonitorCommand::ShowVersion:
        output.Buffer() = command.Text.toUtf8().toStdString();
        output.Flush();
        return ExitOk;
    case TMonitorCommand::UsageError:
        WriteError(command.Text);
        WriteError(
            QStringLiteral("try '%1 --help' for more information").arg(QLatin1String(ProgramName)));
        return ExitUsage;
    case TMonitorCommand::Run:
        break;
    }

    // The transport first: a client component takes the first registered one.
    RegisterZelkCOMLink();
    try {
        TSimulatorRegistration registration(command.Options);
        QString errorText;
        int status = ExitOk;
        switch (command.Options.Mode) {
        case TMonitorMode::ListServers:
            status = ListServers(command.Options, output, errorText);
            break;
        case TMonitorMode::Browse:
            status = BrowseAreas(command.Options, output, errorText);
            break;
        case TMonitorMode::Stream:
            return Stream(command.Options, output, registration.Simulator());
        }
        if (!errorText.isEmpty())
            WriteError(errorText);
        return status;
    } catch (const Exception& e) {
        WriteError(e.Message());
        return ExitUnavailable;
    }
}

} // namespace zelk::monitor
