#include "HTMLReferenceModel.h"

#include "Localizer.h"

HTMLReferenceModel::HTMLReferenceModel(HTMLImport &import, QObject *parent)
    : QAbstractTableModel(parent), m_import(import)
{
}

void HTMLReferenceModel::reload()
{
    beginResetModel();
    endResetModel();
}

QString HTMLReferenceModel::statusText(qint32 status)
{
    switch (status) {
    case HTMLImport::NotFound:
        return Localizer::localizedString("Localized-HTMLImport", "Not Found");
    case HTMLImport::LocalFile:
        return QStringLiteral("OK");
    default:
        return QStringLiteral("URL");
    }
}

int HTMLReferenceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_import.references().size());
}

int HTMLReferenceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnIdentifiers.size());
}

QVariant HTMLReferenceModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_import.references().size())
        return {};
    const HTMLImport::Reference &reference = m_import.references()[index.row()];
    switch (index.column()) {
    case 0:
        return reference.oldRef;
    case 1:
        return reference.newRef;
    default:
        return statusText(reference.status);
    }
}

QVariant HTMLReferenceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const titles[] = {"Reference", "Becomes", "Status"};
    return section >= 0 && section < 3 ? tr(titles[section]) : QVariant();
}
