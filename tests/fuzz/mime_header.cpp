// Arbitrary text, read as UTF-8 and as UTF-16, into the header encoders: the
// Subject value, encoded words as file names and display names get them,
// address lists and the RFC 2231 file-name parameter. Whatever the text,
// what comes out is ASCII without control characters, breaks lines only to
// fold (CRLF and a blank), keeps lines within 998 characters (78 where
// folding can), and reads back as the text with control characters as
// spaces. Besides, the Content-ID names of files named by the text, and the
// address an SMTP command makes of it.

#include "BetterString.h"
#include "ContentId.h"
#include "ContentIdNames.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "MimeHeader.h"
#include "SmtpText.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr int LineGoal = 78;
constexpr int LineLimit = 998;

void require(bool ok, const char *what, const QByteArray &output)
{
    if (ok)
        return;
    std::fprintf(stderr, "broken: %s\noutput: %s\n", what, output.left(2000).constData());
    std::abort();
}

bool fitsIn(const QString &text, char16_t highest)
{
    for (const QChar c : text) {
        if (c.unicode() > highest)
            return false;
    }
    return true;
}

// UTF-8 as a reader decodes it: a BOM is a character like any other.
// Null for bytes that are no UTF-8.
QString fromUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder(bytes);
    return decoder.hasError() ? QString() : text;
}

// The text as the charset gives it back: a lone surrogate has no UTF-8 form.
QString throughCharset(const QString &text, const QByteArray &charset)
{
    return charset == "UTF-8" ? fromUtf8(text.toUtf8()) : text;
}

// Printable ASCII, lines joined only by CRLF and a blank, no line of
// blanks alone, none longer than `limit`. Gives back the unfolded text.
QByteArray checkedHeaderText(const QByteArray &text, int limit)
{
    // Plain pointers: this runs for every byte, and debug builds inline nothing.
    const char *at = text.constData();
    const qsizetype size = text.size();
    QByteArray unfolded;
    unfolded.reserve(size);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && at[i] != '\r') {
            require((at[i] >= 0x20 && at[i] < 0x7F) || (at[i] == '\t' && i == lineStart),
                "a byte outside printable ASCII", text);
            unfolded += at[i];
            continue;
        }
        require(i - lineStart <= limit, "a line too long", text);
        if (i == size)
            break;
        require(i + 2 < size && at[i + 1] == '\n' && (at[i + 2] == ' ' || at[i + 2] == '\t'),
            "a line break that is no folding", text);
        qsizetype next = i + 2;
        while (next < size && (at[next] == ' ' || at[next] == '\t'))
            ++next;
        require(next < size && at[next] != '\r', "a line of blanks alone", text);
        lineStart = i + 2;
        ++i;
    }
    return unfolded;
}

int upperHexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The text behind Q encoded words joined by spaces, each checked for the
// form RFC 2047 5(3) allows in a phrase and for the 75-character limit.
// `charset` gets the charset all of them name.
QString decodedWords(const QByteArray &words, QByteArray *charset, qsizetype firstLimit)
{
    QByteArray bytes;
    const QList<QByteArray> list = words.split(' ');
    for (qsizetype n = 0; n < list.size(); ++n) {
        const QByteArray &word = list[n];
        require(word.size() <= (n == 0 ? firstLimit : 75), "an encoded word too long", words);
        require(word.startsWith("=?") && word.endsWith("?=") && word.count('?') == 4, "not an encoded word", words);
        const QList<QByteArray> pieces = word.split('?');
        require(pieces[1] == "ISO-8859-1" || pieces[1] == "UTF-8", "an unexpected charset", words);
        require(n == 0 || pieces[1] == *charset, "two charsets in one text", words);
        require(pieces[2] == "Q", "not the Q encoding", words);
        *charset = pieces[1];
        const QByteArray &payload = pieces[3];
        require(!payload.isEmpty(), "an empty encoded word", words);
        QByteArray wordBytes;
        const char *at = payload.constData();
        for (qsizetype i = 0; i < payload.size(); ++i) {
            const char c = at[i];
            if (c == '_') {
                wordBytes += ' ';
            } else if (c == '=') {
                const int high = i + 2 < payload.size() ? upperHexValue(at[i + 1]) : -1;
                const int low = i + 2 < payload.size() ? upperHexValue(at[i + 2]) : -1;
                require(high >= 0 && low >= 0, "a broken =XX", words);
                wordBytes += char(high * 16 + low);
                i += 2;
            } else {
                require((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                        || QByteArrayView("!*+-/").contains(c),
                    "a character a phrase may not hold", words);
                wordBytes += c;
            }
        }
        // Each word holds whole characters.
        if (*charset == "UTF-8")
            require(!fromUtf8(wordBytes).isNull(), "a word splits a UTF-8 character", words);
        bytes += wordBytes;
    }
    return *charset == "UTF-8" ? fromUtf8(bytes) : QString::fromLatin1(bytes);
}

// The value of a header whose text is plain when it does not begin with an
// encoded word.
void requireReadsBack(const QByteArray &value, const QString &clean, qsizetype firstLimit)
{
    if (!value.startsWith("=?")) {
        require(value == clean.toLatin1() && QString::fromLatin1(value) == clean, "plain text changed", value);
        return;
    }
    QByteArray charset;
    const QString decoded = decodedWords(value, &charset, firstLimit);
    require(decoded == throughCharset(clean, charset), "encoded words do not read back", value);
    require((charset == "UTF-8") == !fitsIn(clean, 0xFF), "the wrong charset", value);
}

void subject(const QString &text)
{
    MailMessage message;
    message.setSubject(text);
    const QByteArray value = message.encodedSubject().toUtf8();
    const QByteArray unfolded = checkedHeaderText("Subject:" + value, LineGoal).mid(8);
    requireReadsBack(unfolded, BetterString::controlCharactersAsSpaces(text), 70);
}

void headerString(const QString &text, int lineUsed, BetterString::MimeEncoding when)
{
    const QByteArray value = BetterString::encodedMIMEHeaderString(text, lineUsed, when).toUtf8();
    require(!value.contains('\r') && !value.contains('\n'), "a line break in encoded words", value);
    const QString clean = BetterString::controlCharactersAsSpaces(text);
    if (when == BetterString::MimeEncoding::WhenNeeded && fitsIn(clean, 0x7F) && !clean.contains(QLatin1String("=?")))
        require(value == clean.toLatin1(), "ASCII text changed", value);
    else if (!clean.isEmpty())
        require(value.startsWith("=?"), "text that needs encoding is plain", value);
    // The first word is cut to what the line has left, but never below one
    // character in its longest form.
    const qsizetype shortest = value.startsWith("=?UTF-8") ? 24 : 29;
    requireReadsBack(value, clean, std::max<qsizetype>(LineGoal - lineUsed, shortest));
    const QByteArray folded = MimeHeader::folded(QByteArray(lineUsed, 'X') + value);
    checkedHeaderText(folded, value.startsWith("=?") && lineUsed + shortest <= LineGoal ? LineGoal : LineLimit);
}

QString quotedText(const QString &text)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

void displayName(const QString &text)
{
    const QString address = quotedText(text) + QStringLiteral(" <a@example.org>");
    QString error;
    const QByteArray value = MailHelper::encodeMailAddress(address, &error, 5).toUtf8();
    require(!value.isEmpty(), error.toUtf8().constData(), address.toUtf8());
    const QByteArray unfolded = checkedHeaderText(MimeHeader::folded("From:" + value), LineGoal).mid(5);
    const QString clean = BetterString::controlCharactersAsSpaces(text).trimmed();
    if (clean.isEmpty()) {
        require(unfolded == "a@example.org", "an empty display name written", unfolded);
        return;
    }
    require(unfolded.endsWith(" <a@example.org>"), "the address is lost", unfolded);
    const QByteArray phrase = unfolded.chopped(16);
    if (!phrase.startsWith('"')) {
        requireReadsBack(phrase, clean, LineGoal - 5);
        return;
    }
    QByteArray inside;
    for (qsizetype i = 1; i + 1 < phrase.size(); ++i) {
        require(phrase[i] != '"', "an unescaped quote", phrase);
        if (phrase[i] == '\\')
            ++i;
        inside += phrase[i];
    }
    require(phrase.endsWith('"') && QString::fromLatin1(inside) == clean, "a quoted name does not read back", phrase);
}

void addressList(const QString &text)
{
    QString error;
    const QString value = MailHelper::encodeMailAddress(text, &error, 3);
    require(value.isNull() != error.isEmpty(), "a refusal without reason, or a reason with a result", value.toUtf8());
    if (!value.isNull())
        checkedHeaderText(value.toUtf8(), INT32_MAX);
}

// RFC 2231 as a reader takes it apart: numbered pieces in order, the
// charset on the first, %XX for every byte outside attribute-char.
void fileNameParameter(const QString &text)
{
    const QByteArray value = MimeHeader::parameter("filename", text);
    // The line begins with a tab and may end in ";".
    const QByteArray lines = checkedHeaderText("\t" + value + ";", LineGoal);
    const QString clean = BetterString::controlCharactersAsSpaces(text);
    if (value.startsWith("filename=\"")) {
        QByteArray inside;
        for (qsizetype i = 10; i + 1 < value.size(); ++i) {
            require(value[i] != '"', "an unescaped quote", value);
            if (value[i] == '\\')
                ++i;
            inside += value[i];
        }
        require(value.endsWith('"') && QString::fromLatin1(inside) == clean, "a quoted name does not read back", value);
        return;
    }
    const QList<QByteArray> pieces = value.split('\n');
    require(pieces.size() == 1 || lines.count(";\t") == pieces.size() - 1, "pieces not joined by \";\" CRLF tab",
        value);
    QByteArray encoded;
    for (qsizetype n = 0; n < pieces.size(); ++n) {
        QByteArray piece = pieces[n];
        if (n > 0)
            piece = piece.mid(1); // the tab
        if (n + 1 < pieces.size())
            piece.chop(2); // ";" CR
        const QByteArray head
            = pieces.size() == 1 ? "filename*=" : "filename*" + QByteArray::number(n) + "*=";
        require(piece.startsWith(head), "a piece out of order", value);
        piece = piece.mid(head.size());
        if (n == 0) {
            require(piece.startsWith("UTF-8''"), "no charset on the first piece", value);
            piece = piece.mid(7);
        }
        for (const char c : piece)
            require((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                    || QByteArrayView("!#$&+-.^_`|~%").contains(c),
                "a character outside attribute-char", value);
        encoded += piece;
    }
    require(fromUtf8(QByteArray::fromPercentEncoding(encoded)) == throughCharset(clean, "UTF-8"),
        "the parameter does not read back", value);
}

// Printable ASCII that neither the header's angle brackets nor a cid: URL
// read as syntax, within its length; no two files of a message share one,
// though their plain names do.
void contentIdNames(const QString &text)
{
    const ContentIdNames names({"/d/" + text, "/e/" + text, "/d/" + text + "x", "/f/" + text + "x"});
    const QStringList &all = names.names();
    for (qsizetype i = 0; i < all.size(); ++i) {
        require(all[i].size() <= MaxContentIdNameLength, "a Content-ID name too long", all[i].toUtf8());
        for (const QChar c : all[i])
            require(c.unicode() > 0x20 && c.unicode() < 0x7F && !QStringView(u"\"(),:;<>@[\\]%#?").contains(c),
                "a character a Content-ID or cid: URL may not hold", all[i].toUtf8());
        for (qsizetype j = 0; j < i; ++j)
            require(all[i] != all[j], "two parts share a Content-ID name", all[i].toUtf8());
    }
}

// An address inside a command's angle brackets: printable ASCII within the
// limit, or a refusal that says why.
void envelopeAddress(const QString &text)
{
    QString why;
    const std::optional<QByteArray> address = SmtpText::envelopeAddress(text.toUtf8(), false, &why);
    if (!address) {
        require(!why.isEmpty(), "a refusal without reason", text.toUtf8());
        return;
    }
    require(!address->isEmpty() && address->size() <= SmtpText::MaxEnvelopeAddressLength,
        "an empty or too long address", *address);
    for (const char c : *address)
        require(c >= 0x20 && c < 0x7F, "a byte outside printable ASCII in an address", *address);
}

void everyEncoder(const QString &text, int lineUsed)
{
    subject(text);
    headerString(text, lineUsed, BetterString::MimeEncoding::WhenNeeded);
    headerString(text, lineUsed, BetterString::MimeEncoding::Always);
    displayName(text);
    addressList(text);
    fileNameParameter(text);
    contentIdNames(text);
    envelopeAddress(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    const int lineUsed = data[0] % 80;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    everyEncoder(QString::fromUtf8(bytes), lineUsed);
    everyEncoder(QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2), lineUsed);
    return 0;
}
