#pragma once

// The templates pane of the preferences window: the registered templates
// with their previews, installing a user template from a folder and
// removing user templates. Rows are read from the template registry each
// time; the application's own templates are never removed.
//
// Main thread only.

#include <QAbstractTableModel>
#include <QHash>
#include <QImage>

class QWidget;

class TemplateSettings : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { PreviewColumn, NameColumn, ColumnCount };
    static constexpr int PreviewHeight = 72;

    explicit TemplateSettings(QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    [[nodiscard]] QString nameAt(int row) const;
    // Whether the remove button acts: a selected row is a user template.
    [[nodiscard]] bool canRemove(const QList<int> &selectedRows) const;

    // Asks for a folder, checks it, installs it (an alert tells what went
    // wrong), then reloads the registry and the rows.
    void addTemplate(QWidget *window);
    // Installs the folder as addTemplate does once it is chosen.
    void installFolder(const QString &folder);
    // Uninstalls the first selected user template, the lowest row: one per press.
    void removeTemplate(const QList<int> &selectedRows);
    // Reloads the registry and the rows.
    void reload();

private:
    [[nodiscard]] bool isUserTemplate(int row) const;

    QStringList m_names;
    mutable QHash<QString, QImage> m_previews;
};
