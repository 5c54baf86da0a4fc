#pragma once

// What the preferences window does, without its widgets: the account list
// and the pane of the selected account, the general preferences, storing
// all of it. The window passes the user's actions on and shows what this
// decides through SettingsWindowView.
//
// Main thread only.

#include "AccountListDS.h"
#include "TextAttributes.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

class AccountPane;
class SettingsWindowView;

class SettingsEditor {
public:
    // The general preferences as the window's controls show them.
    struct General {
        bool newDocOnLaunch = true;
        bool displayDocAssistant = true;
        bool writeLogFile = false;
        bool rememberWindowSize = false;
        bool ignoreErrors = false;
        int errorCount = 10; // shown, and stored only while ignoreErrors is on
    };
    static constexpr int MinErrorCount = 1;
    static constexpr int MaxErrorCount = 9999;
    static constexpr int DefaultErrorCount = 10;

    // Where a damaged account list is kept before it is replaced.
    static inline const QString DamagedAccountArrayKey = QStringLiteral("accountArray.damaged");

    // Items of the type menu, in order.
    static const QStringList &accountTypes();

    explicit SettingsEditor(SettingsWindowView &view);
    Q_DISABLE_COPY_MOVE(SettingsEditor)

    [[nodiscard]] AccountListDS &accountList() { return m_accountList; }
    [[nodiscard]] int activeAccount() const { return m_activeAccount; }

    // Reads the account list and shows the pane of no account.
    void load();

    // The general controls' values from the preferences, and back.
    [[nodiscard]] static General loadGeneral();
    static void saveGeneral(const General &general);
    // "Family - 12.0pt" for the default message font.
    [[nodiscard]] static QString fontFieldText();
    // Stores a font chosen in the font panel at once.
    void changeFont(const FontDescriptor &font);

    // The user's actions. Each may raise AppException; a change that cannot
    // be written is reported through the view.
    void selectionChanged(int row);
    // By menu tag: 2 direct delivery, 3 local mail system, anything else SMTP
    // (the import tags above 9 are the window's).
    void addAccount(int tag);
    void addAccountWithData(const QVariantMap &account);
    void removeAccount(int row);
    void changeAccountType(int typeIndex);
    // Stores the shown pane, the general preferences and the blacklist;
    // false (reported) when something could not be written.
    bool confirm(const General &general);

    // Stores the shown pane at the active account.
    void saveAccountSettings();

private:
    // The stored list; a damaged one is reported once, kept under
    // DamagedAccountArrayKey and replaced by an empty list.
    QVariantList readAccounts();
    void loadNewAccountView(int index);
    void updateAccountTypeMenu();
    // Runs a change and reports it when it could not be written.
    template<typename Change>
    bool writing(Change change);

    SettingsWindowView &m_view;
    AccountListDS m_accountList;
    AccountPane *m_pane = nullptr;
    int m_activeAccount = -1;
    int m_writeDepth = 0;
};
