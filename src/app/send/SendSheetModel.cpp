#include "SendSheetModel.h"

#include "Settings.h"

void SendSheetModel::updateControls()
{
    m_accountNames.clear();
    m_accounts.clear();
    const QVariantList accounts = Settings::accountArray().value_or(QVariantList());
    for (int i = 0; i < accounts.size(); ++i) {
        m_accountNames.append(Settings::nameForAccount(i));
        m_accounts.append(Settings::dataForAccount(i).value_or(QVariantMap()));
    }
    int remembered = Settings::lastSelectedAccount();
    // A hand-edited file may hold anything, a negative number included.
    if (remembered < 0 || remembered >= m_accounts.size()) {
        remembered = 0;
        Settings::setLastSelectedAccount(0);
    }
    m_selectedAccount = m_accounts.isEmpty() ? -1 : remembered;
    updateTestDatabaseList();
}

void SendSheetModel::updateTestDatabaseList()
{
    m_testTables = TestTableSource::current().testTables();
    // The chosen table keeps its place by identifier.
    bool stillThere = false;
    for (const TestTableSource::Entry &entry : std::as_const(m_testTables))
        stillThere = stillThere || entry.uid == m_selectedTestTableUid;
    if (!stillThere) {
        m_selectedTestTableUid.clear();
        m_selectedTestTableName.clear();
        if (m_target == TestTable)
            m_target = AllRecipients;
    }
}

void SendSheetModel::setSelectedAccount(int index)
{
    if (index >= 0 && index < m_accounts.size())
        m_selectedAccount = index;
}

QVariantMap SendSheetModel::selectedAccountData() const
{
    return m_accounts.value(m_selectedAccount);
}

void SendSheetModel::setTarget(Target target)
{
    if (target == TestTable && m_selectedTestTableUid.isEmpty())
        return;
    m_target = target;
}

void SendSheetModel::testlistChanged(int index)
{
    if (index < 0 || index >= m_testTables.size())
        return;
    m_selectedTestTableUid = m_testTables.at(index).uid;
    m_selectedTestTableName = m_testTables.at(index).name;
    m_target = TestTable;
}

QStringList SendSheetModel::bccPieces(const QString &text)
{
    if (text.trimmed().isEmpty())
        return {};
    QStringList pieces = text.split(QLatin1Char(','));
    for (QString &piece : pieces)
        piece = piece.trimmed();
    return pieces;
}

QString SendSheetModel::badBccAddress(const QString &text)
{
    for (const QString &piece : bccPieces(text)) {
        if (piece.isEmpty())
            continue;
        bool control = false;
        for (const QChar c : piece) {
            control = control || c.category() == QChar::Other_Control || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator;
        }
        if (control || !piece.contains(QLatin1Char('@')))
            return piece;
    }
    return {};
}
