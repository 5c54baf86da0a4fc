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

TEST(MimeHeaderString, LineBreaksNeverReachTheHeader)
{
    EXPECT_EQ(encodedMIMEHeaderString("plain", 0, MimeEncoding::Always), "=?ISO-8859-1?Q?plain?=");
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

TEST(MimeHeaderString, CharsetChoiceAndWordEdges)
{
    const std::pair<QString, const char *> rows[] = {
        {"Hello world", "Hello world"}, {"", ""},
        {u"Grüße"_qs, "=?ISO-8859-1?Q?Gr=FC=DFe?="},
        // The underscore is encoded, or it would read as a space.
        {u"a_ü"_qs, "=?ISO-8859-1?Q?a=5F=FC?="},
        {u"Ω €"_qs, "=?UTF-8?Q?=CE=A9_=E2=82=AC?="},
        // Text that looks like an encoded word is encoded, so a reader shows it as written.
        {"=?UTF-8?Q?x?=", "=?ISO-8859-1?Q?=3D=3FUTF-8=3FQ=3Fx=3F=3D?="},
        {u"ÿ"_qs, "=?ISO-8859-1?Q?=FF?="},
        // In code page 1252 but not in Latin-1: a header names one charset for all readers.
        {u"€"_qs, "=?UTF-8?Q?=E2=82=AC?="},
        {u"é€"_qs, "=?UTF-8?Q?=C3=A9=E2=82=AC?="},
        {QString(QChar(0x100)), "=?UTF-8?Q?=C4=80?="},
        // A surrogate pair is one character, four bytes.
        {QString::fromUtf16(u"\U0001F600"), "=?UTF-8?Q?=F0=9F=98=80?="},
        {u"ü "_qs, "=?ISO-8859-1?Q?=FC_?="},
    };
    for (const auto &[text, encoded] : rows)
        EXPECT_EQ(encodedMIMEHeaderString(text), encoded) << text.toStdString();

    // "=?UTF-8?Q?" and "?=" leave 63 characters in a word of 75.
    EXPECT_EQ(mimeEncodedWords(QByteArray(63, 'a'), "UTF-8"), "=?UTF-8?Q?" + QByteArray(63, 'a') + "?=");
    EXPECT_EQ(mimeEncodedWords(QByteArray(64, 'a'), "UTF-8"), "=?UTF-8?Q?" + QByteArray(63, 'a') + "?= =?UTF-8?Q?a?=");
    // A character that would straddle the limit moves whole into the next word.
    EXPECT_EQ(mimeEncodedWords(QByteArray(60, 'a') + "\xF0\x9F\x98\x80", "UTF-8"),
        "=?UTF-8?Q?" + QByteArray(60, 'a') + "?= =?UTF-8?Q?=F0=9F=98=80?=");
    EXPECT_EQ(mimeEncodedWords(QByteArray(60, 'a') + "\xC3\xA9", "UTF-8"),
        "=?UTF-8?Q?" + QByteArray(60, 'a') + "?= =?UTF-8?Q?=C3=A9?=");
    // In Latin-1 every byte is a character of its own.
    EXPECT_EQ(mimeEncodedWords(QByteArray(55, 'a') + "\xC3\xA9", "ISO-8859-1"),
        "=?ISO-8859-1?Q?" + QByteArray(55, 'a') + "=C3?= =?ISO-8859-1?Q?=A9?=");
    // The first word leaves room for the header's name.
    const QByteArray first = mimeEncodedWords(QByteArray(100, 'a'), "UTF-8", 70).split(' ').first();
    EXPECT_EQ(first.size(), 70);
}
