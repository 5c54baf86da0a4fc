#include "AddressBookDatabase.h"
#include "Database.h"
#include "DatabaseManager.h"
#include "KeyedArchiver.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PlainArrayDatabase.h"
#include "TableCopy.h"
#include "UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using Map = QVariantMap;
using List = QVariantList;

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_store = PlainArrayDatabase::openFolder(m_dir.filePath("store"));
        m_defaults = std::make_unique<UserDefaults>(m_dir.filePath("defaults.ini"));
    }

    // A stored table; each row gives its values in column order, an
    // invalid QVariant for no value at all.
    TableRefPtr storedTable(const QString &name, const QStringList &columns, const QList<List> &rows)
    {
        TableRefPtr table = m_store->newTable();
        TableChangeBatch batch(table);
        table->setDisplayName(name);
        for (const QString &column : columns)
            table->newColumn(column);
        for (const List &values : rows) {
            const RowRefPtr row = table->newRow();
            for (qsizetype i = 0; i < values.size(); ++i) {
                if (values[i].isValid())
                    row->setData(values[i], *table->columns().at(i));
            }
        }
        return table;
    }

    Map positionsOf(const TableRefPtr &table, const QStringList &namesInOrder)
    {
        Map positions;
        for (const ColumnRefPtr &column : table->columns())
            if (namesInOrder.contains(column->displayName()))
                positions.insert(column->uid(), namesInOrder.indexOf(column->displayName()));
        return positions;
    }

    static QList<Map> entriesOf(const Database &db)
    {
        QList<Map> entries;
        for (const auto &entry : db.entryArray())
            entries.append(entry->toMap());
        return entries;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<PlainArrayDatabase> m_store;
    std::unique_ptr<UserDefaults> m_defaults;
};

} // namespace

TEST_F(Registry, CopyOrdersColumnsByPositionAndFindsTheAddressColumn)
{
    const TableRefPtr table = storedTable("T", {"Name", "Note", "E-Mail"},
                                          {{"Ann", "no at here", ""}, {"Bob", QVariant(), "bob@x.org"}, {"Cy", "c@note", "cy@x.org"}});
    Database db;
    AddTableRefEntriesToDatabase(*table, db, positionsOf(table, {"E-Mail", "Name"}));
    // Positioned columns first; "Note" has no position and follows.
    EXPECT_EQ(db.fieldNames(), QStringList({"E-Mail", "Name", "Note"}));
    // The first value holding "@", counted over the rows in order.
    EXPECT_EQ(db.addressFieldNo(), 0);
    EXPECT_EQ(entriesOf(db), QList<Map>({{{"0", ""}, {"1", "Ann"}, {"2", "no at here"}},
                                         {{"0", "bob@x.org"}, {"1", "Bob"}, {"2", ""}},
                                         {{"0", "cy@x.org"}, {"1", "Cy"}, {"2", "c@note"}}}));

    // A second copy adds no fields and doubles the entries.
    AddTableRefEntriesToDatabase(*table, db, {});
    EXPECT_EQ(db.fieldNames(), QStringList({"E-Mail", "Name", "Note"}));
    EXPECT_EQ(db.entryCount(), 6);
    EXPECT_EQ(db.entryArray().at(3)->toMap(), entriesOf(db).at(0));
}

TEST_F(Registry, CopyIntoExistingFieldsAndSlots)
{
    const TableRefPtr table = storedTable("T", {"E-Mail", "Extra"}, {{"a@x.org", "1"}});
    const struct {
        const char *what;
        QStringList fields;       // named in slot order
        QList<int> removed;       // slots then removed
        int address;              // before the copy
        QString heldAddress;      // in a row of the table before the copy
        QStringList fieldsAfter;
        int addressAfter;
    } cases[] = {
        // The address column is a slot, not a position in the field list.
        {"removed slot before", {"Old", "Name", "E-Mail"}, {0}, -1, {}, {"Extra", "Name", "E-Mail"}, 2},
        {"existing address kept", {"Mail", "E-Mail"}, {}, 0, "m@x.org", {"Mail", "E-Mail", "Extra"}, 0},
        {"address column without addresses", {"Mail", "E-Mail"}, {}, 0, {}, {"Mail", "E-Mail", "Extra"}, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Database db;
        for (const QString &field : c.fields)
            db.addField(field);
        for (int slot : c.removed)
            db.removeColumn(Database::columnIdentifier(slot));
        db.setAddressFieldNo(c.address);
        if (!c.heldAddress.isEmpty())
            db.addEntryWithData(-1, {c.heldAddress});
        AddTableRefEntriesToDatabase(*table, db, {});
        EXPECT_EQ(db.fieldNames(), c.fieldsAfter);
        EXPECT_EQ(db.addressFieldNo(), c.addressAfter);
        EXPECT_EQ(db.entryValue(db.entryCount() - 1, db.fieldNameColumnIDMapping().value("E-Mail")), "a@x.org");
    }

    // Without any "@" there is no address column.
    Database none;
    AddTableRefEntriesToDatabase(*storedTable("U", {"Name"}, {{"Ann"}}), none, {});
    EXPECT_EQ(none.addressFieldNo(), -1);
}

TEST_F(Registry, CopyGivesUnnamedColumnsTheirPositionAndStoresText)
{
    // Two unnamed columns must not land in one free slot and mix their values.
    const TableRefPtr table = storedTable("T", {"", "E-Mail", ""}, {{"first", "a@x.org", qint64(42)}, {"x", QVariant(), 2.5}});
    Database db;
    AddTableRefEntriesToDatabase(*table, db, {});
    EXPECT_EQ(db.fieldNames(), QStringList({"1", "E-Mail", "3"}));
    EXPECT_EQ(entriesOf(db), QList<Map>({{{"0", "first"}, {"1", "a@x.org"}, {"2", "42"}}, {{"0", "x"}, {"1", ""}, {"2", "2.5"}}}));

    // No slot left: the columns that need a new field are left out.
    Map names;
    for (int slot = 0; slot < Database::MaxColumnCount; ++slot)
        names.insert(Database::columnIdentifier(slot), slot == 7 ? QStringLiteral("E-Mail") : QStringLiteral("F%1").arg(slot));
    Database full;
    full.readFileData({{"AddressColumn Num", "-1"}, {"Address Array", List{names}}});
    AddTableRefEntriesToDatabase(*table, full, {});
    EXPECT_EQ(full.fieldCount(), Database::MaxColumnCount);
    EXPECT_EQ(entriesOf(full), QList<Map>({{{"7", "a@x.org"}}, {{"7", ""}}}));
    EXPECT_EQ(full.addressFieldNo(), 7);
}

TEST_F(Registry, CopyFillsAFieldWithOneColumnAtMost)
{
    // "phone" takes its field; its other spellings and a second "Note" get
    // fields of their own instead of writing over its values.
    const TableRefPtr table = storedTable("T", {"Phone", "phone", "PHONE", "Note", "Note"}, {{"1", "2", "3", "4", "5"}});
    Database db;
    db.changeFieldNameTo("phone", "0");
    AddTableRefEntriesToDatabase(*table, db, {});
    EXPECT_EQ(db.fieldNames(), QStringList({"phone", "Phone", "PHONE", "Note", "Note 2"}));
    EXPECT_EQ(entriesOf(db), QList<Map>({{{"0", "2"}, {"1", "1"}, {"2", "3"}, {"3", "4"}, {"4", "5"}}}));
}

TEST_F(Registry, ColumnsOfOneNameFindTheFieldsTheyMadeOnEveryLaterImport)
{
    // A stored table and a project file each with two columns "x", imported
    // three times: as a title row "x, x" is, into "x" and "x 2" every time.
    const TableRefPtr table = storedTable("T", {"x", "x"}, {{"1", "2"}});
    Database other;
    other.changeFieldNameTo("x", "0");
    other.changeFieldNameTo("x", "1");
    other.addEntryWithData(-1, {"1", "2"});
    const QString project = m_dir.filePath("other.quorv2");
    QFile file(project);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(KeyedArchiver::archivedDataWithRootObject(Map{{"Database", other.fileData()}}));
    file.close();
    const struct {
        const char *what;
        std::function<void(Database &)> import;
    } imports[] = {
        {"stored table", [&](Database &db) { AddTableRefEntriesToDatabase(*table, db, {}); }},
        {"project file", [&](Database &db) { ASSERT_TRUE(db.importDatabaseFile(project)); }},
    };
    for (const auto &i : imports) {
        Database db;
        for (int time = 0; time < 3; ++time)
            i.import(db);
        EXPECT_EQ(db.fieldNames().join(u',').toStdString(), "x,x 2") << i.what;
        EXPECT_EQ(entriesOf(db), QList<Map>(3, Map{{"0", "1"}, {"1", "2"}})) << i.what;
    }
}

TEST_F(Registry, ThousandsOfColumnsOfOneNameAreNumberedOnce)
{
    constexpr int Columns = 9000;
    const TableRefPtr table = storedTable("T", QStringList(Columns, "x"), {});
    Database db;
    AddTableRefEntriesToDatabase(*table, db, {});
    AddTableRefEntriesToDatabase(*table, db, {});
    EXPECT_EQ(db.fieldCount(), Columns);
    EXPECT_EQ(db.fieldNameAtIndex(Columns - 1), QStringLiteral("x %1").arg(Columns));
}

TEST_F(Registry, TestTablesAndDraggedTables)
{
    const TableRefPtr a = storedTable("Alpha", {"E-Mail"}, {{"a@x.org"}});
    const TableRefPtr b = storedTable("Beta", {"E-Mail"}, {{"b1@x.org"}, {"b2@x.org"}});
    DatabaseManager registry(*m_defaults, m_store, nullptr);
    EXPECT_EQ(registry.databases(), QList<DatabaseRefPtr>({m_store}));
    EXPECT_EQ(registry.databaseWithUid(m_store->uid()), m_store);
    EXPECT_TRUE(registry.startupProblems().isEmpty());

    EXPECT_EQ(registry.testDatabaseList(), List({Map{{"fileName", "Alpha"}}, Map{{"fileName", "Beta"}}}));
    const std::unique_ptr<Database> loaded = registry.loadTestDatabase(1);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->entryCount(), 2);
    EXPECT_EQ(loaded->addressForEntry(1), "b2@x.org");
    for (int bad : {-1, 2})
        EXPECT_EQ(registry.loadTestDatabase(bad), nullptr);

    const auto drag = [](const List &items) { return KeyedArchiver::archivedDataWithRootObject(items); };
    const Map good{{"database uid", m_store->uid()}, {"table uid", b->uid()}};
    const List hostile{
        "text", 7, List{good}, Map{{"database uid", m_store->uid()}},
        Map{{"database uid", m_store->uid()}, {"table uid", 5}},
        Map{{"database uid", QByteArray(m_store->uid().toUtf8())}, {"table uid", a->uid()}},
        Map{{"database uid", "/elsewhere"}, {"table uid", a->uid()}},
        Map{{"database uid", m_store->uid()}, {"table uid", "../" + a->uid()}}, good};
    const QList<TableRefPtr> found = registry.tablesFromDraggedData(drag(hostile));
    EXPECT_EQ(found, QList<TableRefPtr>({b}));
    EXPECT_TRUE(registry.tablesFromDraggedData("not an archive").isEmpty());
    EXPECT_TRUE(registry.tablesFromDraggedData(drag({good, QString(2 * 1024 * 1024, u'x')})).isEmpty());
}

TEST_F(Registry, StoreThatCannotOpenLeavesTheRestWorking)
{
    // The data folder lies below a plain file, so no store folder can be made.
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    QFile blocker(m_dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", m_dir.filePath("blocker/data").toUtf8());
    QString error;
    const std::shared_ptr<PlainArrayDatabase> store = DatabaseManager::openMainStore(&error);
    qputenv("XDG_DATA_HOME", saved);
    EXPECT_EQ(store, nullptr);
    EXPECT_EQ(error, "Can not create root database directory.");

    DatabaseManager registry(*m_defaults, store, nullptr, error);
    EXPECT_TRUE(registry.databases().isEmpty());
    ASSERT_EQ(registry.startupProblems().size(), 1);
    EXPECT_TRUE(registry.startupProblems().first().contains(error));
    EXPECT_TRUE(registry.testDatabaseList().isEmpty());
    EXPECT_EQ(registry.loadTestDatabase(0), nullptr);
    registry.addDatabaseFile("/p/a.quorv2");
    EXPECT_EQ(registry.databaseCount(), 1);
}

TEST_F(Registry, OlderFileListIsSortedAndChecksEveryIndex)
{
    DatabaseManager registry(*m_defaults, m_store, nullptr);
    int updates = 0;
    const auto observation = NotificationCenter::defaultCenter().addObserver(
        NotificationNames::DatabaseManagerUpdate, &registry, [&](const Notification &) { ++updates; });
    EXPECT_FALSE(registry.databaseEntryArray().has_value());
    EXPECT_EQ(registry.databaseCount(), 0);

    for (const char *path : {"/p/Zeta.quorv2", "/p/alpha.quorv2", "/p/Beta.quorv2"})
        registry.addDatabaseFile(path);
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(registry.databaseName(0), "alpha");
    EXPECT_EQ(registry.databaseName(1), "Beta");
    EXPECT_EQ(registry.databaseFilePath(2), "/p/Zeta.quorv2");
    EXPECT_TRUE(registry.hasDatabaseFile("/p/Beta.quorv2"));
    EXPECT_FALSE(registry.hasDatabaseFile("/p/Beta"));

    EXPECT_TRUE(registry.toggleTestingModeForDatabase(1));
    EXPECT_TRUE(registry.databaseIsForTesting(1));
    EXPECT_EQ(registry.databaseEntry(1).value("forTesting"), 1);
    EXPECT_TRUE(registry.toggleTestingModeForDatabase(1));
    EXPECT_FALSE(registry.databaseIsForTesting(1));

    // Another copy of the program shortens the list between two calls.
    const std::optional<List> before = m_defaults->arrayForKey(DatabaseManager::FileListKey);
    m_defaults->setObject(List{before->first()}, DatabaseManager::FileListKey);
    updates = 0;
    EXPECT_FALSE(registry.toggleTestingModeForDatabase(2));
    EXPECT_FALSE(registry.setEntryData(1, Map{{"filePath", "/x"}}));
    EXPECT_FALSE(registry.removeDatabaseFile(1));
    EXPECT_FALSE(registry.openEditorForDatabase(1));
    EXPECT_EQ(updates, 0);
    EXPECT_EQ(registry.databaseCount(), 1);
    for (int bad : {-1, 1})
        EXPECT_TRUE(registry.databaseEntry(bad).isEmpty() && registry.databaseFilePath(bad).isNull());

    // Opening goes through what the application hands over.
    QList<std::pair<QString, bool>> opened;
    registry.setDocumentOpener([&](const QString &path, bool asNew) { opened.append({path, asNew}); });
    EXPECT_TRUE(registry.openEditorForDatabase(0));
    EXPECT_TRUE(registry.openNewDocForDatabase(0));
    EXPECT_EQ(opened, (QList<std::pair<QString, bool>>{{"/p/alpha.quorv2", false}, {"/p/alpha.quorv2", true}}));

    EXPECT_TRUE(registry.removeDatabaseFile(0));
    EXPECT_EQ(registry.databaseCount(), 0);
}

TEST_F(Registry, ContactsComeFirstAndCopyLikeStoredTables)
{
    const QString folder = m_dir.filePath("contacts");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile cards(folder + "/people.vcf");
    ASSERT_TRUE(cards.open(QIODevice::WriteOnly));
    cards.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann\r\nN:Alder;Ann;;;\r\nFN:Ann Alder\r\n"
                "EMAIL;TYPE=INTERNET:ann@x.org\r\nEND:VCARD\r\n"
                "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bob\r\nN:Birch;Bob;;;\r\nFN:Bob Birch\r\nEND:VCARD\r\n");
    cards.close();
    const auto contacts = AddressBookDatabase::create(folder);
    contacts->waitUntilLoaded();
    const TableRefPtr stored = storedTable("Stored", {"E-Mail"}, {{"s@x.org"}});

    DatabaseManager registry(*m_defaults, m_store, contacts);
    EXPECT_EQ(registry.databases(), QList<DatabaseRefPtr>({contacts, m_store}));
    EXPECT_EQ(registry.databaseWithUid("db-AppleAddressBook"), contacts);
    // Test tables are the stored ones only.
    EXPECT_EQ(registry.testDatabaseList(), List({Map{{"fileName", "Stored"}}}));

    const List dragged{Map{{"database uid", "db-AppleAddressBook"}, {"table uid", "tbl-all"}},
                       Map{{"database uid", m_store->uid()}, {"table uid", stored->uid()}}};
    const QList<TableRefPtr> found = registry.tablesFromDraggedData(KeyedArchiver::archivedDataWithRootObject(dragged));
    ASSERT_EQ(found.size(), 2);
    ASSERT_EQ(found[0]->numberOfRows(), 2);

    Database db;
    AddTableRefEntriesToDatabase(*found[0], db, {{"abc-Email", 0}, {"abc-First", 1}, {"abc-Last", 2}});
    ASSERT_GE(db.fieldCount(), 3);
    EXPECT_EQ(db.fieldNames().mid(0, 3), QStringList({found[0]->columnWithId("abc-Email")->displayName(),
                                                      found[0]->columnWithId("abc-First")->displayName(),
                                                      found[0]->columnWithId("abc-Last")->displayName()}));
    EXPECT_EQ(db.addressFieldNo(), 0);
    EXPECT_EQ(db.addressForEntry(0), "ann@x.org");
    EXPECT_EQ(db.entryValue(1, "1"), "Bob");
    EXPECT_EQ(db.addressForEntry(1), "");
}
