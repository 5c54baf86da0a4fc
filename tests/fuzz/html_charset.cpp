// Arbitrary text, read as UTF-8 and as UTF-16, as the HTML part of a
// message. Whatever the page declares, the charset the part goes out in is
// the one every declaration of the page as sent names; the page as sent
// differs from the page only in what its declarations name; and the part's
// bytes read back in its charset give the page as sent.

#include "HtmlCharsetDeclarations.h"
#include "StringEncoder.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what, const QString &page)
{
    if (ok)
        return;
    std::fprintf(stderr, "broken: %s\npage: %s\n", what, page.left(2000).toUtf8().constData());
    std::abort();
}

int hexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The bytes behind quoted-printable text: a line break is LF, soft ones
// are dropped.
QByteArray unquoted(const QByteArray &text, const QString &page)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            require(i + 1 < text.size() && text[i + 1] == '\n', "a CR alone", page);
            bytes += '\n';
            ++i;
        } else if (text[i] != '=') {
            require(text[i] != '\n', "an LF alone", page);
            bytes += text[i];
        } else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2;
        } else {
            require(i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 && hexValue(text.at(i + 2)) >= 0,
                    "a broken =XX", page);
            bytes += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        }
    }
    return bytes;
}

// Whether the bytes are the text in the charset.
bool holds(const QByteArray &bytes, const QString &charset, const QString &text)
{
    if (charset == u"ISO-8859-1" || charset == u"US-ASCII")
        return QString::fromLatin1(bytes) == text;
    if (charset == u"windows-1252")
        return StringEncoder::toWindows1252(text) == bytes;
    // A lone surrogate has no UTF-8 form: it reads back as a replacement.
    return charset == u"UTF-8" && QString::fromUtf8(bytes) == QString::fromUtf8(text.toUtf8());
}

void check(const QString &input)
{
    const StringEncoder encoder = StringEncoder::forHtmlPage(input);
    const QString &sent = encoder.rawString();
    const QString charset = encoder.charset();
    const QString page = StringEncoder(input).rawString();
    const HtmlCharsetDeclarations before(page);
    const HtmlCharsetDeclarations after(sent);
    require(after.count() == before.count(), "declarations came or went", input);
    if (!after.isEmpty())
        require(after.agreedCharset(sent) == charset, "the page and its part disagree", input);
    require(before.withCharset(page, charset) == sent || sent == page, "more changed than the names", input);
    if (charset == u"US-ASCII") {
        for (const QChar c : sent)
            require(c.unicode() < 0x80, "US-ASCII that is not", input);
    }
    // A CR right before an LF is part of the line break the encoder writes.
    QString read = sent;
    read.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    require(holds(unquoted(encoder.encodedString(), input), charset, read), "the part does not read back as the page",
            input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(QString::fromUtf8(bytes));
    check(QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2));
    return 0;
}
