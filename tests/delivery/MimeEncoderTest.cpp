#include "MailAttachment.h"
#include "MimeEncoders.h"
#include "MimeHeader.h"
#include "StringEncoder.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// A plain RFC 2045 reader: soft breaks vanish, CRLF stays a line break.
QByteArray qpDecoded(const QByteArray &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            bytes += text[i];
        } else if (text.mid(i + 1, 2) == "\r\n") {
            i += 2;
        } else {
            bytes += QByteArray::fromHex(text.mid(i + 1, 2));
            i += 2;
        }
    }
    return bytes;
}

void expectWellFormedQp(const QByteArray &encoded)
{
    for (const QByteArray &line : encoded.split('\n')) {
        const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
        EXPECT_LE(bare.size(), 76) << bare.constData();
        EXPECT_FALSE(bare.endsWith(' ') || bare.endsWith('\t')) << bare.constData();
        EXPECT_FALSE(bare.startsWith('.')) << bare.constData();
        for (const char c : bare)
            EXPECT_TRUE((c >= 33 && c <= 126) || c == ' ' || c == '\t') << int(c);
    }
    EXPECT_EQ(encoded.count('\n'), encoded.count("\r\n"));
}

} // namespace

TEST(MimeEncoders, Base64)
{
    // RFC 4648 section 10.
    const std::pair<const char *, const char *> vectors[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto &[plain, encoded] : vectors) {
        EXPECT_EQ(enc_base64_maxLen(plain), encoded) << plain;
        EXPECT_EQ(enc_base64_infLen(plain), encoded) << plain;
    }
    const QByteArray line57(57, 'z');
    EXPECT_EQ(enc_base64_maxLen(line57).size(), 76);
    EXPECT_FALSE(enc_base64_maxLen(line57).contains('\n'));
    const QByteArray two = enc_base64_maxLen(QByteArray(58, 'z'));
    EXPECT_EQ(two.indexOf("\r\n"), 76);
    EXPECT_FALSE(two.endsWith("\r\n"));
    EXPECT_EQ(QByteArray::fromBase64(enc_base64_maxLen(QByteArray(1000, '\xff'))), QByteArray(1000, '\xff'));
    EXPECT_EQ(enc_base64_infLen(QByteArray(300, 'a')).size(), 400);
}

TEST(MimeEncoders, QuotedPrintableLineBreaksAndLimits)
{
    // Text line breaks stay line breaks (RFC 2045 6.7 rule 4); "." is always
    // encoded; white space before a line end, DEL and "=" are encoded.
    const std::pair<QByteArray, QByteArray> edges[] = {
        {"", ""},
        {"a.b\r\nc", "a=2Eb\r\nc"},
        {"a b \nc\t", "a b=20\r\nc=09"},
        {"x\x7f=?", "x=7F=3D=3F"},
        {"=", "=3D"},
        {"a=b", "a=3Db"},
        {"\x7f\x80\xff", "=7F=80=FF"},
        // Blanks are encoded only where a line ends, the input's end included.
        {"a \r\nb", "a=20\r\nb"},
        {"a\t\nb", "a=09\r\nb"},
        {"a  \n", "a =20\r\n"},
        {"a \t", "a =09"},
        // LF and CRLF are the same line break; a CR alone is data.
        {"a\nb", "a\r\nb"},
        {"\r\r\n\n\r", "=0D\r\n\r\n=0D"},
        {"\n.", "\r\n=2E"},
        // At the 76-character limit: a last line may use all 76, one that
        // goes on needs one for its "=", and "=XX" is never cut.
        {QByteArray(76, 'x') + "\ny", QByteArray(76, 'x') + "\r\ny"},
        {QByteArray(80, 'x'), QByteArray(75, 'x') + "=\r\n" + QByteArray(5, 'x')},
        {QByteArray(74, 'x') + "\xe9\xe9", QByteArray(74, 'x') + "=\r\n=E9=E9"},
        {QByteArray(77, 'x'), QByteArray(75, 'x') + "=\r\nxx"},
        {QByteArray(73, 'x') + "=", QByteArray(73, 'x') + "=3D"},
        {QByteArray(73, 'x') + "=y", QByteArray(73, 'x') + "=\r\n=3Dy"},
        {QByteArray(72, 'x') + "=y", QByteArray(72, 'x') + "=3Dy"},
        {QByteArray(74, 'x') + "=", QByteArray(74, 'x') + "=\r\n=3D"},
        {QByteArray(75, 'x') + " ", QByteArray(75, 'x') + "=\r\n=20"},
        {QByteArray(75, 'x') + " \n", QByteArray(75, 'x') + "=\r\n=20\r\n"},
    };
    EXPECT_EQ(enc_qprint(QByteArray(80, 'x'), 0), QByteArray(80, 'x'));
    for (const auto &[source, encoded] : edges) {
        EXPECT_EQ(enc_qprint(source, 76), encoded) << source.toStdString();
        expectWellFormedQp(encoded);
        EXPECT_EQ(qpDecoded(encoded), QByteArray(source).replace("\r\n", "\n").replace("\n", "\r\n"));
    }

    // A text that is the whole message and ends without a line break ends
    // in a soft one, within the limit, so that SMTP's own line end adds none.
    const std::pair<QByteArray, QByteArray> openEnds[] = {
        {"", ""},
        {"a\n", "a\r\n"},
        {"a", "a="},
        {"a ", "a ="},
        {QByteArray(76, 'x'), QByteArray(75, 'x') + "=\r\nx="},
        {QByteArray(74, 'x') + ".", QByteArray(74, 'x') + "=\r\n=2E="},
        {QByteArray(72, 'x') + ".", QByteArray(72, 'x') + "=2E="},
    };
    for (const auto &[source, encoded] : openEnds) {
        EXPECT_EQ(enc_qprint(source, 76, true), encoded) << source.toStdString();
        expectWellFormedQp(encoded);
        const QByteArray wire = encoded.endsWith("\r\n") ? encoded : encoded + "\r\n";
        EXPECT_EQ(qpDecoded(wire), QByteArray(source).replace("\n", "\r\n") + (source.isEmpty() ? "\r\n" : ""));
    }

    QByteArray everything;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b)
            everything += char(b);
        everything += "  \n.line   \r\n" + QByteArray(200, '.') + "\t\n";
    }
    const QByteArray all = enc_qprint(everything, 76);
    expectWellFormedQp(all);
    QByteArray expected = everything;
    expected.replace("\r\n", "\n").replace("\n", "\r\n");
    EXPECT_EQ(qpDecoded(all), expected);
}

TEST(MimeEncoders, HeaderWordsAndAsciiTest)
{
    EXPECT_EQ(enc_qprint_header("Gr\xfc\xdf"
                                "e",
                  "ISO-8859-1"),
        "=?ISO-8859-1?Q?Gr=FC=DFe?=");
    const QByteArray longWords = enc_qprint_header(QByteArray(200, 'a'), "UTF-8");
    for (const QByteArray &word : longWords.split(' '))
        EXPECT_LE(word.size(), 75);
    EXPECT_EQ(longWords.count("=?UTF-8?Q?"), 4);
    EXPECT_FALSE(smtp_is_non_ascii(nullptr));
    EXPECT_FALSE(smtp_is_non_ascii(""));
    EXPECT_FALSE(smtp_is_non_ascii("plain\x7f"));
    EXPECT_TRUE(smtp_is_non_ascii("caf\xc3\xa9"));
}

TEST(MimeEncoders, BodyCharsetIsNeverLossy)
{
    const struct {
        QString text;
        const char *charset;
        QByteArray bytes;
    } rows[] = {
        {QStringLiteral("plain"), "ISO-8859-1", "plain"},
        {u"Grüße"_qs, "ISO-8859-1",
            "Gr\xfc\xdf"
            "e"},
        {u"5 € – “quoted”"_qs, "windows-1252", "5 \x80 \x96 \x93quoted\x94"},
        {u"€ and Ω"_qs, "UTF-8", "\xe2\x82\xac and \xce\xa9"},
        // U+0081 has no place in code page 1252.
        {u"€"_qs + QChar(0x81), "UTF-8", "\xe2\x82\xac\xc2\x81"},
    };
    for (const auto &row : rows) {
        StringEncoder encoder(row.text);
        encoder.guessCharset();
        EXPECT_EQ(encoder.charset(), row.charset) << row.text.toStdString();
        EXPECT_EQ(qpDecoded(encoder.encodedString()), row.bytes) << row.text.toStdString();
    }
    StringEncoder crlf(QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(crlf.rawString(), "a\nb\n");
    EXPECT_EQ(crlf.encodedString(), "a\r\nb\r\n");
}

TEST(MimeEncoders, ParametersAreQuotedOrRfc2231)
{
    EXPECT_EQ(MimeHeader::parameter("name", "Photo 1.JPG"), "name=\"Photo 1.JPG\"");
    EXPECT_EQ(MimeHeader::parameter("name", "a\"b\\c.pdf"), "name=\"a\\\"b\\\\c.pdf\"");
    EXPECT_EQ(MimeHeader::parameter("name", "x\r\ny"), "name=\"x  y\"");
    EXPECT_EQ(MimeHeader::parameter("filename", u"Bild grün.png"_qs), "filename*=UTF-8''Bild%20gr%C3%BCn.png");
    const QByteArray continued = MimeHeader::parameter("filename", QStringLiteral("ö").repeated(60));
    EXPECT_TRUE(continued.startsWith("filename*0*=UTF-8''%C3%B6"));
    EXPECT_TRUE(continued.contains(";\r\n\tfilename*1*=%C3%B6"));
    EXPECT_TRUE(MimeHeader::linesWithin(continued, 77));
    EXPECT_EQ(QByteArray::fromPercentEncoding(continued).count("\xc3\xb6"), 60);
}

TEST(MimeEncoders, HeaderFolding)
{
    const QByteArray line = "Subject:" + QByteArray("word ").repeated(40) + "end";
    const QByteArray folded = MimeHeader::folded(line);
    EXPECT_TRUE(MimeHeader::linesWithin(folded, 78));
    EXPECT_EQ(QByteArray(folded).replace("\r\n", ""), line);
    // Runs of blanks are not folding points: a line of only white space is not allowed.
    EXPECT_EQ(MimeHeader::folded("X:" + QByteArray(100, 'a') + "  b"), "X:" + QByteArray(100, 'a') + "  b");
    EXPECT_FALSE(MimeHeader::linesWithin(QByteArray(999, 'a'), 998));
}

TEST(MailAttachment, TypesAndUnreadableFiles)
{
    EXPECT_EQ(MailAttachment::typeForPath("/x/Photo 1.JPG"), "image/jpeg");
    EXPECT_EQ(MailAttachment::typeForPath("/x/a.Png"), "image/png");
    EXPECT_EQ(MailAttachment::typeForPath("/x/a.pdf"), "application/pdf");
    EXPECT_EQ(MailAttachment::typeForPath("/x/README"), "application/octet-stream");
    EXPECT_EQ(MailAttachment::typeForPath("/x/a.tar.gz"), "application/octet-stream");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("one.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("M");
    file.close();
    const MailAttachment good(path);
    EXPECT_TRUE(good.isReadable());
    EXPECT_EQ(good.encData(), "TQ==");
    EXPECT_EQ(good.fileName(), "one.txt");

    const MailAttachment missing(dir.filePath("missing.pdf"));
    EXPECT_FALSE(missing.isReadable());
    EXPECT_FALSE(missing.readError().isEmpty());
    EXPECT_TRUE(missing.encData().isEmpty());
    EXPECT_FALSE(MailAttachment(dir.path()).isReadable());
    // A FIFO would block a plain open; it is refused at once.
    const QString fifo = dir.filePath("pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(MailAttachment(fifo).readError(), "not a regular file");
    if (::geteuid() != 0) {
        ASSERT_TRUE(file.setPermissions(QFileDevice::WriteOwner));
        EXPECT_FALSE(MailAttachment(path).isReadable());
    }
}
