#include "SettingsEditor.h"

#include "AccountPane.h"
#include "SettingsWindowView.h"

#include "AppException.h"
#include "BlacklistManager.h"
#include "Localizer.h"
#include "Settings.h"
#include "UserDefaults.h"

#include <algorithm>

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
bool SettingsEditor::writing(Change change)
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
    // One report for one action, however many of its changes failed.
    if (m_writeDepth == 1)
        m_view.reportWriteFailure(defaults().filePath());
    return false;
}

void SettingsEditor::load()
{
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
    return general;
}

void SettingsEditor::saveGeneral(const General &general)
{
    Settings::setNewDocOnLaunch(general.newDocOnLaunch);
    Settings::setDisplayDocAssistant(general.displayDocAssistant);
    Settings::setWriteLogFile(general.writeLogFile);
    defaults().setBool(general.rememberWindowSize, SettingsKeys::RememberLastWindowSize);
    Settings::setMaxErrorsWhileSending(
        general.ignoreErrors ? std::clamp(general.errorCount, MinErrorCount, MaxErrorCount) : 0);
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

void SettingsEditor::saveAccountSettings()
{
    if (m_activeAccount < 0 || m_activeAccount >= m_accountList.rowCount() || !m_pane)
        return;
    QVariantMap data = m_pane->accountData();
    m_pane->storeSecrets();
    data.insert(AccountKeys::AccountName, m_view.accountNameText());
    writing([&] { Settings::setDataForAccount(data, m_activeAccount); });
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
    if (known) {
        m_pane->setAccountData(accounts.at(index));
        m_activeAccount = index;
    }
    updateAccountTypeMenu();
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
    QVariantList accounts = readAccounts();
    accounts.append(account);
    writing([&] { Settings::setAccountArray(accounts); });
    m_accountList.setAccounts(accounts);
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
    saveAccountSettings();
    writing([&] { Settings::setAccountType(account, accountTypes().at(typeIndex)); });
    m_accountList.setAccounts(readAccounts());
    loadNewAccountView(account);
}

bool SettingsEditor::confirm(const General &general)
{
    return writing([&] {
        saveAccountSettings();
        saveGeneral(general);
        BlacklistManager::sharedManager().saveList();
    });
}
