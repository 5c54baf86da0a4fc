#pragma once

// The list of the field-names sheet: one row per column slot of the table
// (removed fields included, with an empty name), in the order the recipient
// view shows its field columns, so that row k names the field whose column
// stands at position k + 3. Column 0 ("num") is the row number counted
// from 1; column 1 the name, renamed as soon as a cell is committed. Empty
// names and names another field has are refused.

#include <QAbstractTableModel>

#include <functional>

class RecipientCommands;

class FieldNamesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static inline const QString NumberColumn = QStringLiteral("num");

    // `columnAt` gives the identifier of the view's column at a position
    // (a null string where there is none).
    FieldNamesModel(RecipientCommands *commands, std::function<QString(int position)> columnAt,
                    QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The identifier of the field a row names.
    [[nodiscard]] QString columnIDForRow(int row) const;
    void reload();

private:
    RecipientCommands *m_commands;
    std::function<QString(int)> m_columnAt;
    int m_rows = 0;
};
