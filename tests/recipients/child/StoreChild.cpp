// A table store in a program of its own, for the tests that need a second
// running copy:
//   hold FOLDER        opens the store, says whether it got it read-only,
//                      and waits to be killed;
//   churn FOLDER ROWS  makes a table of ROWS rows, then rewrites it without
//                      end, one cell at a time, printing "writing" when
//                      the bytes of a save start to go to disk and each
//                      value once its file has been written.
#include "PlainArrayDatabase.h"
#include "PlainArrayTable.h"
#include "TableStoreFile.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const auto store = PlainArrayDatabase::openFolder(QString::fromLocal8Bit(argv[2]));
    std::printf("readonly %d\n", int(store->isReadOnly()));
    std::fflush(stdout);
    if (mode == QLatin1String("hold")) {
        std::printf("ready\n");
        std::fflush(stdout);
        for (;;)
            ::pause();
    }
    if (mode != QLatin1String("churn") || argc < 4)
        return 2;
    const int rows = QString::fromLocal8Bit(argv[3]).toInt();
    const TableRefPtr table = store->newTable();
    ColumnRefPtr mail, name;
    {
        TableChangeBatch batch(table);
        table->setDisplayName(QStringLiteral("Churn"));
        mail = table->newColumn(QStringLiteral("E-Mail"));
        name = table->newColumn(QStringLiteral("Name"));
        for (int i = 0; i < rows; ++i) {
            const RowRefPtr row = table->newRow();
            row->setData(QStringLiteral("user%1@example.org").arg(i), *mail);
            row->setData(QStringLiteral("Name %1").arg(i), *name);
        }
    }
    std::printf("table %s\nready\n", qPrintable(table->uid()));
    std::fflush(stdout);
    store->setFileWriter([](const QString &path, const TableStoreFile::FileContent &data, QString *error) {
        std::printf("writing\n");
        std::fflush(stdout);
        return TableStoreFile::writeAtomically(path, data, error);
    });
    const RowRefPtr first = table->rowAtIndex(0);
    for (long value = 1;; ++value) {
        if (!first->setData(QString::number(value), *name) || store->hasUnsavedChanges())
            return 1;
        std::printf("wrote %ld\n", value);
        std::fflush(stdout);
    }
}
