#pragma once

// What the send sheet offers and what it hands over, apart from its
// widgets: the accounts as they were when the sheet opened, the remembered
// account, the priorities, the target (all recipients, a simulated run or
// a test table) and the blind copies.
//
// Main thread only.

#include "TestTableSource.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class SendSheetModel {
public:
    enum Target { AllRecipients = 0, SimulatedRun = 1, TestTable = 2 };
    // Priority 3 sends no priority header.
    static constexpr int DefaultPriorityIndex = 2;

    // Reads the accounts and the test tables. A remembered account that is
    // not one of the list (too large, negative) becomes 0 in the preferences.
    void updateControls();
    void updateTestDatabaseList();

    [[nodiscard]] const QStringList &accountNames() const { return m_accountNames; }
    // -1 when there are no accounts.
    [[nodiscard]] int selectedAccount() const { return m_selectedAccount; }
    void setSelectedAccount(int index);
    // A copy of the account as the sheet showed it; empty when none.
    [[nodiscard]] QVariantMap selectedAccountData() const;

    [[nodiscard]] const QList<TestTableSource::Entry> &testTables() const { return m_testTables; }
    [[nodiscard]] bool testTargetEnabled() const { return !m_testTables.isEmpty(); }
    [[nodiscard]] Target target() const { return m_target; }
    // The test target needs a table chosen through testlistChanged.
    void setTarget(Target target);
    // Chooses test table i and the test target.
    void testlistChanged(int index);
    [[nodiscard]] QString selectedTestTableUid() const { return m_selectedTestTableUid; }
    [[nodiscard]] QString selectedTestTableName() const { return m_selectedTestTableName; }

    // The pieces between the commas, trimmed; empty ones are kept.
    [[nodiscard]] static QStringList bccPieces(const QString &text);
    // The first piece that is not blank and no address (no "@", or a line
    // break or other control character); null when all are fine.
    [[nodiscard]] static QString badBccAddress(const QString &text);

private:
    QStringList m_accountNames;
    QList<QVariantMap> m_accounts;
    int m_selectedAccount = -1;
    QList<TestTableSource::Entry> m_testTables;
    Target m_target = AllRecipients;
    QString m_selectedTestTableUid;
    QString m_selectedTestTableName;
};
