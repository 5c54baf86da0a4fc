#pragma once

// Where a run to a test table finds its tables: the stored tables of the
// table registry, named for the send sheet and loaded by identifier when
// the run starts, so that a table deleted or moved while the sheet was
// open is never mistaken for another. Tests put a source of their own in
// place.
//
// Main thread only.

#include <QList>
#include <QString>

#include <memory>

class Database;

class TestTableSource {
public:
    struct Entry {
        QString name;
        QString uid;
    };

    virtual ~TestTableSource() = default;

    [[nodiscard]] virtual QList<Entry> testTables() const = 0;
    // A new recipient table filled from the stored table; null when no
    // table has that identifier (any more).
    [[nodiscard]] virtual std::unique_ptr<Database> loadTestTable(const QString &uid) const = 0;

    // The source in use: the one set, else the table registry's.
    [[nodiscard]] static TestTableSource &current();
    // Not owned; nullptr puts the registry's back.
    static void setCurrent(TestTableSource *source);
};
