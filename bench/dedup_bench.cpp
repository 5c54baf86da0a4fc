// Switching off repeated addresses in a large recipient table.
//
// Usage: dedup_bench [entries]   (default 1,000,000)
// The table holds `entries` addresses in slot 0, one in ten a repeat of an
// earlier one in other letter case; prints
// RESULT seconds cpu-seconds switched-off.

#include "BenchProcess.h"
#include "Database.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using BenchProcess::cpuSeconds;

int main(int argc, char **argv)
{
    const int entries = argc > 1 ? std::max(1, atoi(argv[1])) : 1'000'000;
    Database table;
    table.changeFieldNameTo(QStringLiteral("Email"), QStringLiteral("0"));
    table.setAddressFieldNo(0);
    for (int i = 0; i < entries; ++i) {
        const QString address = i % 10 == 9 ? QStringLiteral("User%1.Name@Example.org").arg(i - 9)
                                            : QStringLiteral("user%1.name@example.org").arg(i);
        table.addEntryWithData(-1, {address, QStringLiteral("Name %1").arg(i)});
    }

    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    const int switchedOff = table.disableDoublettes();
    std::printf("RESULT %.3f %.3f %d\n", timer.nsecsElapsed() / 1e9, cpuSeconds() - cpuStart, switchedOff);
    return 0;
}
