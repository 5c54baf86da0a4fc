#include "PlainArrayTableCache.h"

#include "FileIO.h"
#include "PlainArrayDatabase.h"
#include "RowComparators.h"
#include "UidFactory.h"

#include <QFileInfo>

#include <algorithm>
#include <numeric>

PlainArrayTableCache::PlainArrayTableCache(const QString &filePath, const std::shared_ptr<PlainArrayDatabase> &store)
    : m_filePath(filePath), m_store(store)
{
}

std::shared_ptr<PlainArrayTableCache> PlainArrayTableCache::load(const QString &filePath,
                                                                 const std::shared_ptr<PlainArrayDatabase> &store)
{
    std::shared_ptr<PlainArrayTableCache> cache(new PlainArrayTableCache(filePath, store));
    cache->m_readOnly = !store || store->isReadOnly();
    cache->m_table.displayName = UnnamedTable;

    const QFileInfo info(filePath);
    if (!info.exists() && !info.isSymLink())
        return cache;
    QString problem;
    std::optional<TableStoreFile::Table> table;
    // A link could lead the store to read, and later replace, a file
    // anywhere; the store's own files are plain files.
    if (info.isSymLink() || !info.isFile())
        problem = QStringLiteral("it is not a plain file");
    else if (const auto data = FileIO::readFileLimited(filePath, TableStoreFile::MaxFileBytes, &problem))
        table = TableStoreFile::readTable(*data, &problem);
    if (!table) {
        cache->m_readOnly = true;
        cache->m_readProblem = problem;
        return cache;
    }
    cache->m_table = std::move(*table);
    // Identifiers in use must never be issued again, whatever the set says.
    for (const auto &column : std::as_const(cache->m_table.columns))
        cache->m_table.uidSet.insert(column->uid());
    for (const auto &row : std::as_const(cache->m_table.contents)) {
        cache->m_table.uidSet.insert(row->uid());
        cache->adopt(row);
    }
    return cache;
}

void PlainArrayTableCache::adopt(const std::shared_ptr<PlainArrayRow> &row)
{
    row->setMasterTable(weak_from_this());
}

void PlainArrayTableCache::beginChanges()
{
    if (m_readOnly)
        return;
    if (m_batchDepth++ == 0) {
        if (const auto store = m_store.lock())
            store->setBatchingCache(shared_from_this());
    }
}

void PlainArrayTableCache::endChanges()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    if (const auto store = m_store.lock())
        store->setBatchingCache(nullptr);
    if (m_dirty)
        save();
}

bool PlainArrayTableCache::setNameOfColumn(const ColumnRef &column, const QString &name)
{
    if (m_readOnly)
        return false;
    for (const auto &own : std::as_const(m_table.columns)) {
        if (own->isEqual(column))
            own->setDisplayName(name);
    }
    contentsChanged();
    return true;
}

bool PlainArrayTableCache::removeColumn(const ColumnRef &column)
{
    if (m_readOnly)
        return false;
    m_table.columns.removeIf([&](const auto &own) { return own->isEqual(column); });
    contentsChanged();
    return true;
}

std::shared_ptr<PlainArrayColumn> PlainArrayTableCache::newColumn(const QString &name)
{
    if (m_readOnly)
        return nullptr;
    auto column = std::make_shared<PlainArrayColumn>(name, createNewUidWithPrefix(m_table.uidSet, UidPrefix::Column));
    m_table.columns.append(column);
    contentsChanged();
    return column;
}

std::shared_ptr<PlainArrayColumn> PlainArrayTableCache::restoreColumn(const QString &name, const QString &uid,
                                                                     int index)
{
    // Only the table's own identifiers: a uid from elsewhere could name a
    // column twice or take one that a later newColumn() would issue.
    if (m_readOnly || !m_table.uidSet.contains(uid) || !isWellFormedUid(uid, UidPrefix::Column))
        return nullptr;
    for (const auto &own : std::as_const(m_table.columns)) {
        if (own->uid() == uid)
            return nullptr;
    }
    auto column = std::make_shared<PlainArrayColumn>(name, uid);
    if (index >= 0 && index < m_table.columns.size())
        m_table.columns.insert(index, column);
    else
        m_table.columns.append(column);
    contentsChanged();
    return column;
}

std::shared_ptr<PlainArrayRow> PlainArrayTableCache::rowWithUID(const QString &uid) const
{
    for (const auto &row : m_table.contents) {
        if (row->uid() == uid)
            return row;
    }
    return nullptr;
}

void PlainArrayTableCache::sortByColumn(const ColumnRef &column, bool ascending)
{
    sortRowsByColumn(m_table.contents, column, ascending);
    contentsChanged();
}

bool PlainArrayTableCache::removeRowAtIndex(int index)
{
    if (m_readOnly || index < 0 || index >= m_table.contents.size())
        return false;
    // A removed row that someone still holds must not write into this table.
    m_table.contents.takeAt(index)->setMasterTable({});
    contentsChanged();
    return true;
}

std::shared_ptr<PlainArrayRow> PlainArrayTableCache::newRowWithData(const QVariantMap &rawData, int index)
{
    if (m_readOnly)
        return nullptr;
    std::shared_ptr<PlainArrayRow> row = PlainArrayRow::fromRawData(rawData);
    adopt(row);
    if (index >= 0 && index < m_table.contents.size())
        m_table.contents.insert(index, row);
    else
        m_table.contents.append(row);
    contentsChanged();
    return row;
}

std::shared_ptr<PlainArrayRow> PlainArrayTableCache::newRow()
{
    if (m_readOnly)
        return nullptr;
    auto row = std::make_shared<PlainArrayRow>(createNewUidWithPrefix(m_table.uidSet, UidPrefix::Row));
    adopt(row);
    m_table.contents.append(row);
    contentsChanged();
    return row;
}

qsizetype PlainArrayTableCache::appendRows(const QStringList &columnUids, std::span<const QStringList> rows)
{
    if (m_readOnly || rows.empty())
        return 0;
    // A row keeps its values in the order of their column uids: find that
    // order once. A column given twice keeps its later text, as setting
    // the values one by one would.
    QList<qsizetype> order(columnUids.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return columnUids[a] < columnUids[b]; });
    QList<qsizetype> kept;
    for (qsizetype k = 0; k < order.size(); ++k) {
        if (k + 1 < order.size() && columnUids[order[k]] == columnUids[order[k + 1]])
            continue;
        kept.append(order[k]);
    }
    m_table.contents.reserve(m_table.contents.size() + qsizetype(rows.size()));
    const QStringList uids = createNewUidsWithPrefix(m_table.uidSet, UidPrefix::Row, qsizetype(rows.size()));
    qsizetype made = 0;
    for (const QStringList &values : rows) {
        PlainArrayRow::Cells cells;
        cells.reserve(std::min(values.size(), kept.size()));
        for (const qsizetype j : std::as_const(kept)) {
            if (j < values.size())
                cells.append({columnUids[j], values[j]});
        }
        auto row = std::make_shared<PlainArrayRow>(uids[made++], std::move(cells));
        adopt(row);
        m_table.contents.append(std::move(row));
    }
    contentsChanged();
    return qsizetype(rows.size());
}

void PlainArrayTableCache::reserveRows(qsizetype count)
{
    if (m_readOnly || count <= 0)
        return;
    m_table.contents.reserve(m_table.contents.size() + count);
    // Room for twice as many: a fuller set compares each new identifier
    // with more of the others (which lie all over the memory) before it
    // finds its place.
    m_table.uidSet.reserve(2 * (m_table.uidSet.size() + count));
}

bool PlainArrayTableCache::setTableDisplayName(const QString &name)
{
    if (m_readOnly)
        return false;
    if (name == m_table.displayName)
        return true;
    m_table.displayName = name;
    if (const auto store = m_store.lock())
        store->recordDisplayName(m_filePath, name);
    contentsChanged();
    return true;
}

void PlainArrayTableCache::contentsChanged()
{
    if (m_readOnly)
        return;
    m_dirty = true;
    if (m_batchDepth == 0)
        save();
}

bool PlainArrayTableCache::save()
{
    const auto store = m_store.lock();
    if (m_readOnly || !store)
        return false;
    QString error;
    const bool written = store->writeFile(m_filePath, TableStoreFile::tableContent(m_table), &error);
    m_dirty = !written;
    store->tableWriteFinished(shared_from_this(), written, error);
    return written;
}

void PlainArrayTableCache::detach()
{
    m_readOnly = true;
    m_dirty = false;
    m_batchDepth = 0;
    m_store.reset();
    for (const auto &row : std::as_const(m_table.contents))
        row->setMasterTable({});
}
