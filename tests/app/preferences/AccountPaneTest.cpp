// The account panes: what a stored account shows, the control rules, the
// dictionary they make, and when the password goes to the keychain.
#include "PreferencesTestSupport.h"

#include "AddressOnlySettingsView.h"
#include "SMTPSettingsView.h"
#include "SmtpAccountForm.h"

#include "../../delivery/FakeSmtpServer.h"
#include "AppException.h"
#include "Localizer.h"
#include "SMTPMail.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {

template<typename T>
T *child(QWidget *pane, const char *name)
{
    T *found = pane->findChild<T *>(QString::fromLatin1(name));
    EXPECT_TRUE(found) << name;
    return found;
}

// The reason of the exception the call raises; empty when none.
QString raisedReason(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppException &exception) {
        return exception.reason();
    }
    return {};
}

} // namespace

TEST_F(PreferencesTest, StoredAccountsShowAsTheirKeysSay)
{
    ASSERT_TRUE(Keychain::setKeychainServer("smtp.example.org", "ann", "stored secret"));
    const struct {
        const char *what;
        QVariantMap account;
        int encryption;
        int auth;
        QString login;
        QString password;
    } rows[] = {
        {"TLS wins over STARTTLS", {{"useSSL", "1"}, {"useTLS", "1"}}, SmtpAccountForm::TlsFromFirstByte, 0, "", ""},
        {"STARTTLS", {{"useSSL", "0"}, {"useTLS", "1"}}, SmtpAccountForm::StartTls, 0, "", ""},
        {"no keys", {}, SmtpAccountForm::NoEncryption, 0, "", ""},
        {"no authentication hides a login",
         {{"smtpAuthType", "0"}, {"smtpLogin", "ann"}, {"smtpServer", "smtp.example.org"}},
         SmtpAccountForm::NoEncryption, 0, "", ""},
        {"authentication reads the keychain",
         {{"smtpAuthType", "2"}, {"smtpLogin", "ann"}, {"smtpServer", "smtp.example.org"}},
         SmtpAccountForm::NoEncryption, 2, "ann", "stored secret"},
        {"numbers are values too", {{"smtpAuthType", 1}, {"useSSL", 1}, {"smtpLogin", "bob"}},
         SmtpAccountForm::TlsFromFirstByte, 1, "bob", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        SMTPSettingsView pane;
        pane.setAccountData(row.account);
        EXPECT_EQ(pane.form().fields().encryption, row.encryption);
        EXPECT_EQ(child<QComboBox>(&pane, "smtpAuthType")->currentIndex(), row.auth);
        EXPECT_EQ(child<QLineEdit>(&pane, "smtpLogin")->text(), row.login);
        EXPECT_EQ(child<QLineEdit>(&pane, "smtpPasswd")->text(), row.password);
        EXPECT_EQ(child<QLineEdit>(&pane, "smtpLogin")->isEnabled(), row.auth > 0);
        EXPECT_EQ(child<QLineEdit>(&pane, "smtpPasswd")->isEnabled(), row.auth > 0);
        EXPECT_EQ(pane.findChild<QButtonGroup *>()->checkedId(), row.encryption);
    }
    // Entries that are no account dictionaries are refused, as they are for every pane.
    SMTPSettingsView smtp;
    LocalServerSettingsView direct;
    EXPECT_EQ(raisedReason([&] { smtp.setAccountData(QVariant()); }), "Object == nil");
    EXPECT_EQ(raisedReason([&] { direct.setAccountData(QStringLiteral("text")); }),
              "Object type is of unexpected class: QString");
    EXPECT_EQ(raisedReason([&] { smtp.setAccountData(QVariantMap{{"mailFromAddress", 42}}); }),
              "Object type is of unexpected class: int");
}

TEST_F(PreferencesTest, ControlRulesAndTheDictionaryTheyMake)
{
    SMTPSettingsView pane;
    auto *port = child<QLineEdit>(&pane, "smtpPort");
    // A port follows the encryption only while it is the default of the
    // encryption chosen before; one the user typed stays.
    const struct {
        const char *port;
        QStringList clicked;
        QStringList ports;
    } rows[] = {
        {"25", {"encryptionTls", "encryptionStartTls", "encryptionNone"}, {"465", "587", "25"}},
        {"2627", {"encryptionStartTls", "encryptionTls", "encryptionNone"}, {"2627", "2627", "2627"}},
        {"587", {"encryptionTls"}, {"587"}}, // not the default of none
        {"465", {"encryptionStartTls"}, {"587"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.port);
        pane.setAccountData(QVariantMap{{"smtpPort", row.port}, {"useSSL", QString(row.port) == "465" ? "1" : "0"}});
        QStringList ports;
        for (const QString &button : row.clicked) {
            child<QRadioButton>(&pane, button.toLatin1().constData())->click();
            ports.append(port->text());
        }
        EXPECT_EQ(ports, row.ports);
    }

    // Authentication without encryption warns that the password goes out as it is.
    auto *warning = child<QLabel>(&pane, "cleartextWarning");
    auto *auth = child<QComboBox>(&pane, "smtpAuthType");
    auth->setCurrentIndex(1);
    emit auth->activated(1);
    EXPECT_TRUE(child<QLineEdit>(&pane, "smtpLogin")->isEnabled());
    EXPECT_TRUE(warning->isHidden());
    child<QRadioButton>(&pane, "encryptionNone")->click();
    EXPECT_FALSE(warning->isHidden());

    // Half-typed numbers the validators let through never reach the account.
    port->clear();
    QTest::keyClicks(port, "70000");
    emit port->editingFinished();
    EXPECT_EQ(port->text(), "25");
    child<QCheckBox>(&pane, "delayCheckbox")->click();
    EXPECT_TRUE(child<QLineEdit>(&pane, "delayMails")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(&pane, "delayMails"), "0");
    QTest::keyClicks(child<QLineEdit>(&pane, "fromAddress"), "me@example.org");
    const QVariantMap data = pane.accountData();
    EXPECT_EQ(data.value("smtpPort"), "25");
    EXPECT_EQ(data.value("delayMails"), "1");
    EXPECT_EQ(data.value("delayEnabled"), "1");
    EXPECT_EQ(data.value("smtpAuthType"), "1");
    EXPECT_EQ(data.value("useSSL"), "0");
    EXPECT_EQ(data.value("useTLS"), "0");
    EXPECT_EQ(data.value("mailFromAddress"), "me@example.org");

    // The verifier's corrections, each encryption to its button.
    for (const auto &[encryption, tag] : {std::pair{2, 3}, std::pair{1, 2}, std::pair{0, 1}}) {
        pane.fixAccountSettings({{"smtpServer", "mx.example.org"}, {"smtpPort", "587"}, {"encryption", encryption}});
        EXPECT_EQ(pane.form().fields().encryption, tag);
        EXPECT_EQ(port->text(), "587");
        EXPECT_EQ(child<QLineEdit>(&pane, "smtpHost")->text(), "mx.example.org");
    }
}

TEST_F(PreferencesTest, APortOutsideTheRangeNeverConnects)
{
    // Masked to 16 bits, this port would reach the server.
    FakeSmtpServer server;
    SMTPMail mail;
    EXPECT_FALSE(mail.setPort(QString::number(65536 + server.port())));
    mail.setServer("127.0.0.1");
    mail.setTimeout(5);
    EXPECT_EQ(mail.connect(), SMTPMail::NoConnect);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_FALSE(mail.setPort("0"));
    EXPECT_TRUE(mail.setPort("65535"));
}

TEST_F(PreferencesTest, ThePasswordIsStoredOnlyAfterAnEditAndNeverInTheDictionary)
{
    const QVariantMap account{{"smtpAuthType", "1"}, {"smtpServer", "smtp.example.org"}, {"smtpLogin", "ann"}};
    ASSERT_TRUE(Keychain::setKeychainServer("smtp.example.org", "ann", "stored"));
    const int before = keychain->writes;

    SMTPSettingsView pane;
    pane.setAccountData(account);
    pane.storeSecrets();
    EXPECT_EQ(keychain->writes, before) << "an account looked at writes nothing";

    auto *password = child<QLineEdit>(&pane, "smtpPasswd");
    password->clear();
    QTest::keyClicks(password, "x");
    QTest::keyClick(password, Qt::Key_Backspace);
    pane.storeSecrets();
    EXPECT_EQ(keychain->writes, before) << "an empty field keeps the stored password";
    EXPECT_EQ(Keychain::getKeychainPasswordForServer("smtp.example.org", "ann"), "stored");

    QTest::keyClicks(password, "typed secret");
    const QVariantMap data = pane.accountData();
    for (const QVariant &value : data)
        EXPECT_NE(value.toString(), "typed secret");
    EXPECT_EQ(keychain->writes, before) << "making the dictionary stores nothing";
    pane.storeSecrets();
    EXPECT_EQ(Keychain::getKeychainPasswordForServer("smtp.example.org", "ann"), "typed secret");
    pane.storeSecrets();
    EXPECT_EQ(keychain->writes, before + 1) << "once per edit";

    // A new server takes the password along.
    QTest::keyClicks(child<QLineEdit>(&pane, "smtpHost"), ".net");
    pane.storeSecrets();
    EXPECT_EQ(Keychain::getKeychainPasswordForServer("smtp.example.org.net", "ann"), "typed secret");
    EXPECT_TRUE(alerts.shown.isEmpty());

    // A store that fails says why, and is tried again at the next store.
    keychain->store.setFailure("The keyring is locked");
    QTest::keyClicks(password, "!");
    pane.storeSecrets();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("Localized-Settings", "PASSWORD_NOT_STORED_TITLE"));
    EXPECT_TRUE(alerts.shown[0].text.contains("The keyring is locked"));
    keychain->store.setFailure({});
    pane.storeSecrets();
    EXPECT_EQ(Keychain::getKeychainPasswordForServer("smtp.example.org.net", "ann"), "typed secret!");
}

TEST_F(PreferencesTest, AddressOnlyPanesKeepTheirTypeAndSender)
{
    for (const auto &[pane, type] : {std::pair<AddressOnlySettingsView *, QString>{new LocalServerSettingsView, AccountTypes::LocalServer},
                                     std::pair<AddressOnlySettingsView *, QString>{new AppleMailSettingsView, AccountTypes::AppleMail}}) {
        pane->setAccountData(QVariantMap{{"mailFromAddress", "me@example.org"}, {"smtpServer", "dropped"}});
        EXPECT_EQ(pane->accountData(), (QVariantMap{{"accountType", type}, {"mailFromAddress", "me@example.org"}}));
        delete pane;
    }
}
