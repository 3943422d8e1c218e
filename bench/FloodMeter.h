#pragma once

// The measuring part of the flood probes: how long the thread was away from its event
// loop, and how much memory the process holds. Header only, QtCore only, so that any
// probe (toolkit, main window) can include it.
//
//   zelk::bench::TStallMeter meter;     // on the thread whose event loop is watched
//   meter.Start();                      // a 10 ms timer from now on
//   ... run the event loop ...
//   meter.Longest(), meter.Percentile(99.0), meter.Samples()
//   zelk::bench::ResidentKiB(), zelk::bench::PeakResidentKiB()

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

namespace zelk::bench {

// The plant's size, the same two options in every probe: --areas N --sources N.
struct TPlantSizeOptions {
    QCommandLineOption Areas;
    QCommandLineOption Sources;
    TPlantSizeOptions(int areas, int sources)
        : Areas(QStringLiteral("areas"), QStringLiteral("Areas of the plant."), QStringLiteral("n"),
                QString::number(areas)),
          Sources(QStringLiteral("sources"), QStringLiteral("Sources of the plant."),
                  QStringLiteral("n"), QString::number(sources)) {}
    int AreasIn(const QCommandLineParser& parser) const { return parser.value(Areas).toInt(); }
    int SourcesIn(const QCommandLineParser& parser) const { return parser.value(Sources).toInt(); }
};

// A precise 10 ms timer on the current thread's event loop; each tick records how late it
// came: the time between two ticks beyond the period, in milliseconds. A thread that
// stays away from its loop for 100 ms makes one tick about 90 ms late.
class TStallMeter {
public:
    static constexpr int PeriodMs = 10;

    TStallMeter() {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(PeriodMs);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
    }

    void Start() {
        Reset();
        FTimer.start();
    }
    void Stop() { FTimer.stop(); }
    // Forgets the samples so far; the next tick starts a new series.
    void Reset() {
        FLateness.clear();
        FClock.invalidate();
    }

    std::size_t Samples() const { return FLateness.size(); }
    double Longest() const {
        return FLateness.empty() ? 0.0 : *std::max_element(FLateness.begin(), FLateness.end());
    }
    // The lateness that `percent` of the ticks did not exceed.
    double Percentile(double percent) const {
        if (FLateness.empty())
            return 0.0;
        std::vector<double> sorted = FLateness;
        std::sort(sorted.begin(), sorted.end());
        const auto rank = static_cast<std::size_t>(
            std::ceil(percent / 100.0 * static_cast<double>(sorted.size())));
        return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
    }

private:
    void Tick() {
        if (FClock.isValid()) {
            const double gap = static_cast<double>(FClock.nsecsElapsed()) / 1e6;
            FLateness.push_back(std::max(0.0, gap - PeriodMs));
        }
        FClock.start();
    }

    QTimer FTimer;
    QElapsedTimer FClock;
    std::vector<double> FLateness;
};

namespace detail {
// A "Name:   1234 kB" line of /proc/self/status, in KiB; 0 when it cannot be read.
inline long StatusKiB(const char* name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return 0;
}
} // namespace detail

// The process's resident memory now, and the most it has held, in KiB.
inline long ResidentKiB() {
    return detail::StatusKiB("VmRSS");
}
inline long PeakResidentKiB() {
    return detail::StatusKiB("VmHWM");
}

// Processor time, in milliseconds, of the calling thread and of the whole process: what a
// phase cost each side. The UI thread's share against the rest (the server's threads) tells
// which side limits a flood.
struct TCpuTimes {
    double Thread = 0;
    double Process = 0;

    static double Ms(clockid_t clock) {
        timespec now{};
        clock_gettime(clock, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }
    static TCpuTimes Now() { return {Ms(CLOCK_THREAD_CPUTIME_ID), Ms(CLOCK_PROCESS_CPUTIME_ID)}; }
    TCpuTimes operator-(const TCpuTimes& earlier) const {
        return {Thread - earlier.Thread, Process - earlier.Process};
    }
};

// Runs the current thread's event loop for `seconds` under `meter`, and gives the resident
// memory in MiB of each second, oldest first.
inline QStringList RunMeasured(int seconds, TStallMeter& meter) {
    QStringList rss;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { rss << QString::number(ResidentKiB() / 1024); });
    meter.Start();
    sampler.start(1000);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    meter.Stop();
    sampler.stop();
    return rss;
}

} // namespace zelk::bench
