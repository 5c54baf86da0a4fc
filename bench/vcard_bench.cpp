// vCard reading speed: a file of cards read ROUNDS times, the best round
// counted, once as contacts alone and once imported into a recipient table
// (fields made, entries added). run-vcard-bench.sh runs it beside
// peers/vcard_read.py (python3-vobject) on the same file.
//
// Usage: vcard_bench FILE [ROUNDS]   (default 5 rounds)
//        vcard_bench --folder DIR [ROUNDS]: the contacts source's snapshot
//        of a folder of vCard files (walk, read, groups, columns).
// The last line, "RESULT corvantiline <cards> <seconds>", is the read alone.

#include "BenchProcess.h"
#include "AddressBookSnapshot.h"
#include "Database.h"
#include "VCard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace BenchProcess;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vcard_bench FILE [ROUNDS]\n");
        return 2;
    }
    if (argc > 2 && QByteArray(argv[1]) == "--folder") {
        const int rounds = argc > 3 ? std::max(1, atoi(argv[3])) : 5;
        const QString folder = QString::fromLocal8Bit(argv[2]);
        double best = std::numeric_limits<double>::max();
        qsizetype people = 0;
        QElapsedTimer timer;
        for (int round = 0; round < rounds; ++round) {
            timer.start();
            const auto snapshot = AddressBookSnapshot::read(folder);
            best = std::min(best, timer.nsecsElapsed() / 1e9);
            people = snapshot->people().size();
        }
        std::printf("%lld people; snapshot %.3f s (%.0f cards/s); peak RSS %ld KiB\n",
                    static_cast<long long>(people), best, people / best, peakRssKiB());
        std::printf("RESULT corvantiline %lld %.6f\n", static_cast<long long>(people), best);
        return 0;
    }
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray data = file.readAll();

    double bestRead = std::numeric_limits<double>::max();
    double bestImport = std::numeric_limits<double>::max();
    qsizetype persons = 0;
    int fields = 0;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        timer.start();
        const VCardReadResult result = VCard::personsFromVCard(data);
        bestRead = std::min(bestRead, timer.nsecsElapsed() / 1e9);
        persons = result.persons.size();

        Database table;
        table.setupFieldNamesForABImport();
        timer.start();
        const VCardImportSummary summary = table.addEntries(-1, data);
        bestImport = std::min(bestImport, timer.nsecsElapsed() / 1e9);
        fields = table.fieldCount();
        if (summary.addedEntries != persons)
            return 1;
    }
    std::printf("%lld bytes, %lld cards; read %.3f s (%.0f cards/s); into a table %.3f s with %d fields; "
                "peak RSS %ld KiB\n",
                static_cast<long long>(data.size()), static_cast<long long>(persons), bestRead, persons / bestRead,
                bestImport, fields, peakRssKiB());
    std::printf("RESULT corvantiline %lld %.6f\n", static_cast<long long>(persons), bestRead);
    return 0;
}
