// Flood probe of the toolkit's intake: an event server connected through COM to the
// real-time simulator with a large plant, flooded at 5,000 notifications per second and
// then at the simulator's maximum rate. Reports, per phase, how long the UI thread was
// away from its event loop (a 10 ms timer's lateness: longest and 99th percentile), the
// merge rate, the listed conditions and the resident memory second by second.
//
//   build/default/bench/probe_flood [--sort Source] [--seconds 10] [--areas 2000]
//                                   [--sources 8000] [--warmup 0]
//
// --warmup floods at the maximum rate for that many seconds first, unmeasured, so that
// the phases start with the list full (about 100,000 live conditions with
// --areas 5000 --sources 70000 --warmup 20).
//
// Run by hand; it is not one of the benchmark programs that ./zelk bench runs.

#include "FloodMeter.h"
#include "ZelkAE.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <ctime>

namespace {

struct TProbeSettings {
    QStringList Sort{QStringLiteral("Active (D)"), QStringLiteral("Time (D)")};
    int Seconds = 10;
    int Areas = 2'000;
    int Sources = 8'000;
    int Warmup = 0;
};

TProbeSettings ParseSettings(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Flood probe of the AE intake"));
    parser.addHelpOption();
    const QCommandLineOption sort(QStringLiteral("sort"),
                                  QStringLiteral("Sort lines, comma separated."),
                                  QStringLiteral("lines"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of each phase."), QStringLiteral("n"),
                                     QStringLiteral("10"));
    const zelk::bench::TPlantSizeOptions plant(2000, 8000);
    const QCommandLineOption warmup(QStringLiteral("warmup"),
                                    QStringLiteral("Unmeasured seconds at the maximum rate first."),
                                    QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({sort, seconds, plant.Areas, plant.Sources, warmup});
    parser.process(app);
    TProbeSettings settings;
    if (parser.isSet(sort))
        settings.Sort = parser.value(sort).split(QLatin1Char(','));
    settings.Seconds = std::max(1, parser.value(seconds).toInt());
    settings.Areas = plant.AreasIn(parser);
    settings.Sources = plant.SourcesIn(parser);
    settings.Warmup = std::max(0, parser.value(warmup).toInt());
    return settings;
}

// The longest update bracket (one batch merged) of a phase, in wall-clock time and in the
// UI thread's CPU time: the difference is time the thread waited for a processor.
struct TBracketTimes {
    QElapsedTimer Wall;
    double CpuStart = 0;
    double LongestWall = 0;
    double LongestCpu = 0;

    static double ThreadCpuMs() { return zelk::bench::TCpuTimes::Ms(CLOCK_THREAD_CPUTIME_ID); }
    void Begin() {
        Wall.start();
        CpuStart = ThreadCpuMs();
    }
    void End() {
        LongestWall = std::max(LongestWall, static_cast<double>(Wall.nsecsElapsed()) / 1e6);
        LongestCpu = std::max(LongestCpu, ThreadCpuMs() - CpuStart);
    }
};

// One phase: the simulator floods at `rate` (0: as fast as it can) for `seconds`.
void RunPhase(const char* name, int rate, int seconds, zelk::aesim::TAESimulator& sim,
              TZelkEventServer& server, const long long& merged, TBracketTimes& brackets) {
    zelk::bench::TStallMeter meter;
    brackets = TBracketTimes{};
    const long long mergedBefore = merged;
    const long long publishedBefore = sim.PublishedCount();
    const zelk::bench::TCpuTimes cpuBefore = zelk::bench::TCpuTimes::Now();
    sim.SetFlood(true, rate);
    const QStringList rss = zelk::bench::RunMeasured(seconds, meter);
    const zelk::bench::TCpuTimes cpu = zelk::bench::TCpuTimes::Now() - cpuBefore;
    const double mergedRate = static_cast<double>(merged - mergedBefore) / seconds;
    const double publishedRate =
        static_cast<double>(sim.PublishedCount() - publishedBefore) / seconds;
    std::printf("%s: merged %.0f/s (server sent %.0f/s), listed %d, stall longest %.1f ms, "
                "p99 %.1f ms over %zu ticks, queued at end %zu\n",
                name, mergedRate, publishedRate, server.Events()->Count(), meter.Longest(),
                meter.Percentile(99.0), meter.Samples(), server.Backlog()->Queued());
    const double mergedCount = std::max(1.0, static_cast<double>(merged - mergedBefore));
    std::printf("  processor: UI thread %.0f%% (%.1f us per merged event), other threads "
                "%.0f%% (%.1f us per merged event)\n",
                cpu.Thread / (seconds * 10.0), cpu.Thread * 1e3 / mergedCount,
                (cpu.Process - cpu.Thread) / (seconds * 10.0),
                (cpu.Process - cpu.Thread) * 1e3 / mergedCount);
    std::printf("  longest batch merge %.1f ms (%.1f ms of it on the processor)\n",
                brackets.LongestWall, brackets.LongestCpu);
    std::printf("  resident MiB each second: %s; peak %ld MiB\n",
                qPrintable(rss.join(QStringLiteral(" "))), zelk::bench::PeakResidentKiB() / 1024);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const TProbeSettings settings = ParseSettings(app);
    RegisterZelkCOMLink();

    zelk::aesim::TSimClassOptions options;
    options.PlantSize = {.Areas = settings.Areas, .Sources = settings.Sources};
    options.Clock = zelk::aesim::TSimClockMode::RealTime;
    options.Flood = false;
    options.RecordNotifications = false;
    zelk::aesim::TScopedAESimulator sim(options);
    int conditions = 0;
    for (const auto& source : sim->Plant().Sources)
        conditions += static_cast<int>(source.Conditions.size());

    TZelkEventServer server;
    server.SetEventlistSort(settings.Sort);
    long long merged = 0;
    server.OnEvent = [&merged](TComponent*, TZelkEvent*) { ++merged; };
    TBracketTimes brackets;
    server.OnBeginUpdate = [&brackets](TComponent*) { brackets.Begin(); };
    // A reader as a window is: at the end of every bracket the view is read.
    server.OnEndUpdate = [&server, &brackets](TComponent*) {
        if (const int count = server.Events()->Count(); count > 0)
            (void)server.Events()->Events(count / 2)->ID();
        brackets.End();
    };
    server.Connect(options.ProgID, QString());
    std::printf("plant: %d areas, %d sources, %d conditions; sort %s; resident %ld MiB\n",
                static_cast<int>(sim->Plant().Areas.size()),
                static_cast<int>(sim->Plant().Sources.size()), conditions,
                qPrintable(settings.Sort.join(QStringLiteral(", "))),
                zelk::bench::ResidentKiB() / 1024);

    if (settings.Warmup > 0) {
        sim->SetFlood(true, 0);
        QEventLoop loop;
        QTimer::singleShot(settings.Warmup * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        std::printf("after the warm-up: listed %d, resident %ld MiB\n", server.Events()->Count(),
                    zelk::bench::ResidentKiB() / 1024);
    }
    RunPhase("5,000/s", 5'000, settings.Seconds, *sim, server, merged, brackets);
    RunPhase("maximum", 0, settings.Seconds, *sim, server, merged, brackets);

    sim->StopRealTime();
    server.Disconnect();
    return 0;
}
