#pragma once

// A row of a stored table: values by column uid. Archived as
// "PlainArrayRow" with "data" and "uid".
//
// A row refers to the loaded table that holds it weakly: once that table
// has been unloaded (another table was read) or the row removed, the row
// still answers its values but refuses every change, so an edit can never
// reach freed memory or a table that no longer holds the row.

#include "Codable.h"
#include "RowRef.h"

#include <memory>

class PlainArrayTableCache;

class PlainArrayRow : public RowRef, public Codable {
public:
    explicit PlainArrayRow(const QString &uid) : m_uid(uid) {}
    // From rawData() of a row: "data" (a dictionary) and "uid".
    [[nodiscard]] static std::shared_ptr<PlainArrayRow> fromRawData(const QVariantMap &raw);
    // From stored fields, already checked.
    PlainArrayRow(const QString &uid, const QVariantMap &data);
    // Values by column uid, in the order of the uids, each uid once.
    using Cells = QList<std::pair<QString, QVariant>>;
    PlainArrayRow(const QString &uid, Cells cells) : m_cells(std::move(cells)), m_uid(uid) {}

    static inline const QString ClassName = QStringLiteral("PlainArrayRow");
    static inline const QString DataKey = QStringLiteral("data");
    static inline const QString UidKey = QStringLiteral("uid");

    void setMasterTable(const std::weak_ptr<PlainArrayTableCache> &master) { m_master = master; }
    [[nodiscard]] std::shared_ptr<PlainArrayTableCache> masterTable() const { return m_master.lock(); }

    [[nodiscard]] QString uid() const override { return m_uid; }
    // False only while the row belongs to a loaded table that may be written.
    [[nodiscard]] bool staticData() const override;
    // The empty string when the row has no value in the column.
    [[nodiscard]] QVariant dataForColumn(const ColumnRef &column) const override;
    bool setData(const QVariant &value, const ColumnRef &column) override;
    [[nodiscard]] QVariantMap rawData() const override;
    bool setRawData(const QVariantMap &raw) override;

    [[nodiscard]] QString archiveClassName() const override { return ClassName; }
    [[nodiscard]] bool archivedOnce() const override { return true; }
    void encodeWithCoder(KeyedArchiver &coder) const override;

private:
    [[nodiscard]] std::shared_ptr<PlainArrayTableCache> editableMaster() const;

    // Values by column uid in the order of the uids: one block a row, walked
    // in order when the table is written, where a map's nodes would lie all
    // over the memory of a large table.
    [[nodiscard]] static Cells cellsOf(const QVariantMap &data);
    // Where the column's value is, or would be inserted.
    [[nodiscard]] Cells::const_iterator findCell(const QString &columnUid) const;
    [[nodiscard]] bool isCellOf(Cells::const_iterator cell, const QString &columnUid) const;

    Cells m_cells;
    QString m_uid;
    std::weak_ptr<PlainArrayTableCache> m_master;
};
