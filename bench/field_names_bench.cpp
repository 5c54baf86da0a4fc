// Imports whose columns all bear one name, so that each needs a field of
// its own under a free name ("x", "x 2", "x 3", ...): a stored table of
// many such columns copied into a document's recipient table (a drag of the
// table onto it, or New Mail from it), twice, and a delimited text file
// whose title row repeats one title, imported into a table with recipients
// and into one without.
//
// Usage: field_names_bench [columns] [titles]
//   columns  (default 9000) columns of the stored table
//   titles   (default 10000) titles of the delimited text file
// Prints one line per case: seconds, and the fields the table has after it.

#include "RecipientCommands.h"

#include "Database.h"
#include "Localizer.h"
#include "PlainArrayDatabase.h"
#include "TableCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUndoStack>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

void report(const char *step, double seconds, const Database &db)
{
    std::printf("%-58s %8.3f s   %d fields\n", step, seconds, db.fieldCount());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Localizer::install();
    const int columns = argc > 1 ? std::atoi(argv[1]) : 9000;
    const int titles = argc > 2 ? std::atoi(argv[2]) : 10000;
    QTemporaryDir dir;

    const auto store = PlainArrayDatabase::openFolder(dir.filePath(QStringLiteral("store")));
    const TableRefPtr table = store->newTable();
    {
        TableChangeBatch batch(table);
        table->setDisplayName(QStringLiteral("Same names"));
        QList<ColumnRefPtr> made;
        for (int i = 0; i < columns; ++i)
            made.append(table->newColumn(QStringLiteral("x")));
        const RowRefPtr row = table->newRow();
        for (int i = 0; i < columns; ++i)
            row->setData(QStringLiteral("v%1").arg(i), *made.at(i));
    }
    {
        Database db;
        char step[80];
        std::snprintf(step, sizeof step, "stored table of %d columns \"x\" copied", columns);
        report(step, timed([&] { AddTableRefEntriesToDatabase(*table, db, {}); }), db);
        report("  and copied again", timed([&] { AddTableRefEntriesToDatabase(*table, db, {}); }), db);
    }

    QList<QStringList> rows{QStringList(titles, QStringLiteral("x")), QStringList(titles, QStringLiteral("v"))};
    for (const bool withRecipients : {true, false}) {
        Database db;
        db.changeFieldNameTo(QStringLiteral("e-mail"), QStringLiteral("0"));
        if (withRecipients)
            db.addEntryWithData(-1, {QStringLiteral("a@x.org")});
        QUndoStack stack;
        RecipientCommands commands(&db, &stack);
        char step[80];
        std::snprintf(step, sizeof step, "delimited text, %d titles \"x\", %s", titles,
                      withRecipients ? "table with recipients" : "table without");
        report(step, timed([&] { commands.importRows(rows, true); }), db);
    }
    return 0;
}
