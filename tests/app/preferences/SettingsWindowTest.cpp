// The preferences window: one at a time, every way of closing stores, the
// error count, changing and removing accounts, a file that cannot be
// written, a damaged account list, and pictures of its tabs.
#include "PreferencesTestSupport.h"

#include "AccountPane.h"
#include "AddressOnlySettingsView.h"
#include "SMTPAccountVerifier.h"
#include "SMTPSettingsView.h"
#include "SettingsEditor.h"

#include "MyApplication.h"

#include "Localizer.h"
#include "TemplateManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

#include <memory>

namespace {

template<typename T>
T *child(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    EXPECT_TRUE(found) << name;
    return found;
}

SettingsWindow *openedWindow()
{
    Settings::showSettings(nullptr);
    return SettingsWindow::openWindow();
}

void selectRow(SettingsWindow *window, int row)
{
    QListView *table = window->accountTable();
    table->selectionModel()->setCurrentIndex(table->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

int windowCount()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        count += qobject_cast<SettingsWindow *>(widget) && widget->isVisible();
    return count;
}

} // namespace

TEST_F(PreferencesTest, OneWindowAndEveryWayOfClosingStoresLikeConfirm)
{
    SettingsWindow::registerWithSettings();
    Settings::setAccountArray({smtpAccount("ann")});
    const struct {
        const char *how;
        std::function<void(SettingsWindow *)> close;
    } ways[] = {
        {"confirm", [](SettingsWindow *w) { child<QDialogButtonBox>(w, "buttons")->button(QDialogButtonBox::Ok)->click(); }},
        {"close button", [](SettingsWindow *w) { w->close(); }},
        {"escape", [](SettingsWindow *w) { QTest::keyClick(w, Qt::Key_Escape); }},
    };
    int round = 0;
    for (const auto &way : ways) {
        SCOPED_TRACE(way.how);
        SettingsWindow *window = openedWindow();
        ASSERT_TRUE(window);
        Settings::showSettings(nullptr);
        EXPECT_EQ(SettingsWindow::openWindow(), window);
        EXPECT_EQ(windowCount(), 1);

        const QString name = QStringLiteral("renamed %1").arg(++round);
        child<QCheckBox>(window, "corvantilineLogFile")->setChecked(round % 2 == 1);
        selectRow(window, 0);
        child<QLineEdit>(window, "accountNameField")->setText(name);
        BlacklistManager::sharedManager().addAddresses({QStringLiteral("old%1@example.org").arg(round)});
        BlacklistManager::sharedManager().replaceAddressAtIndex(0, QStringLiteral("edited%1@example.org").arg(round));

        way.close(window);
        EXPECT_EQ(SettingsWindow::openWindow(), nullptr);
        EXPECT_EQ(Settings::writeLogFile(), round % 2 == 1);
        EXPECT_EQ(Settings::nameForAccount(0), name);
        EXPECT_TRUE(BlacklistManager::sharedManager().isAddressInList(QStringLiteral("edited%1@example.org").arg(round)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(windowCount(), 0);
    }
}

TEST_F(PreferencesTest, ErrorCountIsShownAndStoredWithItsCheckbox)
{
    const struct {
        int stored;
        bool shownOn;
        int shownCount;
        std::optional<bool> turn; // the user's change of the checkbox
        int typed;
        int expected;
    } rows[] = {
        {0, false, 10, std::nullopt, 0, 0},  // off shows 10, disabled, and stays 0
        {0, false, 10, true, 3, 3},          // turned on with 3
        {5, true, 5, false, 7, 0},           // off stores 0 whatever the field holds
        {-4, false, 10, std::nullopt, 0, -4}, // below 1 counts as off; untouched, it stays
        {20000, true, 9999, std::nullopt, 0, 20000},
        {20000, true, 9999, false, 0, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.stored);
        Settings::setMaxErrorsWhileSending(row.stored);
        auto *window = new SettingsWindow;
        auto *checkbox = child<QCheckBox>(window, "corvantilineIgnoreErrors");
        auto *count = child<QSpinBox>(window, "corvantilineIgnoreErrorsCount");
        EXPECT_EQ(checkbox->isChecked(), row.shownOn);
        EXPECT_EQ(count->value(), row.shownCount);
        EXPECT_EQ(count->isEnabled(), row.shownOn);
        if (row.turn) {
            checkbox->setChecked(*row.turn);
            EXPECT_EQ(count->isEnabled(), *row.turn);
            count->setValue(row.typed);
        }
        EXPECT_EQ(count->minimum(), 1);
        EXPECT_EQ(count->maximum(), 9999);
        window->saveSettings();
        EXPECT_EQ(Settings::maxErrorsWhileSending(), row.expected);
    }
}

TEST_F(PreferencesTest, TheSendConfirmationCanBeAskedForAgain)
{
    // "Do not ask again", ticked on the confirmation, stored 0.
    const QString key = QStringLiteral("show_AskSendMessages");
    const struct {
        QVariant stored;
        bool shown;
        bool turn;
        QVariant expected;
    } rows[] = {
        {QVariant(), true, true, QVariant()}, // untouched: nothing written
        {0, false, true, 1},
        {1, true, false, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.stored.toString().toStdString());
        UserDefaults::standardUserDefaults().setObject(row.stored, key);
        auto *window = new SettingsWindow;
        auto *checkbox = child<QCheckBox>(window, "corvantilineAskBeforeSending");
        ASSERT_TRUE(checkbox);
        EXPECT_EQ(checkbox->isChecked(), row.shown);
        checkbox->setChecked(row.turn);
        window->saveSettings();
        EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey(key), row.expected);
    }
}

TEST_F(PreferencesTest, TheChosenFontIsStoredAtOnce)
{
    Settings::setFontFamilyCheck([](const QString &family) { return family == "DejaVu Serif"; });
    auto *window = new SettingsWindow;
    auto *button = child<QPushButton>(window, "messageFontButton");
    const FontDescriptor before = Settings::defaultMessageFont();
    button->click(); // the panel is cancelled
    EXPECT_EQ(Settings::defaultMessageFont(), before);
    panels.fonts.push_back({"DejaVu Serif", 14.5, true, false});
    button->click();
    EXPECT_EQ(Settings::defaultMessageFont(), (FontDescriptor{"DejaVu Serif", 14.5, true, false}));
    EXPECT_EQ(child<QLineEdit>(window, "messageFontField")->text(), "DejaVu Serif-Bold - 14.5pt");
    window->saveSettings();
    Settings::setFontFamilyCheck(nullptr);
}

TEST_F(PreferencesTest, AccountsAreAddedSelectedAndChangedInType)
{
    auto *window = new SettingsWindow;
    window->show();
    const QString newName = Localizer::localizedString("Localized", "EMPTY_ACCNT_NAME");
    auto *nameField = child<QLineEdit>(window, "accountNameField");
    auto *typeMenu = child<QComboBox>(window, "accountTypeMenu");
    const auto selectedRows = [window] { return window->accountTable()->selectionModel()->selectedRows(); };
    const struct {
        int tag;
        const char *type;
        const char *pane;
    } added[] = {{1, "smtp", "SMTPSettingsView"}, {2, "localserver", "LocalServerSettingsView"},
                 {3, "applemail", "AppleMailSettingsView"}};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(added[row].type);
        window->addAccount(added[row].tag);
        EXPECT_EQ(*Settings::accountType(row), added[row].type);
        EXPECT_EQ(Settings::nameForAccount(row), newName);
        // The new account is the one shown, ready for its name.
        EXPECT_EQ(window->editor().activeAccount(), row);
        ASSERT_EQ(selectedRows().size(), 1);
        EXPECT_EQ(selectedRows()[0].row(), row);
        EXPECT_EQ(QString::fromLatin1(window->accountView()->metaObject()->className()), added[row].pane);
        EXPECT_TRUE(typeMenu->isEnabled());
        EXPECT_EQ(nameField->text(), newName);
        // The list shows the name as it is typed.
        nameField->selectAll();
        QTest::keyClicks(nameField, QStringLiteral("account %1").arg(row));
        EXPECT_EQ(selectedRows()[0].data().toString(), QStringLiteral("account %1").arg(row));
    }
    // Adding stored the account shown before, typed name and all.
    EXPECT_EQ(Settings::nameForAccount(1), "account 1");

    Settings::setDataForAccount(smtpAccount("bob"), 0);
    window->editor().accountList().setAccounts(*Settings::accountArray());
    selectRow(window, 0);
    ASSERT_TRUE(qobject_cast<SMTPSettingsView *>(window->accountView()));
    EXPECT_EQ(nameField->text(), "bob");
    // Another selection stores the pane, its name included.
    nameField->setText("bob's");
    selectRow(window, 1);
    ASSERT_TRUE(qobject_cast<LocalServerSettingsView *>(window->accountView()));
    EXPECT_EQ(Settings::nameForAccount(0), "bob's");

    // Away from SMTP and back: the server, port, login and encryption are
    // as they were, and so is what is stored.
    QVariantMap bob = smtpAccount("bob");
    bob.insert(AccountKeys::AccountName, "bob's");
    selectRow(window, 0);
    for (const int type : {1, 2, 0}) {
        typeMenu->setCurrentIndex(type);
        emit typeMenu->activated(type);
    }
    auto *smtp = qobject_cast<SMTPSettingsView *>(window->accountView());
    ASSERT_TRUE(smtp);
    EXPECT_EQ(child<QLineEdit>(smtp, "smtpHost")->text(), "smtp.example.org");
    EXPECT_EQ(child<QLineEdit>(smtp, "smtpPort")->text(), "587");
    EXPECT_EQ(child<QLineEdit>(smtp, "smtpLogin")->text(), "bob");
    EXPECT_EQ(smtp->form().fields().encryption, SmtpAccountForm::StartTls);
    window->editor().saveAccountSettings();
    EXPECT_EQ(*Settings::dataForAccount(0), bob);

    // SMTP to direct delivery: the pane's three keys replace the SMTP ones.
    typeMenu->setCurrentIndex(1);
    emit typeMenu->activated(1);
    ASSERT_TRUE(qobject_cast<LocalServerSettingsView *>(window->accountView()));
    window->saveSettings();
    const QVariantMap changed = *Settings::dataForAccount(0);
    EXPECT_EQ(changed, (QVariantMap{{AccountKeys::AccountType, AccountTypes::LocalServer},
                                    {AccountKeys::AccountName, "bob's"},
                                    {AccountKeys::MailFromAddress, "bob@example.org"}}));
}

TEST_F(PreferencesTest, RemovingAnAccountNeverStoresItsPaneAndTheSendChoiceFollows)
{
    const struct {
        int removed;
        int lastSend;
        int expectedLastSend;
        int shownAfter; // the account whose pane shows: the one that took the row
    } rows[] = {
        {1, 2, 1, 1}, {1, 1, 0, 1}, {1, 0, 0, 1}, {2, 2, 0, -1}, {0, 2, 1, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(QStringLiteral("remove %1, last %2").arg(row.removed).arg(row.lastSend).toStdString());
        const QVariantList accounts{smtpAccount("a"), smtpAccount("b"), smtpAccount("c")};
        Settings::setAccountArray(accounts);
        Settings::setLastSelectedAccount(row.lastSend);
        auto *window = new SettingsWindow;
        selectRow(window, row.removed);
        // Edits that a store of the removed pane would write somewhere.
        child<QLineEdit>(window, "accountNameField")->setText("edited");
        QTest::keyClicks(child<QLineEdit>(window, "smtpHost"), "edited");
        window->removeAccount();

        QVariantList expected = accounts;
        expected.removeAt(row.removed);
        EXPECT_EQ(*Settings::accountArray(), expected);
        EXPECT_EQ(Settings::lastSelectedAccount(), row.expectedLastSend);
        EXPECT_EQ(window->editor().activeAccount(), row.shownAfter);
        EXPECT_EQ(child<QComboBox>(window, "accountTypeMenu")->isEnabled(), row.shownAfter >= 0);
        window->saveSettings();
        EXPECT_EQ(*Settings::accountArray(), expected) << "confirming stores the neighbour's pane unchanged";
    }
}

TEST_F(PreferencesTest, SettingsThatCannotBeWrittenAreReportedAndTheWindowStays)
{
    SettingsWindow::registerWithSettings();
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    const QString discard = Localizer::localizedString("Localized-Settings", "DISCARD_CHANGES");
    // A folder where the file should be: nothing can write it, root included.
    QFile::remove(iniPath());
    ASSERT_TRUE(QDir().mkdir(iniPath()));

    // Nothing changed: every way out closes, and nothing is written.
    const quint64 failed = defaults.failedWriteCount();
    for (const bool quitting : {false, true}) {
        SettingsWindow *window = openedWindow();
        ASSERT_TRUE(window);
        EXPECT_TRUE(quitting ? MyApplication::prepareQuit() : window->close());
        EXPECT_EQ(SettingsWindow::openWindow(), nullptr);
    }
    EXPECT_EQ(defaults.failedWriteCount(), failed);
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_TRUE(alerts.shown.isEmpty());

    // A change that cannot be written: kept while the user wants, else
    // discarded, then gone from what the program reads too.
    SettingsWindow *window = openedWindow();
    child<QCheckBox>(window, "corvantilineLogFile")->setChecked(true);
    BlacklistManager::sharedManager().addAddresses({QStringLiteral("kept@example.org")});
    questions.answers = {false};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(SettingsWindow::openWindow(), window);
    ASSERT_EQ(questions.asked.size(), 1);
    EXPECT_TRUE(questions.asked[0].contains(iniPath()));
    EXPECT_EQ(questions.actions, QStringList{discard});
    questions.answers = {true};
    EXPECT_TRUE(MyApplication::prepareQuit());
    EXPECT_EQ(SettingsWindow::openWindow(), nullptr);
    EXPECT_EQ(questions.asked.size(), 2);
    EXPECT_FALSE(Settings::writeLogFile());
    EXPECT_FALSE(BlacklistManager::sharedManager().isAddressInList(QStringLiteral("kept@example.org")));
    EXPECT_TRUE(alerts.shown.isEmpty());

    // Once the file can be written, what the user changed is.
    ASSERT_TRUE(QDir().rmdir(iniPath()));
    window = openedWindow();
    child<QCheckBox>(window, "corvantilineLogFile")->setChecked(true);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(questions.asked.size(), 2);
    UserDefaults reread(iniPath());
    EXPECT_TRUE(reread.boolForKey(SettingsKeys::WriteSentMailsLog));
    const QVariantList blacklist = reread.arrayForKey(BlacklistManager::DefaultsKey).value_or(QVariantList());
    EXPECT_FALSE(blacklist.contains("kept@example.org"));
}

TEST_F(PreferencesTest, DamagedAccountListIsReportedOnceAndKept)
{
    UserDefaults::standardUserDefaults().setObject(QStringLiteral("not a list"), SettingsKeys::AccountArray);
    auto *window = new SettingsWindow;
    window->show();
    for (int i = 0; i < 3; ++i) {
        (void)window->grab();
        QCoreApplication::processEvents();
    }
    window->addAccount(1);
    window->saveSettings();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].kind, RecordingAlertPresenter::Report);
    EXPECT_TRUE(alerts.shown[0].text.contains("Object type is of unexpected class: QString"));
    EXPECT_EQ(UserDefaults::standardUserDefaults().objectForKey(SettingsEditor::DamagedAccountArrayKey).toString(),
              "not a list");
    EXPECT_EQ(Settings::accountArray()->size(), 1);
}

TEST_F(PreferencesTest, ScreenshotsOfTheTabsAndPanes)
{
    Settings::setAccountArray({smtpAccount("ann"), QVariantMap{{AccountKeys::AccountType, AccountTypes::LocalServer},
                                                               {AccountKeys::AccountName, "direct"},
                                                               {AccountKeys::MailFromAddress, "me@example.org"}},
                               QVariantMap{{AccountKeys::AccountType, AccountTypes::AppleMail},
                                           {AccountKeys::AccountName, "local"}}});
    BlacklistManager::sharedManager().addAddresses({"*@spam.example", "someone@example.org"});
    TemplateManager::loadTemplates();
    // Gone at the end: a window left open is counted by the next run of the tests.
    const std::unique_ptr<SettingsWindow> owned = std::make_unique<SettingsWindow>();
    SettingsWindow *window = owned.get();
    window->resize(760, 540);
    auto *tabs = child<QTabWidget>(window, "tabs");
    saveScreenshot(window, "settings-general");
    tabs->setCurrentIndex(1);
    saveScreenshot(window, "settings-account-none");
    const char *names[] = {"settings-account-smtp", "settings-account-direct", "settings-account-local"};
    for (int row = 0; row < 3; ++row) {
        selectRow(window, row);
        if (row == 0) // with the warning about a password sent unencrypted
            child<QRadioButton>(window, "encryptionNone")->click();
        saveScreenshot(window, names[row]);
    }
    // The verifier's sheet as it shows while it works (nothing started here).
    auto *verifier = new SMTPAccountVerifier(window);
    saveScreenshot(verifier, "verifier-sheet");
    verifier->close();
    tabs->setCurrentIndex(2);
    saveScreenshot(window, "settings-templates");
    tabs->setCurrentIndex(3);
    saveScreenshot(window, "settings-blacklist");
}
