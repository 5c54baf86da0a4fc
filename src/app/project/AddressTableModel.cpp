#include "AddressTableModel.h"

void AddressTableModel::setSourceTable(const TableRefPtr &table, const QList<ColumnRefPtr> &columns)
{
    beginResetModel();
    m_table = table;
    m_columns = table ? columns : QList<ColumnRefPtr>();
    m_rowCount = table ? table->numberOfRows() : 0;
    endResetModel();
}

void AddressTableModel::reload()
{
    const int rows = m_table ? m_table->numberOfRows() : 0;
    if (rows == m_rowCount) {
        if (rows > 0 && !m_columns.isEmpty())
            emit dataChanged(index(0, 0), index(rows - 1, int(m_columns.size()) - 1));
        return;
    }
    beginResetModel();
    m_rowCount = rows;
    endResetModel();
}

int AddressTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int AddressTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant AddressTableModel::data(const QModelIndex &index, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !m_table || index.column() >= m_columns.size())
        return {};
    const RowRefPtr row = m_table->rowAtIndex(index.row());
    if (!row)
        return {};
    const QVariant value = row->dataForColumn(*m_columns[index.column()]);
    return value.isValid() ? value : QVariant(QString());
}

bool AddressTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !m_editor || !(flags(index) & Qt::ItemIsEditable))
        return false;
    if (!m_editor(index.row(), index.column(), value))
        return false;
    emit dataChanged(index, index);
    return true;
}

QVariant AddressTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[section]->displayName();
    if (role == Qt::UserRole)
        return m_columns[section]->uid();
    return {};
}

Qt::ItemFlags AddressTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !m_table)
        return {};
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const RowRefPtr row = m_table->rowAtIndex(index.row());
    if (row && !row->staticData())
        flags |= Qt::ItemIsEditable;
    return flags;
}
