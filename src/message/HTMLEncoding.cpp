#include "HTMLEncoding.h"

#include <QStringDecoder>

#include <array>
#include <cctype>

namespace HTMLEncoding {

namespace {

// Windows-1252's 0x80-0x9F; the five bytes it leaves undefined stand for the
// C1 controls of the same number, as browsers read them, so the fallback
// never fails.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Adobe's Symbol encoding, which neither Qt nor iconv knows. 0 marks a byte
// the encoding leaves undefined. The pieces of large brackets and the like
// have no character of their own and keep Adobe's private-use values; the
// serif and sans-serif ®, © and ™ both become the ordinary characters.
constexpr std::array<char16_t, 256> SymbolTable = [] {
    std::array<char16_t, 256> table{};
    for (int c = 0; c < 0x20; ++c)
        table[c] = char16_t(c);
    const char16_t ascii[] = {
        0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220B, 0x0028, 0x0029, 0x2217, 0x002B,
        0x002C, 0x2212, 0x002E, 0x002F, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
        0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, 0x2245, 0x0391, 0x0392, 0x03A7,
        0x0394, 0x0395, 0x03A6, 0x0393, 0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F,
        0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396, 0x005B,
        0x2234, 0x005D, 0x22A5, 0x005F, 0xF8E5, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
        0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3,
        0x03C4, 0x03C5, 0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C,
    };
    for (int i = 0; i < int(std::size(ascii)); ++i)
        table[0x20 + i] = ascii[i];
    const char16_t high[] = {
        0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194,
        0x2190, 0x2191, 0x2192, 0x2193, 0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022,
        0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0xF8E6, 0xF8E7, 0x21B5, 0x2135, 0x2111, 0x211C, 0x2118,
        0x2297, 0x2295, 0x2205, 0x2229, 0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209,
        0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, 0x00AC, 0x2227, 0x2228, 0x21D4,
        0x21D0, 0x21D1, 0x21D2, 0x21D3, 0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0xF8EB, 0xF8EC,
        0xF8ED, 0xF8EE, 0xF8EF, 0xF8F0, 0xF8F1, 0xF8F2, 0xF8F3, 0xF8F4, 0x0000, 0x232A, 0x222B, 0x2320,
        0xF8F5, 0x2321, 0xF8F6, 0xF8F7, 0xF8F8, 0xF8F9, 0xF8FA, 0xF8FB, 0xF8FC, 0xF8FD, 0xF8FE, 0x0000,
    };
    for (int i = 0; i < int(std::size(high)); ++i)
        table[0xA0 + i] = high[i];
    return table;
}();

QString decodeCp1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = uchar(byte);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

std::optional<QString> decodeSymbol(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = uchar(byte);
        if (SymbolTable[b] == 0 && b != 0)
            return std::nullopt;
        *out++ = QChar(SymbolTable[b]);
    }
    return text;
}

// Stateless: a sequence cut off at the end is an error, not left pending.
std::optional<QString> decodeStrictly(const QByteArray &bytes, QStringDecoder decoder)
{
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QList<quint64> offeredEncodings()
{
    return {UTF8, WindowsCP1252, ISOLatin1, ISOLatin2, MacOSRoman, Symbol, Unicode};
}

QString displayName(quint64 encoding)
{
    switch (encoding) {
    case UTF8:
        return QStringLiteral("Unicode (UTF-8)");
    case WindowsCP1252:
        return QStringLiteral("Western (Windows Latin 1)");
    case ISOLatin1:
        return QStringLiteral("Western (ISO Latin 1)");
    case ISOLatin2:
        return QStringLiteral("Central European (ISO Latin 2)");
    case MacOSRoman:
        return QStringLiteral("Western (Mac OS Roman)");
    case Symbol:
        return QStringLiteral("Symbol");
    case Unicode:
        return QStringLiteral("Unicode (UTF-16)");
    default:
        return QString::number(encoding);
    }
}

std::optional<QString> decode(const QByteArray &bytes, quint64 encoding)
{
    switch (encoding) {
    case UTF8:
        return decodeStrictly(bytes, QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless));
    case WindowsCP1252:
        return decodeCp1252(bytes);
    case ISOLatin1:
        return QString::fromLatin1(bytes);
    case ISOLatin2:
        return decodeStrictly(bytes, QStringDecoder("ISO-8859-2", QStringConverter::Flag::Stateless));
    case MacOSRoman:
        return decodeStrictly(bytes, QStringDecoder("macintosh", QStringConverter::Flag::Stateless));
    case Symbol:
        return decodeSymbol(bytes);
    case Unicode: {
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        const bool bigEndian = bytes.startsWith("\xFE\xFF");
        return decodeStrictly(bytes, QStringDecoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                                             QStringConverter::Flag::Stateless));
    }
    default:
        return std::nullopt;
    }
}

std::optional<quint64> encodingForLabel(const QByteArray &label)
{
    const QByteArray name = label.trimmed().toLower();
    if (name == "utf-8" || name == "utf8" || name == "unicode-1-1-utf-8")
        return UTF8;
    // As browsers do: pages that say Latin-1 or ASCII are read as Windows-1252.
    if (name == "windows-1252" || name == "cp1252" || name == "x-cp1252" || name == "iso-8859-1"
        || name == "iso8859-1" || name == "iso_8859-1" || name == "latin1" || name == "l1" || name == "us-ascii"
        || name == "ascii")
        return WindowsCP1252;
    if (name == "iso-8859-2" || name == "iso8859-2" || name == "iso_8859-2" || name == "latin2" || name == "l2")
        return ISOLatin2;
    if (name == "macintosh" || name == "mac" || name == "x-mac-roman")
        return MacOSRoman;
    if (name == "adobe-symbol-encoding" || name == "symbol")
        return Symbol;
    return std::nullopt;
}

namespace {

// The label of the first <meta> that names a charset, as a browser's
// pre-scan finds it (attribute charset, or charset= inside content).
std::optional<quint64> metaCharset(const QByteArray &head)
{
    const QByteArray lower = head.toLower();
    qsizetype from = 0;
    for (;;) {
        const qsizetype meta = lower.indexOf("<meta", from);
        if (meta < 0)
            return std::nullopt;
        const qsizetype close = lower.indexOf('>', meta);
        const QByteArray tag = lower.mid(meta, close < 0 ? -1 : close - meta);
        from = meta + 5;
        const qsizetype charset = tag.indexOf("charset");
        if (charset < 0)
            continue;
        qsizetype i = charset + 7;
        while (i < tag.size() && (tag.at(i) == ' ' || tag.at(i) == '\t' || tag.at(i) == '\n' || tag.at(i) == '\r'))
            ++i;
        if (i >= tag.size() || tag.at(i) != '=')
            continue;
        ++i;
        while (i < tag.size() && (tag.at(i) == ' ' || tag.at(i) == '"' || tag.at(i) == '\''))
            ++i;
        qsizetype end = i;
        while (end < tag.size() && (std::isalnum(uchar(tag.at(end))) || QByteArray("-_:.").contains(tag.at(end))))
            ++end;
        if (const auto encoding = encodingForLabel(tag.mid(i, end - i)))
            return encoding;
    }
}

} // namespace

quint64 detect(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return UTF8;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return Unicode;
    // A page that says one thing and is another is read as what it is.
    if (const auto declared = metaCharset(bytes.left(1024)); declared && decode(bytes, *declared))
        return *declared;
    return decode(bytes, UTF8) ? UTF8 : WindowsCP1252;
}

} // namespace HTMLEncoding
