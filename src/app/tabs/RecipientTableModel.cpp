#include "RecipientTableModel.h"

#include "RecipientPasteboard.h"

#include "DatabaseManager.h"
#include "Localizer.h"

#include <QFont>
#include <QHash>
#include <QMimeData>
#include <QUrl>

RecipientTableModel::RecipientTableModel(int loadedFieldColumns, QObject *parent) : QAbstractTableModel(parent)
{
    m_ids = {RowIndexColumn, Database::ActiveKey, Database::LastSentKey};
    m_headers = {QStringLiteral("#"), Localizer::localizedString("Localized-Database", "Active"),
                 Localizer::localizedString("Localized-Database", "Last Sent")};
    for (int i = 0; i < loadedFieldColumns; ++i) {
        m_ids << Database::columnIdentifier(i);
        m_headers << QString();
    }
    for (int column = 0; column < m_ids.size(); ++column)
        m_columnOf.insert(m_ids.at(column), column);
}

void RecipientTableModel::setDatabase(Database *database)
{
    beginResetModel();
    m_database = database;
    m_rows = database ? database->entryCount() : 0;
    endResetModel();
}

int RecipientTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecipientTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

QString RecipientTableModel::lastSentText(const QDateTime &date)
{
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("-");
}

QVariant RecipientTableModel::data(const QModelIndex &index, int role) const
{
    if (!m_database || !index.isValid() || index.row() >= m_database->entryCount())
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    const int row = index.row();
    const QString &id = m_ids.at(index.column());
    if (id == Database::ActiveKey) {
        if (role == Qt::CheckStateRole)
            return m_database->isEntryActive(row) ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (role == Qt::TextAlignmentRole && id == RowIndexColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    if (id == RowIndexColumn)
        return QString::number(row + 1);
    if (id == Database::LastSentKey)
        return lastSentText(m_database->lastSentDate(row));
    const QString value = m_database->entryValue(row, id);
    return value.isNull() ? QStringLiteral("") : value;
}

bool RecipientTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!m_database || !m_editor || !index.isValid() || index.row() >= m_database->entryCount() || isLocked())
        return false;
    const QString &id = m_ids.at(index.column());
    QVariant given;
    if (id == Database::ActiveKey) {
        if (role != Qt::CheckStateRole)
            return false;
        given = value.toInt() == Qt::Checked;
    } else {
        if (role != Qt::EditRole)
            return false;
        given = value.toString();
    }
    if (!m_editor(index.row(), id, given))
        return false;
    emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(columnCount() - 1));
    return true;
}

QVariant RecipientTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_ids.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_headers.at(section);
    if (role == Qt::FontRole && m_selectedColumns.contains(section)) {
        QFont font;
        font.setBold(true);
        return font;
    }
    return {};
}

Qt::ItemFlags RecipientTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return isLocked() ? Qt::NoItemFlags : Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isLocked())
        return flags;
    flags |= Qt::ItemIsDropEnabled;
    const QString &id = m_ids.at(index.column());
    // "rowIndex" and "lastSent" are no values of the user's: a typed date
    // would erase the real one.
    if (id == Database::ActiveKey)
        flags |= Qt::ItemIsUserCheckable;
    else if (id != RowIndexColumn && id != Database::LastSentKey)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QStringList RecipientTableModel::mimeTypes() const
{
    QStringList types = RecipientPasteboard::VCardTypes;
    types << RecipientPasteboard::UriListType << DatabaseManager::DraggedTablesType;
    return types;
}

Qt::DropActions RecipientTableModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

bool RecipientTableModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                          const QModelIndex &) const
{
    if (!data || !m_dropper || isLocked() || (action != Qt::CopyAction && action != Qt::MoveAction))
        return false;
    for (const QString &type : mimeTypes()) {
        if (data->hasFormat(type))
            return true;
    }
    return false;
}

bool RecipientTableModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                       const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    // Dropped between rows: that row; onto a row: that row; below the last
    // row: at the end.
    const int at = row >= 0 ? row : (parent.isValid() ? parent.row() : -1);
    return m_dropper(data, at);
}

void RecipientTableModel::appendColumn(const QString &id)
{
    if (m_columnOf.contains(id))
        return;
    const int column = int(m_ids.size());
    beginInsertColumns({}, column, column);
    m_ids << id;
    m_headers << QString();
    m_columnOf.insert(id, column);
    endInsertColumns();
}

bool RecipientTableModel::setIdentifiers(const QList<int> &columns, const QStringList &ids)
{
    if (columns.size() != ids.size())
        return false;
    QHash<QString, bool> taken;
    taken.reserve(columns.size());
    for (int column : columns) {
        if (column < 0 || column >= m_ids.size() || taken.contains(m_ids.at(column)))
            return false;
        taken.insert(m_ids.at(column), false);
    }
    for (const QString &id : ids) {
        const auto it = taken.find(id);
        if (it == taken.end() || it.value())
            return false;
        it.value() = true;
    }
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const int column = columns.at(i);
        if (m_ids.at(column) == ids.at(i))
            continue;
        m_ids[column] = ids.at(i);
        m_headers[column] = QString();
        m_columnOf.insert(ids.at(i), column);
    }
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
    return true;
}

void RecipientTableModel::setSelectedColumns(const QSet<int> &columns)
{
    if (columns == m_selectedColumns)
        return;
    m_selectedColumns = columns;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void RecipientTableModel::reload()
{
    // Rows inserted or removed in place, never a reset: a reset would
    // forget the header view's widths and column order.
    const int rows = m_database ? m_database->entryCount() : 0;
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void RecipientTableModel::entriesReplaced(const Database::EntryList &before, bool orderKept)
{
    const Database::EntryList &after = m_database ? m_database->entryArray() : Database::EntryList();
    const int newRows = int(after.size());
    // Appended rows move nothing.
    bool appended = newRows >= m_rows && before.size() == m_rows;
    for (int row = 0; appended && row < m_rows; ++row)
        appended = before.at(row) == after.at(row);
    if (orderKept || appended) {
        reload();
        return;
    }
    if (newRows > m_rows) {
        beginInsertRows({}, m_rows, newRows - 1);
        m_rows = newRows;
        endInsertRows();
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    QHash<const Database::Entry *, int> newRowOf;
    newRowOf.reserve(from.size());
    for (const QModelIndex &index : from) {
        if (index.row() < before.size())
            newRowOf.insert(before.at(index.row()).get(), -1);
    }
    // The rows kept in the view are few as a rule: stop once all are found.
    qsizetype missing = newRowOf.size();
    for (int row = 0; row < newRows && missing > 0; ++row) {
        const auto it = newRowOf.find(after.at(row).get());
        if (it != newRowOf.end() && it.value() < 0) {
            it.value() = row;
            --missing;
        }
    }
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from) {
        const int row = index.row() < before.size() ? newRowOf.value(before.at(index.row()).get(), -1) : -1;
        to.append(row >= 0 ? this->index(row, index.column()) : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    if (newRows < m_rows) {
        beginRemoveRows({}, newRows, m_rows - 1);
        m_rows = newRows;
        endRemoveRows();
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}
