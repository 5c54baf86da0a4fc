#pragma once

// The columns and rows of one stored table, loaded from its file. The store
// keeps one loaded at a time (plus any whose changes could not be written
// yet); every change is written to the file at once unless a batch is open.
//
// A table whose file cannot be read is loaded empty and read-only, and its
// file is never written, so nothing a later version or a repair could
// still read is overwritten. A write that fails leaves the change in
// memory, marks the table unsaved and tells the store, which says so.

#include "TableStoreFile.h"

#include <QString>

#include <memory>
#include <span>

class ColumnRef;
class PlainArrayDatabase;

class PlainArrayTableCache : public std::enable_shared_from_this<PlainArrayTableCache> {
public:
    static inline const QString UnnamedTable = QStringLiteral("noname");

    // A missing file reads as the table "noname" without columns or rows.
    [[nodiscard]] static std::shared_ptr<PlainArrayTableCache> load(const QString &filePath,
                                                                    const std::shared_ptr<PlainArrayDatabase> &store);
    Q_DISABLE_COPY_MOVE(PlainArrayTableCache)

    [[nodiscard]] const QString &filePath() const { return m_filePath; }
    [[nodiscard]] const QString &tableDisplayName() const { return m_table.displayName; }
    [[nodiscard]] const QList<std::shared_ptr<PlainArrayColumn>> &columns() const { return m_table.columns; }
    [[nodiscard]] const QList<std::shared_ptr<PlainArrayRow>> &contents() const { return m_table.contents; }
    [[nodiscard]] const StringSet &uidSet() const { return m_table.uidSet; }

    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    [[nodiscard]] const QString &readProblem() const { return m_readProblem; }
    // Changed in memory and not yet written (inside a batch, or after a failed write).
    [[nodiscard]] bool isDirty() const { return m_dirty; }
    [[nodiscard]] bool isBatching() const { return m_batchDepth > 0; }

    // Nested batches end with the outermost; the file is written then, once.
    void beginChanges();
    void endChanges();

    // Each change below writes the file unless a batch is open; each is
    // refused (null or false) on a read-only table.
    bool setNameOfColumn(const ColumnRef &column, const QString &name);
    bool removeColumn(const ColumnRef &column);
    std::shared_ptr<PlainArrayColumn> newColumn(const QString &name);
    // A column this table issued and no longer shows, back under its uid.
    std::shared_ptr<PlainArrayColumn> restoreColumn(const QString &name, const QString &uid, int index);
    [[nodiscard]] std::shared_ptr<PlainArrayRow> rowWithUID(const QString &uid) const;
    // Sorts also a read-only table, in memory only.
    void sortByColumn(const ColumnRef &column, bool ascending);
    bool removeRowAtIndex(int index);
    // The row's identifier is taken as given; inserted when 0 <= index < rows, else appended.
    std::shared_ptr<PlainArrayRow> newRowWithData(const QVariantMap &rawData, int index);
    std::shared_ptr<PlainArrayRow> newRow();
    // A row for each list of texts, text i under column uid i; one change.
    qsizetype appendRows(const QStringList &columnUids, std::span<const QStringList> rows);
    void reserveRows(qsizetype count);
    bool setTableDisplayName(const QString &name);

    // A row or the table changed: written at once outside a batch.
    void contentsChanged();
    // Writes the file now; false (and reported to the store) when it could not be.
    bool save();
    // The store removed the table: nothing of it may be written again.
    void detach();

private:
    PlainArrayTableCache(const QString &filePath, const std::shared_ptr<PlainArrayDatabase> &store);
    void adopt(const std::shared_ptr<PlainArrayRow> &row);

    QString m_filePath;
    TableStoreFile::Table m_table;
    std::weak_ptr<PlainArrayDatabase> m_store;
    int m_batchDepth = 0;
    bool m_readOnly = false;
    bool m_dirty = false;
    QString m_readProblem;
};
