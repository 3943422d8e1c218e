// Flood probe of the desktop program's window: the main window, offscreen, connected
// through COM to the real-time simulator with a large plant, flooded at 5,000
// notifications per second and then at the simulator's maximum rate. Reports, per phase,
// how long the user-interface thread was away from its event loop (a 10 ms timer's
// lateness: longest and 99th percentile), the merge rate, the rows listed and the
// resident memory second by second; and the time from the start of the program to the
// first painted window.
//
//   build/default/bench/probe_window_flood [--seconds 10] [--areas 2000] [--sources 8000]
//
// Run by hand; it is not one of the benchmark programs that ./zelk bench runs.

#include "FloodMeter.h"
#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "ZelkAESim.h"
#include "ZelkAlarmListModel.h"
#include "ZelkCOMLink.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTreeView>
#include <cstdio>

namespace {

struct TProbeSettings {
    int Seconds = 10;
    int Areas = 2'000;
    int Sources = 8'000;
};

TProbeSettings ParseSettings(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Flood probe of the main window"));
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of each phase."), QStringLiteral("n"),
                                     QStringLiteral("10"));
    const zelk::bench::TPlantSizeOptions plant(2000, 8000);
    parser.addOptions({seconds, plant.Areas, plant.Sources});
    parser.process(app);
    return {std::max(1, parser.value(seconds).toInt()), plant.AreasIn(parser),
            plant.SourcesIn(parser)};
}

void RunPhase(const char* name, int rate, int seconds, zelk::aesim::TAESimulator& sim,
              TMainForm& window, const long long& merged) {
    zelk::bench::TStallMeter meter;
    const long long mergedBefore = merged;
    const long long publishedBefore = sim.PublishedCount();
    sim.SetFlood(true, rate);
    const QStringList rss = zelk::bench::RunMeasured(seconds, meter);
    std::printf("%s: merged %.0f/s (server sent %.0f/s), rows %d, stall longest %.1f ms, "
                "p99 %.1f ms over %zu ticks\n",
                name, static_cast<double>(merged - mergedBefore) / seconds,
                static_cast<double>(sim.PublishedCount() - publishedBefore) / seconds,
                window.ListModel()->rowCount(), meter.Longest(), meter.Percentile(99.0),
                meter.Samples());
    std::printf("  resident MiB each second: %s; peak %ld MiB\n",
                qPrintable(rss.join(QStringLiteral(" "))), zelk::bench::PeakResidentKiB() / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const TProbeSettings settings = ParseSettings(app);
    RegisterZelkCOMLink();

    zelk::aesim::TSimClassOptions options;
    options.PlantSize = {.Areas = settings.Areas, .Sources = settings.Sources};
    options.Clock = zelk::aesim::TSimClockMode::RealTime;
    options.RecordNotifications = false;
    zelk::aesim::TScopedAESimulator sim(options);

    TMainForm window;
    window.show();
    window.ListView1()->viewport()->repaint();
    std::printf("start-up to a painted window: %.0f ms\n",
                static_cast<double>(sinceStart.nsecsElapsed()) / 1e6);

    TZelkEventServer* server = window.ZelkEventServer1();
    long long merged = 0;
    server->OnEvent = [&merged, chained = server->OnEvent](TComponent* sender, TZelkEvent* event) {
        ++merged;
        if (chained)
            chained(sender, event);
    };
    window.ConnectTo(options.ProgID, QString());
    int conditions = 0;
    for (const auto& source : sim->Plant().Sources)
        conditions += static_cast<int>(source.Conditions.size());
    std::printf("plant: %d areas, %d sources, %d conditions; resident %ld MiB\n",
                static_cast<int>(sim->Plant().Areas.size()),
                static_cast<int>(sim->Plant().Sources.size()), conditions,
                zelk::bench::ResidentKiB() / 1024);

    RunPhase("5,000/s", 5'000, settings.Seconds, *sim, window, merged);
    RunPhase("maximum", 0, settings.Seconds, *sim, window, merged);

    sim->StopRealTime();
    window.Disconnect1Click();
    return 0;
}
