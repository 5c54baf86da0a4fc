#pragma once

// What the preferences window does, without its widgets: the account list
// and the pane of the selected account, the general preferences, storing
// all of it. The window passes the user's actions on and shows what this
// decides through SettingsWindowView.
//
// Only what the user changed is written, so a window merely looked at can
// always be closed, even when the preferences file cannot be written. What
// could not be written may be discarded: the preferences then read again as
// they did when the window opened.
//
// Main thread only.

#include "AccountListDS.h"
#include "TextAttributes.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

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
        bool askBeforeSending = true; // the confirmation of a run to all recipients
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

    // The general controls' values from the preferences; back only those
    // that differ from what is stored.
    [[nodiscard]] static General loadGeneral();
    static void saveGeneral(const General &general, const General &stored);
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
    // The account name field was edited: the list shows the name at once.
    void accountNameEdited(const QString &name);
    // Stores what changed: the shown pane, the general preferences, the
    // blacklist, and what could not be written before. False when some of
    // it could not be written; the window then asks whether to discard.
    bool confirm(const General &general);
    // Puts back every preference this window changed, written or not.
    void discardChanges();

    // Stores the shown pane at the active account, unless it shows the
    // account as stored.
    void saveAccountSettings();
    // Runs a change made elsewhere in the window; false, and reported, when
    // it could not be written.
    bool write(const std::function<void()> &change);

private:
    // The stored list; a damaged one is reported once, kept under
    // DamagedAccountArrayKey and replaced by an empty list.
    QVariantList readAccounts();
    void loadNewAccountView(int index);
    void updateAccountTypeMenu();
    // The dictionary the shown pane would store.
    [[nodiscard]] QVariantMap shownAccount() const;
    // Runs a change; false, and reported unless told not to, when it could
    // not be written.
    template<typename Change>
    bool writing(Change change, bool report = true);

    SettingsWindowView &m_view;
    AccountListDS m_accountList;
    AccountPane *m_pane = nullptr;
    int m_activeAccount = -1;
    int m_writeDepth = 0;
    // What the shown pane stores when the user has changed nothing.
    QVariantMap m_shownAsStored;
    // By account, by type: the values a pane held when the user chose
    // another type, given back if the user chooses that type again.
    QHash<int, QHash<QString, QVariantMap>> m_valuesByType;
    // The preferences this window may change, and the blacklist, as they
    // were when it opened.
    QVariantMap m_openedWith;
    QStringList m_blacklistOpenedWith;
    General m_generalOpenedWith;
    // A change failed to reach the file and waits in memory.
    bool m_unwritten = false;
};
