#include "BetterString.h"

#include <gtest/gtest.h>

using namespace BetterString;

namespace {

// The bytes behind Q encoded words, and the charset of the last one.
QByteArray decodedWords(const QString &words, QString *charset)
{
    QByteArray bytes;
    for (const QString &word : words.split(u' ')) {
        const QStringList pieces = word.split(u'?');
        EXPECT_EQ(pieces.size(), 5) << word.toStdString();
        *charset = pieces.value(1);
        bytes += QByteArray::fromPercentEncoding(pieces.value(3).toLatin1().replace('_', ' '), '=');
    }
    return bytes;
}

} // namespace

TEST(MimeHeaderString, ChoosesCharsetAndKeepsLinesWhole)
{
    EXPECT_EQ(encodedMIMEHeaderString("Hello world"), "Hello world");
    EXPECT_EQ(encodedMIMEHeaderString(u"Grüße"_qs), "=?ISO-8859-1?Q?Gr=FC=DFe?=");
    // The underscore is encoded, or it would read as a space.
    EXPECT_EQ(encodedMIMEHeaderString(u"a_ü"_qs), "=?ISO-8859-1?Q?a=5F=FC?=");
    EXPECT_EQ(encodedMIMEHeaderString(u"Ω €"_qs), "=?UTF-8?Q?=CE=A9_=E2=82=AC?=");
    // Text that looks like an encoded word is encoded, so a reader shows it as written.
    EXPECT_EQ(encodedMIMEHeaderString("=?UTF-8?Q?x?="), "=?ISO-8859-1?Q?=3D=3FUTF-8=3FQ=3Fx=3F=3D?=");
    EXPECT_EQ(encodedMIMEHeaderString("plain", 0, MimeEncoding::Always), "=?ISO-8859-1?Q?plain?=");
    EXPECT_EQ(encodedMIMEHeaderString(""), "");
    EXPECT_EQ(controlCharactersAsSpaces(QStringLiteral("a\r\nBcc: x\t\x7f") + QChar(0x85) + QChar(0x2028) + u"ü"_qs),
        u"a  Bcc: x    ü"_qs);
    EXPECT_EQ(encodedMIMEHeaderString("Hi\r\nBcc: evil@example.org"), "Hi  Bcc: evil@example.org");
}

TEST(MimeHeaderString, PhraseSpecialsAreEncoded)
{
    // RFC 2047 5(3): inside a phrase only letters, digits and !*+-/ may stand as they are.
    for (const char special : QByteArray("\"(),.:;<>@[]\\?=_'#")) {
        const QByteArray hex = QByteArray(1, special).toHex().toUpper();
        EXPECT_EQ(mimeEncodedWords(QByteArray(1, special), "ISO-8859-1").toStdString(),
            "=?ISO-8859-1?Q?=" + hex.toStdString() + "?=");
    }
    EXPECT_EQ(mimeEncodedWords("Az 09!*+-/", "ISO-8859-1"), "=?ISO-8859-1?Q?Az_09!*+-/?=");
}

TEST(MimeHeaderString, LongTextIsSplitIntoShortWords)
{
    const QString text
        = QStringLiteral("Ünïcödé ").repeated(30) + QString::fromUtf8("\xF0\x9F\x98\x80 ☃ ").repeated(20);
    const QString encoded = encodedMIMEHeaderString(text, int(qstrlen("Subject:")));
    const QStringList words = encoded.split(u' ');
    ASSERT_GT(words.size(), 10);
    EXPECT_LE(words.first().size() + 8, 78);
    QString charset;
    for (const QString &word : words) {
        EXPECT_LE(word.size(), 75);
        // Each word holds whole characters: its bytes are valid UTF-8 alone.
        EXPECT_FALSE(QString::fromUtf8(decodedWords(word, &charset)).contains(QChar::ReplacementCharacter));
        EXPECT_EQ(charset, "UTF-8");
    }
    EXPECT_EQ(QString::fromUtf8(decodedWords(encoded, &charset)), text);

    const QString latin = QStringLiteral("Grüße aus Köln, ").repeated(12);
    EXPECT_EQ(QString::fromLatin1(decodedWords(encodedMIMEHeaderString(latin), &charset)), latin);
    EXPECT_EQ(charset, "ISO-8859-1");
}
