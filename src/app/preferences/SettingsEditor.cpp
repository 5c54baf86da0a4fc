#include "SettingsEditor.h"

#include "AccountPane.h"
#include "SettingsWindowView.h"

#include "AppException.h"
#include "BlacklistManager.h"
#include "CheckSheetModel.h"
#include "Localizer.h"
#include "SendMailsUIHandler.h"
#include "Settings.h"
#include "UserDefaults.h"

#include <algorithm>
#include <numeric>

namespace {

UserDefaults &defaults()
{
    return UserDefaults::standardUserDefaults();
}

// Platform font names carry the face ("Family-Bold"), as the stored name does.
QString fontName(const FontDescriptor &font)
{
    if (font.bold && font.italic)
        return font.family + QStringLiteral("-BoldItalic");
    if (font.bold)
        return font.family + QStringLiteral("-Bold");
    if (font.italic)
        return font.family + QStringLiteral("-Italic");
    return font.family;
}

int storedMaxErrors(const SettingsEditor::General &general)
{
    return general.ignoreErrors
               ? std::clamp(general.errorCount, SettingsEditor::MinErrorCount, SettingsEditor::MaxErrorCount)
               : 0;
}

bool sameStored(const SettingsEditor::General &a, const SettingsEditor::General &b)
{
    return a.newDocOnLaunch == b.newDocOnLaunch && a.displayDocAssistant == b.displayDocAssistant
           && a.writeLogFile == b.writeLogFile && a.rememberWindowSize == b.rememberWindowSize
           && storedMaxErrors(a) == storedMaxErrors(b) && a.askBeforeSending == b.askBeforeSending;
}

const QString &confirmationKey()
{
    static const QString key = CheckSheetModel::defaultsKey(SendMailsUIHandler::ConfirmationSheetName);
    return key;
}

bool isStoredBlacklist(const QStringList &entries)
{
    const QVariantList stored =
        defaults().arrayForKey(BlacklistManager::DefaultsKey).value_or(QVariantList());
    return stored.size() == entries.size()
           && std::equal(entries.cbegin(), entries.cend(), stored.cbegin(),
                         [](const QString &entry, const QVariant &value) { return value.toString() == entry; });
}

// Every preference the window may write, for putting them back.
QStringList changeableKeys()
{
    return {SettingsKeys::AccountArray, SettingsEditor::DamagedAccountArrayKey, SettingsKeys::LastSendAccount,
            SettingsKeys::NewDocOnLaunch, SettingsKeys::ShowDocAssistant, SettingsKeys::WriteSentMailsLog,
            SettingsKeys::RememberLastWindowSize, SettingsKeys::MaxErrorsWhileSending, SettingsKeys::MessageFontName,
            SettingsKeys::MessageFontSize, BlacklistManager::DefaultsKey, confirmationKey()};
}

} // namespace

const QStringList &SettingsEditor::accountTypes()
{
    static const QStringList types{AccountTypes::Smtp, AccountTypes::LocalServer, AccountTypes::AppleMail};
    return types;
}

SettingsEditor::SettingsEditor(SettingsWindowView &view)
    : m_view(view)
{
}

template<typename Change>
bool SettingsEditor::writing(Change change, bool report)
{
    const quint64 failedBefore = defaults().failedWriteCount();
    ++m_writeDepth;
    struct Leave {
        int &depth;
        ~Leave() { --depth; }
    } leave{m_writeDepth};
    change();
    if (defaults().failedWriteCount() == failedBefore)
        return true;
    m_unwritten = true;
    // One report for one action, however many of its changes failed.
    if (report && m_writeDepth == 1)
        m_view.reportWriteFailure(defaults().filePath());
    return false;
}

void SettingsEditor::load()
{
    for (const QString &key : changeableKeys())
        m_openedWith.insert(key, defaults().objectForKey(key));
    m_blacklistOpenedWith = BlacklistManager::sharedManager().addressList();
    m_generalOpenedWith = loadGeneral();
    m_accountList.setAccounts(readAccounts());
    loadNewAccountView(-1);
}

QVariantList SettingsEditor::readAccounts()
{
    try {
        return Settings::accountArray().value_or(QVariantList());
    } catch (const AppException &exception) {
        // Every later read would raise again (the send sheet's, this
        // window's at each change): keep the value for whoever wants to
        // mend it, say so once, and go on with no accounts.
        const QVariant damaged = defaults().objectForKey(SettingsKeys::AccountArray);
        const bool kept = writing([&] { defaults().setObject(damaged, DamagedAccountArrayKey); });
        if (kept)
            writing([] { Settings::setAccountArray({}); });
        m_view.reportException(exception);
        return {};
    }
}

SettingsEditor::General SettingsEditor::loadGeneral()
{
    General general;
    general.newDocOnLaunch = Settings::newDocOnLaunch();
    general.displayDocAssistant = Settings::displayDocAssistant();
    general.writeLogFile = Settings::writeLogFile();
    general.rememberWindowSize = defaults().boolForKey(SettingsKeys::RememberLastWindowSize);
    const int maxErrors = Settings::maxErrorsWhileSending();
    general.ignoreErrors = maxErrors >= MinErrorCount;
    general.errorCount = general.ignoreErrors ? std::min(maxErrors, MaxErrorCount) : DefaultErrorCount;
    general.askBeforeSending = !CheckSheetModel::answersAtOnce(SendMailsUIHandler::ConfirmationSheetName);
    return general;
}

void SettingsEditor::saveGeneral(const General &general, const General &stored)
{
    if (general.newDocOnLaunch != stored.newDocOnLaunch)
        Settings::setNewDocOnLaunch(general.newDocOnLaunch);
    if (general.displayDocAssistant != stored.displayDocAssistant)
        Settings::setDisplayDocAssistant(general.displayDocAssistant);
    if (general.writeLogFile != stored.writeLogFile)
        Settings::setWriteLogFile(general.writeLogFile);
    if (general.rememberWindowSize != stored.rememberWindowSize)
        defaults().setBool(general.rememberWindowSize, SettingsKeys::RememberLastWindowSize);
    if (storedMaxErrors(general) != storedMaxErrors(stored))
        Settings::setMaxErrorsWhileSending(storedMaxErrors(general));
    // As the confirmation's own checkbox stores it: 1 asks, 0 does not.
    if (general.askBeforeSending != stored.askBeforeSending)
        defaults().setInteger(general.askBeforeSending ? 1 : 0, confirmationKey());
}

QString SettingsEditor::fontFieldText()
{
    const FontDescriptor font = Settings::defaultMessageFont();
    return QStringLiteral("%1 - %2pt").arg(fontName(font)).arg(font.pointSize, 0, 'f', 1);
}

void SettingsEditor::changeFont(const FontDescriptor &font)
{
    writing([&] { Settings::setDefaultMessageFont(font); });
}

void SettingsEditor::selectionChanged(int row)
{
    saveAccountSettings();
    loadNewAccountView(row >= 0 && row < m_accountList.rowCount() ? row : -1);
}

QVariantMap SettingsEditor::shownAccount() const
{
    QVariantMap data = m_pane->accountData();
    data.insert(AccountKeys::AccountName, m_view.accountNameText());
    return data;
}

void SettingsEditor::saveAccountSettings()
{
    if (m_activeAccount < 0 || m_activeAccount >= m_accountList.rowCount() || !m_pane)
        return;
    const QVariantMap data = shownAccount();
    m_pane->storeSecrets();
    if (data == m_shownAsStored)
        return;
    writing([&] { Settings::setDataForAccount(data, m_activeAccount); });
    // Written or waiting to be: not written again.
    m_shownAsStored = data;
    m_accountList.setAccounts(readAccounts());
}

void SettingsEditor::loadNewAccountView(int index)
{
    // Until the new pane holds its account, no account is shown: a pane
    // that failed to fill must never be stored over any account.
    m_activeAccount = -1;
    const QVariantList &accounts = m_accountList.accounts();
    const bool exists = index >= 0 && index < accounts.size();
    // An entry that is no dictionary gets the SMTP pane, which says what is wrong with it.
    const QString type = exists ? Settings::accountType(index).value_or(AccountTypes::Smtp) : QString();
    // A type this window has no pane for is shown as none, and never stored over.
    const bool known = accountTypes().contains(type);
    m_pane = &m_view.showAccountPane(known ? type : QString());
    m_shownAsStored.clear();
    if (known) {
        m_pane->setAccountData(accounts.at(index));
        m_activeAccount = index;
    }
    updateAccountTypeMenu();
    if (known)
        m_shownAsStored = shownAccount();
}

bool SettingsEditor::write(const std::function<void()> &change)
{
    return writing(change);
}

void SettingsEditor::updateAccountTypeMenu()
{
    if (m_activeAccount < 0) {
        m_view.showAccountControls(false, -1, QString());
        return;
    }
    const int typeIndex = int(accountTypes().indexOf(Settings::accountType(m_activeAccount).value_or(QString())));
    m_view.showAccountControls(true, typeIndex, Settings::nameForAccount(m_activeAccount));
}

void SettingsEditor::addAccount(int tag)
{
    const QString type = tag == 2 ? AccountTypes::LocalServer : tag == 3 ? AccountTypes::AppleMail : AccountTypes::Smtp;
    addAccountWithData({{AccountKeys::AccountType, type},
                        {AccountKeys::AccountName, Localizer::localizedString("Localized", "EMPTY_ACCNT_NAME")}});
}

void SettingsEditor::addAccountWithData(const QVariantMap &account)
{
    saveAccountSettings();
    QVariantList accounts = readAccounts();
    accounts.append(account);
    writing([&] { Settings::setAccountArray(accounts); });
    m_accountList.setAccounts(accounts);
    // The user goes on with the new account: its name, its server.
    const int row = int(accounts.size() - 1);
    m_view.selectAccountRow(row);
    loadNewAccountView(row);
}

void SettingsEditor::removeAccount(int row)
{
    QVariantList accounts = readAccounts();
    if (row < 0 || row >= accounts.size())
        return;
    // The removed account's pane is never stored: not over the account
    // that takes its place.
    m_activeAccount = -1;
    m_pane = nullptr;
    accounts.removeAt(row);
    QHash<int, QHash<QString, QVariantMap>> valuesByType;
    for (auto it = m_valuesByType.cbegin(); it != m_valuesByType.cend(); ++it) {
        if (it.key() != row)
            valuesByType.insert(it.key() > row ? it.key() - 1 : it.key(), it.value());
    }
    m_valuesByType = std::move(valuesByType);
    writing([&] {
        Settings::setAccountArray(accounts);
        // The send sheet's choice follows the account it named.
        const int last = Settings::lastSelectedAccount();
        if (last == row)
            Settings::setLastSelectedAccount(0);
        else if (last > row)
            Settings::setLastSelectedAccount(last - 1);
    });
    m_accountList.removeAccount(row);
    m_accountList.setAccounts(accounts);
    // As a table keeps the selected row when it is still there.
    const int selected = row < accounts.size() ? row : -1;
    m_view.selectAccountRow(selected);
    loadNewAccountView(selected);
}

void SettingsEditor::changeAccountType(int typeIndex)
{
    if (m_activeAccount < 0 || typeIndex < 0 || typeIndex >= accountTypes().size())
        return;
    const int account = m_activeAccount;
    const QVariantMap shown = shownAccount();
    const QString type = accountTypes().at(typeIndex);
    if (shown.value(AccountKeys::AccountType).toString() == type)
        return;
    saveAccountSettings();
    // A type tried and left again must not have cost the server, the
    // login and the encryption typed for the other.
    m_valuesByType[account].insert(shown.value(AccountKeys::AccountType).toString(), shown);
    writing([&] { Settings::setAccountType(account, type); });
    m_accountList.setAccounts(readAccounts());
    loadNewAccountView(account);
    // The keys of the type left are stored until this pane is.
    m_shownAsStored.clear();
    const auto kept = m_valuesByType.value(account).constFind(type);
    if (m_activeAccount == account && kept != m_valuesByType.value(account).constEnd()) {
        QVariantMap values = *kept;
        values.insert(AccountKeys::MailFromAddress, shown.value(AccountKeys::MailFromAddress));
        m_pane->setAccountData(values);
    }
}

void SettingsEditor::accountNameEdited(const QString &name)
{
    if (m_activeAccount >= 0)
        m_accountList.showName(m_activeAccount, name);
}

bool SettingsEditor::confirm(const General &general)
{
    BlacklistManager &blacklist = BlacklistManager::sharedManager();
    const bool written = writing([&] {
        saveAccountSettings();
        // Compared with what is read now, which holds a change that failed
        // earlier: one the user took back is written back too.
        const General stored = loadGeneral();
        if (m_unwritten || !sameStored(general, m_generalOpenedWith))
            saveGeneral(general, stored);
        const QStringList &entries = blacklist.addressList();
        if (entries != m_blacklistOpenedWith || (m_unwritten && !isStoredBlacklist(entries)))
            blacklist.saveList();
    }, false);
    // Changes that failed earlier wait in memory; writing the file now is
    // their last chance.
    if (m_unwritten && written && defaults().synchronize())
        m_unwritten = false;
    return written && !m_unwritten;
}

void SettingsEditor::discardChanges()
{
    // Written again, so that what the program reads is what it read
    // before, and what reaches the file later is that too.
    for (auto it = m_openedWith.cbegin(); it != m_openedWith.cend(); ++it) {
        if (defaults().objectForKey(it.key()) != it.value())
            defaults().setObject(it.value(), it.key());
    }
    BlacklistManager &blacklist = BlacklistManager::sharedManager();
    if (blacklist.addressList() != m_blacklistOpenedWith) {
        QList<int> all(blacklist.addressCount());
        std::iota(all.begin(), all.end(), 0);
        blacklist.removeAddressesAtIndexes(all);
        blacklist.addAddresses(m_blacklistOpenedWith);
    }
    m_unwritten = false;
}
