#include "AccountListDS.h"

#include "DictionaryGetters.h"
#include "Settings.h"

void AccountListDS::setAccounts(const QVariantList &accounts)
{
    const qsizetype old = m_accounts.size();
    if (accounts.size() >= old && std::equal(m_accounts.cbegin(), m_accounts.cend(), accounts.cbegin())) {
        if (accounts.size() > old) {
            beginInsertRows({}, int(old), int(accounts.size() - 1));
            m_accounts = accounts;
            endInsertRows();
        }
        return;
    }
    if (accounts.size() == old) {
        m_accounts = accounts;
        emit dataChanged(index(0), index(int(old - 1)));
        return;
    }
    beginResetModel();
    m_accounts = accounts;
    endResetModel();
}

void AccountListDS::removeAccount(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return;
    beginRemoveRows({}, row, row);
    m_accounts.removeAt(row);
    endRemoveRows();
}

void AccountListDS::showName(int row, const QString &name)
{
    if (row < 0 || row >= m_accounts.size() || m_accounts.at(row).typeId() != QMetaType::QVariantMap)
        return;
    QVariantMap account = m_accounts.at(row).toMap();
    account.insert(AccountKeys::AccountName, name);
    m_accounts[row] = account;
    emit dataChanged(index(row), index(row));
}

int AccountListDS::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_accounts.size());
}

QVariant AccountListDS::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_accounts.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return displayName(m_accounts.at(index.row()));
    return {};
}

QString AccountListDS::displayName(const QVariant &account)
{
    const QString name = account.typeId() == QMetaType::QVariantMap
                             ? DoGetDictStringForKey(account.toMap(), AccountKeys::AccountName)
                             : QString();
    return name.isEmpty() ? QStringLiteral("<no name>") : name;
}
