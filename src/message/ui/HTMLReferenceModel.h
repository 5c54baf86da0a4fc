#pragma once

// The import sheet's reference table over an HTMLImport: columns "old ref",
// "new ref" and "status".

#include "HTMLImport.h"

#include <QAbstractTableModel>

class HTMLReferenceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Column identifiers, as the sheet's description names them.
    static inline const QStringList ColumnIdentifiers = {QStringLiteral("old ref"), QStringLiteral("new ref"),
                                                         QStringLiteral("status")};

    explicit HTMLReferenceModel(HTMLImport &import, QObject *parent = nullptr);

    // The import's references changed.
    void reload();
    [[nodiscard]] static QString statusText(qint32 status);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    HTMLImport &m_import;
};
