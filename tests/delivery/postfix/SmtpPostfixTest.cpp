// The SMTP client against a real Postfix on loopback (started around this
// program by run-postfix-test.sh): every encryption mode and both AUTH
// mechanisms, each message checked in the Maildir with Python's email
// package.
#include "MailHelper.h"
#include "MailMessage.h"
#include "SMTPMail.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <thread>

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

QJsonObject parsedMessage(const QString &path)
{
    QProcess python;
    python.start("python3", {qEnvironmentVariable("CORV_PF_CHECK_SCRIPT"), path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 could not read " << path.toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// The delivered copies of the message that holds `marker`, once all
// `count` of them have arrived (delivery runs after the server's 250).
QList<QJsonObject> delivered(const QString &marker, int count)
{
    const QDir inbox(qEnvironmentVariable("CORV_PF_DIR") + "/mail/inbox/new");
    QElapsedTimer timer;
    timer.start();
    QStringList found;
    while (timer.elapsed() < 60000) {
        found.clear();
        for (const QString &name : inbox.entryList(QDir::Files)) {
            QFile file(inbox.filePath(name));
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(marker.toUtf8()))
                found.append(file.fileName());
        }
        if (found.size() >= count)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(found.size(), count) << "copies of " << marker.toStdString();
    QList<QJsonObject> result;
    for (const QString &path : found)
        result.append(parsedMessage(path));
    return result;
}

// "ESMTP", "ESMTPA" (authenticated), "ESMTPS" (TLS), "ESMTPSA" (both), as
// Postfix notes it in its Received header.
QString protocolOf(const QJsonObject &message)
{
    const QString received = message["received"].toArray().first().toString();
    return QRegularExpression(R"(with (ESMTP\w*) id)").match(received).captured(1);
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

// Sends the message and checks both delivered copies (To and Bcc).
void sendAndCheck(SMTPMail &mail, const MailMessage &message, const QString &protocol)
{
    ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(-1).toStdString();
    const QList<QJsonObject> copies = delivered(message.messageID(), 2);
    QStringList deliveredTo;
    for (const QJsonObject &copy : copies) {
        EXPECT_EQ(copy["subject"].toString(), message.subject());
        EXPECT_TRUE(copy["to"].toString().contains("Jörg Empfänger")) << copy["to"].toString().toStdString();
        EXPECT_TRUE(copy["to"].toString().contains("<rcpt@dest.example>"));
        EXPECT_TRUE(copy["from"].toString().contains("<sender@test.example>"));
        EXPECT_FALSE(copy["hasBcc"].toBool());
        EXPECT_TRUE(copy["defects"].toArray().isEmpty()) << QJsonDocument(copy).toJson().toStdString();
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

TEST(SmtpPostfix, StartTlsWithPlainAndLogin)
{
    QTemporaryDir folder;
    const QString attachment = folder.filePath("notes.txt");
    QFile file(attachment);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("attached text\n.dot line\n");
    file.close();

    // Two messages on one connection, the second with HTML and a file.
    SMTPMail mail;
    configure(mail, plainPort(), 2, true);
    ASSERT_EQ(mail.connect(), 0) << mail.getErrorDesc(0).toStdString();
    sendAndCheck(mail, testMessage("starttls-1"), "ESMTPSA");
    const MailMessage rich = testMessage("starttls-2", attachment);
    sendAndCheck(mail, rich, "ESMTPSA");
    const QJsonObject copy = delivered(rich.messageID(), 2).value(0);
    QStringList types;
    QString attached;
    for (const QJsonValue &part : copy["parts"].toArray()) {
        types.append(part.toObject()["type"].toString());
        if (part.toObject()["filename"].toString() == "notes.txt")
            attached = part.toObject()["content"].toString();
    }
    EXPECT_TRUE(types.contains("text/html")) << types.join(",").toStdString();
    EXPECT_EQ(attached, "attached text\n.dot line\n");
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
