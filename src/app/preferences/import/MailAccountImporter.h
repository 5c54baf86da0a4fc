#pragma once

// The sheet on the preferences window that imports a sending account from
// another mail program: its accounts in a menu; OK hands the chosen one, as
// an account dictionary without a password, to the delegate, or says why it
// cannot. The sheet deletes itself when it ends.
//
// Main thread only.

#include "AccountImportSource.h"

#include <QDialog>
#include <QVariantMap>

#include <memory>

class QComboBox;
class QLabel;
namespace Ui {
class MailAccountImporter;
}

// Receives the imported account.
class AccountImportDelegate {
public:
    virtual ~AccountImportDelegate() = default;
    virtual void addAccountWithData(const QVariantMap &account) = 0;
};

class MailAccountImporter final : public QDialog {
    Q_OBJECT
public:
    // The menu tags of the add button: 10 Thunderbird, 11 Evolution.
    [[nodiscard]] static std::unique_ptr<AccountImportSource> sourceForTag(int tag);

    MailAccountImporter(QWidget *parentWindow, std::unique_ptr<AccountImportSource> source);
    ~MailAccountImporter() override;
    Q_DISABLE_COPY_MOVE(MailAccountImporter)

    // Not owned; it must outlive the sheet (the parent window does).
    void setDelegate(AccountImportDelegate *delegate) { m_delegate = delegate; }
    // Reads the source, fills the menu and shows the sheet.
    void displayAsSheet();

    [[nodiscard]] QComboBox *accountMenu() const;
    [[nodiscard]] QLabel *warningLabel() const;
    [[nodiscard]] QLabel *notesLabel() const;

public slots:
    void okClicked();
    void cancelClicked();

private:
    void showWarningOfSelection();

    std::unique_ptr<Ui::MailAccountImporter> m_ui;
    QWidget *m_parentWindow;
    std::unique_ptr<AccountImportSource> m_source;
    AccountImportDelegate *m_delegate = nullptr;
    QList<ImportedAccount> m_accounts;
};
