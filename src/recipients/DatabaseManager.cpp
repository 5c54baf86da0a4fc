#include "DatabaseManager.h"

#include "AddressBookDatabase.h"
#include "AppException.h"
#include "BetterString.h"
#include "Database.h"
#include "KeyedUnarchiver.h"
#include "Localizer.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PlainArrayDatabase.h"
#include "TableCopy.h"
#include "TableStoreFile.h"
#include "UserDefaults.h"
#include "Values.h"

#include <algorithm>

namespace {

// A drag names a few tables; anything much larger is not one of ours.
constexpr qsizetype MaxDraggedBytes = 1024 * 1024;

} // namespace

DatabaseManager &DatabaseManager::sharedInstance()
{
    static DatabaseManager instance = [] {
        QString error;
        std::shared_ptr<PlainArrayDatabase> store = openMainStore(&error);
        return DatabaseManager(UserDefaults::standardUserDefaults(), std::move(store),
                               AddressBookDatabase::sharedDatabase(), error);
    }();
    return instance;
}

DatabaseManager::DatabaseManager(UserDefaults &defaults, std::shared_ptr<PlainArrayDatabase> store,
                                 DatabaseRefPtr contacts, const QString &storeError)
    : m_defaults(defaults), m_store(std::move(store)), m_storeError(storeError)
{
    if (contacts)
        m_databases.append(std::move(contacts));
    if (m_store)
        m_databases.append(m_store);
}

std::shared_ptr<PlainArrayDatabase> DatabaseManager::openMainStore(QString *error)
{
    try {
        return PlainArrayDatabase::initWithName(PlainArrayDatabase::MainStoreName);
    } catch (const AppException &e) {
        if (error)
            *error = e.reason();
        qWarning("The table store could not be opened: %s", qPrintable(e.reason()));
        return nullptr;
    }
}

DatabaseRefPtr DatabaseManager::databaseWithUid(const QString &uid) const
{
    for (const DatabaseRefPtr &database : m_databases) {
        if (database->uid() == uid)
            return database;
    }
    return nullptr;
}

QStringList DatabaseManager::startupProblems() const
{
    QStringList problems;
    if (!m_storeError.isEmpty())
        problems.append(Localizer::localizedString("Project", "The stored tables could not be opened: %1").arg(m_storeError));
    if (m_store)
        problems.append(m_store->problems());
    return problems;
}

QVariantList DatabaseManager::testDatabaseList() const
{
    QVariantList list;
    if (!m_store)
        return list;
    for (const TableRefPtr &table : m_store->tables())
        list.append(QVariantMap{{FileNameKey, table->displayName()}});
    return list;
}

std::unique_ptr<Database> DatabaseManager::loadTestDatabase(int index) const
{
    if (!m_store)
        return nullptr;
    const QList<TableRefPtr> tables = m_store->tables();
    if (index < 0 || index >= tables.size())
        return nullptr;
    auto database = std::make_unique<Database>();
    AddTableRefEntriesToDatabase(*tables[index], *database);
    return database;
}

QList<TableRefPtr> DatabaseManager::tablesFromDraggedData(const QByteArray &archive) const
{
    QList<TableRefPtr> tables;
    if (archive.size() > MaxDraggedBytes)
        return tables;
    const QVariant root = KeyedUnarchiver::unarchiveObjectWithData(archive);
    if (root.typeId() != QMetaType::QVariantList)
        return tables;
    for (const QVariant &item : root.toList()) {
        if (tables.size() >= TableStoreFile::MaxTables)
            break;
        if (item.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap names = item.toMap();
        const QVariant databaseUid = names.value(DraggedDatabaseUidKey);
        const QVariant tableUid = names.value(DraggedTableUidKey);
        if (!isStringValue(databaseUid) || !isStringValue(tableUid))
            continue;
        if (const DatabaseRefPtr database = databaseWithUid(databaseUid.toString())) {
            if (TableRefPtr table = database->tableWithUid(tableUid.toString()))
                tables.append(std::move(table));
        }
    }
    return tables;
}

std::optional<QVariantList> DatabaseManager::databaseEntryArray() const
{
    return m_defaults.arrayForKey(FileListKey);
}

int DatabaseManager::databaseCount() const
{
    return int(databaseEntryArray().value_or(QVariantList()).size());
}

QVariantMap DatabaseManager::databaseEntry(int index) const
{
    const QVariantList list = databaseEntryArray().value_or(QVariantList());
    if (index < 0 || index >= list.size() || list[index].typeId() != QMetaType::QVariantMap)
        return {};
    return list[index].toMap();
}

QString DatabaseManager::databaseFilePath(int index) const
{
    const QVariant path = databaseEntry(index).value(FilePathKey);
    return isStringValue(path) ? path.toString() : QString();
}

QString DatabaseManager::databaseName(int index) const
{
    const QVariant name = databaseEntry(index).value(FileNameKey);
    return isStringValue(name) ? name.toString() : QString();
}

bool DatabaseManager::databaseIsForTesting(int index) const
{
    return boolValue(databaseEntry(index).value(ForTestingKey));
}

bool DatabaseManager::toggleTestingModeForDatabase(int index)
{
    if (index < 0 || index >= databaseCount())
        return false;
    QVariantMap entry = databaseEntry(index);
    entry.insert(ForTestingKey, databaseIsForTesting(index) ? 0 : 1);
    return setEntryData(index, entry);
}

bool DatabaseManager::setEntryData(int index, const QVariantMap &entry)
{
    QVariantList list = databaseEntryArray().value_or(QVariantList());
    if (index < 0 || index >= list.size())
        return false;
    list[index] = entry;
    storeList(std::move(list));
    return true;
}

void DatabaseManager::addDatabaseFile(const QString &path)
{
    QVariantList list = databaseEntryArray().value_or(QVariantList());
    list.append(QVariantMap{{FilePathKey, path}, {FileNameKey, BetterString::fileNameWithoutSuffix(path)}, {ForTestingKey, 0}});
    storeList(std::move(list));
}

bool DatabaseManager::removeDatabaseFile(int index)
{
    QVariantList list = databaseEntryArray().value_or(QVariantList());
    if (index < 0 || index >= list.size())
        return false;
    list.removeAt(index);
    storeList(std::move(list));
    return true;
}

bool DatabaseManager::hasDatabaseFile(const QString &path) const
{
    const QVariantList list = databaseEntryArray().value_or(QVariantList());
    return std::any_of(list.cbegin(), list.cend(), [&](const QVariant &entry) {
        const QVariant stored = entry.toMap().value(FilePathKey);
        return isStringValue(stored) && stored.toString() == path;
    });
}

bool DatabaseManager::openEditorForDatabase(int index)
{
    const QString path = databaseFilePath(index);
    if (path.isEmpty() || !m_documentOpener)
        return false;
    m_documentOpener(path, false);
    return true;
}

bool DatabaseManager::openNewDocForDatabase(int index)
{
    const QString path = databaseFilePath(index);
    if (path.isEmpty() || !m_documentOpener)
        return false;
    m_documentOpener(path, true);
    return true;
}

void DatabaseManager::storeList(QVariantList list)
{
    std::stable_sort(list.begin(), list.end(), [](const QVariant &a, const QVariant &b) {
        return sortComparator_name_path(a.toMap(), b.toMap()) < 0;
    });
    m_defaults.setObject(list, FileListKey);
    NotificationCenter::defaultCenter().postNotification(NotificationNames::DatabaseManagerUpdate, this);
}

int sortComparator_name_path(const QVariantMap &a, const QVariantMap &b)
{
    return a.value(DatabaseManager::FileNameKey).toString().compare(b.value(DatabaseManager::FileNameKey).toString(),
                                                                   Qt::CaseInsensitive);
}
