#pragma once

// The list of the template selector sheet, without widgets: the registry's
// template names, taken once, each with its preview picture read at the
// size it is shown, when it is first shown.

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QStringList>

class TemplateSelectorModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TemplateSelectorModel(const QSize &previewSize, QObject *parent = nullptr);

    [[nodiscard]] const QStringList &templateNames() const { return m_names; }
    // The name of the row, null for no row.
    [[nodiscard]] QString templateNameAt(int row) const { return m_names.value(row); }

    // A picture file read into at most the size, its proportions kept;
    // null when it cannot be read. Never reads more than a bounded file.
    [[nodiscard]] static QImage previewAtSize(const QString &path, const QSize &size);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QStringList m_names;
    QSize m_previewSize;
    mutable QHash<QString, QImage> m_previews;
};
