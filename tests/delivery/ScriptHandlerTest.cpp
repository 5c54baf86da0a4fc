// The hand-off to the local mail system: the shipped script run with a fake
// sendmail that keeps what it is given, the result parsed by Python's email
// package.
#include "AppPaths.h"
#include "DispatcherRecorder.h"
#include "Database.h"
#include "Localizer.h"
#include "MailHandler_script.h"
#include "MailMessage.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace {

class ScriptHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        output = dir.filePath("sent.eml");
        writeProgram("sendmail-ok", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + output + ".args'\ncat > '" + output + "'\n");
        writeProgram("sendmail-fails", "#!/bin/sh\ncat > /dev/null\necho 'relay refused' >&2\nexit 75\n");
        qputenv("CORVANTILINE_SENDMAIL", dir.filePath("sendmail-ok").toLocal8Bit());
    }
    void TearDown() override
    {
        qunsetenv("CORVANTILINE_SENDMAIL");
        qunsetenv("CORVANTILINE_RESOURCES");
    }

    void writeProgram(const QString &name, const QString &text)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QJsonObject parsedOutput()
    {
        QProcess python;
        python.start("python3", {CORV_SOURCE_DIR "/tests/delivery/mime_check.py", "--describe", output});
        EXPECT_TRUE(python.waitForFinished(30000));
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().constData();
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    static MailMessage plainMessage()
    {
        MailMessage m;
        m.setFrom("Ann Example <ann@example.test>");
        m.setTo("bob@example.test");
        m.setSubject("Grüße");
        m.setPlainBody("Hello\n.\nBye ä");
        return m;
    }

    QTemporaryDir dir;
    QString output;
    MailHandler_script handler;
};

} // namespace

TEST_F(ScriptHandlerTest, PlainMessageWithAttachmentsGoesToSendmail)
{
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    MailMessage m = plainMessage();
    m.setBCC({"c@x.test", "Dee <d@y.test>"});
    ASSERT_TRUE(m.addAttachment(writeFile("notes.txt", "line one\nline two\n")));
    ASSERT_TRUE(m.addAttachment(writeFile("data.bin", binary)));
    const QByteArray utf8("Gr\xC3\xBC\xC3\x9F" "e\n");
    ASSERT_TRUE(m.addAttachment(writeFile("utf8.txt", utf8)));

    ASSERT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(-1).toStdString();
    QFile args(output + ".args");
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    // The account's address is the envelope sender, where bounces go.
    EXPECT_EQ(args.readAll(), "-t\n-oi\n-f\nann@example.test\n");

    const QJsonObject parsed = parsedOutput();
    EXPECT_EQ(parsed["from"].toString(), "Ann Example <ann@example.test>");
    EXPECT_EQ(parsed["to"].toString(), "bob@example.test");
    EXPECT_EQ(parsed["bcc"].toString(), "c@x.test, Dee <d@y.test>");
    EXPECT_EQ(parsed["subject"].toString(), "Grüße");
    EXPECT_TRUE(parsed["messageId"].toString().endsWith("@example.test>"));
    EXPECT_TRUE(parsed["defects"].toArray().isEmpty());
    EXPECT_TRUE(parsed["tree"].toString().startsWith("multipart/mixed(text/plain,"));
    const QJsonArray parts = parsed["parts"].toArray();
    EXPECT_EQ(parts[0]["content"].toString(), "Hello\n.\nBye ä\n");
    // Only text that is not ASCII needs its charset said.
    for (const auto &[index, name, bytes, charset] :
         {std::tuple{1, "notes.txt", QByteArray("line one\nline two\n"), ""}, std::tuple{2, "data.bin", binary, ""},
          std::tuple{3, "utf8.txt", utf8, "utf-8"}}) {
        EXPECT_EQ(parts[index]["filename"].toString(), name);
        EXPECT_EQ(parts[index]["charset"].toString().toStdString(), charset) << name;
        EXPECT_EQ(parts[index]["encoding"].toString(), "base64");
        EXPECT_EQ(parts[index]["sha256"].toString(),
                  QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }
}

TEST_F(ScriptHandlerTest, LineBreaksNeverMakeHeaders)
{
    MailMessage m = plainMessage();
    m.setSubject("Hi\r\nBcc: evil@x.test\nX-Injected: 1");
    ASSERT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(-1).toStdString();
    const QJsonObject parsed = parsedOutput();
    const QJsonArray headers = parsed["headers"].toArray();
    EXPECT_FALSE(headers.contains("Bcc") || headers.contains("X-Injected")) << QJsonDocument(headers).toJson().constData();
    EXPECT_TRUE(parsed["subject"].toString().startsWith("Hi")) << parsed["subject"].toString().toStdString();

    // A line break in an address is refused: sendmail -t would take it as a recipient.
    QFile::remove(output);
    m = plainMessage();
    m.setTo("bob@example.test\nBcc: evil@x.test");
    EXPECT_EQ(handler.sendMessage(m), MailHandler_script::Failed);
    EXPECT_TRUE(handler.getErrorDesc(MailHandler_script::Failed).contains("control character"));
    m = plainMessage();
    m.setBCC({"c@x.test\r\nCc: evil@x.test"});
    EXPECT_EQ(handler.sendMessage(m), MailHandler_script::Failed);
    EXPECT_FALSE(QFile::exists(output));
}

TEST_F(ScriptHandlerTest, FailuresAreNotReportedAsSent)
{
    MailMessage html = plainMessage();
    html.setFormattedBody("<p>Hi</p>");
    EXPECT_EQ(handler.sendMessage(html), MailHandler_script::Failed);
    EXPECT_EQ(handler.getErrorDesc(MailHandler_script::Failed), Localizer::localizedString("SendErrors", "AppleMail no HTML"));
    EXPECT_FALSE(QFile::exists(output));

    qputenv("CORVANTILINE_SENDMAIL", dir.filePath("sendmail-fails").toLocal8Bit());
    EXPECT_EQ(handler.sendMessage(plainMessage()), MailHandler_script::Failed);
    QString text = handler.getErrorDesc(MailHandler_script::Failed);
    EXPECT_TRUE(text.contains("relay refused") && text.contains("75")) << text.toStdString();

    // A vanished attachment fails the message instead of sending it without.
    qputenv("CORVANTILINE_SENDMAIL", dir.filePath("sendmail-ok").toLocal8Bit());
    MailMessage m = plainMessage();
    m.addAttachment(dir.filePath("missing.pdf"));
    EXPECT_EQ(handler.sendMessage(m), MailHandler_script::Failed);
    EXPECT_TRUE(handler.getErrorDesc(MailHandler_script::Failed).contains("missing.pdf"));
    EXPECT_FALSE(QFile::exists(output));

    qputenv("CORVANTILINE_RESOURCES", dir.filePath("nowhere").toLocal8Bit());
    EXPECT_EQ(handler.sendMessage(plainMessage()), MailHandler_script::Failed);
    text = handler.getErrorDesc(MailHandler_script::Failed);
    EXPECT_TRUE(text.contains("send_AppleMail")) << text.toStdString();

    // A hanging mail system: killed at the time-out, with the sendmail the
    // script started, and reported as failed.
    qunsetenv("CORVANTILINE_RESOURCES");
    writeProgram("sendmail-hangs", "#!/bin/sh\necho $$ > '" + dir.filePath("hang.pid") + "'\nexec sleep 30\n");
    qputenv("CORVANTILINE_SENDMAIL", dir.filePath("sendmail-hangs").toLocal8Bit());
    handler.setScriptTimeoutMs(1500);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(handler.sendMessage(plainMessage()), MailHandler_script::Failed);
    EXPECT_LT(timer.elapsed(), 10000);
    text = handler.getErrorDesc(MailHandler_script::Failed);
    EXPECT_TRUE(text.contains("in time")) << text.toStdString();
    QFile pidFile(dir.filePath("hang.pid"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const QByteArray pid = pidFile.readAll().trimmed();
    QThread::msleep(200);
    QFile stat("/proc/" + QString::fromLatin1(pid) + "/stat");
    // Gone, or a zombie waiting for whoever adopted it.
    EXPECT_TRUE(!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ")) << pid.constData();
}

TEST_F(ScriptHandlerTest, TextsOfAnySizeReachSendmail)
{
    // Each beyond what one program argument may hold (128 KiB on Linux).
    MailMessage m = plainMessage();
    QStringList bcc;
    for (int i = 0; i < 1100; ++i)
        bcc.append(QStringLiteral("copy%1.%2@example.test").arg(i).arg(QString(100, u'x')));
    m.setBCC(bcc);
    m.setPlainBody(QStringLiteral("Zeile ä\n").repeated(20000));
    ASSERT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(MailHandler_script::Failed).toStdString();
    const QJsonObject parsed = parsedOutput();
    EXPECT_EQ(parsed["bcc"].toString(), bcc.join(", "));
    EXPECT_EQ(parsed["parts"].toArray().first()["content"].toString(), m.plainBody());
}

TEST_F(ScriptHandlerTest, NamesMayHoldLineBreaksAndDomainsGoInAscii)
{
    MailMessage m = plainMessage();
    m.setFrom("Ann\r\nExample <ann@exämple.test>");
    m.setTo("Bob\nSmith <bob@bücher.test>");
    m.setBCC({"\"Dee\r\nDoe\" <d@y.test>"});
    ASSERT_EQ(handler.sendMessage(m), 0) << handler.getErrorDesc(MailHandler_script::Failed).toStdString();
    const QJsonObject parsed = parsedOutput();
    EXPECT_EQ(parsed["fromAddresses"].toArray(),
              QJsonArray({QJsonObject{{"name", "Ann  Example"}, {"address", "ann@xn--exmple-cua.test"}}}));
    EXPECT_EQ(parsed["toAddresses"].toArray(),
              QJsonArray({QJsonObject{{"name", "Bob Smith"}, {"address", "bob@xn--bcher-kva.test"}}}));
    EXPECT_EQ(parsed["bcc"].toString(), "Dee  Doe <d@y.test>");

    // An address without an ASCII form fails with its cause.
    m.setTo("Jörg <jörg@example.test>");
    EXPECT_EQ(handler.sendMessage(m), MailHandler_script::Failed);
    const QString text = handler.getErrorDesc(MailHandler_script::Failed);
    EXPECT_TRUE(text.startsWith(Localizer::localizedString("SendErrors", "Mail not sendable"))
                && text.contains("non-ASCII characters before"))
        << text.toStdString();
}

namespace {
// Not under the thread checker: it cannot follow QProcess's way of forking.
class ScriptHandlerInARun : public ScriptHandlerTest {
protected:
    void TearDown() override
    {
        MailDispatcher::abortAndJoinAll();
        ScriptHandlerTest::TearDown();
    }
};
} // namespace

TEST_F(ScriptHandlerInARun, StopNowEndsTheHandOffAndTheMessageMayHaveBeenDelivered)
{
    // A mail system that takes its time: stop now ends it, and the run.
    writeProgram("sendmail-slow", "#!/bin/sh\necho $$ > '" + dir.filePath("slow.pid") + "'\nexec sleep 20\n");
    qputenv("CORVANTILINE_SENDMAIL", dir.filePath("sendmail-slow").toLocal8Bit());
    Database database;
    const QString mail = database.addField(QStringLiteral("Mail"));
    database.setAddressFieldNo(Database::columnIndexFromIdentifier(mail));
    database.addEntryWithDict(0, {{mail, QStringLiteral("bob@example.test")}});
    SendJob job;
    job.message = std::make_shared<const MessageSnapshot>(MessageMode::Plain, RichText(QStringLiteral("Hi")),
                                                          RichText(QStringLiteral("Body")), RichText(), RichText(),
                                                          std::nullopt, QString());
    job.recipients = RecipientRows::fromDatabase(database);
    Recorder recorder;
    auto dispatcher = MailDispatcher::create();
    dispatcher->setJob(job);
    dispatcher->setAccountData({{"accountType", "applemail"}, {"mailFromAddress", "ann@example.test"}});
    dispatcher->setDelegate(&recorder);
    dispatcher->send();
    QFile pidFile(dir.filePath("slow.pid"));
    ASSERT_TRUE(waitFor([&] { return pidFile.size() > 0; }));
    dispatcher->abort();
    dispatcher->abortNow();
    ASSERT_TRUE(waitFor([&] { return recorder.count(MailDispatcherStatus::Done) == 1; }, 5000))
        << "the hand-off was waited for";
    EXPECT_EQ(recorder.steps(), (std::vector<int>{MailDispatcherStatus::Error, MailDispatcherStatus::MayHaveBeenDelivered,
                                                  MailDispatcherStatus::Done}));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const QString stat = "/proc/" + QString::fromLatin1(pidFile.readAll().trimmed()) + "/stat";
    // Gone, or a zombie waiting for whoever adopted it.
    EXPECT_TRUE(waitFor([&] {
        QFile file(stat);
        return !file.open(QIODevice::ReadOnly) || file.readAll().contains(") Z ");
    }, 5000)) << "sendmail goes on";
}
