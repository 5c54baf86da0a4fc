// The SMTP client against a real Postfix on loopback (started around this
// program by run-postfix-test.sh): every encryption mode with both AUTH
// mechanisms, the port that requires STARTTLS, certificate checks, and a
// large message with its whole part tree, each delivered file read back with
// Python's email package. Then the SMTP handler (password from the keychain
// or the prompt, pausing) and the hand-off script through Postfix's sendmail.
#include "../FakePrompter.h"
#include "DeliveredMail.h"
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "MailHandler_script.h"
#include "MailHandler_smtp.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "SMTPMail.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>

// Readable failure messages.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString Login = "tester@test.example";
const QString Password = "secret";

struct Mode {
    const char *name;
    int encryption;
    const char *portVariable;
    [[nodiscard]] int port() const { return qEnvironmentVariableIntValue(portVariable); }
};
const Mode Plain{"plain", 0, "CORV_SMTP_PLAIN_PORT"};
const Mode StartTls{"starttls", 2, "CORV_SMTP_PLAIN_PORT"};
const Mode Smtps{"smtps", 1, "CORV_SMTP_SMTPS_PORT"};
const Mode Submission{"submission", 2, "CORV_SMTP_SUBMISSION_PORT"};
const Mode OtherName{"other name", 1, "CORV_SMTP_OTHERNAME_PORT"};

// "ESMTP", "ESMTPA" (authenticated), "ESMTPS" (TLS), "ESMTPSA" (both), as
// Postfix notes it in its Received header, and the queue ID after it.
QString receivedWith(const QJsonObject &message, int group = 1)
{
    return QRegularExpression(R"(with (ESMTP\w*) id (\w+))")
        .match(message["received"].toArray().first().toString())
        .captured(group);
}

// The server's log, from its first line that matches pattern (which holds
// the message's queue ID in place of %1); empty when none shows in time.
QStringList logFrom(const QJsonObject &message, const QString &pattern)
{
    const QString queueId = receivedWith(message, 2);
    const QRegularExpression wanted(pattern.arg(queueId));
    QElapsedTimer timer;
    timer.start();
    while (!queueId.isEmpty() && timer.elapsed() < 10000) {
        QFile log(postfixFile("log/maillog"));
        const QStringList lines = log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).split('\n') : QStringList();
        for (int i = 0; i < lines.size(); ++i) {
            if (wanted.match(lines[i]).hasMatch())
                return lines.mid(0, i + 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

// The SASL mechanism the server logged for the session that took the message.
QString saslMethodOf(const QJsonObject &message)
{
    const QStringList lines = logFrom(message, "%1: client=");
    return QRegularExpression(R"(sasl_method=(\w+))").match(lines.isEmpty() ? QString() : lines.last()).captured(1);
}

// Where in the log the session that took the message began (its smtpd's
// last "connect from"): two messages of one connection give the same line.
qsizetype sessionOf(const QJsonObject &message)
{
    const QStringList lines = logFrom(message, R"(smtpd\[\d+\]: %1: client=)");
    const QString smtpd = QRegularExpression(R"(smtpd\[\d+\])").match(lines.value(lines.size() - 1)).captured(0);
    for (qsizetype i = lines.size() - 1; i >= 0 && !smtpd.isEmpty(); --i) {
        if (lines[i].contains(smtpd + ": connect from"))
            return i;
    }
    return -1;
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString writeFile(const QTemporaryDir &folder, const QString &name, const QByteArray &content)
{
    QFile file(folder.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(content), content.size());
    return file.fileName();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// To one recipient, and with blindCopy to a second one that the delivered
// copies must not show.
MailMessage testMessage(const QString &tag, bool blindCopy = false)
{
    MailMessage message;
    message.setFrom("Test Sender <sender@test.example>");
    message.setTo("Jörg Empfänger <rcpt@dest.example>");
    if (blindCopy)
        message.setBCC({"hidden@dest.example"});
    message.setSubject("Grüße " + tag);
    message.setMessageID(MailHelper::createMessageID("corvtest", "test.example"));
    message.setPriority(3);
    message.setPlainBody("Hello " + tag + "\n.a line that begins with a dot\n.\nÄrger über Öl\n");
    return message;
}

// What every delivered copy must show whatever else it holds.
void checkCommon(const QJsonObject &copy, const MailMessage &message, const QString &protocol = "ESMTPSA")
{
    EXPECT_EQ(copy["subject"].toString(), message.subject());
    EXPECT_EQ(copy["messageId"].toString(), "<" + message.messageID() + ">");
    EXPECT_FALSE(copy["hasBcc"].toBool());
    EXPECT_TRUE(copy["defects"].toArray().isEmpty()) << QJsonDocument(copy).toJson().toStdString();
    EXPECT_LE(copy["longestLine"].toInt(), 998);
    EXPECT_EQ(receivedWith(copy), protocol);
    EXPECT_EQ(copy["parts"].toArray().first()["content"].toString(), message.plainBody());
}

// Sends a message with a blind copy and checks both delivered copies.
void sendAndCheck(SMTPMail &mail, const QString &tag, const QString &protocol)
{
    const MailMessage message = testMessage(tag, true);
    ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
    const QList<QJsonObject> copies = delivered(message.messageID(), 2);
    for (const QJsonObject &copy : copies) {
        checkCommon(copy, message, protocol);
        EXPECT_EQ(copy["tree"].toString(), "text/plain");
        EXPECT_TRUE(copy["to"].toString().contains("Jörg Empfänger")) << copy["to"].toString().toStdString();
        EXPECT_TRUE(copy["to"].toString().contains("<rcpt@dest.example>"));
        EXPECT_TRUE(copy["from"].toString().contains("<sender@test.example>"));
    }
    EXPECT_EQ(deliveredTo(copies), QStringList({"hidden@dest.example", "rcpt@dest.example"}));
}

void configure(SMTPMail &mail, const Mode &mode, bool authenticate, const QString &password = Password)
{
    mail.setServer("127.0.0.1");
    mail.setPort(QString::number(mode.port()));
    mail.setTimeout(20);
    mail.setEncryption(mode.encryption);
    mail.setAuthentication(authenticate ? 1 : 0);
    mail.setLogin(Login);
    mail.setPassword(password);
}

// A STARTTLS account whose password comes from the keychain or the prompter.
std::unique_ptr<MailHandler_smtp> smtpHandler(const std::shared_ptr<FakePrompter> &prompter, const QVariantMap &extra = {})
{
    QVariantMap account{{"accountType", "smtp"}, {"mailFromAddress", "sender@test.example"},
                        {"smtpServer", "127.0.0.1"}, {"smtpPort", QString::number(StartTls.port())},
                        {"smtpLogin", Login}, {"smtpAuthType", "1"}, {"useTLS", "1"}};
    account.insert(extra);
    auto handler = std::make_unique<MailHandler_smtp>();
    handler->setPasswordPrompter(prompter);
    handler->setConnectionData(account);
    return handler;
}

} // namespace

TEST(SmtpPostfix, EveryPortTakesMailInItsMode)
{
    ASSERT_FALSE(qEnvironmentVariable("CORV_PF_DIR").isEmpty()) << "run through run-postfix-test.sh";
    // The other modes with AUTH: EveryModeWithEveryMechanism.
    for (const auto &[mode, authenticate, protocol] :
         {std::tuple{Plain, false, "ESMTP"}, std::tuple{Submission, true, "ESMTPSA"}}) {
        SCOPED_TRACE(std::string(mode.name) + " " + protocol);
        SMTPMail mail;
        configure(mail, mode, authenticate);
        ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
        if (authenticate) {
            EXPECT_EQ(mail.session().auth_mechanisms, SMTP_Session::AuthPlain | SMTP_Session::AuthLogin);
        }
        sendAndCheck(mail, mode.name, protocol);
    }

    // In plain text the submission port offers no AUTH, so the password is
    // never sent, and it takes no mail.
    SMTPMail plain;
    configure(plain, {"plain submission", 0, Submission.portVariable}, true);
    ASSERT_EQ(plain.connect(), 0);
    EXPECT_EQ(plain.session().auth_mechanisms, 0);
    EXPECT_EQ(plain.sendMailMessage(testMessage("refused")), 14);
    EXPECT_TRUE(plain.getErrorDesc(14).contains("Server Reply Num: 530"));

    // Plain text to the TLS port: the server waits for a handshake, no
    // greeting comes.
    SMTPMail waiting;
    configure(waiting, {"plain to smtps", 0, Smtps.portVariable}, false);
    waiting.setTimeout(1);
    EXPECT_EQ(waiting.connect(), 5);
}

// Every encryption mode with AUTH PLAIN and AUTH LOGIN, each checked in the
// server's log; a wrong password fails with 12 in each of them and shows in
// no error text.
TEST(SmtpPostfix, EveryModeWithEveryMechanism)
{
    struct Sent {
        QString label;
        MailMessage message;
        const char *protocol;
        QString mechanism;
    };
    QList<Sent> sent;
    for (const Mode &mode : {Plain, Smtps, StartTls}) {
        for (const QString mechanism : {"PLAIN", "LOGIN"}) {
            const QString label = QString("%1/%2").arg(mode.name, mechanism);
            SCOPED_TRACE(label.toStdString());
            SMTP_Session session;
            session.encryption = mode.encryption;
            session.timeoutTime = 20;
            ASSERT_EQ(smtp_connect(session, "127.0.0.1", uint16_t(mode.port())), 0) << session.lastReply;
            ASSERT_EQ(mechanism == "PLAIN" ? smtp_auth_plain(session, QByteArray(), Login.toUtf8(), Password.toUtf8())
                                           : smtp_auth_login(session, Login.toUtf8(), Password.toUtf8()),
                      0)
                << session.lastReply;
            const MailMessage message = testMessage(label);
            ASSERT_EQ(smtp_send_from(session, "sender@test.example"), 0);
            ASSERT_EQ(smtp_send_to(session, "rcpt@dest.example"), 0);
            ASSERT_EQ(smtp_start_data(session), 0);
            ASSERT_EQ(smtp_send_text(session, message.mailSMTPData().toLatin1()), 0);
            ASSERT_EQ(smtp_end_mail(session), 0) << session.lastReply;
            smtp_disconnect(session);
            sent.append({label, message, mode.encryption == 0 ? "ESMTPA" : "ESMTPSA", mechanism});
        }
        SMTPMail wrong;
        configure(wrong, mode, true, "not the password");
        EXPECT_EQ(wrong.connect(), 12) << mode.name;
        EXPECT_FALSE(wrong.getErrorDesc(12).contains("not the password"));
        EXPECT_FALSE(wrong.isConnected());
    }
    for (const Sent &one : sent) {
        SCOPED_TRACE(one.label.toStdString());
        const QJsonObject copy = delivered(one.message.messageID(), 1).value(0);
        checkCommon(copy, one.message, one.protocol);
        EXPECT_EQ(saslMethodOf(copy), one.mechanism);
    }
}

// The server's certificate (signed by the test CA, naming localhost and
// 127.0.0.1) is accepted only where the trust store holds that CA and only
// for the names it carries. Anything else must fail the TLS handshake with
// 17 before a password is sent: an unverified server could read the
// account's password and every message.
TEST(SmtpPostfix, CertificateChecks)
{
    struct Row {
        const char *store; // nullptr: the system's own
        Mode mode;
        const char *server;
        int result;
    };
    const Row rows[] = {
        {"tls/ca.pem", Smtps, "localhost", 0},           {"tls/ca.pem", StartTls, "127.0.0.1", 0},
        {"tls/ca.pem", OtherName, "127.0.0.1", 17},      {"tls/other-ca.pem", Smtps, "127.0.0.1", 17},
        {"tls/other-ca.pem", StartTls, "localhost", 17}, {nullptr, Smtps, "127.0.0.1", 17},
        {nullptr, StartTls, "127.0.0.1", 17},
    };
    const QByteArray testCa = qgetenv("SSL_CERT_FILE");
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.mode.name) + " to " + row.server + ", store " + (row.store ? row.store : "system"));
        if (row.store)
            qputenv("SSL_CERT_FILE", QFile::encodeName(postfixFile(row.store)));
        else
            qunsetenv("SSL_CERT_FILE");
        SMTPMail checked;
        configure(checked, row.mode, true);
        checked.setServer(row.server);
        const int result = checked.connect();
        EXPECT_EQ(result, row.result) << checked.getErrorDesc(result).toStdString();
        EXPECT_EQ(checked.isConnected(), row.result == 0);
        if (row.result) {
            const QString text = checked.getErrorDesc(result);
            EXPECT_TRUE(text.contains("\nReason: ")) << text.toStdString();
            EXPECT_FALSE(text.contains(Password));
        }
    }
    qputenv("SSL_CERT_FILE", testCa);
}

// 5 MB of random bytes through STARTTLS, after a plain message on the same
// connection, and an HTML body with an inline image: the whole part tree,
// each payload byte for byte and the headers decoded back to what was set.
TEST(SmtpPostfix, LargeMessageWithItsWholePartTree)
{
    QTemporaryDir folder;
    const QByteArray large = randomBytes(5 * 1024 * 1024, 20240611);
    const QByteArray image = randomBytes(3000, 7);
    const QByteArray document = randomBytes(64 * 1024 + 1, 11);

    MailMessage message;
    message.setFrom("\"Müller, Anna\" <anna@test.example>");
    message.setTo("Zoë O'Brien-Łukasiewicz <zoe@dest.example>");
    message.setSubject("Große Datei: 5 MB für Zoë — ein sehr langer Betreff, der gefaltet werden muss, 😀 "
                       "mit =?iso-8859-1?q?kein_Wort?= darin");
    message.setMessageID(MailHelper::createMessageID("corvlarge", "test.example"));
    message.setPlainBody("Anbei die Datei.\n\nZeile mit Umlauten: äöü ÄÖÜ ß €\n.\n");
    message.setFormattedBody("<html><body><p>Anbei die Datei.</p><img alt=\"Logo\"><p>€ ß</p></body></html>");
    ASSERT_TRUE(message.addHTMLAttachment(writeFile(folder, "logo.png", image)));
    ASSERT_TRUE(message.addAttachment(writeFile(folder, "archive.bin", large)));
    ASSERT_TRUE(message.addAttachment(writeFile(folder, "Bericht über Öl.pdf", document)));

    SMTPMail mail;
    configure(mail, StartTls, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    const MailMessage first = testMessage("before the large one");
    ASSERT_EQ(mail.sendMailMessage(first), 0) << mail.getErrorDesc(-1).toStdString();
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
    // A fixed pause per written block would show here long before a timeout.
    EXPECT_LT(timer.elapsed(), 15000);
    mail.disconnect();

    const QJsonObject copy = delivered(message.messageID(), 1).value(0);
    checkCommon(copy, message);
    EXPECT_EQ(sessionOf(copy), sessionOf(delivered(first.messageID(), 1).value(0)));
    EXPECT_EQ(copy["tree"].toString(),
              "multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,image/png)),"
              "application/octet-stream,application/pdf)");
    EXPECT_EQ(copy["fromAddresses"].toArray().first().toObject(),
              QJsonObject({{"name", "Müller, Anna"}, {"address", "anna@test.example"}}));
    EXPECT_EQ(copy["toAddresses"].toArray().first().toObject(),
              QJsonObject({{"name", "Zoë O'Brien-Łukasiewicz"}, {"address", "zoe@dest.example"}}));

    const QJsonArray parts = copy["parts"].toArray();
    ASSERT_EQ(parts.size(), 5);
    EXPECT_EQ(parts[1]["content"].toString(), message.formattedBody());
    EXPECT_EQ(parts[2]["disposition"].toString(), "inline");
    EXPECT_FALSE(parts[2]["contentId"].toString().isEmpty());
    EXPECT_EQ(parts[2]["sha256"].toString(), sha256(image));
    EXPECT_EQ(parts[3]["filename"].toString(), "archive.bin");
    EXPECT_EQ(parts[3]["size"].toInt(), large.size());
    EXPECT_EQ(parts[3]["sha256"].toString(), sha256(large));
    EXPECT_EQ(parts[4]["filename"].toString(), "Bericht über Öl.pdf");
    EXPECT_EQ(parts[4]["sha256"].toString(), sha256(document));
}

// Domains outside ASCII go in the envelope in their ASCII form (Postfix
// refuses raw UTF-8 without SMTPUTF8: "501 5.1.7 Bad sender address
// syntax"); line breaks in names are spaces; an address that has no ASCII
// form fails its message with its cause and leaves the connection usable.
TEST(SmtpPostfix, InternationalDomainsAndNamesWithLineBreaks)
{
    MailMessage message = testMessage("idn");
    message.setFrom("Jürgen\r\nVidav <juergen@bücher.test>");
    message.setTo("Anna\nSmith <anna@exämple.test>");
    message.setBCC({"o@пример.test"});

    SMTPMail mail;
    configure(mail, Plain, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    MailMessage local = testMessage("idn local part");
    local.setBCC({"jörg@dest.example"});
    EXPECT_EQ(mail.sendMailMessage(local), 1);
    EXPECT_TRUE(mail.getErrorDesc(1).contains("non-ASCII characters before")) << mail.getErrorDesc(1).toStdString();
    ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
    mail.disconnect();

    const QList<QJsonObject> copies = delivered(message.messageID(), 2);
    EXPECT_EQ(deliveredTo(copies), QStringList({"anna@xn--exmple-cua.test", "o@xn--e1afmkfd.test"}));
    for (const QJsonObject &copy : copies) {
        checkCommon(copy, message, "ESMTPA");
        EXPECT_EQ(copy["fromAddresses"].toArray().first().toObject(),
                  QJsonObject({{"name", "Jürgen Vidav"}, {"address", "juergen@xn--bcher-kva.test"}}));
        EXPECT_EQ(copy["toAddresses"].toArray().first().toObject(),
                  QJsonObject({{"name", "Anna Smith"}, {"address", "anna@xn--exmple-cua.test"}}));
    }
}

TEST(SmtpPostfix, HandlerWithPasswordFromKeychainOrPromptPausesAndReconnects)
{
    auto store = std::make_shared<KeychainMemoryBackend>();
    Keychain::setBackend(store);
    ASSERT_TRUE(Keychain::setKeychainServer("127.0.0.1", Login, Password));
    auto prompter = std::make_shared<FakePrompter>();
    MailHandler_smtp::setDelayMailCounter(0);
    auto handler = smtpHandler(prompter, {{"delayEnabled", "1"}, {"delayMails", "2"}, {"delayTime", "0.5"}});
    const auto setup = handler->setup(nullptr, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->value("password").toString(), Password);
    EXPECT_EQ(prompter->asked, 0);

    ASSERT_EQ(handler->connect(), 0) << handler->getErrorDesc(0).toStdString();
    QList<MailMessage> messages;
    QList<qint64> took;
    for (int i = 0; i < 3; ++i) {
        messages.append(testMessage(QStringLiteral("handler-pause-%1").arg(i)));
        messages.last().setMessageID(handler->newMessageID());
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(handler->sendMessage(messages.last()), 0) << handler->getErrorDesc(-1).toStdString();
        took.append(timer.elapsed());
    }
    handler->disconnect();
    EXPECT_LT(took[1], 500);
    EXPECT_GE(took[2], 500); // the pause came before the third
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 1);
    QList<qsizetype> sessions;
    for (const MailMessage &message : messages) {
        EXPECT_TRUE(message.messageID().endsWith("@127.0.0.1")) << message.messageID().toStdString();
        const QJsonObject copy = delivered(message.messageID(), 1).value(0);
        checkCommon(copy, message);
        sessions.append(sessionOf(copy));
    }
    EXPECT_GE(sessions.value(0), 0);
    EXPECT_EQ(sessions.value(0), sessions.value(1));
    EXPECT_GT(sessions.value(2), sessions.value(1)) << "no new connection after the pause";

    // Nothing in the keychain: the prompt's answer is used and not stored;
    // a wrong one shows in no error text, plain or encoded.
    const auto empty = std::make_shared<KeychainMemoryBackend>();
    Keychain::setBackend(empty);
    for (const QString &answer : {Password, QString("Wr0ng-Pass!")}) {
        SCOPED_TRACE(answer.toStdString());
        prompter->answer = answer;
        auto asking = smtpHandler(prompter);
        ASSERT_TRUE(asking->setup(nullptr, std::nullopt).has_value());
        EXPECT_EQ(prompter->askedFor, "127.0.0.1 " + Login);
        const int connected = asking->connect();
        const QString text = asking->getErrorDesc(connected);
        if (answer == Password) {
            ASSERT_EQ(connected, 0) << text.toStdString();
            MailMessage message = testMessage("handler-prompt");
            message.setMessageID(asking->newMessageID());
            ASSERT_EQ(asking->sendMessage(message), 0) << asking->getErrorDesc(-1).toStdString();
            checkCommon(delivered(message.messageID(), 1).value(0), message);
        } else {
            EXPECT_NE(connected, 0);
            EXPECT_FALSE(text.contains(answer)
                         || text.contains(QString::fromLatin1(('\0' + Login + '\0' + answer).toUtf8().toBase64())))
                << text.toStdString();
        }
        asking->disconnect();
    }
    EXPECT_EQ(empty->itemCount(), 0);
    Keychain::setBackend(nullptr);
}

TEST(SmtpPostfix, HandOffScriptThroughPostfixSendmail)
{
    if (!QFileInfo(QStringLiteral("/usr/sbin/sendmail")).isExecutable())
        GTEST_SKIP() << "no /usr/sbin/sendmail";
    QTemporaryDir folder;
    const QString wrapper =
        writeFile(folder, "sendmail", "#!/bin/sh\nexec /usr/sbin/sendmail -C \"$CORV_PF_DIR/etc\" \"$@\"\n");
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("CORVANTILINE_SENDMAIL", QFile::encodeName(wrapper));

    // The script makes a Message-ID of its own: the subject carries the
    // marker. The second body is far beyond what one program argument may hold.
    MailMessage message = testMessage("hand-off", true);
    message.setSubject("Hand-off " + message.messageID());
    ASSERT_TRUE(message.addAttachment(writeFile(folder, "liste.txt", "name;city\nJörg;Köln\n")));
    MailMessage large = testMessage("hand-off large");
    large.setSubject("Hand-off " + large.messageID());
    large.setPlainBody(QStringLiteral("Eine Zeile mit Umlauten äöü und einem Punkt.\n.\n").repeated(20000));
    MailHandler_script handler;
    ASSERT_EQ(handler.sendMessage(message), 0) << handler.getErrorDesc(MailHandler_script::Failed).toStdString();
    ASSERT_EQ(handler.sendMessage(large), 0) << handler.getErrorDesc(MailHandler_script::Failed).toStdString();
    qunsetenv("CORVANTILINE_SENDMAIL");

    const QList<QJsonObject> copies = delivered(message.messageID(), 2);
    for (const QJsonObject &copy : copies) {
        EXPECT_EQ(copy["subject"].toString(), message.subject());
        EXPECT_FALSE(copy["hasBcc"].toBool());
        EXPECT_TRUE(copy["defects"].toArray().isEmpty()) << QJsonDocument(copy).toJson().toStdString();
        const QJsonArray parts = copy["parts"].toArray();
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(parts[0]["content"].toString(), message.plainBody());
        EXPECT_EQ(parts[1]["filename"].toString(), "liste.txt");
        EXPECT_EQ(parts[1]["sha256"].toString(), sha256("name;city\nJörg;Köln\n"));
    }
    EXPECT_EQ(deliveredTo(copies), QStringList({"hidden@dest.example", "rcpt@dest.example"}));
    const QJsonObject largeCopy = delivered(large.messageID(), 1).value(0);
    EXPECT_EQ(largeCopy["parts"].toArray().first()["content"].toString(), large.plainBody());
}
