// Saving and opening a project whose recipient table is large, the way the
// application does it: the document's parts archived and written, then read
// back, applied to the tabs and shown in the table view.
//
//   document_bench write ROWS five|sparse PATH   build a table, save it
//   document_bench typed ROWS five|sparse PATH   the same table in the older
//                                                typed-archive form
//   document_bench open PATH                     open either
//
// "five": five fields, every one filled. "sparse": 76 fields, five of them
// filled in each row, a different five from row to row. Prints one line of
// key=value pairs: the times of each step and the peak resident memory.

#include "BenchProcess.h"
#include "DatabaseTab.h"
#include "MyDocument.h"

#include "FileIO.h"
#include "TypedArchiver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

using namespace BenchProcess;

void fill(Database &table, int rows, bool sparse)
{
    const int fields = sparse ? 76 : 5;
    for (int field = 0; field < fields; ++field)
        table.addField(field == 0 ? QStringLiteral("Email") : QStringLiteral("Field %1").arg(field));
    table.setAddressFieldNo(0);
    QStringList values(fields);
    for (int row = 0; row < rows; ++row) {
        if (sparse) {
            QVariantMap entry{{QStringLiteral("0"), QStringLiteral("user%1@example.org").arg(row)}};
            for (int k = 0; k < 4; ++k) {
                const int slot = 1 + (row * 7 + k * 19) % 75;
                entry.insert(Database::columnIdentifier(slot), QStringLiteral("value %1-%2").arg(row).arg(slot));
            }
            table.addEntryWithDict(-1, entry);
            continue;
        }
        values[0] = QStringLiteral("user%1@example.org").arg(row);
        values[1] = QStringLiteral("First%1").arg(row % 5000);
        values[2] = QStringLiteral("Last%1").arg(row);
        values[3] = QStringLiteral("Company %1").arg(row % 977);
        values[4] = QStringLiteral("+49 30 %1").arg(1000000 + row);
        table.addEntryWithData(-1, values);
    }
}

int write(int rows, bool sparse, const QString &path, bool typed)
{
    MyDocument document;
    document.setCreateDefaultDoc(false);
    document.showWindows();
    fill(document.database(), rows, sparse);
    document.databaseTab()->refreshData();
    const double before = peakMegabytes();

    QElapsedTimer timer;
    timer.start();
    QString error;
    const bool written = typed ? FileIO::writeFileAtomically(path, TypedArchiver::archivedDataWithRootObject(QVariantMap{
                                     {MyDocument::DatabaseKey, document.database().fileData()}}))
                               : document.writeToFile(path, &error);
    const double save = timer.nsecsElapsed() / 1e9;
    if (!written) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("rows=%d save_s=%.3f bytes=%lld table_mb=%.0f peak_mb=%.0f\n", rows, save,
                qlonglong(QFileInfo(path).size()), before, peakMegabytes());
    return 0;
}

int open(const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    MyDocument document;
    QString error;
    if (!document.readFromFile(path, {}, &error)) {
        std::fprintf(stderr, "open failed: %s\n", qPrintable(error));
        return 1;
    }
    const double read = timer.nsecsElapsed() / 1e9;
    document.showWindows();
    const double shown = timer.nsecsElapsed() / 1e9;
    std::printf("rows=%d read_s=%.3f open_s=%.3f peak_mb=%.0f\n", document.database().entryCount(), read, shown,
                peakMegabytes());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && (args[1] == QLatin1String("write") || args[1] == QLatin1String("typed")))
        return write(args[2].toInt(), args[3] == QLatin1String("sparse"), args[4], args[1] == QLatin1String("typed"));
    if (args.size() == 3 && args[1] == QLatin1String("open"))
        return open(args[2]);
    std::fprintf(stderr, "usage: document_bench write|typed ROWS five|sparse PATH | open PATH\n");
    return 2;
}
