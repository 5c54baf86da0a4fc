#pragma once

// What every benchmark reports of its own process: the CPU time it has
// used and its peak resident memory.

#include <QByteArray>
#include <QFile>

#include <ctime>

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

} // namespace BenchProcess
