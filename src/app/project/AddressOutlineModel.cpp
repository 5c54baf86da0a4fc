#include "AddressOutlineModel.h"

#include "DatabaseManager.h"
#include "KeyedArchiver.h"
#include "NotificationNames.h"
#include "ProjectIcons.h"

#include <QMimeData>

namespace {

// Internal ids: 0 for a source row, the source's row + 1 for its tables.
constexpr quintptr SourceRowId = 0;

} // namespace

AddressOutlineModel::AddressOutlineModel(DatabaseManager &registry, QObject *parent)
    : QAbstractItemModel(parent), m_registry(registry)
{
    // The contacts are read in the background; their groups come with them.
    m_contactsLoaded = NotificationCenter::defaultCenter().addObserver(NotificationNames::AddressBookLoaded, nullptr,
                                                                       [this](const Notification &) { reload(); });
    reload();
}

void AddressOutlineModel::reload()
{
    beginResetModel();
    m_sources.clear();
    for (const DatabaseRefPtr &source : m_registry.databases()) {
        if (source)
            m_sources.append({source, source->tables()});
    }
    endResetModel();
}

DatabaseRefPtr AddressOutlineModel::sourceAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() != SourceRowId || index.row() >= m_sources.size())
        return nullptr;
    return m_sources[index.row()].source;
}

TableRefPtr AddressOutlineModel::tableAt(const QModelIndex &index) const
{
    if (!index.isValid() || index.internalId() == SourceRowId)
        return nullptr;
    const qsizetype source = qsizetype(index.internalId() - 1);
    if (source >= m_sources.size() || index.row() >= m_sources[source].tables.size())
        return nullptr;
    return m_sources[source].tables[index.row()];
}

QModelIndex AddressOutlineModel::indexOfTable(const QString &sourceUid, const QString &tableUid) const
{
    for (int s = 0; s < m_sources.size(); ++s) {
        if (m_sources[s].source->uid() != sourceUid)
            continue;
        const QList<TableRefPtr> &tables = m_sources[s].tables;
        for (int t = 0; t < tables.size(); ++t) {
            if (tables[t]->uid() == tableUid)
                return createIndex(t, 0, quintptr(s + 1));
        }
    }
    return {};
}

QStringList AddressOutlineModel::mimeTypes() const
{
    return {DatabaseManager::DraggedTablesType};
}

QMimeData *AddressOutlineModel::mimeData(const QModelIndexList &indexes) const
{
    QVariantList dragged;
    for (const QModelIndex &index : indexes) {
        const TableRefPtr table = tableAt(index);
        if (!table || index.column() != 0)
            continue;
        const std::shared_ptr<DatabaseRef> source = table->database();
        if (!source)
            continue;
        dragged.append(QVariantMap{{DatabaseManager::DraggedDatabaseUidKey, source->uid()},
                                   {DatabaseManager::DraggedTableUidKey, table->uid()}});
    }
    if (dragged.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(DatabaseManager::DraggedTablesType, KeyedArchiver::archivedDataWithRootObject(dragged));
    return data;
}

QModelIndex AddressOutlineModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return row < m_sources.size() ? createIndex(row, column, SourceRowId) : QModelIndex();
    if (parent.internalId() != SourceRowId || parent.row() >= m_sources.size())
        return {};
    if (row >= m_sources[parent.row()].tables.size())
        return {};
    return createIndex(row, column, quintptr(parent.row() + 1));
}

QModelIndex AddressOutlineModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == SourceRowId)
        return {};
    return createIndex(int(child.internalId() - 1), 0, SourceRowId);
}

int AddressOutlineModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_sources.size());
    if (parent.internalId() != SourceRowId || parent.row() >= m_sources.size())
        return 0;
    return int(m_sources[parent.row()].tables.size());
}

int AddressOutlineModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant AddressOutlineModel::data(const QModelIndex &index, int role) const
{
    if (const TableRefPtr table = tableAt(index)) {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return table->displayName();
        if (role == Qt::DecorationRole)
            return ProjectIcons::icon(table->displayIcon());
        return {};
    }
    if (const DatabaseRefPtr source = sourceAt(index)) {
        if (role == Qt::DisplayRole)
            return source->displayName();
        if (role == Qt::DecorationRole)
            return ProjectIcons::icon(source->displayIcon());
    }
    return {};
}

bool AddressOutlineModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const TableRefPtr table = tableAt(index);
    if (role != Qt::EditRole || !table || !table->can(TableRef::Capability::Rename))
        return false;
    if (!table->setDisplayName(value.toString()))
        return false;
    emit dataChanged(index, index);
    emit tableRenamed(table);
    return true;
}

Qt::ItemFlags AddressOutlineModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (const TableRefPtr table = tableAt(index)) {
        flags |= Qt::ItemIsDragEnabled;
        // Asked of the source: a stored table's own answer loads its file,
        // and the outline asks for every table each time it paints.
        const std::shared_ptr<DatabaseRef> source = table->database();
        if (source && source->canCreateTables())
            flags |= Qt::ItemIsEditable;
    }
    return flags;
}
