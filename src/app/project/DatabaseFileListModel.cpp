#include "DatabaseFileListModel.h"

#include "DatabaseManager.h"
#include "NotificationNames.h"
#include "Values.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

DatabaseFileListModel::DatabaseFileListModel(DatabaseManager &registry, QObject *parent)
    : QAbstractTableModel(parent), m_registry(registry)
{
    m_updates = NotificationCenter::defaultCenter().addObserver(NotificationNames::DatabaseManagerUpdate, nullptr,
                                                                 [this](const Notification &) { reload(); });
    reload();
}

void DatabaseFileListModel::reload()
{
    beginResetModel();
    m_entries.clear();
    // One reading of the list: each of the registry's lookups reads it again.
    const QVariantList list = m_registry.databaseEntryArray().value_or(QVariantList());
    for (const QVariant &item : list) {
        const QVariantMap entry = item.toMap();
        const QVariant path = entry.value(DatabaseManager::FilePathKey);
        if (!isStringValue(path) || path.toString().isEmpty())
            continue;
        const QVariant name = entry.value(DatabaseManager::FileNameKey);
        m_entries.append({path.toString(), isStringValue(name) ? name.toString() : QString(),
                          boolValue(entry.value(DatabaseManager::ForTestingKey))});
    }
    endResetModel();
}

QString DatabaseFileListModel::pathAt(int row) const
{
    return row >= 0 && row < m_entries.size() ? m_entries[row].path : QString();
}

int DatabaseFileListModel::rowOfPath(const QString &path) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].path == path)
            return i;
    }
    return -1;
}

bool DatabaseFileListModel::isForTesting(const QString &path) const
{
    const int row = rowOfPath(path);
    return row >= 0 && m_entries[row].forTesting;
}

int DatabaseFileListModel::registryIndexOf(const QString &path) const
{
    const QVariantList list = m_registry.databaseEntryArray().value_or(QVariantList());
    for (int i = 0; i < list.size(); ++i) {
        const QVariant stored = list[i].toMap().value(DatabaseManager::FilePathKey);
        if (isStringValue(stored) && stored.toString() == path)
            return i;
    }
    return -1;
}

QString DatabaseFileListModel::canonicalPath(const QString &path)
{
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical;
}

bool DatabaseFileListModel::isListed(const QString &canonical) const
{
    // Files listed before paths were made canonical may be spelled otherwise.
    const QVariantList list = m_registry.databaseEntryArray().value_or(QVariantList());
    return std::any_of(list.cbegin(), list.cend(), [&](const QVariant &entry) {
        const QVariant stored = entry.toMap().value(DatabaseManager::FilePathKey);
        return isStringValue(stored) && canonicalPath(stored.toString()) == canonical;
    });
}

DatabaseFileListModel::AddResult DatabaseFileListModel::addFile(const QString &path)
{
    if (QFileInfo(path).suffix() != ProjectSuffix)
        return AddResult::NotAProjectFile;
    const QString canonical = canonicalPath(path);
    if (isListed(canonical))
        return AddResult::AlreadyListed;
    m_registry.addDatabaseFile(canonical);
    reload();
    return AddResult::Added;
}

int DatabaseFileListModel::dropFiles(const QStringList &paths)
{
    int added = 0;
    for (const QString &path : paths) {
        if (QFileInfo(path).suffix() != ProjectSuffix)
            continue;
        const QString canonical = canonicalPath(path);
        if (isListed(canonical))
            continue;
        m_registry.addDatabaseFile(canonical);
        ++added;
    }
    if (added > 0)
        reload();
    return added;
}

int DatabaseFileListModel::removeFiles(const QStringList &paths)
{
    int removed = 0;
    for (const QString &path : paths)
        removed += m_registry.removeDatabaseFile(registryIndexOf(path)) ? 1 : 0;
    reload();
    return removed;
}

bool DatabaseFileListModel::toggleTesting(const QString &path)
{
    const bool toggled = m_registry.toggleTestingModeForDatabase(registryIndexOf(path));
    reload();
    return toggled;
}

bool DatabaseFileListModel::openEditor(const QString &path)
{
    return m_registry.openEditorForDatabase(registryIndexOf(path));
}

bool DatabaseFileListModel::openNewDocument(const QString &path)
{
    return m_registry.openNewDocForDatabase(registryIndexOf(path));
}

int DatabaseFileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int DatabaseFileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DatabaseFileListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_entries.size())
        return {};
    const Entry &entry = m_entries[index.row()];
    if (index.column() == PathColumn)
        return entry.path;
    return entry.forTesting ? QStringLiteral("[Test] %1").arg(entry.name) : entry.name;
}

QVariant DatabaseFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == NameColumn ? tr("Name") : tr("File");
}

Qt::ItemFlags DatabaseFileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QStringList DatabaseFileListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

bool DatabaseFileListModel::canDropMimeData(const QMimeData *data, Qt::DropAction, int, int,
                                            const QModelIndex &) const
{
    return data && data->hasUrls();
}

bool DatabaseFileListModel::dropMimeData(const QMimeData *data, Qt::DropAction, int, int, const QModelIndex &)
{
    if (!data || !data->hasUrls())
        return false;
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    if (dropFiles(paths) > 0)
        return true;
    emit dropRefused();
    return false;
}
