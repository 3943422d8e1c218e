// Soak probe of automatic reconnection: an event server with AutoReconnect on, connected
// through COM to the real-time simulator flooding at 20,000 notifications per second,
// whose server process restarts once a minute (a shutdown request and a crash in turn,
// each down for half a second). Reports every ten seconds what must not grow without
// bound (resident memory, live COM objects, live task allocations, listed events, queued
// batches), for each restart how long after the server answered again the component was
// connected and its list brought up to date, and at the end whether every notification
// the server handed to the client's sink reached the component.
//
//   build/default/bench/probe_reconnect_soak [--minutes 3] [--rate 20000]
//                                            [--areas 500] [--sources 4000]
//
// Run by hand; it is not one of the benchmark programs that ./zelk bench runs.

#include "FloodMeter.h"
#include "ZelkAE.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "comobject.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

struct TSoakSettings {
    int Minutes = 3;
    int Rate = 20'000;
    int Areas = 500;
    int Sources = 4'000;
    int DownMs = 500;
};

TSoakSettings ParseSettings(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Soak probe of automatic reconnection"));
    parser.addHelpOption();
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("Length."),
                                     QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Notifications per second."), QStringLiteral("n"),
                                  QStringLiteral("20000"));
    const zelk::bench::TPlantSizeOptions plant(500, 4000);
    const QCommandLineOption down(QStringLiteral("down-ms"),
                                  QStringLiteral("How long the server is away at a restart."),
                                  QStringLiteral("ms"), QStringLiteral("500"));
    parser.addOptions({minutes, rate, plant.Areas, plant.Sources, down});
    parser.process(app);
    TSoakSettings settings;
    settings.Minutes = std::max(1, parser.value(minutes).toInt());
    settings.Rate = std::max(0, parser.value(rate).toInt());
    settings.Areas = plant.AreasIn(parser);
    settings.Sources = plant.SourcesIn(parser);
    settings.DownMs = std::max(0, parser.value(down).toInt());
    return settings;
}

// One restart of the server and what the component made of it, in ms of the soak's clock.
struct TRestart {
    bool Crash = false;
    qint64 Down = -1;
    qint64 Answering = -1;
    qint64 Connected = -1;
    qint64 UpToDate = -1;
};

struct TSample {
    qint64 Second = 0;
    long ResidentMiB = 0;
    long long ComObjects = 0;
    long long TaskAllocations = 0;
    int Listed = 0;
    std::size_t Queued = 0;
};

void PrintSample(const TSample& s) {
    std::printf("%4llds  resident %4ld MiB  COM objects %6lld  task allocations %6lld  listed "
                "%6d  queued %zu\n",
                static_cast<long long>(s.Second), s.ResidentMiB, s.ComObjects, s.TaskAllocations,
                s.Listed, s.Queued);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const TSoakSettings settings = ParseSettings(app);
    RegisterZelkCOMLink();

    zelk::aesim::TSimClassOptions options;
    options.PlantSize = {.Areas = settings.Areas, .Sources = settings.Sources};
    options.Clock = zelk::aesim::TSimClockMode::RealTime;
    options.Flood = true;
    options.FloodRate = settings.Rate;
    options.RecordNotifications = false;
    zelk::aesim::TScopedAESimulator sim(options);
    sim->Faults().SetRecording(false);

    QElapsedTimer clock;
    std::vector<TRestart> restarts;
    long long received = 0;
    TZelkEventServer server;
    server.SetAutoReconnect(true);
    server.SetKeepAlive(500);
    server.OnEvent = [&received](TComponent*, TZelkEvent*) { ++received; };
    server.OnConnect = [&](TComponent*) {
        if (!restarts.empty() && restarts.back().Connected < 0)
            restarts.back().Connected = clock.elapsed();
    };
    server.OnLog = [&](TComponent*, TZelkLogMsg* log) {
        std::printf("%6.1fs  log: %s\n", static_cast<double>(clock.elapsed()) / 1000.0,
                    qPrintable(log->Msg));
        if (log->Msg.contains(QStringLiteral("brought up to date")) && !restarts.empty() &&
            restarts.back().UpToDate < 0)
            restarts.back().UpToDate = clock.elapsed();
    };
    clock.start();
    server.Connect(options.ProgID, QString());
    std::printf("plant: %d sources; flood %d/s; a restart each minute, down %d ms; resident "
                "%ld MiB\n",
                static_cast<int>(sim->Plant().Sources.size()), settings.Rate, settings.DownMs,
                zelk::bench::ResidentKiB() / 1024);

    std::vector<TSample> samples;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        samples.push_back({clock.elapsed() / 1000, zelk::bench::ResidentKiB() / 1024,
                           zelk::com::LiveComObjects(), zelk::com::LiveTaskAllocations(),
                           server.Events()->Count(), server.Backlog()->Queued()});
        PrintSample(samples.back());
    });
    sampler.start(10'000);

    // A restart 20 s into every minute: a shutdown request first, a crash the next time.
    // The server is another process: it is driven from a thread of its own, never from
    // the client's event loop.
    std::thread control;
    std::atomic<qint64> answering{-1};
    QTimer restarter;
    QObject::connect(&restarter, &QTimer::timeout, [&] {
        if (control.joinable())
            control.join();
        if (!restarts.empty())
            restarts.back().Answering = answering.load();
        TRestart restart;
        restart.Crash = restarts.size() % 2 == 1;
        restart.Down = clock.elapsed();
        restarts.push_back(restart);
        answering = -1;
        control = std::thread([&, crash = restart.Crash] {
            if (crash)
                sim->Faults().StopAnswering();
            else
                sim->Shutdown(QStringLiteral("soak restart"));
            std::this_thread::sleep_for(std::chrono::milliseconds(settings.DownMs));
            sim->Restart();
            answering = clock.elapsed();
        });
        restarter.setInterval(60'000);
    });
    restarter.start(20'000);

    QEventLoop loop;
    QTimer::singleShot(settings.Minutes * 60'000, &loop, &QEventLoop::quit);
    loop.exec();
    restarter.stop();
    sampler.stop();
    if (control.joinable())
        control.join();
    if (!restarts.empty())
        restarts.back().Answering = answering.load();

    // The flood ends; what the sink took in must all reach the component.
    sim->StopRealTime();
    QEventLoop drain;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (server.Backlog()->Queued() == 0)
            drain.quit();
    });
    poll.start(50);
    QTimer::singleShot(30'000, &drain, &QEventLoop::quit);
    drain.exec();
    const long long delivered = sim->Faults().Delivered();

    std::printf("\nrestarts (ms after the server answered again):\n");
    for (const TRestart& r : restarts)
        std::printf("  %-8s at %6.1fs: connected after %lld ms, list up to date after %lld ms\n",
                    r.Crash ? "crash" : "shutdown", static_cast<double>(r.Down) / 1000.0,
                    r.Connected < 0 ? -1LL : static_cast<long long>(r.Connected - r.Answering),
                    r.UpToDate < 0 ? -1LL : static_cast<long long>(r.UpToDate - r.Answering));
    std::printf("notifications: handed to the sink %lld, reached the component %lld, lost %lld\n",
                delivered, received, delivered - received);
    std::printf("resident peak %ld MiB\n", zelk::bench::PeakResidentKiB() / 1024);
    server.Disconnect();
    return 0;
}
