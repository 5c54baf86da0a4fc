#include "TestTableSource.h"

#include "Database.h"
#include "DatabaseManager.h"
#include "PlainArrayDatabase.h"

namespace {

TestTableSource *installedSource = nullptr;

// The registry's test tables, named by its list and matched to the store's
// tables by position, which is the order that list is made in.
class RegistryTestTables final : public TestTableSource {
public:
    QList<Entry> testTables() const override
    {
        DatabaseManager &registry = DatabaseManager::sharedInstance();
        const QVariantList list = registry.testDatabaseList();
        const QList<TableRefPtr> tables = storedTables(registry);
        QList<Entry> entries;
        for (int i = 0; i < list.size() && i < tables.size(); ++i) {
            const QString name = list.at(i).toMap().value(DatabaseManager::FileNameKey).toString();
            entries.append({name, tables.at(i)->uid()});
        }
        return entries;
    }

    std::unique_ptr<Database> loadTestTable(const QString &uid) const override
    {
        DatabaseManager &registry = DatabaseManager::sharedInstance();
        const QList<TableRefPtr> tables = storedTables(registry);
        for (int i = 0; i < tables.size(); ++i) {
            if (tables.at(i)->uid() == uid)
                return registry.loadTestDatabase(i);
        }
        return nullptr;
    }

private:
    static QList<TableRefPtr> storedTables(const DatabaseManager &registry)
    {
        const std::shared_ptr<PlainArrayDatabase> &store = registry.mainUserDatabase();
        return store ? store->tables() : QList<TableRefPtr>();
    }
};

} // namespace

TestTableSource &TestTableSource::current()
{
    if (installedSource)
        return *installedSource;
    static RegistryTestTables registryTables;
    return registryTables;
}

void TestTableSource::setCurrent(TestTableSource *source)
{
    installedSource = source;
}
