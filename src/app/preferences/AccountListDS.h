#pragma once

#include <QAbstractListModel>
#include <QVariantList>

// The account list of the preferences window: one row per stored account,
// shown by its name ("<no name>" when it has none). Read-only. It keeps the
// list it was given, so painting never reads the preferences, and a damaged
// stored list is reported once, not at every repaint.
class AccountListDS : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Takes the stored list. Rows appended or changed in place keep the
    // view's selection; any other change resets the view.
    void setAccounts(const QVariantList &accounts);
    // The list after the row was removed.
    void removeAccount(int row);
    // Shows the row under a name not stored yet.
    void showName(int row, const QString &name);
    [[nodiscard]] const QVariantList &accounts() const { return m_accounts; }

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The text of a row's name cell.
    [[nodiscard]] static QString displayName(const QVariant &account);

private:
    QVariantList m_accounts;
};
