// The SMTP account verifier against scripted servers: which pairs it tries,
// that a password never goes out unencrypted unless the account sends it so,
// where it stops, and that Cancel, a closed pane and quitting are safe while
// the worker runs. These tests also run under ThreadSanitizer.
#include "PreferencesTestSupport.h"

#include "SMTPAccountVerifier.h"
#include "SMTPSettingsView.h"
#include "VerifierPolicy.h"
#include "VerifierRun.h"

#include "../../delivery/FakePrompter.h"
#include "../../delivery/FakeSmtpServer.h"
#include "Localizer.h"
#include "MyApplication.h"
#include "SMTPMail.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <thread>

namespace {

using Step = VerifierPolicy::Step;

QString port(quint16 number)
{
    return QString::number(number);
}

bool waitFor(const std::function<bool()> &condition, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

VerifierSettings settingsFor(const QString &ownPort, int encryption, bool authenticate)
{
    VerifierSettings settings;
    settings.senderAddress = "ann@example.org";
    settings.host = "127.0.0.1";
    settings.port = ownPort;
    settings.encryption = encryption;
    if (authenticate) {
        settings.authType = 1;
        settings.login = "ann";
        settings.password = "pw";
    }
    return settings;
}

// Runs a verification to its result.
VerifierResult verify(const VerifierSettings &settings, const QList<VerifierCandidate> &fallbacks,
                      const VerifierLimits &limits = {})
{
    std::optional<VerifierResult> result;
    const auto run = VerifierRun::start(settings, fallbacks, limits, [&](const VerifierResult &r) { result = r; });
    EXPECT_TRUE(waitFor([&] { return result.has_value(); }));
    return result.value_or(VerifierResult());
}

int sessionsWith(const FakeSmtpServer &server, const QByteArray &prefix)
{
    int count = 0;
    for (const auto &session : server.sessions())
        count += session.saw(prefix);
    return count;
}

QVariantMap accountFor(const QString &ownPort, int encryption, bool authenticate)
{
    return {{"accountType", "smtp"}, {"mailFromAddress", "ann@example.org"}, {"smtpServer", "127.0.0.1"},
            {"smtpPort", ownPort}, {"smtpAuthType", authenticate ? "1" : "0"}, {"smtpLogin", "ann"},
            {"useSSL", encryption == 1 ? "1" : "0"}, {"useTLS", encryption == 2 ? "1" : "0"}};
}

class VerifierTest : public PreferencesTest {
protected:
    void TearDown() override
    {
        VerifierRun::cancelAndJoinAll();
        SMTPAccountVerifier::setDefaultFallbacks(std::nullopt);
        PasswordPrompter::setDefault(nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PreferencesTest::TearDown();
    }
};

} // namespace

TEST(VerifierPolicy, PairsNeverWeakerThanTheAccount)
{
    const QList<VerifierCandidate> fallbacks = VerifierPolicy::defaultFallbacks();
    const struct {
        const char *what;
        VerifierSettings settings;
        QStringList tried; // "port/encryption"
    } rows[] = {
        {"plain without a password", settingsFor("25", 0, false), {"25/0", "465/1", "25/2", "587/2", "587/0"}},
        {"plain with a password", settingsFor("2525", 0, true), {"2525/0", "465/1", "25/2", "587/2", "25/0", "587/0"}},
        {"STARTTLS with a password", settingsFor("587", 2, true), {"587/2", "465/1", "25/2"}},
        {"TLS", settingsFor("465", 1, false), {"465/1", "25/2", "587/2"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        QStringList tried;
        for (const VerifierCandidate &candidate : VerifierPolicy::attempts(row.settings, fallbacks))
            tried.append(candidate.port + '/' + QString::number(candidate.encryption));
        EXPECT_EQ(tried, row.tried);
    }

    const AttemptFacts none, authenticated{true, false, false}, certificate{false, true, false}, late{false, false, true};
    const struct {
        int result;
        bool authAsked;
        AttemptFacts facts;
        Step step;
    } judged[] = {
        {0, false, none, Step::Works}, {0, true, authenticated, Step::Works},
        {0, true, none, Step::TryNext}, // connected without the password it was asked to give
        {SMTPMail::HostUnreachable, true, none, Step::TryNext}, {SMTPMail::BadGreeting, true, none, Step::TryNext},
        {SMTPMail::HelloRefused, true, none, Step::TryNext}, {SMTPMail::StartTlsFailed, true, none, Step::TryNext},
        {SMTPMail::StartTlsFailed, true, certificate, Step::Stop}, {SMTPMail::AuthFailed, true, none, Step::Stop},
        {SMTPMail::AuthOutOfSequence, true, none, Step::Stop}, {SMTPMail::MailFromRefused, false, none, Step::Stop},
        {SMTPMail::NoConnect, false, none, Step::Stop}, {SMTPMail::Cancelled, false, late, Step::TryNext},
        {SMTPMail::WriteFailed, true, none, Step::Stop},
    };
    for (const auto &row : judged)
        EXPECT_EQ(VerifierPolicy::judge(row.result, row.authAsked, row.facts), row.step) << row.result;
}

TEST_F(VerifierTest, NeverSendsThePasswordOnThePlainPortOfAnEncryptedAccount)
{
    FakeSmtpServer plain; // offers AUTH, not STARTTLS
    const QString closed = port(FakeSmtpServer::closedPort());
    const QList<VerifierCandidate> fallbacks{{closed, 1}, {port(plain.port()), 2}, {closed, 2},
                                             {port(plain.port()), 0}, {closed, 0}};
    const VerifierResult result = verify(settingsFor(closed, 2, true), fallbacks);
    EXPECT_EQ(result.kind, VerifierResult::Wrong);
    EXPECT_EQ(result.attempts, 3); // its own pair, then 465 and 25 with encryption
    EXPECT_EQ(plain.sessions().size(), 1u) << "only the STARTTLS pair reached it";
    EXPECT_EQ(sessionsWith(plain, "AUTH"), 0);

    // An account that is unencrypted itself may be told of another plain port.
    const VerifierResult plainAccount = verify(settingsFor(closed, 0, true), fallbacks);
    EXPECT_EQ(plainAccount.kind, VerifierResult::Fixed);
    EXPECT_EQ(plainAccount.working, (VerifierCandidate{port(plain.port()), 0}));
    EXPECT_EQ(sessionsWith(plain, "AUTH"), 1);
}

TEST_F(VerifierTest, StopsWhereTryingOnWouldRepeatThePassword)
{
    TrustedCertificate trust(PeerCertificate::OtherName);
    const struct {
        const char *what;
        FakeSmtpServer::Handler own;
        FakeServerOptions options;
        int encryption;
        int attempts;
        bool fallbackReached;
        VerifierResult::Kind kind;
        const char *reason;
    } rows[] = {
        {"password refused", SmtpScript().hello().on("535 5.7.8 bad credentials\r\n"), {}, 0, 1, false,
         VerifierResult::Wrong, "535 5.7.8 bad credentials"},
        {"sender refused", SmtpScript().hello().on("235 ok\r\n").on("553 5.7.1 not yours\r\n"), {}, 0, 1, false,
         VerifierResult::Wrong, "553 5.7.1 not yours"},
        {"certificate for another name", {}, {{"127.0.0.1"}, true, PeerCertificate::OtherName}, 1, 1, false,
         VerifierResult::Wrong, "certificate"},
        {"greeting refused", SmtpScript().send("554 5.3.2 not now\r\n"), {}, 0, 2, true, VerifierResult::Fixed, ""},
        {"connection dropped", SmtpScript().close(), {}, 0, 2, true, VerifierResult::Fixed, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        FakeSmtpServer own = row.own ? FakeSmtpServer(row.own, row.options) : FakeSmtpServer(row.options);
        FakeSmtpServer fallback(FakeServerOptions{{"127.0.0.1"}, row.encryption == 1, PeerCertificate::Localhost});
        const VerifierResult result =
            verify(settingsFor(port(own.port()), row.encryption, true), {{port(fallback.port()), row.encryption}});
        EXPECT_EQ(result.kind, row.kind);
        EXPECT_EQ(result.attempts, row.attempts);
        EXPECT_TRUE(result.reason.contains(QString::fromLatin1(row.reason))) << result.reason.toStdString();
        EXPECT_FALSE(result.reason.contains("pw")) << "the password never shows";
        EXPECT_EQ(fallback.stop() > 0, row.fallbackReached);
    }
}

TEST_F(VerifierTest, AServerThatAsksForStartTlsFirstIsTriedWithItOnTheSamePort)
{
    TrustedCertificate trust(PeerCertificate::Localhost);
    const QByteArray demand = "530 5.7.0 Must issue a STARTTLS command first";
    // Takes the sender only after STARTTLS, when it is willing to give it.
    const auto server = [&demand](bool startTlsWorks) {
        return [&demand, startTlsWorks](FakeSmtpServer::Conn &conn) {
            bool secure = false;
            conn.send("220 fake.test ESMTP\r\n");
            while (const std::optional<QByteArray> line = conn.readLine()) {
                if (line->startsWith("EHLO")) {
                    conn.send(secure ? "250-fake.test\r\n250 8BITMIME\r\n" : "250-fake.test\r\n250 STARTTLS\r\n");
                } else if (line->startsWith("STARTTLS") && startTlsWorks) {
                    conn.send("220 go ahead\r\n");
                    if (!conn.startTls())
                        return;
                    secure = true;
                } else if (line->startsWith("MAIL FROM")) {
                    conn.send((secure ? QByteArray("250 ok\r\n") : demand + "\r\n").toStdString());
                } else if (line->startsWith("QUIT")) {
                    conn.send("221 bye\r\n");
                    return;
                } else {
                    conn.send("502 no\r\n");
                }
            }
        };
    };
    const QString closed = port(FakeSmtpServer::closedPort());
    SMTPAccountVerifier::setDefaultFallbacks(QList<VerifierCandidate>{{closed, 1}});
    const struct {
        bool startTlsWorks;
        const char *title;
    } rows[] = {{true, "Settings changed"}, {false, "Settings are incorrect"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.title);
        FakeSmtpServer fake(server(row.startTlsWorks));
        alerts.shown.clear();
        QWidget window;
        auto *pane = new SMTPSettingsView(&window);
        pane->setAccountData(accountFor(port(fake.port()), 0, false));
        pane->verifySettings();
        ASSERT_TRUE(waitFor([&] { return !alerts.shown.isEmpty(); }));
        EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("accountVerifier", row.title));
        // What the server asked for is named, not a refused sender.
        EXPECT_TRUE(alerts.shown[0].text.contains(QString::fromLatin1(demand))) << alerts.shown[0].text.toStdString();
        EXPECT_FALSE(alerts.shown[0].text.contains(Localizer::localizedString("smtpErrors", "smtp_err_badrcptreply")));
        // STARTTLS on the same port came next, before the other pairs.
        ASSERT_GE(fake.sessions().size(), 2u);
        EXPECT_TRUE(fake.sessions()[1].saw("STARTTLS"));
        if (row.startTlsWorks) {
            EXPECT_EQ(pane->form().fields().port, port(fake.port()));
            EXPECT_EQ(pane->form().fields().encryption, SmtpAccountForm::StartTls);
        }
    }
}

TEST_F(VerifierTest, APairThatDidNotAuthenticateIsNoSuccess)
{
    FakeSmtpServer noAuth(SmtpScript().hello("SIZE 1000").on("250 ok\r\n"));
    FakeSmtpServer alsoNoAuth(SmtpScript().hello("SIZE 1000").on("250 ok\r\n"));
    const VerifierResult result = verify(settingsFor(port(noAuth.port()), 0, true), {{port(alsoNoAuth.port()), 0}});
    EXPECT_EQ(result.kind, VerifierResult::Wrong);
    EXPECT_EQ(result.why, VerifierResult::NoAuthentication);

    FakeSmtpServer noAuthAgain(SmtpScript().hello("SIZE 1000").on("250 ok\r\n"));
    FakeSmtpServer willing;
    const VerifierResult fixed = verify(settingsFor(port(noAuthAgain.port()), 0, true), {{port(willing.port()), 0}});
    EXPECT_EQ(fixed.kind, VerifierResult::Fixed);
}

TEST_F(VerifierTest, SlowServersRunOutOfTheirTime)
{
    const auto slow = SmtpScript().pause(3000).send("220 late\r\n");
    FakeSmtpServer first(slow), second(slow), third(slow);
    VerifierLimits limits;
    limits.replyTimeout = std::chrono::seconds(2);
    limits.attempt = std::chrono::milliseconds(400);
    limits.total = std::chrono::milliseconds(1000);
    const VerifierResult result =
        verify(settingsFor(port(first.port()), 0, false), {{port(second.port()), 0}, {port(third.port()), 0}}, limits);
    EXPECT_EQ(result.kind, VerifierResult::Wrong);
    EXPECT_EQ(result.why, VerifierResult::OutOfTime);
    EXPECT_LE(result.attempts, 3);
}

TEST_F(VerifierTest, CancelClosesAtOnceAndWinsOverAResult)
{
    StalledListener tarpit;
    QWidget window;
    auto *pane = new SMTPSettingsView(&window);
    pane->setAccountData(accountFor(port(tarpit.port()), 0, false));
    SMTPAccountVerifier::setDefaultFallbacks(QList<VerifierCandidate>{});
    pane->verifySettings();
    QPointer<SMTPAccountVerifier> sheet = window.findChild<SMTPAccountVerifier *>();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->progIndicator()->maximum(), 0);
    sheet->cancelButton()->click();
    EXPECT_FALSE(sheet && sheet->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(sheet);
    VerifierRun::cancelAndJoinAll();
    EXPECT_EQ(VerifierRun::workerCount(), 0);

    // A result already on its way when Cancel comes is dropped.
    FakeSmtpServer willing;
    int handled = 0;
    const auto run = VerifierRun::start(settingsFor(port(willing.port()), 0, false), {}, {},
                                        [&](const VerifierResult &) { ++handled; });
    // Waits without running the event loop, which would deliver the result.
    QElapsedTimer timer;
    timer.start();
    while (!run->hasResult() && timer.elapsed() < 20000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(run->hasResult());
    run->cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(alerts.shown.isEmpty());
}

TEST_F(VerifierTest, WorkingSettingsReachThePaneUnlessItIsGone)
{
    FakeSmtpServer willing;
    const QString closed = port(FakeSmtpServer::closedPort());
    SMTPAccountVerifier::setDefaultFallbacks(QList<VerifierCandidate>{{port(willing.port()), 0}});
    for (const bool paneStays : {true, false}) {
        SCOPED_TRACE(paneStays ? "pane stays" : "pane gone");
        alerts.shown.clear();
        QWidget window;
        QPointer<SMTPSettingsView> pane = new SMTPSettingsView(&window);
        pane->setAccountData(accountFor(closed, 0, false));
        pane->verifySettings();
        if (!paneStays)
            delete pane;
        ASSERT_TRUE(waitFor([&] { return !alerts.shown.isEmpty(); }));
        EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("accountVerifier", "Settings changed"));
        EXPECT_TRUE(alerts.shown[0].text.contains(Localizer::localizedString("accountVerifier", "Port change")
                                                      .arg(closed, port(willing.port()))));
        EXPECT_EQ(alerts.shown[0].window, &window);
        if (paneStays) {
            EXPECT_EQ(pane->form().fields().port, port(willing.port()));
        }
    }
}

TEST_F(VerifierTest, APasswordIsAskedForWhenNoneIsStored)
{
    FakeSmtpServer willing;
    QWidget window;
    SMTPSettingsView pane(&window);
    pane.setAccountData(accountFor(port(willing.port()), 0, true));
    ASSERT_TRUE(pane.form().fields().password.isEmpty());

    EXPECT_EQ(keychain->reads, 1); // showing the pane looked
    auto prompter = std::make_shared<FakePrompter>();
    PasswordPrompter::setDefault(prompter);
    pane.verifySettings(); // cancelled
    EXPECT_EQ(prompter->asked, 1);
    EXPECT_EQ(prompter->askedFor, "127.0.0.1 ann");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window.findChild<SMTPAccountVerifier *>());

    prompter->answer = QStringLiteral("pw");
    pane.verifySettings();
    ASSERT_TRUE(waitFor([&] { return !alerts.shown.isEmpty(); }));
    EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("accountVerifier", "Settings are correct"));
    EXPECT_EQ(alerts.shown[0].kind, RecordingAlertPresenter::Information) << "a success is no warning";
    EXPECT_EQ(sessionsWith(willing, "AUTH PLAIN " + QByteArray("\0ann\0pw", 7).toBase64()), 1);

    // Nobody to ask: the user is told why nothing was tried.
    PasswordPrompter::setDefault(nullptr);
    alerts.shown.clear();
    pane.verifySettings();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].title, Localizer::localizedString("accountVerifier", "No password"));

    // Without authentication the keychain is not asked at all.
    const int reads = keychain->reads;
    SMTPSettingsView open(&window);
    open.setAccountData(accountFor(port(willing.port()), 0, false));
    alerts.shown.clear();
    open.verifySettings();
    ASSERT_TRUE(waitFor([&] { return !alerts.shown.isEmpty(); }));
    EXPECT_EQ(keychain->reads, reads);
}

TEST_F(VerifierTest, QuittingCancelsAndJoinsTheWorker)
{
    StalledListener tarpit;
    QWidget window;
    SMTPSettingsView pane(&window);
    pane.setAccountData(accountFor(port(tarpit.port()), 0, false));
    SMTPAccountVerifier::setDefaultFallbacks(QList<VerifierCandidate>{});
    pane.verifySettings();
    EXPECT_EQ(VerifierRun::workerCount(), 1);
    EXPECT_TRUE(MyApplication::prepareQuit());
    EXPECT_EQ(VerifierRun::workerCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(alerts.shown.isEmpty());
}
