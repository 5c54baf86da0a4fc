#pragma once

// A stored table as its source lists it: a handle of identifier and file
// path. Its columns and rows live in the table's PlainArrayTableCache,
// which the store loads on demand (one table at a time), so every
// operation first asks the store for it and does nothing, or answers null
// or 0, when the store has none to give (the table was removed, or another
// table is in the middle of a batch of changes). Archived in "root.db" as
// "PlainArrayTable" with "tableID" and "filePath".

#include "Codable.h"
#include "TableRef.h"

#include <memory>

class PlainArrayColumn;
class PlainArrayDatabase;
class PlainArrayRow;
class PlainArrayTableCache;

class PlainArrayTable : public TableRef, public Codable {
public:
    // A handle; no file is touched.
    PlainArrayTable(const QString &tableID, const QString &filePath) : m_tableID(tableID), m_filePath(filePath) {}

    static inline const QString ClassName = QStringLiteral("PlainArrayTable");
    static inline const QString DisplayIcon = QStringLiteral("ov_icon_table");

    // The store sets itself when it lists the table and clears itself when
    // the table is removed. The file path is always derived from the store's
    // folder and the identifier, never taken from a file.
    void setDatabase(const std::shared_ptr<PlainArrayDatabase> &database);
    [[nodiscard]] std::shared_ptr<PlainArrayDatabase> store() const { return m_database.lock(); }
    [[nodiscard]] const QString &filePath() const { return m_filePath; }

    // Why the table's file cannot be read, for a table shown read-only
    // because of it; empty otherwise.
    [[nodiscard]] QString readProblem() const;

    // TableRef.
    void sortByColumn(const ColumnRef &column, bool ascending) override;
    [[nodiscard]] RowRefPtr rowAtIndex(int index) const override;
    [[nodiscard]] int numberOfRows() const override;
    [[nodiscard]] ColumnRefPtr columnWithId(const QString &uid) const override;
    [[nodiscard]] QList<ColumnRefPtr> columns() const override;
    [[nodiscard]] std::shared_ptr<DatabaseRef> database() const override;
    [[nodiscard]] QString uid() const override { return m_tableID; }
    [[nodiscard]] QString displayIcon() const override { return DisplayIcon; }
    [[nodiscard]] QString displayName() const override;
    [[nodiscard]] Capabilities capabilities() const override;
    [[nodiscard]] RowRefPtr rowWithUID(const QString &uid) const override;
    RowRefPtr newRow() override;
    void reserveRows(qsizetype count) override;
    RowRefPtr newRowWithData(const QVariantMap &rawData, int index) override;
    qsizetype appendRows(const QList<ColumnRefPtr> &columns, std::span<const QStringList> rows) override;
    bool removeRowAtIndex(int index) override;
    ColumnRefPtr newColumn(const QString &name) override;
    bool removeColumn(const ColumnRef &column) override;
    ColumnRefPtr restoreColumn(const QString &name, const QString &uid, int index) override;
    bool setNameOfColumn(const ColumnRef &column, const QString &name) override;
    bool setDisplayName(const QString &name) override;
    // Deletes the file (a file that was never written counts as deleted)
    // and then takes the table out of the store's list. Throws AppException
    // (internal inconsistency) when the file stays.
    void removeFromDatabase() override;
    void beginChanges() override;
    void endChanges() override;

    [[nodiscard]] QString archiveClassName() const override { return ClassName; }
    void encodeWithCoder(KeyedArchiver &coder) const override;

private:
    [[nodiscard]] std::shared_ptr<PlainArrayTableCache> cache() const;
    // The cache when the table may be changed.
    [[nodiscard]] std::shared_ptr<PlainArrayTableCache> editableCache() const;

    QString m_tableID;
    QString m_filePath;
    std::weak_ptr<PlainArrayDatabase> m_database;
};
