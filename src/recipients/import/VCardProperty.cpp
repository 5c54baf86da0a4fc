#include "VCardProperty.h"

#include "BetterString.h"

#include <QStringDecoder>

#include <array>

namespace {

bool isSeparator(char c)
{
    return c == ',' || c == ';' || c == ':';
}

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined map to
// the C1 controls of the same value, as browsers do, so no byte is lost.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = b >= 0x80 && b < 0xA0 ? Windows1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

std::optional<QString> strictDecode(QStringDecoder &decoder, QByteArrayView bytes)
{
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Labels that mean Windows-1252 in practice: cards that say Latin-1 or
// ASCII carry "€" and curly quotes from Windows far more often than C1 controls.
bool meansWindows1252(QByteArrayView charset)
{
    for (const char *name : {"windows-1252", "cp1252", "iso-8859-1", "iso8859-1", "latin1", "us-ascii", "ascii"}) {
        if (charset.compare(QByteArrayView(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString withNewlines(QString text)
{
    if (text.contains(u'\r')) {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
    }
    return text;
}

} // namespace

std::optional<VCardProperty> VCardProperty::parse(QByteArrayView line)
{
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && line[i] != ';' && line[i] != ':')
        ++i;
    if (i == n)
        return std::nullopt;

    VCardProperty property;
    const QByteArrayView fullName = line.first(i).trimmed();
    const qsizetype dot = fullName.lastIndexOf('.');
    property.name = fullName.sliced(dot + 1).toByteArray().toUpper();
    if (property.name.isEmpty())
        return std::nullopt;
    if (dot > 0)
        property.group = fullName.first(dot).toByteArray();

    QList<QByteArrayView> values;
    while (line[i] == ';') {
        const qsizetype start = ++i;
        while (i < n && line[i] != '=' && line[i] != ';' && line[i] != ':')
            ++i;
        if (i == n)
            return std::nullopt;
        const QByteArray paramName = line.sliced(start, i - start).trimmed().toByteArray().toUpper();
        values.clear();
        const bool bare = line[i] != '=';
        if (bare) {
            // 2.1's bare parameter: an encoding, or else a type.
            values.append(paramName);
        } else {
            ++i;
            for (;;) {
                if (i < n && line[i] == '"') {
                    // A quoted value may hold ",", ";" and ":" (RFC 6350 3.3).
                    const qsizetype close = line.indexOf('"', i + 1);
                    if (close < 0)
                        return std::nullopt;
                    values.append(line.sliced(i + 1, close - i - 1));
                    i = close + 1;
                    while (i < n && !isSeparator(line[i]))
                        ++i;
                } else {
                    const qsizetype valueStart = i;
                    while (i < n && !isSeparator(line[i]))
                        ++i;
                    values.append(line.sliced(valueStart, i - valueStart));
                }
                if (i == n)
                    return std::nullopt;
                if (line[i] != ',')
                    break;
                ++i;
            }
        }

        if (paramName == "ENCODING" || bare) {
            const QByteArray value = values.first().trimmed().toByteArray().toUpper();
            if (value == "QUOTED-PRINTABLE")
                property.encoding = Encoding::QuotedPrintable;
            else if (value == "B" || value == "BASE64")
                property.encoding = Encoding::Base64;
            else if (bare && value != "8BIT" && value != "7BIT")
                property.types.append(value.toLower());
        } else if (paramName == "TYPE") {
            // RFC 6350's own examples quote the whole list: TYPE="work,voice".
            for (const QByteArrayView value : values) {
                for (const QByteArray &type : value.toByteArray().split(',')) {
                    if (!type.trimmed().isEmpty())
                        property.types.append(type.trimmed().toLower());
                }
            }
        } else if (paramName == "CHARSET") {
            property.charset = values.first().trimmed().toByteArray();
        } else if (paramName == "PREF") {
            bool ok = false;
            const int pref = values.first().trimmed().toInt(&ok);
            if (ok && pref >= 1 && pref <= 100)
                property.pref = pref;
        }
    }
    property.rawValue = line.sliced(i + 1);
    return property;
}

std::optional<QString> VCardProperty::text(bool plainBytesInCharset) const
{
    switch (encoding) {
    case Encoding::Base64:
        return std::nullopt;
    case Encoding::QuotedPrintable:
        return withNewlines(decodeBytes(decodeQuotedPrintable(rawValue), charset));
    case Encoding::Plain:
        break;
    }
    return withNewlines(decodeBytes(rawValue, plainBytesInCharset ? QByteArrayView(charset) : QByteArrayView()));
}

QString VCardProperty::decodeBytes(QByteArrayView bytes, QByteArrayView charset)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (!charset.isEmpty()) {
        if (meansWindows1252(charset))
            return fromWindows1252(bytes);
        const QByteArray name = charset.toByteArray();
        QStringDecoder named(name.constData(), QStringDecoder::Flag::Stateless);
        if (named.isValid()) {
            if (std::optional<QString> text = strictDecode(named, bytes))
                return *text;
        }
        // A wrong or unknown label: read the bytes as if there were none.
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    if (std::optional<QString> text = strictDecode(utf8, bytes))
        return *text;
    return fromWindows1252(bytes);
}

QByteArray VCardProperty::decodeQuotedPrintable(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '=') {
            const int high = i + 1 < bytes.size() ? BetterString::hexDigitValue(bytes[i + 1]) : -1;
            const int low = i + 2 < bytes.size() ? BetterString::hexDigitValue(bytes[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                out.append(char(high * 16 + low));
                i += 2;
                continue;
            }
            // A soft break at the very end of the data, where no line followed.
            if (bytes.sliced(i + 1).trimmed().isEmpty())
                break;
        }
        out.append(c);
    }
    return out;
}

QStringList VCardProperty::splitEscaped(QStringView text, QChar separator)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
        } else if (text[i] == separator) {
            parts.append(text.sliced(start, i - start).toString());
            start = i + 1;
        }
    }
    parts.append(text.sliced(std::min(start, text.size())).toString());
    return parts;
}

QString VCardProperty::unescape(QStringView text, VCardVersion version)
{
    if (!text.contains(u'\\'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out.append(c);
            continue;
        }
        const QChar next = text[i + 1];
        if (next == u';' || next == u',' || next == u'\\') {
            out.append(next);
            ++i;
        } else if (version != VCardVersion::V21 && (next == u'n' || next == u'N')) {
            out.append(u'\n');
            ++i;
        } else {
            // Not an escape in this version ("C:\temp" in a 2.1 note): kept as written.
            out.append(c);
        }
    }
    return out;
}
