// The SMTP client against a real Postfix on loopback (started around this
// program by run-postfix-test.sh): every encryption mode with both AUTH
// mechanisms, certificate checks, several messages on one connection and a
// large attachment, each delivered file read back with Python's email
// package. Then the SMTP handler (password from the keychain or the prompt,
// pausing) and the hand-off script through Postfix's own sendmail.
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "MailHandler_script.h"
#include "MailHandler_smtp.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "PasswordPrompter.h"
#include "SMTPMail.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>
#include <thread>

// Readable failure messages.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString Login = "tester@test.example";
const QString Password = "secret";

int portFromEnvironment(const char *name)
{
    return qEnvironmentVariableIntValue(name);
}
int plainPort() { return portFromEnvironment("CORV_SMTP_PLAIN_PORT"); }
int submissionPort() { return portFromEnvironment("CORV_SMTP_SUBMISSION_PORT"); }
int smtpsPort() { return portFromEnvironment("CORV_SMTP_SMTPS_PORT"); }
int otherNamePort() { return portFromEnvironment("CORV_SMTP_OTHERNAME_PORT"); }

QString postfixFile(const QString &relative)
{
    return qEnvironmentVariable("CORV_PF_DIR") + '/' + relative;
}

// One JSON object for each file, in the order given.
QList<QJsonObject> parsedMessages(const QStringList &paths)
{
    if (paths.isEmpty())
        return {};
    QProcess python;
    python.start("python3", QStringList{qEnvironmentVariable("CORV_PF_CHECK_SCRIPT")} + paths);
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 could not read " << paths.join(' ').toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    QList<QJsonObject> result;
    for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    }
    EXPECT_EQ(result.size(), paths.size());
    return result;
}

// The delivered files whose header holds `marker`, once `count` of them
// have arrived (delivery runs after the server's 250).
QStringList deliveredFiles(const QString &marker, int count)
{
    const QDir inbox(postfixFile("mail/inbox/new"));
    QElapsedTimer timer;
    timer.start();
    QStringList found;
    while (timer.elapsed() < 60000) {
        found.clear();
        for (const QString &name : inbox.entryList(QDir::Files, QDir::Name)) {
            // The markers are in the header: large files need not be read whole.
            QFile file(inbox.filePath(name));
            if (file.open(QIODevice::ReadOnly) && file.read(64 * 1024).contains(marker.toUtf8()))
                found.append(file.fileName());
        }
        if (found.size() >= count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(found.size(), count) << "copies of " << marker.toStdString();
    return found;
}

QList<QJsonObject> delivered(const QString &marker, int count)
{
    return parsedMessages(deliveredFiles(marker, count));
}

QString receivedLine(const QJsonObject &message)
{
    return message["received"].toArray().first().toString();
}

// "ESMTP", "ESMTPA" (authenticated), "ESMTPS" (TLS), "ESMTPSA" (both), as
// Postfix notes it in its Received header.
QString protocolOf(const QJsonObject &message)
{
    return QRegularExpression(R"(with (ESMTP\w*) id)").match(receivedLine(message)).captured(1);
}

// The SASL mechanism the server logged for the session that took the
// message, found through the queue ID of its Received header.
QString saslMethodOf(const QJsonObject &message)
{
    const QString queueId = QRegularExpression(R"(with ESMTP\w* id (\w+))").match(receivedLine(message)).captured(1);
    if (queueId.isEmpty())
        return QString();
    const QRegularExpression pattern(queueId + R"(: client=[^\n]*sasl_method=(\w+))");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        QFile log(postfixFile("log/maillog"));
        if (log.open(QIODevice::ReadOnly)) {
            const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(log.readAll()));
            if (match.hasMatch())
                return match.captured(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return QString();
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString writeFile(const QTemporaryDir &folder, const QString &name, const QByteArray &content)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(content), content.size());
    return path;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

MailMessage testMessage(const QString &tag, const QString &attachmentPath = QString())
{
    MailMessage message;
    message.setFrom("Test Sender <sender@test.example>");
    message.setTo("Jörg Empfänger <rcpt@dest.example>");
    message.setBCC({"hidden@dest.example"});
    message.setSubject("Grüße " + tag);
    message.setMessageID(MailHelper::createMessageID("corvtest", "test.example"));
    message.setPriority(3);
    message.setPlainBody("Hello " + tag + "\n.a line that begins with a dot\n.\nÄrger über Öl\n");
    if (!attachmentPath.isEmpty()) {
        message.setFormattedBody("<p>Hello <b>" + tag + "</b></p>");
        EXPECT_TRUE(message.addAttachment(attachmentPath));
    }
    return message;
}

// One recipient, no blind copy: a single delivered file.
MailMessage singleMessage(const QString &tag)
{
    MailMessage message = testMessage(tag);
    message.setBCC({});
    return message;
}

// What every delivered copy must show whatever else it holds.
void checkCommon(const QJsonObject &copy, const MailMessage &message)
{
    EXPECT_EQ(copy["subject"].toString(), message.subject());
    EXPECT_EQ(copy["messageId"].toString(), "<" + message.messageID() + ">");
    EXPECT_FALSE(copy["hasBcc"].toBool());
    EXPECT_TRUE(copy["defects"].toArray().isEmpty()) << QJsonDocument(copy).toJson().toStdString();
    EXPECT_LE(copy["longestLine"].toInt(), 998);
}

void checkPlainOnly(const QJsonObject &copy, const MailMessage &message)
{
    checkCommon(copy, message);
    EXPECT_EQ(copy["tree"].toString(), "text/plain");
    EXPECT_EQ(copy["parts"].toArray().first().toObject()["content"].toString(), message.plainBody());
}

// Sends the message and checks both delivered copies (To and Bcc).
void sendAndCheck(SMTPMail &mail, const MailMessage &message, const QString &protocol)
{
    ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
    const QList<QJsonObject> copies = delivered(message.messageID(), 2);
    QStringList deliveredTo;
    for (const QJsonObject &copy : copies) {
        checkCommon(copy, message);
        EXPECT_TRUE(copy["to"].toString().contains("Jörg Empfänger")) << copy["to"].toString().toStdString();
        EXPECT_TRUE(copy["to"].toString().contains("<rcpt@dest.example>"));
        EXPECT_TRUE(copy["from"].toString().contains("<sender@test.example>"));
        EXPECT_EQ(protocolOf(copy), protocol);
        const QJsonArray parts = copy["parts"].toArray();
        ASSERT_FALSE(parts.isEmpty());
        EXPECT_EQ(parts[0].toObject()["type"].toString(), "text/plain");
        EXPECT_EQ(parts[0].toObject()["content"].toString(), message.plainBody());
        for (const QJsonValue &to : copy["deliveredTo"].toArray())
            deliveredTo.append(to.toString());
    }
    deliveredTo.sort();
    EXPECT_EQ(deliveredTo, QStringList({"hidden@dest.example", "rcpt@dest.example"}));
}

void configure(SMTPMail &mail, int port, int encryption, bool authenticate, const QString &password = Password)
{
    mail.setServer("127.0.0.1");
    mail.setPort(QString::number(port));
    mail.setTimeout(20);
    mail.setEncryption(encryption);
    mail.setAuthentication(authenticate ? 1 : 0);
    mail.setLogin(Login);
    mail.setPassword(password);
}

// Names the trust store for the connections made while it lives.
class TrustStoreFile {
public:
    explicit TrustStoreFile(const QString &path)
        : m_had(qEnvironmentVariableIsSet("SSL_CERT_FILE"))
        , m_previous(qgetenv("SSL_CERT_FILE"))
    {
        qputenv("SSL_CERT_FILE", QFile::encodeName(path));
    }
    ~TrustStoreFile()
    {
        if (m_had)
            qputenv("SSL_CERT_FILE", m_previous);
        else
            qunsetenv("SSL_CERT_FILE");
    }
    TrustStoreFile(const TrustStoreFile &) = delete;
    TrustStoreFile &operator=(const TrustStoreFile &) = delete;

private:
    bool m_had;
    QByteArray m_previous;
};

struct Mode {
    const char *name;
    int encryption;
    int (*port)();
};
const Mode Modes[] = {{"plain", 0, plainPort}, {"smtps", 1, smtpsPort}, {"starttls", 2, plainPort}};

} // namespace

TEST(SmtpPostfix, PlainPortWithAndWithoutAuth)
{
    ASSERT_FALSE(qEnvironmentVariable("CORV_PF_DIR").isEmpty()) << "run through run-postfix-test.sh";
    SMTPMail anonymous;
    configure(anonymous, plainPort(), 0, false);
    ASSERT_EQ(anonymous.connect(), 0) << anonymous.getErrorDesc(0).toStdString();
    sendAndCheck(anonymous, testMessage("plain"), "ESMTP");
    anonymous.disconnect();

    SMTPMail withAuth;
    configure(withAuth, plainPort(), 0, true);
    ASSERT_EQ(withAuth.connect(), 0) << withAuth.getErrorDesc(0).toStdString();
    EXPECT_EQ(withAuth.session().auth_mechanisms, SMTP_Session::AuthPlain | SMTP_Session::AuthLogin);
    sendAndCheck(withAuth, testMessage("plain-auth"), "ESMTPA");
}

// Every encryption mode with AUTH PLAIN and AUTH LOGIN, each checked in the
// server's log; a wrong password fails with 12 in each of them.
TEST(SmtpPostfix, EveryModeWithEveryMechanism)
{
    struct Sent {
        QString label;
        QString marker;
        QString protocol;
        QString mechanism;
    };
    QList<Sent> sent;
    for (const Mode &mode : Modes) {
        for (const QString mechanism : {"PLAIN", "LOGIN"}) {
            const QString label = QString("%1/%2").arg(mode.name, mechanism);
            SCOPED_TRACE(label.toStdString());
            const auto authenticate = [&](SMTP_Session &session, const QByteArray &password) {
                return mechanism == "PLAIN" ? smtp_auth_plain(session, QByteArray(), Login.toUtf8(), password)
                                            : smtp_auth_login(session, Login.toUtf8(), password);
            };
            SMTP_Session session;
            session.encryption = mode.encryption;
            session.timeoutTime = 20;
            ASSERT_EQ(smtp_connect(session, "127.0.0.1", uint16_t(mode.port())), 0) << session.lastReply;
            EXPECT_EQ(authenticate(session, "not the password"), 12) << session.lastReply;
            EXPECT_EQ(session.lastReplyCode, 535);
            smtp_closeStreams(session);

            ASSERT_EQ(smtp_connect(session, "127.0.0.1", uint16_t(mode.port())), 0) << session.lastReply;
            ASSERT_EQ(authenticate(session, Password.toUtf8()), 0) << session.lastReply;
            const MailMessage message = singleMessage(label);
            ASSERT_EQ(smtp_send_from(session, "sender@test.example"), 0);
            ASSERT_EQ(smtp_send_to(session, "rcpt@dest.example"), 0);
            ASSERT_EQ(smtp_start_data(session), 0);
            ASSERT_EQ(smtp_send_text(session, message.mailSMTPData().toLatin1()), 0);
            ASSERT_EQ(smtp_end_mail(session), 0) << session.lastReply;
            smtp_disconnect(session);
            sent.append({label, message.messageID(), mode.encryption == 0 ? "ESMTPA" : "ESMTPSA", mechanism});
        }

        // The client as the application uses it: the password never
        // leaks into the error text, and the client stays disconnected.
        SMTPMail wrong;
        configure(wrong, mode.port(), mode.encryption, true, "not the password");
        EXPECT_EQ(wrong.connect(), 12) << mode.name;
        EXPECT_FALSE(wrong.getErrorDesc(12).contains("not the password"));
        EXPECT_FALSE(wrong.isConnected());
    }
    for (const Sent &one : sent) {
        SCOPED_TRACE(one.label.toStdString());
        const QJsonObject copy = delivered(one.marker, 1).value(0);
        EXPECT_EQ(protocolOf(copy), one.protocol);
        EXPECT_EQ(saslMethodOf(copy), one.mechanism);
        EXPECT_TRUE(copy["defects"].toArray().isEmpty());
        EXPECT_EQ(copy["subject"].toString(), "Grüße " + one.label);
    }
}

TEST(SmtpPostfix, StartTlsWithPlainAndLogin)
{
    QTemporaryDir folder;
    const QString attachment = writeFile(folder, "notes.txt", "attached text\n.dot line\n");

    // Two messages on one connection, the second with HTML and a file.
    SMTPMail mail;
    configure(mail, plainPort(), 2, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    sendAndCheck(mail, testMessage("starttls-1"), "ESMTPSA");
    const MailMessage rich = testMessage("starttls-2", attachment);
    sendAndCheck(mail, rich, "ESMTPSA");
    const QJsonObject copy = delivered(rich.messageID(), 2).value(0);
    EXPECT_EQ(copy["tree"].toString(), "multipart/mixed(multipart/alternative(text/plain,text/html),text/plain)");
    const QJsonArray parts = copy["parts"].toArray();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[1].toObject()["content"].toString(), rich.formattedBody());
    EXPECT_EQ(parts[2].toObject()["filename"].toString(), "notes.txt");
    EXPECT_EQ(parts[2].toObject()["disposition"].toString(), "attachment");
    EXPECT_EQ(parts[2].toObject()["content"].toString(), "attached text\n.dot line\n");
    mail.disconnect();

    // AUTH LOGIN, which SMTPMail only takes when PLAIN is not offered.
    SMTP_Session session;
    session.encryption = 2;
    session.timeoutTime = 20;
    ASSERT_EQ(smtp_connect(session, "127.0.0.1", uint16_t(plainPort())), 0);
    EXPECT_EQ(smtp_auth_login(session, Login.toUtf8(), "wrong"), 12);
    smtp_closeStreams(session);
    ASSERT_EQ(smtp_connect(session, "127.0.0.1", uint16_t(plainPort())), 0);
    ASSERT_EQ(smtp_auth_login(session, Login.toUtf8(), Password.toUtf8()), 0);
    const QString marker = MailHelper::createMessageID("corvlogin", "test.example");
    ASSERT_EQ(smtp_send_from(session, "sender@test.example"), 0);
    ASSERT_EQ(smtp_send_to(session, "rcpt@dest.example"), 0);
    ASSERT_EQ(smtp_start_data(session), 0);
    // Dot-stuffing and bare line ends, through a server that undoes them.
    ASSERT_EQ(smtp_send_text(session, ("Message-ID: <" + marker + ">\nSubject: raw\n\n.one\r\n..two\r.\nend")
                                          .toUtf8()),
              0);
    ASSERT_EQ(smtp_end_mail(session), 0);
    smtp_disconnect(session);
    const QJsonObject raw = delivered(marker, 1).value(0);
    EXPECT_EQ(protocolOf(raw), "ESMTPSA");
    EXPECT_EQ(raw["parts"].toArray().first().toObject()["content"].toString(), ".one\n..two\n.\nend\n");
}

TEST(SmtpPostfix, SubmissionPortRequiresStartTls)
{
    SMTPMail mail;
    configure(mail, submissionPort(), 2, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    sendAndCheck(mail, testMessage("submission"), "ESMTPSA");
    mail.disconnect();

    // In plain text the server offers no AUTH, so the password is never
    // sent, and it takes no mail.
    SMTPMail plain;
    configure(plain, submissionPort(), 0, true);
    ASSERT_EQ(plain.connect(), 0);
    EXPECT_EQ(plain.session().auth_mechanisms, 0);
    EXPECT_EQ(plain.sendMailMessage(testMessage("refused")), 14);
    EXPECT_TRUE(plain.getErrorDesc(14).contains("Server Reply Num: 530"));

    SMTPMail wrong;
    configure(wrong, submissionPort(), 2, true, "not the password");
    EXPECT_EQ(wrong.connect(), 12);
    EXPECT_FALSE(wrong.getErrorDesc(12).contains("not the password"));
    EXPECT_FALSE(wrong.isConnected());
}

TEST(SmtpPostfix, ImplicitTls)
{
    SMTPMail mail;
    configure(mail, smtpsPort(), 1, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    sendAndCheck(mail, testMessage("smtps"), "ESMTPSA");
    mail.disconnect();

    // Plain text to the TLS port: the server waits for a handshake, no
    // greeting comes.
    SMTPMail plain;
    configure(plain, smtpsPort(), 0, false);
    plain.setTimeout(1);
    EXPECT_EQ(plain.connect(), 5);
}

// The server's certificate (signed by the test CA, naming localhost and
// 127.0.0.1) is accepted only where the trust store holds that CA and only
// for the names it carries. Anything else must fail the TLS handshake with
// 17 before a password is sent: an unverified server could read the
// account's password and every message.
TEST(SmtpPostfix, CertificateVerification)
{
    const QString testCa = postfixFile("tls/ca.pem");
    ASSERT_TRUE(QFile::exists(testCa));
    {
        const TrustStoreFile trusted(testCa);
        for (const Mode &mode : {Modes[1], Modes[2]}) {
            for (const QString server : {"127.0.0.1", "localhost"}) {
                SCOPED_TRACE(QString("%1 to %2").arg(mode.name, server).toStdString());
                SMTPMail mail;
                configure(mail, mode.port(), mode.encryption, true);
                mail.setServer(server);
                ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
                const MailMessage message = singleMessage(QString("trusted %1 %2").arg(mode.name, server));
                ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
                mail.disconnect();
                const QJsonObject copy = delivered(message.messageID(), 1).value(0);
                EXPECT_EQ(protocolOf(copy), "ESMTPSA");
                checkPlainOnly(copy, message);
            }
        }

        // Signed by the trusted CA, but for another name.
        SMTPMail otherName;
        configure(otherName, otherNamePort(), 1, true);
        EXPECT_EQ(otherName.connect(), 17)
            << "a certificate that does not name the server must be refused\n"
            << otherName.getErrorDesc(17).toStdString();
        EXPECT_FALSE(otherName.isConnected());
    }

    // The same server with a trust store that lacks the test CA: once with
    // an unrelated CA only, once with the system's own store.
    for (const QString &store : {postfixFile("tls/other-ca.pem"), QString()}) {
        std::optional<TrustStoreFile> untrusted;
        if (!store.isEmpty())
            untrusted.emplace(store);
        const QByteArray saved = qgetenv("SSL_CERT_FILE");
        if (store.isEmpty())
            qunsetenv("SSL_CERT_FILE");
        for (const Mode &mode : {Modes[1], Modes[2]}) {
            SCOPED_TRACE(QString("%1, store %2").arg(mode.name, store.isEmpty() ? "system" : store).toStdString());
            SMTPMail mail;
            configure(mail, mode.port(), mode.encryption, true);
            EXPECT_EQ(mail.connect(), 17) << "TLS must verify the server's certificate against the trust store\n"
                                          << mail.getErrorDesc(17).toStdString();
            EXPECT_FALSE(mail.isConnected());
            const QString text = mail.getErrorDesc(17);
            EXPECT_TRUE(text.contains("\nReason: ")) << text.toStdString();
            EXPECT_FALSE(text.contains(Password));
        }
        if (store.isEmpty())
            qputenv("SSL_CERT_FILE", saved);
    }
}

// A send run's shape: many personalised messages, one connection.
TEST(SmtpPostfix, ManyMessagesOnOneConnection)
{
    constexpr int Count = 30;
    QTemporaryDir folder;
    const QString attachment = writeFile(folder, "liste.txt", "name;city\nJörg;Köln\n");

    SMTPMail mail;
    configure(mail, smtpsPort(), 1, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    QList<MailMessage> messages;
    for (int i = 0; i < Count; ++i) {
        MailMessage message;
        message.setFrom("Test Sender <sender@test.example>");
        message.setTo(QString("Empfänger Nr. %1 <rcpt%1@dest.example>").arg(i));
        message.setSubject(QString("Nachricht %1 für Empfänger %1").arg(i));
        message.setMessageID(MailHelper::createMessageID("corvmany", "test.example"));
        message.setPlainBody(QString("Liebe/r Nr. %1,\n%2\nGruß\n").arg(i).arg(QString("ä ö ü ß ").repeated(i + 1)));
        if (i % 3 != 0)
            message.setFormattedBody(QString("<p>Liebe/r <b>Nr. %1</b></p>").arg(i));
        if (i % 5 == 4) {
            EXPECT_TRUE(message.addAttachment(attachment));
        }
        ASSERT_EQ(mail.sendMailMessage(message), 0) << i << ": " << mail.getErrorDesc(-1).toStdString();
        messages.append(message);
    }
    mail.disconnect();

    QStringList files;
    for (const MailMessage &message : messages)
        files += deliveredFiles(message.messageID(), 1);
    const QList<QJsonObject> copies = parsedMessages(files);
    ASSERT_EQ(copies.size(), Count);
    for (int i = 0; i < Count; ++i) {
        SCOPED_TRACE(i);
        const MailMessage &message = messages[i];
        const QJsonObject &copy = copies[i];
        checkCommon(copy, message);
        EXPECT_EQ(protocolOf(copy), "ESMTPSA");
        const QJsonObject to = copy["toAddresses"].toArray().first().toObject();
        EXPECT_EQ(to["name"].toString(), QString("Empfänger Nr. %1").arg(i));
        EXPECT_EQ(to["address"].toString(), QString("rcpt%1@dest.example").arg(i));
        EXPECT_EQ(copy["deliveredTo"].toArray().first().toString(), QString("rcpt%1@dest.example").arg(i));
        const QJsonArray parts = copy["parts"].toArray();
        ASSERT_FALSE(parts.isEmpty());
        EXPECT_EQ(parts[0].toObject()["content"].toString(), message.plainBody());
        const QString alternative = "multipart/alternative(text/plain,text/html)";
        if (i % 5 == 4) {
            EXPECT_EQ(copy["tree"].toString(),
                      "multipart/mixed(" + (i % 3 ? alternative : "text/plain") + ",text/plain)");
            EXPECT_EQ(parts.last().toObject()["sha256"].toString(), sha256("name;city\nJörg;Köln\n"));
        } else {
            EXPECT_EQ(copy["tree"].toString(), i % 3 ? alternative : "text/plain");
        }
        if (i % 3) {
            EXPECT_EQ(parts[1].toObject()["content"].toString(), message.formattedBody());
        }
    }
}

// 5 MB of random bytes through STARTTLS, and an HTML body with an inline
// image: the whole part tree, each payload byte for byte and the headers
// decoded back to what was set.
TEST(SmtpPostfix, LargeAttachmentAndPartTree)
{
    QTemporaryDir folder;
    const QByteArray large = randomBytes(5 * 1024 * 1024, 20240611);
    const QByteArray image = randomBytes(3000, 7);
    const QByteArray document = randomBytes(64 * 1024 + 1, 11);
    const QString largePath = writeFile(folder, "archive.bin", large);
    const QString imagePath = writeFile(folder, "logo.png", image);
    const QString documentPath = writeFile(folder, "Bericht über Öl.pdf", document);

    MailMessage message;
    message.setFrom("\"Müller, Anna\" <anna@test.example>");
    message.setTo("Zoë O'Brien-Łukasiewicz <zoe@dest.example>");
    const QString subject = "Große Datei: 5 MB für Zoë — ein sehr langer Betreff, der gefaltet werden muss, 😀 "
                            "mit =?iso-8859-1?q?kein_Wort?= darin";
    message.setSubject(subject);
    message.setMessageID(MailHelper::createMessageID("corvlarge", "test.example"));
    message.setPlainBody("Anbei die Datei.\n\nZeile mit Umlauten: äöü ÄÖÜ ß €\n.\n");
    message.setFormattedBody("<html><body><p>Anbei die Datei.</p><img alt=\"Logo\"><p>€ ß</p></body></html>");
    ASSERT_TRUE(message.addHTMLAttachment(imagePath));
    ASSERT_TRUE(message.addAttachment(largePath));
    ASSERT_TRUE(message.addAttachment(documentPath));

    SMTPMail mail;
    configure(mail, plainPort(), 2, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
    // A fixed pause per written block would show here long before a timeout.
    EXPECT_LT(timer.elapsed(), 15000);
    mail.disconnect();

    const QJsonObject copy = delivered(message.messageID(), 1).value(0);
    checkCommon(copy, message);
    EXPECT_EQ(protocolOf(copy), "ESMTPSA");
    EXPECT_EQ(copy["tree"].toString(),
              "multipart/mixed(multipart/alternative(text/plain,multipart/related(text/html,image/png)),"
              "application/octet-stream,application/pdf)");
    const QJsonObject from = copy["fromAddresses"].toArray().first().toObject();
    EXPECT_EQ(from["name"].toString(), "Müller, Anna");
    EXPECT_EQ(from["address"].toString(), "anna@test.example");
    const QJsonObject to = copy["toAddresses"].toArray().first().toObject();
    EXPECT_EQ(to["name"].toString(), "Zoë O'Brien-Łukasiewicz");
    EXPECT_EQ(to["address"].toString(), "zoe@dest.example");

    const QJsonArray parts = copy["parts"].toArray();
    ASSERT_EQ(parts.size(), 5);
    EXPECT_EQ(parts[0].toObject()["content"].toString(), message.plainBody());
    EXPECT_EQ(parts[1].toObject()["content"].toString(), message.formattedBody());
    const QJsonObject inlineImage = parts[2].toObject();
    EXPECT_EQ(inlineImage["disposition"].toString(), "inline");
    EXPECT_FALSE(inlineImage["contentId"].toString().isEmpty());
    EXPECT_EQ(inlineImage["sha256"].toString(), sha256(image));
    EXPECT_EQ(parts[3].toObject()["filename"].toString(), "archive.bin");
    EXPECT_EQ(parts[3].toObject()["size"].toInt(), large.size());
    EXPECT_EQ(parts[3].toObject()["sha256"].toString(), sha256(large));
    EXPECT_EQ(parts[4].toObject()["filename"].toString(), "Bericht über Öl.pdf");
    EXPECT_EQ(parts[4].toObject()["sha256"].toString(), sha256(document));
}

// ---- the delivery handlers, as a send run drives them

namespace {

class FakePrompter : public PasswordPrompter {
public:
    std::optional<QString> askForPassword(QObject *, const QString &server, const QString &login) override
    {
        ++asked;
        askedFor = server + ' ' + login;
        return answer;
    }
    std::optional<QString> answer;
    int asked = 0;
    QString askedFor;
};

// Puts an in-memory keychain in place for the scope.
struct MemoryKeychain {
    MemoryKeychain() { Keychain::setBackend(store); }
    ~MemoryKeychain() { Keychain::setBackend(nullptr); }
    MemoryKeychain(const MemoryKeychain &) = delete;
    MemoryKeychain &operator=(const MemoryKeychain &) = delete;
    std::shared_ptr<KeychainMemoryBackend> store = std::make_shared<KeychainMemoryBackend>();
};

QVariantMap startTlsAccount(const QVariantMap &extra = {})
{
    QVariantMap account{{"accountType", "smtp"}, {"mailFromAddress", "sender@test.example"},
                        {"smtpServer", "127.0.0.1"}, {"smtpPort", QString::number(plainPort())},
                        {"smtpLogin", Login}, {"smtpAuthType", "1"}, {"useTLS", "1"}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        account.insert(it.key(), it.value());
    return account;
}

// Where in the server's log the session that took the message began (its
// smtpd's last "connect from" before the message): two messages of one
// connection give the same line.
int sessionOf(const QJsonObject &message)
{
    const QString queueId = QRegularExpression(R"(with ESMTP\w* id (\w+))").match(receivedLine(message)).captured(1);
    if (queueId.isEmpty())
        return -1;
    const QRegularExpression taken(R"(smtpd\[(\d+)\]: )" + queueId + ": client=");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        QFile log(postfixFile("log/maillog"));
        if (log.open(QIODevice::ReadOnly)) {
            const QStringList lines = QString::fromUtf8(log.readAll()).split('\n');
            for (int i = 0; i < lines.size(); ++i) {
                const QRegularExpressionMatch match = taken.match(lines[i]);
                if (!match.hasMatch())
                    continue;
                const QString opened = "smtpd[" + match.captured(1) + "]: connect from";
                for (int j = i; j >= 0; --j) {
                    if (lines[j].contains(opened))
                        return j;
                }
                return -1;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

} // namespace

TEST(SmtpPostfix, HandlerWithKeychainPasswordPausesAndReconnects)
{
    MemoryKeychain keychain;
    ASSERT_TRUE(Keychain::setKeychainServer("127.0.0.1", Login, Password));
    auto prompter = std::make_shared<FakePrompter>();
    MailHandler_smtp::setDelayMailCounter(0);
    MailHandler_smtp handler;
    handler.setPasswordPrompter(prompter);
    handler.setConnectionData(startTlsAccount({{"delayEnabled", "1"}, {"delayMails", "2"}, {"delayTime", "0.5"}}));
    const auto setup = handler.setup(nullptr, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(setup->value("password").toString(), Password);
    EXPECT_EQ(prompter->asked, 0);

    ASSERT_EQ(handler.connect(), 0) << handler.getErrorDesc(0).toStdString();
    QList<MailMessage> messages;
    QList<qint64> took;
    for (int i = 0; i < 3; ++i) {
        messages.append(singleMessage(QStringLiteral("handler-pause-%1").arg(i)));
        messages.last().setMessageID(handler.newMessageID());
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(handler.sendMessage(messages.last()), 0) << handler.getErrorDesc(-1).toStdString();
        took.append(timer.elapsed());
    }
    handler.disconnect();
    EXPECT_LT(took[1], 500);
    EXPECT_GE(took[2], 500); // the pause came before the third
    EXPECT_EQ(MailHandler_smtp::delayMailCounter(), 1);

    QList<int> sessions;
    for (const MailMessage &message : messages) {
        EXPECT_TRUE(message.messageID().endsWith("@127.0.0.1")) << message.messageID().toStdString();
        const QJsonObject copy = delivered(message.messageID(), 1).value(0);
        checkPlainOnly(copy, message);
        EXPECT_EQ(protocolOf(copy), "ESMTPSA");
        sessions.append(sessionOf(copy));
    }
    ASSERT_EQ(sessions.size(), 3);
    EXPECT_GE(sessions[0], 0);
    EXPECT_EQ(sessions[0], sessions[1]);
    EXPECT_GT(sessions[2], sessions[1]) << "no new connection after the pause";
}

TEST(SmtpPostfix, HandlerWithPasswordFromThePrompt)
{
    MemoryKeychain keychain; // empty: the user is asked
    auto prompter = std::make_shared<FakePrompter>();
    prompter->answer = Password;
    MailHandler_smtp handler;
    handler.setPasswordPrompter(prompter);
    handler.setConnectionData(startTlsAccount());
    const auto setup = handler.setup(nullptr, std::nullopt);
    ASSERT_TRUE(setup.has_value());
    EXPECT_EQ(prompter->asked, 1);
    EXPECT_EQ(prompter->askedFor, "127.0.0.1 " + Login);
    EXPECT_EQ(keychain.store->itemCount(), 0); // nothing stored

    ASSERT_EQ(handler.connect(), 0) << handler.getErrorDesc(0).toStdString();
    MailMessage message = singleMessage("handler-prompt");
    message.setMessageID(handler.newMessageID());
    ASSERT_EQ(handler.sendMessage(message), 0) << handler.getErrorDesc(-1).toStdString();
    handler.disconnect();
    EXPECT_EQ(protocolOf(delivered(message.messageID(), 1).value(0)), "ESMTPSA");

    // The resumed run is not asked again; an empty answer fails at AUTH.
    MailHandler_smtp resumed;
    resumed.setPasswordPrompter(prompter);
    resumed.setConnectionData(startTlsAccount());
    EXPECT_EQ(resumed.setup(nullptr, setup), setup);
    EXPECT_EQ(prompter->asked, 1);
    prompter->answer = QString();
    MailHandler_smtp empty;
    empty.setPasswordPrompter(prompter);
    empty.setConnectionData(startTlsAccount());
    ASSERT_TRUE(empty.setup(nullptr, std::nullopt).has_value());
    const int refused = empty.connect();
    EXPECT_NE(refused, 0);
    EXPECT_FALSE(empty.getErrorDesc(refused).isEmpty());
    empty.disconnect();

    // A wrong password shows in no error text, neither plain nor encoded.
    const QString wrong = "Wr0ng-Pass!";
    prompter->answer = wrong;
    MailHandler_smtp mistyped;
    mistyped.setPasswordPrompter(prompter);
    mistyped.setConnectionData(startTlsAccount());
    ASSERT_TRUE(mistyped.setup(nullptr, std::nullopt).has_value());
    const int denied = mistyped.connect();
    EXPECT_NE(denied, 0);
    const QString text = mistyped.getErrorDesc(denied);
    EXPECT_FALSE(text.contains(wrong) || text.contains(QString::fromLatin1(('\0' + Login + '\0' + wrong).toUtf8().toBase64())))
        << text.toStdString();
    mistyped.disconnect();
}

TEST(SmtpPostfix, HandOffScriptThroughPostfixSendmail)
{
    if (!QFileInfo(QStringLiteral("/usr/sbin/sendmail")).isExecutable())
        GTEST_SKIP() << "no /usr/sbin/sendmail";
    QTemporaryDir folder;
    const QString wrapper = writeFile(folder, "sendmail",
                                      "#!/bin/sh\nexec /usr/sbin/sendmail -C \"$CORV_PF_DIR/etc\" \"$@\"\n");
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString attachment = writeFile(folder, "liste.txt", "name;city\nJörg;Köln\n");
    qputenv("CORVANTILINE_SENDMAIL", QFile::encodeName(wrapper));

    const QString marker = MailHelper::createMessageID("handoff", "test.example");
    MailMessage message;
    message.setFrom("Test Sender <sender@test.example>");
    message.setTo("Jörg Empfänger <rcpt@dest.example>");
    message.setBCC({"hidden@dest.example"});
    message.setSubject("Hand-off " + marker);
    message.setPlainBody("Hello " + marker + "\n.\nÄrger über Öl\n");
    ASSERT_TRUE(message.addAttachment(attachment));
    MailHandler_script handler;
    ASSERT_EQ(handler.sendMessage(message), 0) << handler.getErrorDesc(MailHandler_script::Failed).toStdString();
    qunsetenv("CORVANTILINE_SENDMAIL");

    const QList<QJsonObject> copies = delivered(marker, 2);
    QStringList deliveredTo;
    for (const QJsonObject &copy : copies) {
        EXPECT_EQ(copy["subject"].toString(), message.subject());
        EXPECT_TRUE(copy["to"].toString().contains("<rcpt@dest.example>"));
        EXPECT_FALSE(copy["hasBcc"].toBool());
        EXPECT_TRUE(copy["defects"].toArray().isEmpty()) << QJsonDocument(copy).toJson().toStdString();
        const QJsonArray parts = copy["parts"].toArray();
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(parts[0].toObject()["content"].toString(), message.plainBody());
        EXPECT_EQ(parts[1].toObject()["filename"].toString(), "liste.txt");
        EXPECT_EQ(parts[1].toObject()["sha256"].toString(), sha256("name;city\nJörg;Köln\n"));
        for (const QJsonValue &to : copy["deliveredTo"].toArray())
            deliveredTo.append(to.toString());
    }
    deliveredTo.sort();
    EXPECT_EQ(deliveredTo, QStringList({"hidden@dest.example", "rcpt@dest.example"}));
}
