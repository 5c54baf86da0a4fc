// The preferences against real parts: the desktop's Secret Service (run by
// run-with-secret-service.sh, read from outside with secret-tool) and the
// test Postfix (run-postfix-test.sh): the verifier on every kind of port,
// and a user's whole road: import an account from Thunderbird, add one by
// hand, verify both, save, and send through them.
#include "../PreferencesTestSupport.h"

#include "../../../delivery/FakeSmtpServer.h"
#include "../../../delivery/postfix/DeliveredMail.h"

#include "MailAccountImporter.h"
#include "SMTPAccountVerifier.h"
#include "SMTPSettingsView.h"
#include "VerifierRun.h"

#include "Localizer.h"
#include "SMTPMail.h"
#include "MailHandler.h"
#include "MailHelper.h"
#include "MailMessage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>

#include <thread>

namespace {

const QString Login = QStringLiteral("tester@test.example");
const QString Password = QStringLiteral("secret");

QString portOf(const char *variable)
{
    return QString::number(qEnvironmentVariableIntValue(variable));
}

const QString Plain = portOf("CORV_SMTP_PLAIN_PORT");
const QString Submission = portOf("CORV_SMTP_SUBMISSION_PORT");
const QString Smtps = portOf("CORV_SMTP_SMTPS_PORT");
const QString OtherName = portOf("CORV_SMTP_OTHERNAME_PORT");

QByteArray secretTool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), arguments);
    if (!tool.waitForFinished(20000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return {};
    return tool.readAllStandardOutput();
}

QByteArray storedPassword(const QString &server, const QString &login)
{
    return secretTool({"lookup", "server", "Corvantiline", "user", Keychain::itemKey(server, login)});
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void collectTexts(const QVariant &value, QStringList *texts)
{
    if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
        for (const QVariant &item : value.toList())
            collectTexts(item, texts);
    } else if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            texts->append(it.key());
            collectTexts(it.value(), texts);
        }
    } else {
        texts->append(value.toString());
    }
}

// Every text the preferences file holds, as the next start would read it
// (from a copy: Qt keeps the file it read last in memory), and its bytes.
QString everythingIn(const QString &iniPath)
{
    const QString copy = iniPath + QStringLiteral(".copy.ini");
    QFile::remove(copy);
    EXPECT_TRUE(QFile::copy(iniPath, copy));
    const UserDefaults reread(copy);
    const QSettings settings(copy, QSettings::IniFormat);
    QStringList texts;
    for (const QString &key : settings.allKeys())
        collectTexts(reread.objectForKey(key), &texts);
    return texts.join(u'\n') + QString::fromUtf8(fileBytes(iniPath));
}

bool waitFor(const std::function<bool()> &condition, int ms = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

template<typename T>
T *child(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    EXPECT_TRUE(found) << name;
    return found;
}

void selectRow(SettingsWindow *window, int row)
{
    QListView *table = window->accountTable();
    table->selectionModel()->setCurrentIndex(table->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

void typeInto(QWidget *window, const char *field, const QString &text)
{
    // As typed (textEdited), and not only ASCII as key clicks would be.
    auto *edit = child<QLineEdit>(window, field);
    edit->selectAll();
    edit->insert(text);
}

// Connections the plain listener logged (its smtpd has the default name).
int plainConnections()
{
    static const QRegularExpression connect(QStringLiteral(R"(postfix/smtpd\[\d+\]: connect from)"));
    return int(QString::fromUtf8(fileBytes(postfixFile("log/maillog"))).count(connect));
}

class LiveTest : public PreferencesTest {
protected:
    void SetUp() override
    {
        PreferencesTest::SetUp();
        ASSERT_EQ(qEnvironmentVariable("CORV_PRIVATE_SECRET_SERVICE"), "1")
            << "run through tests/foundation/run-with-secret-service.sh";
        Keychain::setBackend(nullptr);
    }
    void TearDown() override
    {
        VerifierRun::cancelAndJoinAll();
        SMTPAccountVerifier::setDefaultFallbacks(std::nullopt);
        PreferencesTest::TearDown();
    }
};

class PostfixTest : public LiveTest {
protected:
    void SetUp() override
    {
        LiveTest::SetUp();
        ASSERT_FALSE(qEnvironmentVariable("CORV_PF_DIR").isEmpty()) << "run through run-postfix-test.sh";
    }
};

} // namespace

TEST_F(LiveTest, TheTypedPasswordReachesTheKeyringAndNeverTheFile)
{
    QVariantMap withPassword = smtpAccount("ann", "smtp.keyring.example");
    QVariantMap leftEmpty = smtpAccount("bob", "smtp.keyring.example");
    Settings::setAccountArray({withPassword, leftEmpty});
    auto *window = new SettingsWindow;
    selectRow(window, 0);
    typeInto(window, "smtpPasswd", "typed for ann ✓");
    selectRow(window, 1);
    EXPECT_EQ(QString::fromUtf8(storedPassword("smtp.keyring.example", "ann")), "typed for ann ✓");
    // Typed and erased again: nothing is stored for bob.
    QTest::keyClicks(child<QLineEdit>(window, "smtpPasswd"), "x");
    QTest::keyClick(child<QLineEdit>(window, "smtpPasswd"), Qt::Key_Backspace);
    window->saveSettings();
    EXPECT_TRUE(storedPassword("smtp.keyring.example", "bob").isEmpty());
    EXPECT_EQ(Keychain::getKeychainPasswordForServer("smtp.keyring.example", "ann"), "typed for ann ✓");
    const QString stored = everythingIn(iniPath());
    EXPECT_TRUE(stored.contains("smtp.keyring.example"));
    EXPECT_FALSE(stored.contains("typed for ann"));
}

TEST_F(PostfixTest, VerifierOnEveryKindOfPort)
{
    const QString closed = QString::number(FakeSmtpServer::closedPort());
    VerifierLimits limits;
    limits.replyTimeout = std::chrono::seconds(3);
    limits.attempt = std::chrono::seconds(4);
    const QList<VerifierCandidate> ports{{Smtps, 1}, {Plain, 2}, {Submission, 2}, {Plain, 0}, {Submission, 0}};
    const struct {
        const char *what;
        QString port;
        int encryption;
        QString password;
        QList<VerifierCandidate> fallbacks;
        VerifierResult::Kind kind;
        VerifierCandidate working;
        int attempts;
        const char *reason;
    } rows[] = {
        {"submission as it is", Submission, 2, Password, ports, VerifierResult::Correct, {Submission, 2}, 1, ""},
        {"STARTTLS asked of the TLS port", Smtps, 2, Password, ports, VerifierResult::Fixed, {Smtps, 1}, 2, ""},
        {"a wrong password", Submission, 2, "wrong", ports, VerifierResult::Wrong, {}, 1, "535"},
        {"a certificate for another name", OtherName, 1, Password, ports, VerifierResult::Wrong, {}, 1, "certificate"},
        {"only plain ports answer", closed, 2, Password, {{closed, 1}, {closed, 2}, {Plain, 0}, {Submission, 0}},
         VerifierResult::Wrong, {}, 2, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        const int plainBefore = plainConnections();
        VerifierSettings settings;
        settings.senderAddress = "sender@test.example";
        settings.host = "127.0.0.1";
        settings.port = row.port;
        settings.encryption = row.encryption;
        settings.authType = 1;
        settings.login = Login;
        settings.password = row.password;
        std::optional<VerifierResult> result;
        const auto run = VerifierRun::start(settings, row.fallbacks, limits, [&](const VerifierResult &r) { result = r; });
        ASSERT_TRUE(waitFor([&] { return result.has_value(); }));
        EXPECT_EQ(result->kind, row.kind);
        if (row.kind != VerifierResult::Wrong) {
            EXPECT_EQ(result->working, row.working);
        }
        EXPECT_EQ(result->attempts, row.attempts);
        EXPECT_TRUE(result->reason.contains(QString::fromLatin1(row.reason))) << result->reason.toStdString();

        // Absence shows once a connection made after the check is logged.
        SMTPMail probe;
        probe.setServer("127.0.0.1");
        (void)probe.setPort(Plain);
        probe.setTimeout(10);
        ASSERT_EQ(probe.connect(), 0);
        probe.disconnect();
        ASSERT_TRUE(waitFor([&] { return plainConnections() > plainBefore; }));
        EXPECT_EQ(plainConnections(), plainBefore + 1) << "the verifier reached the plain port";
    }
}

TEST_F(PostfixTest, ImportAddVerifySaveAndSend)
{
    // Thunderbird's settings for the submission port, and the user's own home.
    const QString home = dir.filePath("home");
    QDir().mkpath(home + "/.thunderbird/x.default");
    {
        QFile ini(home + "/.thunderbird/profiles.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Profile0]\nName=default\nIsRelative=1\nPath=x.default\nDefault=1\n");
        QFile prefs(home + "/.thunderbird/x.default/prefs.js");
        ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
        prefs.write(QStringLiteral("user_pref(\"mail.smtpservers\", \"smtp1\");\n"
                                   "user_pref(\"mail.smtpserver.smtp1.hostname\", \"127.0.0.1\");\n"
                                   "user_pref(\"mail.smtpserver.smtp1.port\", %1);\n"
                                   "user_pref(\"mail.smtpserver.smtp1.try_ssl\", 2);\n"
                                   "user_pref(\"mail.smtpserver.smtp1.username\", \"%2\");\n"
                                   "user_pref(\"mail.identity.id1.useremail\", \"sender@test.example\");\n"
                                   "user_pref(\"mail.identity.id1.fullName\", \"Imported\");\n")
                        .arg(Submission, Login).toUtf8());
    }
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.toUtf8());
    auto *window = new SettingsWindow;
    window->addAccount(SettingsWindow::ImportThunderbird);
    qputenv("HOME", oldHome);
    auto *importer = window->findChild<MailAccountImporter *>();
    ASSERT_TRUE(importer);
    importer->okClicked();
    ASSERT_EQ(Settings::accountArray()->size(), 1);

    // An account added by hand, with STARTTLS asked of the TLS port.
    window->addAccount(SettingsWindow::AddSmtp);
    selectRow(window, 1);
    child<QLineEdit>(window, "accountNameField")->setText("by hand");
    typeInto(window, "fromAddress", "sender@test.example");
    typeInto(window, "smtpHost", "127.0.0.1");
    child<QRadioButton>(window, "encryptionStartTls")->click();
    typeInto(window, "smtpPort", Smtps);
    auto *auth = child<QComboBox>(window, "smtpAuthType");
    auth->setCurrentIndex(1);
    emit auth->activated(1);
    typeInto(window, "smtpLogin", Login);
    typeInto(window, "smtpPasswd", Password);
    SMTPAccountVerifier::setDefaultFallbacks(QList<VerifierCandidate>{{Smtps, 1}, {Plain, 2}, {Submission, 2}});
    child<QPushButton>(window, "verifyButton")->click();
    ASSERT_TRUE(waitFor([&] { return !alerts.shown.isEmpty(); }));
    EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("accountVerifier", "Settings changed"));
    EXPECT_EQ(child<QLineEdit>(window, "smtpPort")->text(), Smtps);
    EXPECT_TRUE(child<QRadioButton>(window, "encryptionTls")->isChecked());

    // The imported one needs its password typed, then verifies as it is.
    selectRow(window, 0);
    EXPECT_EQ(Settings::dataForAccount(1)->value("useSSL"), "1");
    typeInto(window, "smtpPasswd", Password);
    alerts.shown.clear();
    child<QPushButton>(window, "verifyButton")->click();
    ASSERT_TRUE(waitFor([&] { return !alerts.shown.isEmpty(); }));
    EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("accountVerifier", "Settings are correct"));
    window->saveSettings();
    ASSERT_EQ(SettingsWindow::openWindow(), nullptr);

    EXPECT_EQ(QString::fromUtf8(storedPassword("127.0.0.1", Login)), Password);
    const QString stored = everythingIn(iniPath());
    EXPECT_TRUE(stored.contains(Login));
    EXPECT_FALSE(stored.contains(Password));

    // Both accounts send, the password coming from the keyring.
    for (int account = 0; account < 2; ++account) {
        SCOPED_TRACE(account);
        const std::unique_ptr<MailHandler> handler = MailHandler::mailHandlerForAccount(*Settings::dataForAccount(account));
        ASSERT_TRUE(handler);
        ASSERT_TRUE(handler->setup(nullptr, std::nullopt).has_value());
        ASSERT_EQ(handler->connect(), 0) << handler->getErrorDesc(0).toStdString();
        MailMessage message;
        message.setFrom("Sender <sender@test.example>");
        message.setTo("rcpt@dest.example");
        message.setSubject(QStringLiteral("through account %1").arg(account));
        message.setMessageID(MailHelper::createMessageID("prefs", "test.example"));
        message.setPlainBody("Sent through an account the preferences made.\n");
        ASSERT_EQ(handler->sendMessage(message), 0) << handler->getErrorDesc(-1).toStdString();
        handler->disconnect();
        EXPECT_EQ(delivered(message.messageID(), 1).size(), 1);
    }
}
