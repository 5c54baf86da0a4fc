#include "FileIO.h"
#include "KeyedArchiver.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PlainArrayDatabase.h"
#include "PlainArrayTable.h"
#include "TableStoreFile.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

using Rows = QList<QStringList>;

namespace {

std::shared_ptr<PlainArrayTable> makeTable(PlainArrayDatabase &store, const QString &name, const QStringList &columns,
                                           const Rows &rows)
{
    auto table = std::dynamic_pointer_cast<PlainArrayTable>(store.newTable());
    if (!table)
        return nullptr;
    TableChangeBatch batch(table);
    table->setDisplayName(name);
    QList<ColumnRefPtr> made;
    for (const QString &column : columns)
        made.append(table->newColumn(column));
    for (const QStringList &values : rows) {
        const RowRefPtr row = table->newRow();
        for (qsizetype i = 0; i < values.size(); ++i)
            row->setData(values[i], *made[i]);
    }
    return table;
}

Rows contentsOf(const TableRef &table)
{
    Rows rows;
    const QList<ColumnRefPtr> columns = table.columns();
    for (int i = 0; i < table.numberOfRows(); ++i) {
        QStringList values;
        for (const ColumnRefPtr &column : columns)
            values.append(table.rowAtIndex(i)->dataForColumn(*column).toString());
        rows.append(values);
    }
    return rows;
}

QStringList namesOf(const DatabaseRef &store)
{
    QStringList names;
    for (const TableRefPtr &table : store.tables())
        names.append(table->displayName());
    return names;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Python's plistlib's reading of a file the store wrote, as JSON.
QJsonValue readWithPlistlib(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral(CORV_SOURCE_DIR "/tests/recipients/store_layout.py"), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "plistlib could not read " << path.toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson("[" + python.readAllStandardOutput() + "]").array().at(0);
}

// A second program holding or writing a store (tests/recipients/child).
class Child {
public:
    explicit Child(const QStringList &arguments)
    {
        m_process.start(QStringLiteral(CORV_STORE_CHILD), arguments);
    }
    ~Child() { kill(); }

    // The next line the child prints; empty when it printed none in time.
    QString nextLine(int timeoutMs = 120000)
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(timeoutMs))
                return {};
        }
        return QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    bool waitFor(const QString &line)
    {
        for (QString got = nextLine(); !got.isEmpty(); got = nextLine()) {
            if (got == line)
                return true;
        }
        return false;
    }
    // SIGKILL, then everything it printed before dying.
    QStringList kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return {};
        m_process.kill();
        m_process.waitForFinished();
        return QString::fromLocal8Bit(m_process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

private:
    QProcess m_process;
};

class TableStore : public ::testing::Test {
protected:
    // Below folders that do not exist yet: the store makes its parents.
    QString folder() const { return m_dir.filePath(QStringLiteral("Corvantiline/Database/InternalMainDB")); }
    QString pathOf(const QString &name) const { return folder() + QLatin1Char('/') + name; }
    QString indexPath() const { return pathOf(QStringLiteral("root.db")); }
    std::shared_ptr<PlainArrayDatabase> open() const { return PlainArrayDatabase::openFolder(folder()); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(TableStore, FilesAppearWhenTablesChangeAndGoWhenRemoved)
{
    auto store = open();
    EXPECT_TRUE(QFileInfo(folder()).isDir());
    EXPECT_FALSE(store->isReadOnly());
    EXPECT_TRUE(store->problems().isEmpty());
    EXPECT_FALSE(QFile::exists(indexPath())); // opening writes nothing

    // A new table is listed at once; its file waits for its first change.
    const TableRefPtr fresh = store->newTable();
    const QString freshID = fresh->uid();
    EXPECT_TRUE(QFile::exists(indexPath()));
    EXPECT_FALSE(QFile::exists(pathOf(freshID)));
    EXPECT_EQ(fresh->displayName(), "noname");
    EXPECT_EQ(fresh->numberOfRows(), 0);
    // Removing it before anything was written succeeds all the same.
    fresh->removeFromDatabase();
    EXPECT_TRUE(store->tables().isEmpty());
    EXPECT_EQ(fresh->database(), nullptr);

    const auto table = makeTable(*store, "Kunden", {"E-Mail", "Name"}, {{"a@x.org", "A"}});
    const QString path = pathOf(table->uid());
    EXPECT_TRUE(QFile::exists(path));
    const RowRefPtr held = table->rowAtIndex(0);
    const ColumnRefPtr mail = table->columns().at(0);
    table->removeFromDatabase();
    EXPECT_FALSE(QFile::exists(path));
    // Nothing held of a removed table brings its file back.
    EXPECT_FALSE(held->setData("b@x.org", *mail));
    EXPECT_EQ(table->newRow(), nullptr);
    EXPECT_FALSE(table->setDisplayName("Again"));
    EXPECT_FALSE(QFile::exists(path));

    // Another launch: nothing listed, both identifiers still issued.
    store.reset();
    store = open();
    EXPECT_TRUE(store->tables().isEmpty());
    EXPECT_TRUE(store->uidSet().contains(freshID) && store->uidSet().contains(table->uid()));
}

TEST_F(TableStore, TablesLoadOneAtATimeAndKeepEveryChange)
{
    auto store = open();
    const auto a = makeTable(*store, "A", {"E-Mail", "Name"}, {{"a1@x.org", "A1"}, {"a2@x.org", "A2"}});
    const auto b = makeTable(*store, "B", {"E-Mail"}, {{"b1@x.org"}});

    const RowRefPtr held = a->rowAtIndex(0);
    const ColumnRefPtr name = a->columns().at(1);
    EXPECT_FALSE(held->staticData());
    EXPECT_TRUE(held->setData("Anna", *name));
    EXPECT_EQ(contentsOf(*b), Rows({{"b1@x.org"}})); // unloads A
    // A row held across the switch may be read, but no longer edited.
    EXPECT_TRUE(held->staticData());
    EXPECT_FALSE(held->setData("lost", *name));
    EXPECT_EQ(held->dataForColumn(*name), "Anna");
    EXPECT_EQ(contentsOf(*a), Rows({{"a1@x.org", "Anna"}, {"a2@x.org", "A2"}}));
    // A column the row has no value in reads as the empty string.
    const ColumnRefPtr extra = a->newColumn("Extra");
    EXPECT_EQ(a->rowAtIndex(1)->dataForColumn(*extra), QVariant(QStringLiteral("")));

    store.reset();
    store = open();
    EXPECT_EQ(namesOf(*store), QStringList({"A", "B"}));
    const TableRefPtr again = store->tableWithUid(a->uid());
    EXPECT_EQ(contentsOf(*again), Rows({{"a1@x.org", "Anna", ""}, {"a2@x.org", "A2", ""}}));
}

TEST_F(TableStore, SortingAndInsertedRowsAreStored)
{
    auto store = open();
    const auto table = makeTable(*store, "S", {"Name"}, {{"x10"}, {"x2"}, {"X1"}});
    table->sortByColumn(*table->columns().at(0), false);
    const ColumnRefPtr column = table->columns().at(0);
    const auto rawRow = [&](const QString &uid, const QString &value) {
        return QVariantMap{{"uid", uid}, {"data", QVariantMap{{column->uid(), value}}}};
    };
    ASSERT_NE(table->newRowWithData(rawRow("par-end", "end"), table->numberOfRows()), nullptr);
    ASSERT_NE(table->newRowWithData(rawRow("par-minus", "minus"), -1), nullptr);
    ASSERT_NE(table->newRowWithData(rawRow("par-first", "first"), 0), nullptr);
    ASSERT_TRUE(table->removeRowAtIndex(2));
    EXPECT_FALSE(table->removeRowAtIndex(99));

    store.reset();
    store = open();
    const TableRefPtr again = store->tableWithUid(table->uid());
    EXPECT_EQ(contentsOf(*again), Rows({{"first"}, {"x10"}, {"X1"}, {"end"}, {"minus"}}));
    EXPECT_EQ(again->rowWithUID("par-minus")->dataForColumn(*column), "minus");
}

// An import makes its rows in one step; they must be the rows that setting
// each value would make, and every identifier issued must reach the file,
// also those issued after the table was last written.
TEST_F(TableStore, AppendedRowsAreTheRowsValueByValueEditsMake)
{
    auto store = open();
    const Rows rows{{"a", "b", "c"}, {"d"}, {}, {"e", "f", "g", "past the columns"}, {"", "h", ""}};
    const auto byValue = makeTable(*store, "by value", {"One", "Two", "Three"}, {});
    const auto appended = makeTable(*store, "appended", {"One", "Two", "Three"}, {});
    QList<ColumnRefPtr> columns = byValue->columns();
    for (const QStringList &values : rows) {
        const RowRefPtr row = byValue->newRow();
        for (qsizetype i = 0; i < std::min(values.size(), columns.size()); ++i)
            row->setData(values[i], *columns[i]);
    }
    {
        TableChangeBatch batch(appended);
        EXPECT_EQ(appended->appendRows(appended->columns(), rows), rows.size());
    }
    // A column given twice keeps its later text, as two edits would.
    columns = appended->columns();
    EXPECT_EQ(appended->appendRows({columns[1], columns[0], columns[1]}, std::vector<QStringList>{{"x", "y", "z"}}), 1);

    store.reset();
    store = open();
    const TableRefPtr reread = store->tableWithUid(appended->uid());
    Rows expected = contentsOf(*store->tableWithUid(byValue->uid()));
    expected.append({"y", "z", ""});
    EXPECT_EQ(contentsOf(*reread), expected);
    for (int i = 0; i < reread->numberOfRows(); ++i)
        EXPECT_EQ(reread->rowAtIndex(i)->rawData().value("data").toMap().size(), i == 2 ? 0 : i == 1 ? 1 : i == 5 ? 2 : 3);

    const auto file = TableStoreFile::readTable(FileIO::readFileLimited(pathOf(appended->uid()), 1 << 24).value_or(""));
    ASSERT_TRUE(file);
    for (int i = 0; i < reread->numberOfRows(); ++i)
        EXPECT_TRUE(file->uidSet.contains(reread->rowAtIndex(i)->uid()));
}

TEST_F(TableStore, RemovedColumnComesBackWithItsValuesOnlyUnderItsOwnUid)
{
    auto store = open();
    const auto table = makeTable(*store, "C", {"Mail", "Name", "City"}, {{"a@x.org", "Ann", "Oslo"}});
    const auto other = makeTable(*store, "D", {"Other"}, {});
    const QString otherUid = other->columns().at(0)->uid();
    const ColumnRefPtr name = table->columns().at(1);
    ASSERT_TRUE(table->removeColumn(*name));
    for (const QString &foreign : {otherUid, QStringLiteral("pac-../x"), table->columns().at(0)->uid()})
        EXPECT_EQ(table->restoreColumn("Stolen", foreign, 0), nullptr) << foreign.toStdString();
    ASSERT_NE(table->restoreColumn(name->displayName(), name->uid(), 1), nullptr);
    EXPECT_EQ(table->restoreColumn("Twice", name->uid(), 0), nullptr);

    store.reset();
    store = open();
    EXPECT_EQ(contentsOf(*store->tableWithUid(table->uid())), Rows({{"a@x.org", "Ann", "Oslo"}}));
}

TEST_F(TableStore, BatchHoldsOtherTablesAndEndsWhenAnExceptionLeavesIt)
{
    auto store = open();
    const auto a = makeTable(*store, "A", {"E-Mail"}, {{"a1@x.org"}});
    const auto b = makeTable(*store, "B", {"E-Mail"}, {{"b1@x.org"}});
    const QByteArray before = readWholeFile(pathOf(a->uid()));
    {
        TableChangeBatch batch(a);
        a->newRow()->setData("a2@x.org", *a->columns().at(0));
        EXPECT_EQ(readWholeFile(pathOf(a->uid())), before); // not yet written
        EXPECT_EQ(b->numberOfRows(), 0);
        EXPECT_EQ(b->newRow(), nullptr);
        EXPECT_EQ(b->capabilities(), TableRef::Capabilities());
    }
    EXPECT_EQ(contentsOf(*b), Rows({{"b1@x.org"}}));

    try {
        TableChangeBatch batch(a);
        a->newRow()->setData("a3@x.org", *a->columns().at(0));
        throw std::runtime_error("import failed half-way");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(b->numberOfRows(), 1);
    store.reset();
    store = open();
    EXPECT_EQ(contentsOf(*store->tableWithUid(a->uid())), Rows({{"a1@x.org"}, {"a2@x.org"}, {"a3@x.org"}}));
}

TEST_F(TableStore, PythonPlistlibReadsTheLayout)
{
    auto store = open();
    const auto table = makeTable(*store, "Liste ü 😀", {"E-Mail", "Name"}, {{"a@x.org", "Zoë"}, {"b@x.org", ""}});
    const QList<ColumnRefPtr> columns = table->columns();
    const QString id = table->uid();

    const QJsonObject index{
        {"tables", QJsonArray{QJsonObject{{"$class", "PlainArrayTable"},
                                          {"$classes", QJsonArray{"PlainArrayTable", "NSObject"}},
                                          {"tableID", id},
                                          {"filePath", pathOf(id)}}}},
        {"uidSet", QJsonObject{{"$set", QJsonArray{id}}}}};
    EXPECT_EQ(readWithPlistlib(indexPath()), index);

    QJsonArray columnObjects, rowObjects;
    QStringList uids;
    for (const ColumnRefPtr &column : columns) {
        columnObjects.append(QJsonObject{{"$class", "PlainArrayColumn"},
                                         {"$classes", QJsonArray{"PlainArrayColumn", "NSObject"}},
                                         {"uid", column->uid()},
                                         {"displayName", column->displayName()}});
        uids.append(column->uid());
    }
    for (int i = 0; i < table->numberOfRows(); ++i) {
        const RowRefPtr row = table->rowAtIndex(i);
        QJsonObject data;
        for (const ColumnRefPtr &column : columns)
            data.insert(column->uid(), row->dataForColumn(*column).toString());
        rowObjects.append(QJsonObject{{"$class", "PlainArrayRow"},
                                      {"$classes", QJsonArray{"PlainArrayRow", "NSObject"}},
                                      {"data", data},
                                      {"uid", row->uid()}});
        uids.append(row->uid());
    }
    uids.sort();
    const QJsonObject file{{"displayName", "Liste ü 😀"},
                           {"columns", columnObjects},
                           {"contents", rowObjects},
                           {"uidSet", QJsonObject{{"$set", QJsonArray::fromStringList(uids)}}}};
    EXPECT_EQ(readWithPlistlib(pathOf(id)), file);
}

TEST_F(TableStore, CraftedIndexHarmsNothingOutsideTheFolder)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QString victim = m_dir.filePath("victim.txt");
    const QString besideVictim = QDir::cleanPath(folder() + "/../x"); // what "../x" would name
    ASSERT_TRUE(writeFile(victim, "keep me") && writeFile(besideVictim, "keep me too"));
    const QString pointed = QStringLiteral("tbl-000000001aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
    const QString linked = QStringLiteral("tbl-000000002bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb");
    ASSERT_TRUE(QFile::link(victim, pathOf(linked)));
    QVariantList entries;
    for (const auto &[tableID, filePath] : std::initializer_list<std::pair<QString, QString>>{
             {"../x", "../x"}, {pointed, victim}, {linked, victim}, {victim, victim}, {pointed, besideVictim}})
        entries.append(codableVariant(std::make_shared<PlainArrayTable>(tableID, filePath)));
    ASSERT_TRUE(writeFile(indexPath(), KeyedArchiver::archivedDataWithRootObject(
                                           QVariantMap{{"tables", entries}, {"uidSet", QVariant::fromValue(StringSet{})}})));

    auto store = open();
    // "../x", the absolute path and the second "pointed" are left out, and said so.
    ASSERT_EQ(store->tables().size(), 2);
    EXPECT_EQ(store->problems().size(), 1);
    for (const TableRefPtr &table : store->tables()) {
        SCOPED_TRACE(table->uid().toStdString());
        (void)contentsOf(*table);
        table->setDisplayName("Renamed");
        const ColumnRefPtr column = table->newColumn("E-Mail");
        if (const RowRefPtr row = table->newRow())
            row->setData("x@y.org", *column);
        for (const ColumnRefPtr &shown : table->columns())
            table->sortByColumn(*shown, true);
        table->removeFromDatabase();
    }
    EXPECT_EQ(readWholeFile(victim), "keep me");
    EXPECT_EQ(readWholeFile(besideVictim), "keep me too");
    EXPECT_FALSE(QFileInfo(pathOf(linked)).isSymLink()); // the link itself went
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).filter("tbl-"), QStringList());
}

TEST_F(TableStore, UnreadableFilesAreKeptAndTheirTablesRecovered)
{
    auto store = open();
    const auto a = makeTable(*store, "A", {"E-Mail"}, {{"a1@x.org"}, {"a2@x.org"}});
    const auto b = makeTable(*store, "B", {"E-Mail"}, {{"b1@x.org"}});
    const QString aID = a->uid(), bID = b->uid();
    store.reset();

    const QByteArray index = readWholeFile(indexPath());
    const QByteArray truncatedIndex = index.left(index.size() / 2);
    const QByteArray truncatedB = readWholeFile(pathOf(bID)).left(100);
    ASSERT_TRUE(writeFile(indexPath(), truncatedIndex) && writeFile(pathOf(bID), truncatedB));

    store = open();
    EXPECT_FALSE(store->isReadOnly());
    EXPECT_EQ(store->problems().size(), 1);
    const QStringList aside = QDir(folder()).entryList({"root.db.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readWholeFile(pathOf(aside.first())), truncatedIndex);
    QStringList ids{aID, bID};
    ids.sort();
    QStringList listed;
    for (const TableRefPtr &table : store->tables())
        listed.append(table->uid());
    EXPECT_EQ(listed, ids);

    const auto brokenB = std::dynamic_pointer_cast<PlainArrayTable>(store->tableWithUid(bID));
    EXPECT_FALSE(brokenB->readProblem().isEmpty());
    EXPECT_EQ(brokenB->capabilities(), TableRef::Capabilities(TableRef::Capability::Remove));
    EXPECT_EQ(brokenB->newRow(), nullptr);
    EXPECT_EQ(brokenB->newColumn("X"), nullptr);
    EXPECT_FALSE(brokenB->setDisplayName("B2"));
    const TableRefPtr recoveredA = store->tableWithUid(aID);
    EXPECT_EQ(contentsOf(*recoveredA), Rows({{"a1@x.org"}, {"a2@x.org"}}));
    recoveredA->newRow();
    EXPECT_EQ(readWholeFile(pathOf(bID)), truncatedB);

    // The rebuilt index was written: the next launch finds nothing to report.
    store.reset();
    store = open();
    EXPECT_TRUE(store->problems().isEmpty());
    EXPECT_EQ(store->tables().size(), 2);
    EXPECT_EQ(readWholeFile(pathOf(bID)), truncatedB);

    // A lost index comes back from the files as well; what writes cut
    // short between linking and renaming left behind goes.
    store.reset();
    ASSERT_TRUE(QFile::remove(indexPath()));
    const QStringList leftovers{"root.db.Xy12ab", aID + ".AbC123"};
    for (const QString &name : leftovers + QStringList{"notes.AbC123"})
        ASSERT_TRUE(writeFile(pathOf(name), "partial"));
    store = open();
    EXPECT_EQ(store->tables().size(), 2);
    EXPECT_EQ(store->problems().size(), 1);
    for (const QString &name : leftovers)
        EXPECT_FALSE(QFile::exists(pathOf(name))) << name.toStdString();
    EXPECT_TRUE(QFile::exists(pathOf("notes.AbC123")));
}

TEST_F(TableStore, FailedWriteKeepsTheChangeAndSaysSo)
{
    auto store = open();
    const auto a = makeTable(*store, "A", {"E-Mail"}, {{"a1@x.org"}});
    const auto b = makeTable(*store, "B", {"E-Mail"}, {{"b1@x.org"}});
    bool failing = true;
    store->setFileWriter([&](const QString &path, const TableStoreFile::FileContent &data, QString *error) {
        if (!failing)
            return TableStoreFile::writeAtomically(path, data, error);
        *error = QStringLiteral("No space left on device");
        return false;
    });
    QList<QVariantMap> reports;
    const auto observation = NotificationCenter::defaultCenter().addObserver(
        NotificationNames::TableStoreWriteFailed, store.get(), [&](const Notification &n) { reports.append(n.userInfo); });

    const QByteArray aBefore = readWholeFile(pathOf(a->uid()));
    const QByteArray indexBefore = readWholeFile(indexPath());
    EXPECT_TRUE(a->rowAtIndex(0)->setData("changed@x.org", *a->columns().at(0)));
    EXPECT_EQ(readWholeFile(pathOf(a->uid())), aBefore);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_EQ(reports[0].value("filePath"), pathOf(a->uid()));
    EXPECT_EQ(reports[0].value("reason"), "No space left on device");
    EXPECT_TRUE(store->hasUnsavedChanges());
    EXPECT_TRUE(store->lastWriteError().contains("No space left on device"));

    // Reading another table does not drop the unsaved one.
    EXPECT_EQ(contentsOf(*b), Rows({{"b1@x.org"}}));
    EXPECT_EQ(contentsOf(*a), Rows({{"changed@x.org"}}));
    const TableRefPtr c = store->newTable();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(readWholeFile(indexPath()), indexBefore);
    EXPECT_EQ(reports.size(), 2);
    EXPECT_FALSE(store->saveUnsavedChanges());

    failing = false;
    EXPECT_TRUE(store->saveUnsavedChanges());
    EXPECT_FALSE(store->hasUnsavedChanges());
    EXPECT_TRUE(store->lastWriteError().isEmpty());
    store.reset();
    store = open();
    EXPECT_EQ(store->tables().size(), 3);
    EXPECT_EQ(contentsOf(*store->tableWithUid(a->uid())), Rows({{"changed@x.org"}}));
}

TEST_F(TableStore, SecondRunningCopyGetsTheStoreReadOnly)
{
    auto first = open();
    const auto table = makeTable(*first, "A", {"E-Mail"}, {{"a1@x.org"}});
    const QByteArray index = readWholeFile(indexPath());
    const QByteArray file = readWholeFile(pathOf(table->uid()));

    const auto checkReadOnly = [&](const std::shared_ptr<PlainArrayDatabase> &second) {
        EXPECT_TRUE(second->isReadOnly());
        EXPECT_EQ(second->problems().size(), 1);
        EXPECT_FALSE(second->canCreateTables());
        EXPECT_EQ(second->newTable(), nullptr);
        const TableRefPtr seen = second->tableWithUid(table->uid());
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(contentsOf(*seen), Rows({{"a1@x.org"}}));
        EXPECT_EQ(seen->capabilities(), TableRef::Capabilities());
        EXPECT_TRUE(seen->rowAtIndex(0)->staticData());
        EXPECT_FALSE(seen->rowAtIndex(0)->setData("x", *seen->columns().at(0)));
        seen->removeFromDatabase();
        EXPECT_EQ(readWholeFile(indexPath()), index);
        EXPECT_EQ(readWholeFile(pathOf(table->uid())), file);
    };
    checkReadOnly(open()); // in this process

    first.reset();
    {
        Child child({"hold", folder()});
        ASSERT_EQ(child.nextLine(), "readonly 0");
        ASSERT_TRUE(child.waitFor("ready"));
        checkReadOnly(open()); // in another process
    }
    // The holder was killed: its lock is stale and taken over.
    EXPECT_FALSE(open()->isReadOnly());
}

// Each save replaces the file in one step: a save cut short by kill -9
// while its bytes go to disk leaves the table as it was before or after,
// never broken.
TEST_F(TableStore, KillDuringSaveLeavesTheOldOrTheNewTable)
{
    // The sanitizer build (unoptimised, every access checked) looks for
    // memory faults on this path, not for its scale, and takes minutes
    // over the full size.
    constexpr int RowCount = UnderAddressSanitizer ? 10'000 : 100'000;
    for (const int delayMs : {0, 40, 110}) {
        SCOPED_TRACE(delayMs);
        QTemporaryDir dir;
        const QString storeFolder = dir.filePath("store");
        Child child({"churn", storeFolder, QString::number(RowCount)});
        ASSERT_EQ(child.nextLine(), "readonly 0");
        const QString tableLine = child.nextLine();
        ASSERT_TRUE(tableLine.startsWith("table "));
        ASSERT_TRUE(child.waitFor("wrote 1"));
        ASSERT_TRUE(child.waitFor("writing"));
        QThread::msleep(delayMs);
        const QStringList output = child.kill();
        qint64 lastWritten = 1;
        for (const QString &line : output) {
            if (line.startsWith("wrote "))
                lastWritten = line.section(u' ', 1).toLongLong();
        }

        const auto store = PlainArrayDatabase::openFolder(storeFolder);
        EXPECT_TRUE(store->problems().isEmpty());
        const TableRefPtr table = store->tableWithUid(tableLine.section(u' ', 1));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->numberOfRows(), RowCount);
        const QList<ColumnRefPtr> columns = table->columns();
        ASSERT_EQ(columns.size(), 2);
        const qint64 value = table->rowAtIndex(0)->dataForColumn(*columns[1]).toLongLong();
        EXPECT_TRUE(value == lastWritten || value == lastWritten + 1) << value << " after " << lastWritten;
        for (int i = 1; i < RowCount; i += 997) {
            const RowRefPtr row = table->rowAtIndex(i);
            EXPECT_EQ(row->dataForColumn(*columns[0]), QStringLiteral("user%1@example.org").arg(i));
            EXPECT_EQ(row->dataForColumn(*columns[1]), QStringLiteral("Name %1").arg(i));
        }
    }
}

// Files written by Python's plistlib (the fuzz corpus): what is whole is
// read, anything crafted or cut short is refused as a whole.
TEST(TableStoreFiles, ReadsOutsideWrittenFilesAndRefusesBrokenOnes)
{
    const auto corpus = [](const char *name) {
        return readWholeFile(QStringLiteral(CORV_SOURCE_DIR "/tests/fuzz/corpus/table_store_file/") + QLatin1String(name));
    };
    const auto index = TableStoreFile::readIndex(corpus("valid-index.bplist"));
    ASSERT_TRUE(index);
    ASSERT_EQ(index->tables.size(), 1);
    EXPECT_EQ(index->tables[0].tableID, "tbl-000000001aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
    // Entries come as stored; the store decides what they may name.
    EXPECT_EQ(TableStoreFile::readIndex(corpus("hostile-index-paths.bplist"))->tables.size(), 2);

    const auto table = TableStoreFile::readTable(corpus("valid-table.bplist"));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->displayName, "Kunden");
    ASSERT_EQ(table->columns.size(), 2);
    ASSERT_EQ(table->contents.size(), 3);
    EXPECT_EQ(table->contents[0]->dataForColumn(*table->columns[1]), QStringLiteral("Zoë"));
    EXPECT_EQ(table->uidSet, StringSet({"pac-1", "pac-2"}));

    for (const char *broken : {"hostile-row-twice.bplist", "hostile-data-not-dictionary.bplist",
                               "hostile-truncated-table.bplist", "valid-index.bplist"}) {
        QString error;
        EXPECT_FALSE(TableStoreFile::readTable(corpus(broken), &error)) << broken;
        EXPECT_FALSE(error.isEmpty()) << broken;
    }
}

// Rows read their values without a map in between: a row's keys out of
// order or given twice (another writer's file) read as a map would hold
// them, and two rows sharing one dictionary get a copy each.
TEST(TableStoreFiles, RowValuesReadAsADictionaryHoldsThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("crafted.bplist"));
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import plistlib, sys
archive = plistlib.load(open(sys.argv[1], 'rb'))
objects = archive['$objects']
first = objects[13]
first['NS.keys'] = [plistlib.UID(10), plistlib.UID(8), plistlib.UID(17)]
first['NS.objects'] = [plistlib.UID(11), plistlib.UID(9), plistlib.UID(25)]
objects[23]['data'] = plistlib.UID(13)
plistlib.dump(archive, open(sys.argv[2], 'wb'), fmt=plistlib.FMT_BINARY)
)"),
                                         QStringLiteral(CORV_SOURCE_DIR "/tests/fuzz/corpus/table_store_file/valid-table.bplist"),
                                         path});
    ASSERT_TRUE(python.waitForFinished(60000) && python.exitCode() == 0) << python.readAllStandardError().toStdString();
    const auto table = TableStoreFile::readTable(readWholeFile(path));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->contents.size(), 3);
    const QVariantMap expected{{"pac-1", "c@x.org"}, {"pac-2", QStringLiteral("Zoë")}};
    EXPECT_EQ(table->contents[0]->rawData().value("data").toMap(), expected);
    EXPECT_EQ(table->contents[1]->rawData().value("data").toMap(), expected);
    EXPECT_EQ(table->contents[0]->dataForColumn(*table->columns[0]), "c@x.org");
    EXPECT_EQ(table->contents[2]->dataForColumn(*table->columns[0]), "c@x.org");
}

// A table file is archived straight into the file, in pieces: the file must
// hold exactly the archive made whole, across many pieces, and a write that
// fails half-way must leave the old file.
TEST(TableStoreFiles, StreamedFileIsTheWholeArchive)
{
    TableStoreFile::Table table;
    table.displayName = QStringLiteral("Groß");
    for (const char *uid : {"pac-1", "pac-2"}) {
        table.columns.append(std::make_shared<PlainArrayColumn>(QString::fromLatin1(uid), QString::fromLatin1(uid)));
        table.uidSet.insert(QString::fromLatin1(uid));
    }
    for (int i = 0; i < 40'000; ++i) {
        const QString uid = QStringLiteral("par-%1").arg(i);
        table.contents.append(std::make_shared<PlainArrayRow>(
            uid, QVariantMap{{"pac-1", QStringLiteral("user%1@example.org").arg(i)}, {"pac-2", i % 3 ? "Köln" : "Berlin"}}));
        table.uidSet.insert(uid);
    }
    const QByteArray whole = TableStoreFile::tableData(table).value_or("failed");
    ASSERT_GT(whole.size(), 6 << 20);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tbl-file"));
    QString error;
    ASSERT_TRUE(TableStoreFile::writeAtomically(path, TableStoreFile::tableContent(table), &error)) << error.toStdString();
    EXPECT_TRUE(readWholeFile(path) == whole);

    table.displayName = QStringLiteral("changed");
    bool written = false;
    {
        const FileSizeLimit limit(4 << 20);
        ASSERT_TRUE(limit.isSet());
        written = TableStoreFile::writeAtomically(path, TableStoreFile::tableContent(table), &error);
    }
    EXPECT_FALSE(written);
    EXPECT_TRUE(readWholeFile(path) == whole);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("tbl-file")});
}
