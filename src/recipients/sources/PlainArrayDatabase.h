#pragma once

// The table store: a folder holding the index "root.db" and one file per
// table, named by the table's identifier. Tables are reached only through
// identifiers of the form "tbl-" + 9 digits + 32 letters or digits, and a
// table's path is always the folder plus its identifier, so no file from
// elsewhere (a crafted "filePath", a "../x" identifier) can make the store
// read, write or delete anything outside its folder.
//
// One copy of the program owns the folder at a time (a lock file); a
// second copy opens it read-only, so two copies cannot overwrite each
// other's index. An index that cannot be read is moved aside and rebuilt
// from the table files. What the store found on opening is listed in
// problems(); a write that fails keeps the change in memory, is retried
// by saveUnsavedChanges() and is announced with
// NotificationNames::TableStoreWriteFailed.
//
// Main thread only.

#include "DatabaseRef.h"
#include "TableStoreFile.h"

#include <QHash>
#include <QStringList>

#include <memory>

class PlainArrayTable;
class PlainArrayTableCache;
class QLockFile;

class PlainArrayDatabase : public DatabaseRef, public std::enable_shared_from_this<PlainArrayDatabase> {
public:
    static inline const QString MainStoreName = QStringLiteral("InternalMainDB");
    static inline const QString DisplayIcon = QStringLiteral("ov_icon_corvantiline_db");
    static inline const QString LockFileName = QStringLiteral("root.db.lock");

    // The store of that name below the application-support folder. Throws
    // AppException (internal inconsistency) "No Application Support
    // Directory found." or "Can not create root database directory.".
    [[nodiscard]] static std::shared_ptr<PlainArrayDatabase> initWithName(const QString &name);
    // The store in the folder, created with its parents when missing; throws as above.
    [[nodiscard]] static std::shared_ptr<PlainArrayDatabase> openFolder(const QString &folderPath);
    ~PlainArrayDatabase() override;
    Q_DISABLE_COPY_MOVE(PlainArrayDatabase)

    // DatabaseRef. The uid is the folder's path.
    [[nodiscard]] TableRefPtr tableWithUid(const QString &uid) const override;
    [[nodiscard]] QList<TableRefPtr> tables() const override;
    [[nodiscard]] QString uid() const override { return m_rootFolderPath; }
    [[nodiscard]] QString displayIcon() const override { return DisplayIcon; }
    [[nodiscard]] QString displayName() const override;
    [[nodiscard]] bool canCreateTables() const override { return !m_readOnly; }
    // Null in a read-only store.
    TableRefPtr newTable() override;

    [[nodiscard]] std::shared_ptr<PlainArrayTable> tableWithID(const QString &uid) const;
    [[nodiscard]] const QList<std::shared_ptr<PlainArrayTable>> &storedTables() const { return m_tables; }
    // Takes the table out of the list and rewrites the index; the
    // identifier stays issued. PlainArrayTable::removeFromDatabase() also
    // deletes the file and is what callers use.
    void removeTable(PlainArrayTable &table);
    // Rewrites the index; false when it could not be written (reported).
    bool contentsChanged();

    [[nodiscard]] const QString &rootFolderPath() const { return m_rootFolderPath; }
    [[nodiscard]] const QString &rootFilePath() const { return m_rootFilePath; }
    [[nodiscard]] const StringSet &uidSet() const { return m_uidSet; }

    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    // Texts for the user about what opening found: read-only because
    // another copy runs, an index rebuilt, entries left out.
    [[nodiscard]] const QStringList &problems() const { return m_problems; }
    [[nodiscard]] bool hasUnsavedChanges() const;
    // The reason of the last failed write while anything is unsaved, else empty.
    [[nodiscard]] QString lastWriteError() const;
    // Writes every unsaved table and the index again; true when all are written.
    bool saveUnsavedChanges();

    // Replaces how files are written (tests inject failures here).
    void setFileWriter(TableStoreFile::Writer writer) { m_writer = std::move(writer); }

private:
    friend class PlainArrayTable;
    friend class PlainArrayTableCache;

    explicit PlainArrayDatabase(const QString &folderPath);
    void open();
    void removeInterruptedWrites();
    void readIndex();
    void rebuildIndex();
    void addProblem(const QString &text);

    // The loaded table for the file: the one loaded now when it is that
    // file, else none while another table is batching, else loaded anew
    // (which unloads the previous one unless it holds unsaved changes).
    [[nodiscard]] std::shared_ptr<PlainArrayTableCache> cacheForFile(const QString &path);
    [[nodiscard]] QString displayNameForFile(const QString &path);
    void recordDisplayName(const QString &path, const QString &name);
    void setBatchingCache(const std::shared_ptr<PlainArrayTableCache> &cache);
    bool writeFile(const QString &path, const TableStoreFile::FileContent &content, QString *error);
    void tableWriteFinished(const std::shared_ptr<PlainArrayTableCache> &cache, bool written, const QString &error);
    void reportWriteFailure(const QString &path, const QString &error);
    void removeTableAndFile(PlainArrayTable &table);
    [[nodiscard]] QString pathForTable(const QString &tableID) const;

    QString m_rootFolderPath;
    QString m_rootFilePath;
    QList<std::shared_ptr<PlainArrayTable>> m_tables;
    StringSet m_uidSet;
    std::unique_ptr<QLockFile> m_lock;
    bool m_readOnly = false;
    bool m_indexDirty = false;
    QStringList m_problems;
    QString m_lastWriteError;
    TableStoreFile::Writer m_writer;

    std::shared_ptr<PlainArrayTableCache> m_current;
    std::shared_ptr<PlainArrayTableCache> m_batching;
    QHash<QString, std::shared_ptr<PlainArrayTableCache>> m_unsaved;
    QHash<QString, QString> m_displayNames;
};
