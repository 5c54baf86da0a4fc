#include "PlainArrayTable.h"

#include "KeyedArchiver.h"
#include "PlainArrayDatabase.h"
#include "PlainArrayTableCache.h"

namespace {

constexpr TableRef::Capabilities EditingCapabilities =
    TableRef::Capability::NewRow | TableRef::Capability::NewRowWithData | TableRef::Capability::RemoveRow
    | TableRef::Capability::NewColumn | TableRef::Capability::RemoveColumn | TableRef::Capability::RenameColumn
    | TableRef::Capability::Rename | TableRef::Capability::BatchChanges | TableRef::Capability::RestoreColumn;

} // namespace

void PlainArrayTable::setDatabase(const std::shared_ptr<PlainArrayDatabase> &database)
{
    m_database = database;
    if (database)
        m_filePath = database->pathForTable(m_tableID);
}

std::shared_ptr<PlainArrayTableCache> PlainArrayTable::cache() const
{
    const auto store = m_database.lock();
    return store ? store->cacheForFile(m_filePath) : nullptr;
}

std::shared_ptr<PlainArrayTableCache> PlainArrayTable::editableCache() const
{
    auto loaded = cache();
    return loaded && !loaded->isReadOnly() ? loaded : nullptr;
}

QString PlainArrayTable::readProblem() const
{
    const auto loaded = cache();
    return loaded ? loaded->readProblem() : QString();
}

void PlainArrayTable::sortByColumn(const ColumnRef &column, bool ascending)
{
    if (const auto loaded = cache())
        loaded->sortByColumn(column, ascending);
}

RowRefPtr PlainArrayTable::rowAtIndex(int index) const
{
    const auto loaded = cache();
    if (!loaded || index < 0 || index >= loaded->contents().size())
        return nullptr;
    return loaded->contents().at(index);
}

int PlainArrayTable::numberOfRows() const
{
    const auto loaded = cache();
    return loaded ? int(loaded->contents().size()) : 0;
}

ColumnRefPtr PlainArrayTable::columnWithId(const QString &uid) const
{
    if (const auto loaded = cache()) {
        for (const auto &column : loaded->columns()) {
            if (column->uid() == uid)
                return column;
        }
    }
    return nullptr;
}

QList<ColumnRefPtr> PlainArrayTable::columns() const
{
    const auto loaded = cache();
    if (!loaded)
        return {};
    return {loaded->columns().cbegin(), loaded->columns().cend()};
}

std::shared_ptr<DatabaseRef> PlainArrayTable::database() const
{
    return m_database.lock();
}

QString PlainArrayTable::displayName() const
{
    const auto store = m_database.lock();
    return store ? store->displayNameForFile(m_filePath) : QString();
}

TableRef::Capabilities PlainArrayTable::capabilities() const
{
    const auto store = m_database.lock();
    if (!store || store->isReadOnly())
        return {};
    const auto loaded = cache();
    if (!loaded)
        return {};
    // A table whose file cannot be read may still be deleted by the user;
    // nothing else would leave its file as it is.
    return loaded->isReadOnly() ? Capabilities(Capability::Remove) : EditingCapabilities | Capability::Remove;
}

RowRefPtr PlainArrayTable::rowWithUID(const QString &uid) const
{
    const auto loaded = cache();
    return loaded ? loaded->rowWithUID(uid) : nullptr;
}

RowRefPtr PlainArrayTable::newRow()
{
    const auto loaded = editableCache();
    return loaded ? loaded->newRow() : nullptr;
}

void PlainArrayTable::reserveRows(qsizetype count)
{
    if (const auto loaded = editableCache())
        loaded->reserveRows(count);
}

RowRefPtr PlainArrayTable::newRowWithData(const QVariantMap &rawData, int index)
{
    const auto loaded = editableCache();
    return loaded ? loaded->newRowWithData(rawData, index) : nullptr;
}

qsizetype PlainArrayTable::appendRows(const QList<ColumnRefPtr> &columns, std::span<const QStringList> rows)
{
    const auto loaded = editableCache();
    if (!loaded)
        return 0;
    QStringList columnUids;
    columnUids.reserve(columns.size());
    for (const ColumnRefPtr &column : columns)
        columnUids.append(column->uid());
    return loaded->appendRows(columnUids, rows);
}

bool PlainArrayTable::removeRowAtIndex(int index)
{
    const auto loaded = editableCache();
    return loaded && loaded->removeRowAtIndex(index);
}

ColumnRefPtr PlainArrayTable::newColumn(const QString &name)
{
    const auto loaded = editableCache();
    return loaded ? loaded->newColumn(name) : nullptr;
}

ColumnRefPtr PlainArrayTable::restoreColumn(const QString &name, const QString &uid, int index)
{
    const auto loaded = editableCache();
    return loaded ? loaded->restoreColumn(name, uid, index) : nullptr;
}

bool PlainArrayTable::removeColumn(const ColumnRef &column)
{
    const auto loaded = editableCache();
    return loaded && loaded->removeColumn(column);
}

bool PlainArrayTable::setNameOfColumn(const ColumnRef &column, const QString &name)
{
    const auto loaded = editableCache();
    return loaded && loaded->setNameOfColumn(column, name);
}

bool PlainArrayTable::setDisplayName(const QString &name)
{
    const auto loaded = editableCache();
    return loaded && loaded->setTableDisplayName(name);
}

void PlainArrayTable::removeFromDatabase()
{
    if (const auto store = m_database.lock())
        store->removeTableAndFile(*this);
}

void PlainArrayTable::beginChanges()
{
    if (const auto loaded = editableCache())
        loaded->beginChanges();
}

void PlainArrayTable::endChanges()
{
    if (const auto loaded = cache())
        loaded->endChanges();
}

void PlainArrayTable::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeObject(m_tableID, QStringLiteral("tableID"));
    coder.encodeObject(m_filePath, QStringLiteral("filePath"));
}
