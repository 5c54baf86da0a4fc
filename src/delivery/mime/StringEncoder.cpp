#include "StringEncoder.h"

#include "HtmlCharsetDeclarations.h"
#include "MimeEncoders.h"

namespace {

constexpr int BodyLineLimit = 76; // RFC 2045 6.7 rule 5

// Code page 1252 at 0x80..0x9F; 0 marks the five unassigned places.
constexpr char16_t Windows1252High[32] = {
    0x20AC,
    0,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0,
    0x017D,
    0,
    0,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0,
    0x017E,
    0x0178,
};

bool fitsIn(const QString &text, char16_t highest)
{
    for (const QChar c : text) {
        if (c.unicode() > highest)
            return false;
    }
    return true;
}

bool fitsLatin1(const QString &text)
{
    return fitsIn(text, 0xFF);
}

} // namespace

StringEncoder::StringEncoder(const QString &text)
    : m_rawString(text)
{
    if (m_rawString.contains(u'\r'))
        m_rawString.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

std::optional<QByteArray> StringEncoder::toWindows1252(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            *out++ = char(u);
            continue;
        }
        int place = 0;
        while (place < 32 && Windows1252High[place] != u)
            ++place;
        if (place == 32)
            return std::nullopt;
        *out++ = char(0x80 + place);
    }
    return bytes;
}

void StringEncoder::guessCharset()
{
    m_windows1252.reset();
    if (fitsLatin1(m_rawString))
        m_charset = QStringLiteral("ISO-8859-1");
    else if ((m_windows1252 = toWindows1252(m_rawString)))
        m_charset = QStringLiteral("windows-1252");
    else
        m_charset = QStringLiteral("UTF-8");
}

StringEncoder StringEncoder::forHtmlPage(const QString &html)
{
    StringEncoder encoder(html);
    const HtmlCharsetDeclarations declared(encoder.rawString());
    if (declared.isEmpty()) {
        encoder.guessCharset();
        return encoder;
    }
    if (const auto charset = declared.agreedCharset(encoder.rawString()); charset && encoder.takeCharset(*charset))
        return encoder;
    // Chosen without the names, which are then replaced by the charset's
    // own: an ASCII name changes nothing of what the page needs.
    StringEncoder chooser(declared.withCharset(encoder.rawString(), {}));
    chooser.guessCharset();
    // Its line breaks are already LF.
    encoder.m_rawString = declared.withCharset(encoder.rawString(), chooser.charset());
    encoder.guessCharset();
    return encoder;
}

bool StringEncoder::takeCharset(const QString &charset)
{
    if (charset == QLatin1String("windows-1252")) {
        std::optional<QByteArray> bytes = toWindows1252(m_rawString);
        if (!bytes)
            return false;
        m_windows1252 = std::move(bytes);
    } else if (!(charset == QLatin1String("UTF-8")
                 || (charset == QLatin1String("ISO-8859-1") && fitsLatin1(m_rawString))
                 || (charset == QLatin1String("US-ASCII") && fitsIn(m_rawString, 0x7F)))) {
        return false;
    }
    m_charset = charset;
    return true;
}

QByteArray StringEncoder::encodedString(bool endInSoftBreak) const
{
    QString charset = m_charset;
    if (charset.isEmpty()) {
        StringEncoder chooser(m_rawString);
        chooser.guessCharset();
        charset = chooser.charset();
    }
    QByteArray bytes;
    if ((charset == QLatin1String("ISO-8859-1") && fitsLatin1(m_rawString))
        || (charset == QLatin1String("US-ASCII") && fitsIn(m_rawString, 0x7F)))
        bytes = m_rawString.toLatin1();
    else if (charset == QLatin1String("windows-1252") && m_windows1252)
        bytes = *m_windows1252;
    else if (const auto cp1252 = charset == QLatin1String("windows-1252") ? toWindows1252(m_rawString) : std::nullopt)
        bytes = *cp1252;
    else
        bytes = m_rawString.toUtf8();
    return enc_qprint(bytes, BodyLineLimit, endInSoftBreak);
}
