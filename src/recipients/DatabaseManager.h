#pragma once

// The process-wide registry of table sources: the contacts and the table
// store "InternalMainDB". It offers the stored tables as test tables, finds
// dragged tables, and keeps the older list of project files (the user
// default "databaseManager fileList", re-read on every call, so every index
// into it is checked).
//
// A store that cannot be opened at start-up does not stop the program: the
// registry then works without it and startupProblems() says why.
//
// Main thread only.

#include "DatabaseRef.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class Database;
class PlainArrayDatabase;
class UserDefaults;

class DatabaseManager {
public:
    // Keys of the user defaults; stored in preference files, never renamed.
    static inline const QString FileListKey = QStringLiteral("databaseManager fileList");
    static inline const QString ColumnPositionKey = QStringLiteral("project_columnPosition");
    // Keys of an entry of the older list.
    static inline const QString FilePathKey = QStringLiteral("filePath");
    static inline const QString FileNameKey = QStringLiteral("fileName");
    static inline const QString ForTestingKey = QStringLiteral("forTesting");
    // Stored tables dragged onto a document: a keyed archive of an array of
    // {"database uid", "table uid"}.
    static inline const QString DraggedTablesType = QStringLiteral("application/x-corvantiline-dragged-project-tables");
    static inline const QString DraggedDatabaseUidKey = QStringLiteral("database uid");
    static inline const QString DraggedTableUidKey = QStringLiteral("table uid");

    // Made on first use with the standard user defaults, the store under
    // the application-support folder and the contacts.
    [[nodiscard]] static DatabaseManager &sharedInstance();

    // Sources in display order; a null store is left out. storeError is
    // what kept the store from opening, if anything.
    DatabaseManager(UserDefaults &defaults, std::shared_ptr<PlainArrayDatabase> store, DatabaseRefPtr contacts,
                    const QString &storeError = {});
    Q_DISABLE_COPY_MOVE(DatabaseManager)

    // The store "InternalMainDB"; nothing, with the reason, when it cannot be opened.
    [[nodiscard]] static std::shared_ptr<PlainArrayDatabase> openMainStore(QString *error);

    [[nodiscard]] DatabaseRefPtr databaseWithUid(const QString &uid) const;
    // Null when the store could not be opened.
    [[nodiscard]] const std::shared_ptr<PlainArrayDatabase> &mainUserDatabase() const { return m_store; }
    [[nodiscard]] const QList<DatabaseRefPtr> &databases() const { return m_databases; }
    // What the user should be told about the sources at start-up.
    [[nodiscard]] QStringList startupProblems() const;

    // Test tables: every stored table, {"fileName": its name}, in the store's order.
    [[nodiscard]] QVariantList testDatabaseList() const;
    // A new recipient table filled from stored table i; null for an index
    // outside the store's list.
    [[nodiscard]] std::unique_ptr<Database> loadTestDatabase(int index) const;

    // The tables a drag names, found through their sources; anything that
    // names no table of a source is passed over.
    [[nodiscard]] QList<TableRefPtr> tablesFromDraggedData(const QByteArray &archive) const;

    // The older list of project files.
    [[nodiscard]] std::optional<QVariantList> databaseEntryArray() const;
    [[nodiscard]] int databaseCount() const;
    // Empty for an index outside the list, and for an entry that is no dictionary.
    [[nodiscard]] QVariantMap databaseEntry(int index) const;
    [[nodiscard]] QString databaseFilePath(int index) const;
    [[nodiscard]] QString databaseName(int index) const;
    [[nodiscard]] bool databaseIsForTesting(int index) const;
    bool toggleTestingModeForDatabase(int index);
    // Replaces entry i, sorts and stores the list and posts
    // "DatabaseManager_Update"; false (and nothing changed) for an index
    // outside the list, which another copy of the program may have
    // shortened since the caller read it.
    bool setEntryData(int index, const QVariantMap &entry);
    void addDatabaseFile(const QString &path);
    bool removeDatabaseFile(int index);
    [[nodiscard]] bool hasDatabaseFile(const QString &path) const;

    // Opening project files belongs to the application; it hands over how.
    // newDocumentWithItsRecipients: a new untitled document that takes the
    // recipients of the file, else the file itself.
    using DocumentOpener = std::function<void(const QString &filePath, bool newDocumentWithItsRecipients)>;
    void setDocumentOpener(DocumentOpener opener) { m_documentOpener = std::move(opener); }
    bool openEditorForDatabase(int index);
    bool openNewDocForDatabase(int index);

private:
    void storeList(QVariantList list);

    UserDefaults &m_defaults;
    std::shared_ptr<PlainArrayDatabase> m_store;
    QList<DatabaseRefPtr> m_databases;
    QString m_storeError;
    DocumentOpener m_documentOpener;
};

// The older list's order: "fileName" compared case-insensitively.
[[nodiscard]] int sortComparator_name_path(const QVariantMap &a, const QVariantMap &b);
