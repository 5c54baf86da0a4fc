#include "../message/TextFixtures.h"
#include "ContentId.h"
#include "Database.h"
#include "FakeSmtpServer.h"
#include "HTMLFileLinkTag.h"
#include "HTMLReferenceScanner.h"
#include "ImageTag.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "MessageSnapshot.h"
#include "Personalizer.h"
#include "SMTPMail.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QDateTime fixedTime()
{
    return QDateTime(QDate(2024, 6, 18), QTime(14, 30, 5, 123), QTimeZone(7200));
}

const QString Id = QStringLiteral("18062024143005123Corvantiline0152@smtp.example.org");

QByteArray crlf(const char *golden)
{
    return QByteArray(golden).replace("\n", "\r\n");
}

QJsonObject textLeaf(const char *type, const QString &text, const char *charset)
{
    return {{"type", type}, {"text", text}, {"charset", charset}};
}

// A file part as a reader should see it; the name as shown defaults to the file's.
QJsonObject fileLeaf(
    const char *type, const QByteArray &content, const QString &path, const char *disposition, QString shownName = {})
{
    if (shownName.isNull())
        shownName = QFileInfo(path).fileName();
    return {{"type", type}, {"base64", QString::fromLatin1(content.toBase64())}, {"filename", shownName},
        {"name", shownName}, {"disposition", disposition}, {"content_id", "<" + contentIdNameForPath(path) + Id + ">"}};
}

QJsonArray strings(std::initializer_list<const char *> items)
{
    QJsonArray array;
    for (const char *item : items)
        array.append(item);
    return array;
}

QJsonArray addressList(std::initializer_list<std::pair<QString, QString>> items)
{
    QJsonArray array;
    for (const auto &[display, address] : items)
        array.append(QJsonArray{display, address});
    return array;
}

class MimeMessage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        MailHelper::setClock(&fixedTime);
        MailHelper::setMessageCounter(152);
    }
    void TearDown() override { MailHelper::setClock(nullptr); }

    QString file(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly)) << name.toStdString();
        out.write(content);
        return path;
    }

    MailMessage basicMessage()
    {
        MailMessage message;
        message.setFrom(u"Jürgen Vidav <juergen@example.org>"_qs);
        message.setTo(QStringLiteral("anna@example.com"));
        message.setBCC({QStringLiteral("bcc@example.com")});
        message.setSubject(u"Grüße"_qs);
        MailHelper::setMessageCounter(152);
        message.setMessageID(
            MailHelper::createMessageID(QStringLiteral("Corvantiline"), QStringLiteral("smtp.example.org")));
        message.setPlainBody(QStringLiteral("Hello.\r\nSecond line \n"));
        message.setPriority(3);
        return message;
    }

    // Writes each message as it goes over the wire and lets Python's email
    // package read them all in one run.
    void expectOutsideReaderAgrees(const QList<std::pair<QString, QJsonObject>> &messages)
    {
        QJsonArray manifest;
        for (const auto &[text, expect] : messages) {
            const QString path = m_dir.filePath(QStringLiteral("message-%1.eml").arg(manifest.size()));
            QFile out(path);
            EXPECT_TRUE(out.open(QIODevice::WriteOnly));
            // Ended as the SMTP client ends it: with CRLF, unless it has one.
            out.write(text.toLatin1() + (text.endsWith(QLatin1String("\r\n")) ? "" : "\r\n"));
            manifest.append(QJsonObject{{"file", path}, {"expect", expect}});
        }
        const QString manifestPath = m_dir.filePath(QStringLiteral("manifest.json"));
        QFile out(manifestPath);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(manifest).toJson());
        out.close();
        QProcess python;
        python.start(
            QStringLiteral("python3"), {QStringLiteral(CORV_SOURCE_DIR "/tests/delivery/mime_check.py"), manifestPath});
        ASSERT_TRUE(python.waitForFinished(60000)) << "python3 did not run";
        EXPECT_EQ(python.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardOutput().toStdString()
                                        << python.readAllStandardError().toStdString();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(MimeMessage, CombinedMessageGolden)
{
    MailMessage message = basicMessage();
    message.setPriority(1);
    message.setTo(QStringLiteral("Anna <anna@example.com>, bob@example.com"));
    message.setFormattedBody(QStringLiteral("<p>Hi <img src=\"cid:logo.png%1\"></p>").arg(Id));
    message.addHTMLAttachment(file("logo.png", "PNG"));
    message.addAttachment(file(u"Bericht grün.PDF"_qs, "%PDF"));
    EXPECT_EQ(message.mailSMTPData().toLatin1().toStdString(),
        crlf(R"(Message-ID:<18062024143005123Corvantiline0152@smtp.example.org>
Date:Tue, 18 Jun 2024 14:30:05 +0200
X-Priority: 1
From:=?ISO-8859-1?Q?J=FCrgen_Vidav?= <juergen@example.org>
To:Anna <anna@example.com>, bob@example.com
Mime-Version: 1.0
Content-Type: multipart/mixed;
    boundary="=_6cd363f8a0b8213a8cfa81"
Subject:=?ISO-8859-1?Q?Gr=FC=DFe?=

--=_6cd363f8a0b8213a8cfa81
Content-Type: multipart/alternative;
    boundary="=_6cd363f8a0b8213a8cfa82"

--=_6cd363f8a0b8213a8cfa82
Content-Type: text/plain; charset=ISO-8859-1
Content-Transfer-Encoding: quoted-printable

Hello=2E
Second line=20

--=_6cd363f8a0b8213a8cfa82
Content-Type: multipart/related;
    type="text/html";
    boundary="=_6cd363f8a0b8213a8cfa83"

--=_6cd363f8a0b8213a8cfa83
Content-Type: text/html; charset=ISO-8859-1
Content-Transfer-Encoding: quoted-printable

<p>Hi <img src=3D"cid:logo=2Epng18062024143005123Corvantiline0152@smtp=2Eex=
ample=2Eorg"></p>
--=_6cd363f8a0b8213a8cfa83
Content-Type: image/png;
	name="logo.png"
Content-Disposition: inline;
	filename="logo.png"
Content-ID: <logo.png18062024143005123Corvantiline0152@smtp.example.org>
Content-Transfer-Encoding: base64

UE5H
--=_6cd363f8a0b8213a8cfa83--
--=_6cd363f8a0b8213a8cfa82--
--=_6cd363f8a0b8213a8cfa81
Content-Type: application/pdf;
	name*=UTF-8''Bericht%20gr%C3%BCn.PDF
Content-Disposition: attachment;
	filename*=UTF-8''Bericht%20gr%C3%BCn.PDF
Content-ID: <Bericht_gr=C3=BCn.PDF18062024143005123Corvantiline0152@smtp.example.org>
Content-Transfer-Encoding: base64

JVBERg==
--=_6cd363f8a0b8213a8cfa81--)")
            .toStdString());
}

TEST_F(MimeMessage, HeadersPriorityAndMessageIds)
{
    MailMessage message = basicMessage();
    for (const int priority : {1, 5, 0}) {
        message.setPriority(priority);
        EXPECT_TRUE(message.mailSMTPData().contains(QStringLiteral("\r\nX-Priority: %1\r\n").arg(priority)));
    }

    // Same millisecond, different counter; odd server names still give a valid id.
    MailHelper::setMessageCounter(7);
    EXPECT_EQ(MailHelper::createMessageID("P", "mx.example.org"), "18062024143005123P0007@mx.example.org");
    EXPECT_EQ(MailHelper::createMessageID("P", u"smtp.bücher.de"_qs), "18062024143005123P0008@smtp.xn--bcher-kva.de");
    EXPECT_EQ(MailHelper::createMessageID("P", "evil\r\n>x"), "18062024143005123P0009@evilx");
    EXPECT_EQ(MailHelper::createMessageID("P", ""), "18062024143005123P0010@localhost");
    EXPECT_EQ(MailHelper::messageCounter(), 11);

    EXPECT_EQ(MailHelper::dateValue(QDateTime(QDate(2024, 1, 5), QTime(9, 3, 7), QTimeZone(-5 * 3600 - 1800))),
        "Fri, 05 Jan 2024 09:03:07 -0530");
}

TEST_F(MimeMessage, AddressEncoding)
{
    const struct {
        QString address;
        const char *header;
    } good[] = {
        {"anna@example.com", "anna@example.com"},
        {"Anna Smith <anna@example.com>", "Anna Smith <anna@example.com>"},
        {"\"Anna Smith\" <anna@example.com>", "Anna Smith <anna@example.com>"},
        {"\"Smith, J.\" <j@example.com>", "\"Smith, J.\" <j@example.com>"},
        {"\"a<b>\" <j@example.com>", "\"a<b>\" <j@example.com>"},
        {u"\"Müller, Hans\" <hans@bücher.de>"_qs, "=?ISO-8859-1?Q?M=FCller=2C_Hans?= <hans@xn--bcher-kva.de>"},
        {u"Jürgen Vidav <j@example.org>, Ωmega <o@example.org>"_qs,
            "=?ISO-8859-1?Q?J=FCrgen_Vidav?= <j@example.org>, =?UTF-8?Q?=CE=A9mega?= <o@example.org>"},
        {"=?UTF-8?Q?Boss?= <a@example.org>", "=?ISO-8859-1?Q?=3D=3FUTF-8=3FQ=3FBoss=3F=3D?= <a@example.org>"},
        {"\"Evil\r\nBcc: x@y.z\" <a@example.org>", "\"Evil  Bcc: x@y.z\" <a@example.org>"},
        {"a@example.org, ", "a@example.org"},
    };
    for (const auto &row : good) {
        QString error;
        const QString header = MailHelper::encodeMailAddress(row.address, &error);
        EXPECT_EQ(header, row.header) << row.address.toStdString() << ": " << error.toStdString();
    }

    // A name that folding could not break (blanks, escapes) is encoded, so
    // that the From and To lines stay within 78 characters.
    EXPECT_EQ(MailHelper::encodeMailAddress("\"a" + QString(60, u' ') + "b\" <a@example.org>"),
        "=?ISO-8859-1?Q?a" + QString(57, u'_') + "?= =?ISO-8859-1?Q?___b?= <a@example.org>");
    EXPECT_TRUE(MailHelper::encodeMailAddress("\"" + QString(31, u'"').replace("\"", "\\\"") + "\" <a@example.org>")
            .startsWith("=?"));

    const struct {
        QString address;
        const char *reason;
    } bad[] = {
        {"anna@example.com\r\nBcc: x@y.z", "control character"},
        {"Anna <anna@exa\nmple.com>", "control character"},
        {u"Jörg <jörg@example.com>"_qs, "non-ASCII"},
        {"Anna Smith", "not a mail address"},
        {"J. Smith, Jr. <j@example.com>", "not a mail address"}, // unquoted, the comma splits
        {"Anna <anna@example.com", "not of the form"},
        {"Anna <anna@example.com> Bcc: x@y.z", "not of the form"},
        {"<a b@example.com>", "may not hold"},
        {"", "No mail address"},
        {QString(), "Object == nil"},
    };
    for (const auto &row : bad) {
        QString error;
        EXPECT_TRUE(MailHelper::encodeMailAddress(row.address, &error).isNull()) << row.address.toStdString();
        EXPECT_TRUE(error.contains(row.reason)) << row.address.toStdString() << ": " << error.toStdString();
    }
}

TEST_F(MimeMessage, BrokenMessagesAreRefusedNotSent)
{
    const auto refusal = [](const MailMessage &message) {
        QString error;
        const QString text = message.mailSMTPData(&error);
        EXPECT_TRUE(text.isNull());
        return error;
    };
    MailMessage message = basicMessage();
    message.setTo(QStringLiteral("anna@example.com\r\nBcc: all@example.com"));
    EXPECT_TRUE(refusal(message).startsWith("Recipient: "));
    message = basicMessage();
    message.setFrom(QString());
    EXPECT_TRUE(refusal(message).startsWith("Sender: "));
    message = basicMessage();
    message.setMessageID(QStringLiteral("x\r\nBcc: y"));
    EXPECT_FALSE(refusal(message).isEmpty());

    message = basicMessage();
    EXPECT_FALSE(message.addAttachment(m_dir.filePath("gone.pdf")));
    EXPECT_EQ(message.attachments().size(), 1);
    EXPECT_TRUE(refusal(message).contains("gone.pdf"));
    message.clearAttachments();
    EXPECT_FALSE(message.mailSMTPData().isNull());
    EXPECT_FALSE(message.addHTMLAttachment(m_dir.path()));
    EXPECT_TRUE(refusal(message).contains("not a regular file"));
}

TEST_F(MimeMessage, AttachmentCacheSharesUnchangedFilesOnly)
{
    MailAttachmentCache cache;
    const QByteArray first(3000, 'A');
    const QString path = file("report.bin", first);
    const MailAttachment read = cache.attachment(path);
    const MailAttachment again = cache.attachment(path);
    EXPECT_EQ(again.encData(), MailAttachment(path).encData());
    EXPECT_EQ(again.encData().constData(), read.encData().constData()) << "encoded once, shared";

    // Rewritten in place, same size, likely within the same clock tick as
    // the read: the stamp cannot tell, the content check does.
    const QByteArray second(3000, 'B');
    file("report.bin", second);
    EXPECT_EQ(cache.attachment(path).encData(), MailAttachment(path).encData());
    EXPECT_EQ(QByteArray::fromBase64(cache.attachment(path).encData()), second);

    // Replaced by another file, then gone, then back.
    file("other.bin", "short");
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(m_dir.filePath("other.bin"), path));
    EXPECT_EQ(QByteArray::fromBase64(cache.attachment(path).encData()), "short");
    ASSERT_TRUE(QFile::remove(path));
    const MailAttachment gone = cache.attachment(path);
    EXPECT_FALSE(gone.isReadable());
    EXPECT_TRUE(gone.encData().isEmpty());
    file("report.bin", first);
    EXPECT_EQ(QByteArray::fromBase64(cache.attachment(path).encData()), first);

    // A file long unchanged is trusted by its stamp.
    const QString old = QStringLiteral(CORV_SOURCE_DIR "/tests/delivery/mime_check.py");
    EXPECT_EQ(cache.attachment(old).encData().constData(), cache.attachment(old).encData().constData());

    // A message built from cached attachments is the one built from paths.
    MailMessage fromPaths = basicMessage();
    MailMessage fromCache = basicMessage();
    for (int i = 0; i < MailAttachmentCache::MaxEntries + 2; ++i) {
        const QString each = file(QStringLiteral("file%1.txt").arg(i), QByteArray::number(i).repeated(i * 40));
        fromPaths.addAttachment(each);
        fromCache.addAttachment(cache.attachment(each));
    }
    fromCache.addAttachment(cache.attachment(path));
    fromPaths.addAttachment(path);
    EXPECT_EQ(fromCache.mailSMTPBytes(), fromPaths.mailSMTPData().toLatin1());
    EXPECT_EQ(fromCache.mailSMTPBytes(), fromCache.mailSMTPData().toLatin1());

    // Several threads at once get the same text.
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                if (QByteArray::fromBase64(cache.attachment(i % 2 ? path : old).encData()).isEmpty())
                    ++wrong;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(MimeMessage, OutsideReaderAgreesOnEveryKind)
{
    QList<std::pair<QString, QJsonObject>> checks;
    const QString plainBody = QStringLiteral("Hello.\nSecond line \n");
    const QJsonObject plainLeaf = textLeaf("text/plain", plainBody, "iso-8859-1");
    const QJsonObject commonHeaders{{"Subject", u"Grüße"_qs}, {"Mime-Version", "1.0"}, {"Message-ID", "<" + Id + ">"},
        {"Date", "Tue, 18 Jun 2024 14:30:05 +0200"}};
    const QJsonObject commonAddresses{{"From", addressList({{u"Jürgen Vidav"_qs, "juergen@example.org"}})},
        {"To", addressList({{"", "anna@example.com"}})}};
    const auto expectation = [&](const QJsonArray &structure, const QJsonArray &parts) {
        return QJsonObject{{"headers", commonHeaders}, {"addresses", commonAddresses},
            {"absent", strings({"Bcc", "Cc", "X-Priority"})}, {"structure", structure}, {"parts", parts},
            {"max_line", 78}};
    };

    const QString html
        = QStringLiteral("<html><body><p>Hi. <img src=\"cid:logo.png%1\"></p>\n</body></html>\n").arg(Id);
    const QByteArray png("\x89PNG\r\n\x1a\n" + QByteArray(300, '\x07'));
    const QByteArray pdf("%PDF-1.4\n" + QByteArray(100, '.'));
    const QString logo = file("logo.png", png);
    const QString report = file("Report.PDF", pdf);
    const QJsonObject htmlLeaf = textLeaf("text/html", html, "iso-8859-1");
    const QJsonObject logoLeaf = fileLeaf("image/png", png, logo, "inline");
    const QJsonObject reportLeaf = fileLeaf("application/pdf", pdf, report, "attachment");

    MailMessage message = basicMessage();
    message.setPlainBody(plainBody);
    checks.append({message.mailSMTPData(), expectation(strings({"text/plain"}), {plainLeaf})});

    message.setFormattedBody(html);
    checks.append({message.mailSMTPData(),
        expectation(strings({"multipart/alternative", "text/plain", "text/html"}), {plainLeaf, htmlLeaf})});

    message.addHTMLAttachment(logo);
    checks.append({message.mailSMTPData(),
        expectation(strings({"multipart/alternative", "text/plain", "multipart/related", "text/html", "image/png"}),
            {plainLeaf, htmlLeaf, logoLeaf})});

    message.addAttachment(report);
    checks.append({message.mailSMTPData(),
        expectation(strings({"multipart/mixed", "multipart/alternative", "text/plain", "multipart/related", "text/html",
                        "image/png", "application/pdf"}),
            {plainLeaf, htmlLeaf, logoLeaf, reportLeaf})});

    MailMessage mixed = basicMessage();
    mixed.setPlainBody(plainBody);
    mixed.addAttachment(report);
    mixed.addAttachment(logo);
    checks.append({mixed.mailSMTPData(),
        expectation(strings({"multipart/mixed", "text/plain", "application/pdf", "image/png"}),
            {plainLeaf, reportLeaf, fileLeaf("image/png", png, logo, "attachment")})});

    // A long ASCII subject is folded, not encoded; empty texts stay empty.
    const QString asciiSubject = QStringLiteral("Your order 4711 has shipped and will arrive soon").repeated(5);
    MailMessage ascii = basicMessage();
    ascii.setSubject(asciiSubject);
    ascii.setPlainBody(QString());
    ascii.setPriority(5);
    const QString asciiText = ascii.mailSMTPData();
    EXPECT_FALSE(ascii.encodedSubject().contains(QStringLiteral("=?")));
    checks.append({asciiText,
        QJsonObject{{"headers", QJsonObject{{"Subject", asciiSubject}, {"X-Priority", "5"}}},
            {"parts", QJsonArray{textLeaf("text/plain", QString(), "iso-8859-1")}}, {"max_line", 78}}});
    ascii.setSubject(QString());
    checks.append({ascii.mailSMTPData(), QJsonObject{{"headers", QJsonObject{{"Subject", ""}}}}});

    // Foreign text everywhere, a long subject, hostile names.
    // Lines that look like delimiters must not read as any.
    const QString body = QStringLiteral("Ωmega € ") + QString(200, u'x')
        + QStringLiteral(" \n.dot\n--=_6cd363f8a0b8213a8cfa81\n--=_6cd363f8a0b8213a8cfa83--\n\nend\t");
    const QString subject
        = QStringLiteral("Sehr geehrte Frau Müller, Ihre Bestellung Nr. 4711 über ").repeated(8) + u'Ω';
    const QString longName = QStringLiteral("Übersicht ").repeated(12).trimmed() + QStringLiteral(".txt");
    const QByteArray note("note\r\n");
    const QString hostileName = QStringLiteral("quote\"back\\slash\nBcc: x.txt");
    const QString foreign = file(u"Bild grün 1.png"_qs, png);
    const QString longFile = file(longName, note);
    const QString hostileFile = file(hostileName, note);
    MailMessage world = basicMessage();
    world.setFrom(u"\"Müller, Hans\" <hans@bücher.de>"_qs);
    world.setTo(
        u"\"Evil\r\nBcc: x@y.z\" <anna@example.com>, Ωmega <o@example.org>, =?UTF-8?Q?Boss?= <b@example.org>"_qs);
    world.setSubject(subject + QStringLiteral("\r\nBcc: evil@example.com"));
    world.setPlainBody(body);
    world.setFormattedBody(QStringLiteral("<p>€</p>"));
    world.addHTMLAttachment(foreign);
    world.addAttachment(longFile);
    world.addAttachment(hostileFile);
    const QString worldText = world.mailSMTPData();
    ASSERT_FALSE(worldText.isNull());
    checks.append({worldText,
        QJsonObject{{"headers", QJsonObject{{"Subject", subject + QStringLiteral("  Bcc: evil@example.com")}}},
            {"absent", strings({"Bcc", "Cc"})},
            {"addresses",
                QJsonObject{{"From", addressList({{u"Müller, Hans"_qs, "hans@xn--bcher-kva.de"}})},
                    {"To",
                        addressList({{"Evil  Bcc: x@y.z", "anna@example.com"}, {u"Ωmega"_qs, "o@example.org"},
                            {"=?UTF-8?Q?Boss?=", "b@example.org"}})}}},
            {"structure",
                strings({"multipart/mixed", "multipart/alternative", "text/plain", "multipart/related", "text/html",
                    "image/png", "text/plain", "text/plain"})},
            {"parts",
                QJsonArray{textLeaf("text/plain", body, "utf-8"),
                    textLeaf("text/html", QStringLiteral("<p>€</p>"), "windows-1252"),
                    fileLeaf("image/png", png, foreign, "inline"), fileLeaf("text/plain", note, longFile, "attachment"),
                    fileLeaf("text/plain", note, hostileFile, "attachment",
                        QStringLiteral("quote\"back\\slash Bcc: x.txt"))}},
            {"max_line", 998}}});
    // Every header line stays within 78 characters; only Content-ID may not.
    for (const QString &line :
        worldText.left(worldText.indexOf(QStringLiteral("\r\n\r\n"))).split(QStringLiteral("\r\n")))
        EXPECT_LE(line.size(), 78) << line.toStdString();

    expectOutsideReaderAgrees(checks);
}

// The HTML part as a send run writes it, with its inline pictures: every
// "cid:" URL must name exactly the part of its own file, however the file
// names clash.
TEST_F(MimeMessage, EveryInlinePartHasAContentIdOfItsOwn)
{
    // The same name in two folders; names alike but for characters outside
    // ASCII, or written in another script; names alike once a space is "_".
    const QStringList names{"a/logo.png", "b/logo.png", u"grün.png"_qs, u"grön.png"_qs, u"写真.png"_qs,
                            u"照片.png"_qs, "a b.png", "a_b.png"};
    RichText body(QStringLiteral("Pictures: "));
    QStringList paths;
    QJsonArray contents;
    for (const QString &name : names) {
        const QByteArray content = "picture " + name.toUtf8();
        paths.append(m_dir.filePath(name));
        ASSERT_TRUE(TextFixtures::writeFile(paths.last(), content));
        body.append(TextFixtures::withTag({}, std::make_shared<ImageTag>(paths.last())));
        contents.append(QString::fromLatin1(content.toBase64()));
    }
    body.append(TextFixtures::withTag(QStringLiteral(" and a link: "), std::make_shared<HTMLFileLinkTag>(paths[1])));
    contents.append(contents[1]);
    const MessageSnapshot snapshot(MessageMode::Formatted, RichText(QStringLiteral("Subject")), body, {}, {},
                                   std::nullopt, {});

    Database table;
    table.addField(QStringLiteral("Name"));
    table.addEntryWithData(-1, {QStringLiteral("Ann")});
    Personalizer personalizer(table);
    personalizer.setMessageId(Id);
    MailMessage message = basicMessage();
    message.setFormattedBody(snapshot.htmlTextStringWithFullPath(false, Id, personalizer));
    ASSERT_EQ(snapshot.inlineAttachments(), paths);
    for (const QString &path : snapshot.inlineAttachments())
        message.addHTMLAttachment(path);
    // Attached as well as shown: a part of its own, which no URL names.
    message.addAttachment(paths[0]);

    // A name that clashes with none keeps the form it always had.
    EXPECT_TRUE(message.formattedBody().contains("cid:logo.png" + Id)) << message.formattedBody().toStdString();
    expectOutsideReaderAgrees({{message.mailSMTPData(), QJsonObject{{"cid_contents", contents}}}});
}

// The plain part as the recipient reads it after SMTP, dot-stuffing and the
// end of the data included: every line break of the body arrives, and none
// is added, whether the body ends in none, one or two.
TEST_F(MimeMessage, BodiesKeepTheirLineBreaksOverTheWire)
{
    const QStringList bodies{"Hello", "Hello\n", "Hello\n.line starting with a dot\n\n", ".\n\n\n",
                             QString(76, u'x'), QString(74, u'x') + ".", QString()};
    const QString pdf = file("notes.pdf", "%PDF");
    FakeSmtpServer server;
    QList<QJsonObject> expected;
    {
        SMTPMail mail;
        mail.setServer("127.0.0.1");
        mail.setPort(QString::number(server.port()));
        mail.setTimeout(5);
        ASSERT_EQ(mail.connect(), 0);
        for (const bool withFile : {false, true}) {
            for (const QString &body : bodies) {
                MailMessage message = basicMessage();
                message.setPlainBody(body);
                if (withFile)
                    message.addAttachment(pdf);
                ASSERT_EQ(mail.sendMailMessage(message), 0) << mail.getErrorDesc(1).toStdString();
                QJsonArray parts{textLeaf("text/plain", body, "iso-8859-1")};
                if (withFile)
                    parts.append(QJsonObject{{"type", "application/pdf"}});
                expected.append(QJsonObject{{"parts", parts}});
            }
        }
    }
    const QList<QByteArray> received = server.finish().messages;
    ASSERT_EQ(received.size(), expected.size());
    QList<std::pair<QString, QJsonObject>> checks;
    for (qsizetype i = 0; i < received.size(); ++i) {
        // The DATA text back to the message: the end marker off, the dots unstuffed.
        QByteArray text = received[i];
        ASSERT_TRUE(text.endsWith("\r\n.\r\n"));
        text.chop(3);
        text.replace("\r\n..", "\r\n.");
        if (text.startsWith(".."))
            text.remove(0, 1);
        checks.append({QString::fromLatin1(text), expected[i]});
    }
    expectOutsideReaderAgrees(checks);
}

// A page that names its charset goes out in it where that can hold the
// page; otherwise every name it gives is made the part's charset. Python's
// email package and html.parser check that the two agree in every message.
TEST_F(MimeMessage, AnHtmlPageAndItsPartNameOneCharset)
{
    struct Case {
        const char *name;
        QString page;
        const char *charset;
        QString sent; // null: the page as it was
    };
    const QString text = u" <p>€ 10 für Jürgen</p>"_qs;
    const QString latin = u" <p>für Jürgen</p>"_qs;
    const QString cjk = u" <p>日本語のお知らせ</p>"_qs;
    const QString deep = QStringLiteral("<div>").repeated(HTMLReferenceScanner::MaxNesting + 1);
    const Case cases[] = {
        {"utf-8 declared, text that windows-1252 holds", "<meta charset=\"utf-8\">" + text, "utf-8", {}},
        {"http-equiv in capitals, single quotes, blanks",
         "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; Charset = UTF8'>" + latin, "utf-8", {}},
        {"Latin-1 that holds the text", "<meta charset=latin1 />" + latin, "iso-8859-1", {}},
        {"Latin-1 that cannot hold the euro", "<meta charset=iso-8859-1>" + text, "windows-1252",
         "<meta charset=windows-1252>" + text},
        {"nonsense", "<meta charset=\"x-klingon\">" + latin, "iso-8859-1", "<meta charset=\"ISO-8859-1\">" + latin},
        {"two that disagree",
         "<meta charset=\"utf-8\"><meta http-equiv=\"content-type\" content=\"text/html; charset=koi8-r\">" + text,
         "windows-1252",
         "<meta charset=\"windows-1252\"><meta http-equiv=\"content-type\" content=\"text/html; charset=windows-1252\">"
             + text},
        {"a charset spelt with a character reference",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; ch&#97;rset=koi8-r\">" + latin, "iso-8859-1",
         "<meta http-equiv=\"Content-Type\" content=\"text/html;charset=ISO-8859-1\">" + latin},
        // An attribute value is text to the parser, whatever it holds.
        {"after a value that holds <meta", R"(<meta title='<meta x="' charset=iso-8859-1 y='"'>)" + cjk, "utf-8",
         R"(<meta title='<meta x="' charset=UTF-8 y='"'>)" + cjk},
        {"http-equiv after a value that holds <meta",
         R"(<meta title='<meta x="' http-equiv=Content-Type content="text/html; charset=iso-8859-1" y='"'>)" + cjk,
         "utf-8", R"(<meta title='<meta x="' http-equiv=Content-Type content="text/html; charset=UTF-8" y='"'>)" + cjk},
        // A browser's prescan reads a title's markup, not a comment's.
        {"in a title", "<title><meta charset=koi8-r></title>" + latin, "iso-8859-1",
         "<title><meta charset=ISO-8859-1></title>" + latin},
        {"in a comment", "<!-- <meta charset=koi8-r> -->" + latin, "iso-8859-1", {}},
        // Past the parser's bounds the page says its charset first.
        {"nested beyond the parser's bounds", deep + "<meta charset=koi8-r>" + latin, "iso-8859-1",
         "<meta charset=\"ISO-8859-1\">" + deep + "<meta charset=ISO-8859-1>" + latin},
    };
    QList<std::pair<QString, QJsonObject>> checks;
    for (const Case &c : cases) {
        MailMessage message = basicMessage();
        message.setFormattedBody(c.page);
        checks.append({message.mailSMTPData(),
            QJsonObject{{"parts",
                QJsonArray{QJsonObject{{"type", "text/plain"}},
                    textLeaf("text/html", c.sent.isNull() ? c.page : c.sent, c.charset)}}}});
    }
    expectOutsideReaderAgrees(checks);

    // A text file says it is UTF-8 when it is, and is not plain ASCII.
    const QByteArray utf8("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\n");
    MailMessage files = basicMessage();
    for (const auto &[name, content] : {std::pair{"utf8.txt", utf8}, {"ascii.txt", QByteArray("plain\n")},
                                       {"latin1.txt", QByteArray("Gr\xFC\xDF" "e\n")},
                                       {"overlong.txt", QByteArray("\xC0\xAF")}, {"utf8.pdf", utf8}})
        files.addAttachment(file(name, content));
    const QString sent = files.mailSMTPData();
    EXPECT_TRUE(sent.contains("Content-Type: text/plain; charset=utf-8;\r\n\tname=\"utf8.txt\""));
    EXPECT_EQ(sent.count("charset=utf-8"), 1) << sent.toStdString();
}
