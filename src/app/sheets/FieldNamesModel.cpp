#include "FieldNamesModel.h"

#include "RecipientCommands.h"
#include "RecipientTableModel.h"

#include "Localizer.h"

FieldNamesModel::FieldNamesModel(RecipientCommands *commands, std::function<QString(int)> columnAt, QObject *parent)
    : QAbstractTableModel(parent), m_commands(commands), m_columnAt(std::move(columnAt))
{
    m_rows = m_commands->database()->columnCount();
}

int FieldNamesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int FieldNamesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QString FieldNamesModel::columnIDForRow(int row) const
{
    return m_columnAt(row + RecipientTableModel::FixedColumnCount);
}

QVariant FieldNamesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (index.column() == 0)
        return index.row() + 1;
    const QString id = columnIDForRow(index.row());
    const QString name = id.isNull() ? QString() : m_commands->database()->fieldNameForColumnID(id);
    return name.isNull() ? QStringLiteral("") : name;
}

bool FieldNamesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != 1 || role != Qt::EditRole)
        return false;
    const QString id = columnIDForRow(index.row());
    if (id.isNull())
        return false;
    if (m_commands->renameField(id, value.toString()) != RecipientCommands::Rename::Renamed)
        return false;
    emit dataChanged(index, index);
    return true;
}

QVariant FieldNamesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == 0 ? QVariant(QStringLiteral("#"))
                        : QVariant(Localizer::localizedString("Localized-Database", "Field Name"));
}

Qt::ItemFlags FieldNamesModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1 && !m_commands->isLocked() && !columnIDForRow(index.row()).isNull())
        flags |= Qt::ItemIsEditable;
    return flags;
}

void FieldNamesModel::reload()
{
    beginResetModel();
    m_rows = m_commands->database()->columnCount();
    endResetModel();
}
