#pragma once

// What every benchmark reports of its own process: the CPU time it has
// used and its peak resident memory; and the wait of the benchmarks that
// drive a run on other threads.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace BenchProcess {

inline double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// VmHWM in KiB, -1 when it cannot be read.
inline long peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

inline double peakMegabytes()
{
    return double(peakRssKiB()) / 1024.0;
}

// Handles the main thread's events until the condition holds; false after 60 s.
inline bool handleEventsUntil(const std::function<bool()> &condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

// Times runs of each kind the arguments name ("--runs N" of each, 10 unless
// given; the default kinds when none is named): every run's time, then
// "RESULT <kind> <runs> <median ms> <max ms>". A run gives its time in
// milliseconds, or a negative one when it failed, which ends the program's
// work with 1.
inline int timeRuns(const QStringList &arguments, const QStringList &defaultKinds,
                    const std::function<double(const QString &kind)> &run)
{
    QStringList kinds;
    int runs = 10;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--runs") && i + 1 < arguments.size())
            runs = std::max(1, arguments[++i].toInt());
        else
            kinds.append(arguments[i]);
    }
    if (kinds.isEmpty())
        kinds = defaultKinds;
    for (const QString &kind : kinds) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            const double ms = run(kind);
            if (ms < 0) {
                std::fprintf(stderr, "%s: run %d failed\n", qPrintable(kind), i + 1);
                return 1;
            }
            std::printf("%s run %d: %.1f ms\n", qPrintable(kind), i + 1, ms);
            times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        std::printf("RESULT %s %d %.1f %.1f\n", qPrintable(kind), runs, times[times.size() / 2], times.back());
    }
    return 0;
}

} // namespace BenchProcess
