#pragma once

// The project window's outline: the registry's table sources, each with its
// tables. Stored tables are renamed in place; tables are dragged onto a
// document's recipient table as the keyed archive of [{"database uid",
// "table uid"}] under DatabaseManager::DraggedTablesType.
//
// Main thread only.

#include "DatabaseRef.h"
#include "NotificationCenter.h"

#include <QAbstractItemModel>

class DatabaseManager;

class AddressOutlineModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit AddressOutlineModel(DatabaseManager &registry, QObject *parent = nullptr);

    // Reads the sources and their tables again.
    void reload();

    [[nodiscard]] DatabaseRefPtr sourceAt(const QModelIndex &index) const;
    // Null for a source and for an index outside the outline.
    [[nodiscard]] TableRefPtr tableAt(const QModelIndex &index) const;
    [[nodiscard]] QModelIndex indexOfTable(const QString &sourceUid, const QString &tableUid) const;

    // The drag of the tables among the items, in their order; null (the
    // drag is refused) when none of them is a table.
    [[nodiscard]] QMimeData *mimeData(const QModelIndexList &indexes) const override;
    [[nodiscard]] QStringList mimeTypes() const override;
    [[nodiscard]] Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    [[nodiscard]] QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    [[nodiscard]] QModelIndex parent(const QModelIndex &child) const override;
    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // A table was renamed through the outline.
    void tableRenamed(const TableRefPtr &table);

private:
    struct Source {
        DatabaseRefPtr source;
        QList<TableRefPtr> tables;
    };

    DatabaseManager &m_registry;
    QList<Source> m_sources;
    NotificationCenter::Observation m_contactsLoaded;
};
