#include "PlainArrayDatabase.h"

#include "AppException.h"
#include "AppPaths.h"
#include "BetterFileManager.h"
#include "FileIO.h"
#include "Localizer.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "PlainArrayTable.h"
#include "PlainArrayTableCache.h"
#include "UidFactory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace {

bool isPresent(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

} // namespace

PlainArrayDatabase::PlainArrayDatabase(const QString &folderPath)
    : m_rootFolderPath(folderPath), m_rootFilePath(folderPath + QLatin1Char('/') + TableStoreFile::IndexFileName)
{
}

PlainArrayDatabase::~PlainArrayDatabase() = default;

std::shared_ptr<PlainArrayDatabase> PlainArrayDatabase::initWithName(const QString &name)
{
    if (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).isEmpty())
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("No Application Support Directory found."));
    return openFolder(AppPaths::applicationSupportPath() + QStringLiteral("/Database/") + name);
}

std::shared_ptr<PlainArrayDatabase> PlainArrayDatabase::openFolder(const QString &folderPath)
{
    const QString folder = QDir::cleanPath(QDir(folderPath).absolutePath());
    if (!BetterFileManager::createDirectoriesForPath(folder))
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("Can not create root database directory."));
    std::shared_ptr<PlainArrayDatabase> store(new PlainArrayDatabase(folder));
    store->open();
    return store;
}

void PlainArrayDatabase::open()
{
    m_lock = std::make_unique<QLockFile>(m_rootFolderPath + QLatin1Char('/') + LockFileName);
    // The lock is held for the life of the program, so it never ages into
    // a stale one; only a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_readOnly = true;
        addProblem(m_lock->error() == QLockFile::LockFailedError
                       ? Localizer::localizedString("Project", "Another copy of Corvantiline is using the stored tables. They are read-only in this copy.")
                       : Localizer::localizedString("Project", "The stored tables cannot be locked for this copy of Corvantiline. They are read-only."));
        m_lock.reset();
    }
    if (!m_readOnly)
        removeInterruptedWrites();
    readIndex();
}

void PlainArrayDatabase::removeInterruptedWrites()
{
    // A write links its finished temporary file as "<name>.XXXXXX" and then
    // renames it over the file; a program killed in between leaves that name
    // behind. Only we write here (we hold the lock), so none is in use.
    const QStringList names = QDir(m_rootFolderPath).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        const qsizetype dot = name.size() - 7;
        if (dot < 0 || name.at(dot) != u'.')
            continue;
        const QStringView base = QStringView(name).left(dot);
        const QString suffix = name.mid(dot + 1);
        const bool randomSuffix = std::all_of(suffix.cbegin(), suffix.cend(), [](QChar c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
        });
        if (randomSuffix && (base == TableStoreFile::IndexFileName || isWellFormedUid(base, UidPrefix::Table)))
            QFile::remove(m_rootFolderPath + QLatin1Char('/') + name);
    }
}

void PlainArrayDatabase::addProblem(const QString &problem)
{
    qWarning("Table store %s: %s", qPrintable(m_rootFolderPath), qPrintable(problem));
    m_problems.append(problem);
}

void PlainArrayDatabase::readIndex()
{
    const QFileInfo info(m_rootFilePath);
    if (!isPresent(info)) {
        // A store never used, or one whose index was lost: tables whose
        // files are still here come back.
        rebuildIndex();
        if (!m_tables.isEmpty())
            addProblem(Localizer::localizedString("Project", "The list of stored tables was missing and has been rebuilt from the table files."));
        return;
    }
    QString problem;
    std::optional<TableStoreFile::Index> index;
    if (info.isSymLink() || !info.isFile())
        problem = QStringLiteral("it is not a plain file");
    else if (const auto data = FileIO::readFileLimited(m_rootFilePath, TableStoreFile::MaxFileBytes, &problem))
        index = TableStoreFile::readIndex(*data, &problem);
    if (!index) {
        qWarning("Table store index %s unreadable: %s", qPrintable(m_rootFilePath), qPrintable(problem));
        if (!m_readOnly) {
            // Kept for whoever wants to look into it; a rebuilt index is
            // written in its place.
            const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
            QString aside = m_rootFilePath + QStringLiteral(".unreadable-") + stamp;
            for (int n = 2; isPresent(QFileInfo(aside)); ++n)
                aside = m_rootFilePath + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(n);
            if (QFile::rename(m_rootFilePath, aside)) {
                addProblem(Localizer::localizedString("Project", "The list of stored tables could not be read. It was kept as \"%1\" and has been rebuilt from the table files.")
                               .arg(QFileInfo(aside).fileName()));
            } else {
                m_readOnly = true;
                addProblem(Localizer::localizedString("Project", "The list of stored tables could not be read or moved aside. The stored tables are read-only."));
            }
        } else {
            addProblem(Localizer::localizedString("Project", "The list of stored tables could not be read. It has been rebuilt from the table files for this copy only."));
        }
        rebuildIndex();
        return;
    }

    QSet<QString> listed;
    int leftOut = 0;
    for (const TableStoreFile::IndexEntry &entry : std::as_const(index->tables)) {
        if (!isWellFormedUid(entry.tableID, UidPrefix::Table) || listed.contains(entry.tableID)) {
            ++leftOut;
            continue;
        }
        listed.insert(entry.tableID);
        auto table = std::make_shared<PlainArrayTable>(entry.tableID, QString());
        table->setDatabase(shared_from_this());
        m_tables.append(std::move(table));
    }
    m_uidSet = std::move(index->uidSet);
    m_uidSet.unite(listed);
    if (leftOut > 0)
        addProblem(Localizer::localizedString("Project", "%1 entries of the list of stored tables named no table file of the store and were left out.")
                       .arg(leftOut));
}

void PlainArrayDatabase::rebuildIndex()
{
    // By name: creation order is not recorded anywhere but in the lost index.
    const QStringList names = QDir(m_rootFolderPath).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    for (const QString &name : names) {
        if (m_tables.size() >= TableStoreFile::MaxTables)
            break;
        if (!isWellFormedUid(name, UidPrefix::Table))
            continue;
        auto table = std::make_shared<PlainArrayTable>(name, QString());
        table->setDatabase(shared_from_this());
        m_tables.append(std::move(table));
        m_uidSet.insert(name);
    }
    if (!m_tables.isEmpty())
        contentsChanged();
}

QString PlainArrayDatabase::displayName() const
{
    return Localizer::localizedString("Project", "Corvantiline Database");
}

TableRefPtr PlainArrayDatabase::tableWithUid(const QString &uid) const
{
    return tableWithID(uid);
}

std::shared_ptr<PlainArrayTable> PlainArrayDatabase::tableWithID(const QString &uid) const
{
    for (const auto &table : m_tables) {
        if (table->uid() == uid)
            return table;
    }
    return nullptr;
}

QList<TableRefPtr> PlainArrayDatabase::tables() const
{
    return {m_tables.cbegin(), m_tables.cend()};
}

TableRefPtr PlainArrayDatabase::newTable()
{
    if (m_readOnly || m_tables.size() >= TableStoreFile::MaxTables)
        return nullptr;
    const QString tableID = createNewUidWithPrefix(m_uidSet, UidPrefix::Table);
    auto table = std::make_shared<PlainArrayTable>(tableID, QString());
    table->setDatabase(shared_from_this());
    m_tables.append(table);
    contentsChanged();
    return table;
}

void PlainArrayDatabase::removeTable(PlainArrayTable &table)
{
    const qsizetype index = m_tables.indexOf(tableWithID(table.uid()));
    // The list may hold the last reference; the table lives until we are done.
    const std::shared_ptr<PlainArrayTable> keep = index >= 0 && m_tables[index].get() == &table ? m_tables.takeAt(index) : nullptr;
    table.setDatabase(nullptr);
    if (keep)
        contentsChanged();
}

bool PlainArrayDatabase::contentsChanged()
{
    if (m_readOnly)
        return false;
    QString error;
    const std::optional<QByteArray> data = TableStoreFile::indexData(m_tables, m_uidSet, &error);
    const bool written = data && writeFile(m_rootFilePath, TableStoreFile::FileContent(*data), &error);
    m_indexDirty = !written;
    if (!written)
        reportWriteFailure(m_rootFilePath, error);
    else if (!hasUnsavedChanges())
        m_lastWriteError.clear();
    return written;
}

bool PlainArrayDatabase::hasUnsavedChanges() const
{
    return m_indexDirty || !m_unsaved.isEmpty() || (m_current && m_current->isDirty());
}

QString PlainArrayDatabase::lastWriteError() const
{
    return hasUnsavedChanges() ? m_lastWriteError : QString();
}

bool PlainArrayDatabase::saveUnsavedChanges()
{
    const auto unsaved = m_unsaved.values();
    for (const auto &cache : unsaved) {
        if (!cache->isBatching())
            cache->save();
    }
    if (m_indexDirty)
        contentsChanged();
    return !hasUnsavedChanges();
}

std::shared_ptr<PlainArrayTableCache> PlainArrayDatabase::cacheForFile(const QString &path)
{
    if (m_current && m_current->filePath() == path)
        return m_current;
    if (m_batching)
        return nullptr;
    if (const auto kept = m_unsaved.value(path))
        return m_current = kept;
    m_current = PlainArrayTableCache::load(path, shared_from_this());
    return m_current;
}

QString PlainArrayDatabase::displayNameForFile(const QString &path)
{
    if (const auto found = m_displayNames.constFind(path); found != m_displayNames.constEnd())
        return *found;
    const auto cache = cacheForFile(path);
    if (!cache)
        return QString();
    m_displayNames.insert(path, cache->tableDisplayName());
    return cache->tableDisplayName();
}

void PlainArrayDatabase::recordDisplayName(const QString &path, const QString &name)
{
    m_displayNames.insert(path, name);
}

void PlainArrayDatabase::setBatchingCache(const std::shared_ptr<PlainArrayTableCache> &cache)
{
    m_batching = cache;
}

bool PlainArrayDatabase::writeFile(const QString &path, const TableStoreFile::FileContent &content, QString *error)
{
    // Every path is made here from the folder and a checked name; refuse
    // anything else outright rather than trust that it stays so.
    if (m_readOnly || QFileInfo(path).absolutePath() != m_rootFolderPath) {
        if (error)
            *error = QStringLiteral("the store does not write %1").arg(path);
        return false;
    }
    return m_writer ? m_writer(path, content, error) : TableStoreFile::writeAtomically(path, content, error);
}

void PlainArrayDatabase::tableWriteFinished(const std::shared_ptr<PlainArrayTableCache> &cache, bool written,
                                            const QString &error)
{
    if (!written) {
        m_unsaved.insert(cache->filePath(), cache);
        reportWriteFailure(cache->filePath(), error);
        return;
    }
    m_unsaved.remove(cache->filePath());
    if (!hasUnsavedChanges())
        m_lastWriteError.clear();
}

void PlainArrayDatabase::reportWriteFailure(const QString &path, const QString &error)
{
    const std::shared_ptr<PlainArrayTableCache> table = m_unsaved.value(path);
    m_lastWriteError = table
        ? Localizer::localizedString("Project", "The stored table \"%1\" could not be saved: %2. The change is kept in memory until it can be written.")
              .arg(table->tableDisplayName(), error)
        : Localizer::localizedString("Project", "The list of stored tables could not be saved: %1. The change is kept in memory until it can be written.")
              .arg(error);
    qWarning("%s", qPrintable(m_lastWriteError));
    NotificationCenter::defaultCenter().postNotification(
        NotificationNames::TableStoreWriteFailed, this,
        {{NotificationNames::TableStoreFilePathKey, path}, {NotificationNames::TableStoreReasonKey, error}});
}

void PlainArrayDatabase::removeTableAndFile(PlainArrayTable &table)
{
    if (m_readOnly)
        return;
    const std::shared_ptr<PlainArrayTable> keep = tableWithID(table.uid());
    const QString path = pathForTable(table.uid());
    // A table whose file was never written is removed all the same.
    if (isPresent(QFileInfo(path)) && !QFile::remove(path))
        throw AppException(ExceptionNames::InternalInconsistency,
                           QStringLiteral("PlainArrayTable::removeFromDatabase - Table file could not be removed"));
    // Nothing held of the table may write its file back.
    for (const auto &cache : {m_current, m_batching, m_unsaved.value(path)}) {
        if (cache && cache->filePath() == path)
            cache->detach();
    }
    if (m_current && m_current->filePath() == path)
        m_current.reset();
    if (m_batching && m_batching->filePath() == path)
        m_batching.reset();
    m_unsaved.remove(path);
    m_displayNames.remove(path);
    removeTable(table);
}

QString PlainArrayDatabase::pathForTable(const QString &tableID) const
{
    return m_rootFolderPath + QLatin1Char('/') + tableID;
}
