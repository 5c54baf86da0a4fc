// The table store with one large table, the way the project window uses it:
// the table filled in one batch and saved, one cell edited (the whole file
// written again), the store opened afresh and the table read, and the
// table copied into a document's recipient table.
//
//   table_store_bench ROWS FOLDER
//
// Five columns, every cell filled. The folder keeps the store afterwards,
// so a peer can read the same table file. Prints one line of key=value
// pairs: the time of each step and the peak resident memory.

#include "BenchProcess.h"
#include "Database.h"
#include "PlainArrayDatabase.h"
#include "PlainArrayTable.h"
#include "TableCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

using namespace BenchProcess;

double seconds(QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: table_store_bench ROWS FOLDER\n");
        return 2;
    }
    const int rows = QString::fromLocal8Bit(argv[1]).toInt();
    const QString folder = QString::fromLocal8Bit(argv[2]);

    auto store = PlainArrayDatabase::openFolder(folder);
    const TableRefPtr table = store->newTable();
    const QString tableID = table->uid();
    QElapsedTimer timer;
    double save = 0;
    {
        TableChangeBatch batch(table);
        table->setDisplayName(QStringLiteral("Bench"));
        QList<ColumnRefPtr> columns;
        for (const char *name : {"E-Mail", "First", "Last", "Company", "Phone"})
            columns.append(table->newColumn(QString::fromLatin1(name)));
        for (int row = 0; row < rows; ++row) {
            const RowRefPtr made = table->newRow();
            made->setData(QStringLiteral("user%1@example.org").arg(row), *columns[0]);
            made->setData(QStringLiteral("First%1").arg(row % 5000), *columns[1]);
            made->setData(QStringLiteral("Last%1").arg(row), *columns[2]);
            made->setData(QStringLiteral("Company %1").arg(row % 977), *columns[3]);
            made->setData(QStringLiteral("+49 30 %1").arg(1000000 + row), *columns[4]);
        }
        timer.start(); // the batch ends here: one write of the whole table
    }
    save = seconds(timer);
    const double built = peakMegabytes();

    // Five edits of cells spread over the table, the best of them: the
    // write (synced) is what the disk decides and varies most between runs.
    double edit = 1e9;
    for (int round = 0; round < 5; ++round) {
        const RowRefPtr row = table->rowAtIndex(rows / 2 + round);
        timer.start();
        const bool edited = row->setData(QStringLiteral("edited%1@example.org").arg(round), *table->columns().at(0));
        const double took = seconds(timer);
        if (!edited || store->hasUnsavedChanges()) {
            std::fprintf(stderr, "writing failed: %s\n", qPrintable(store->lastWriteError()));
            return 1;
        }
        edit = std::min(edit, took);
    }

    store.reset();
    timer.start();
    store = PlainArrayDatabase::openFolder(folder);
    const TableRefPtr reopened = store->tableWithUid(tableID);
    const int read = reopened ? reopened->numberOfRows() : -1;
    const double open = seconds(timer);
    if (read != rows) {
        std::fprintf(stderr, "read %d rows of %d\n", read, rows);
        return 1;
    }

    Database document;
    timer.start();
    AddTableRefEntriesToDatabase(*reopened, document, {});
    const double copy = seconds(timer);

    std::printf("rows=%d save_s=%.3f edit_s=%.3f open_s=%.3f copy_s=%.3f bytes=%lld built_mb=%.0f peak_mb=%.0f\n", rows,
                save, edit, open, copy, qlonglong(QFileInfo(folder + QLatin1Char('/') + tableID).size()), built,
                peakMegabytes());
    return 0;
}
