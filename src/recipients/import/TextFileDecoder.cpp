#include "TextFileDecoder.h"

#include "Localizer.h"

#include <QFile>
#include <QStringDecoder>
#include <QtEndian>

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

namespace {

using Encoding = TextFileDecoder::Encoding;

QString invalidBytesError(Encoding encoding, qsizetype offset)
{
    return Localizer::localizedString("ImportCSV", "The file is not valid %1 text: the bytes at position %2 do not belong to that encoding. Choose another encoding.")
        .arg(TextFileDecoder::displayName(encoding))
        .arg(offset);
}

TextFileDecoder::Result failure(Encoding encoding, const QString &error)
{
    TextFileDecoder::Result result;
    result.encoding = encoding;
    result.error = error;
    return result;
}

TextFileDecoder::Result success(Encoding encoding, QString text)
{
    TextFileDecoder::Result result;
    result.encoding = encoding;
    result.text = std::move(text);
    return result;
}

constexpr QByteArrayView Utf8Bom("\xEF\xBB\xBF", 3);
constexpr QByteArrayView Utf16LeBom("\xFF\xFE", 2);
constexpr QByteArrayView Utf16BeBom("\xFE\xFF", 2);

// The position of the first byte that does not start a well-formed UTF-8
// sequence (RFC 3629 section 4: no overlong forms, no surrogates, nothing
// above U+10FFFF), or -1.
qsizetype firstInvalidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        // Most of a file is ASCII: eight bytes at a time.
        while (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, p + i, 8);
            if (word & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return i;
        }
        if (i + length > n || p[i + 1] < low || p[i + 1] > high)
            return i;
        for (int k = 2; k < length; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return i;
        }
        i += length;
    }
    return -1;
}

std::optional<QString> decodeUtf8(QByteArrayView bytes, qsizetype *errorOffset)
{
    // Stateless: a sequence cut off at the end of the file is an error too.
    // The caller has taken off the byte-order mark; another one is text.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (!decoder.hasError())
        return text;
    *errorOffset = std::max<qsizetype>(firstInvalidUtf8(bytes), 0);
    return std::nullopt;
}

// Qt's UTF-16 decoder lets unpaired surrogates through.
std::optional<QString> decodeUtf16(QByteArrayView bytes, bool bigEndian, qsizetype *errorOffset)
{
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    const char *in = bytes.data();
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = bigEndian ? qFromBigEndian<char16_t>(in + 2 * i) : qFromLittleEndian<char16_t>(in + 2 * i);
        if (QChar::isHighSurrogate(unit)) {
            const bool paired = i + 1 < units
                && QChar::isLowSurrogate(bigEndian ? qFromBigEndian<char16_t>(in + 2 * i + 2)
                                                   : qFromLittleEndian<char16_t>(in + 2 * i + 2));
            if (!paired) {
                *errorOffset = 2 * i;
                return std::nullopt;
            }
        } else if (QChar::isLowSurrogate(unit) && (i == 0 || !QChar::isHighSurrogate(out[i - 1]))) {
            *errorOffset = 2 * i;
            return std::nullopt;
        }
        out[i] = unit;
    }
    if (bytes.size() % 2 != 0) {
        *errorOffset = bytes.size() - 1;
        return std::nullopt;
    }
    return text;
}

// Windows-1252 as Windows itself and every browser decode it: the five bytes
// the code page leaves undefined stand for the C1 controls of the same
// value, so every file has a reading and automatic detection cannot fail.
QString decodeWindows1252(QByteArrayView bytes)
{
    static constexpr std::array<char16_t, 32> high = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        out[i] = c >= 0x80 && c < 0xA0 ? high[c - 0x80] : char16_t(c);
    }
    return text;
}

// The encodings Qt has no decoder for. glibc's "SHIFT_JIS" reads 0x5C as a
// yen sign and 0x7E as an overline, which would change every backslash and
// tilde; "CP932" (what Japanese Windows and Excel write) keeps ASCII as ASCII.
const char *iconvName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Latin2:
        return "ISO-8859-2";
    case Encoding::MacRoman:
        return "MACINTOSH";
    case Encoding::ShiftJis:
        return "CP932";
    default:
        return nullptr;
    }
}

std::optional<QString> decodeWithIconv(QByteArrayView bytes, Encoding encoding, qsizetype *errorOffset)
{
    const char *target = QSysInfo::ByteOrder == QSysInfo::BigEndian ? "UTF-16BE" : "UTF-16LE";
    iconv_t cd = iconv_open(target, iconvName(encoding));
    if (cd == iconv_t(-1)) {
        *errorOffset = 0;
        return std::nullopt;
    }
    // Each of these encodings gives at most one UTF-16 unit per byte; should
    // a table map a byte to more, the output grows.
    QString text(bytes.size() + 1, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    qsizetype written = 0;
    bool failed = false;
    while (inLeft > 0) {
        char *out = reinterpret_cast<char *>(text.data() + written);
        size_t outLeft = size_t(text.size() - written) * 2;
        const size_t converted = iconv(cd, &in, &inLeft, &out, &outLeft);
        written = text.size() - qsizetype(outLeft / 2);
        if (converted != size_t(-1))
            break;
        if (errno != E2BIG) {
            failed = true;
            break;
        }
        text.resize(text.size() + text.size() / 2 + 16);
    }
    iconv_close(cd);
    if (failed || inLeft != 0) {
        *errorOffset = in - bytes.data();
        return std::nullopt;
    }
    text.resize(written);
    return text;
}

TextFileDecoder::Result decodeAs(QByteArrayView bytes, Encoding encoding)
{
    std::optional<QString> text;
    qsizetype errorOffset = 0;
    qsizetype bomLength = 0;
    switch (encoding) {
    case Encoding::Automatic:
        Q_UNREACHABLE();
    case Encoding::Utf8:
        bomLength = bytes.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
        text = decodeUtf8(bytes.sliced(bomLength), &errorOffset);
        break;
    case Encoding::Utf16: {
        // Without a byte-order mark, big-endian (RFC 2781 section 4.3).
        const bool little = bytes.startsWith(Utf16LeBom);
        bomLength = little || bytes.startsWith(Utf16BeBom) ? 2 : 0;
        text = decodeUtf16(bytes.sliced(bomLength), !little, &errorOffset);
        break;
    }
    case Encoding::Latin1:
        text = QString::fromLatin1(bytes);
        break;
    case Encoding::Windows1252:
        text = decodeWindows1252(bytes);
        break;
    case Encoding::Latin2:
    case Encoding::MacRoman:
    case Encoding::ShiftJis:
        text = decodeWithIconv(bytes, encoding, &errorOffset);
        break;
    }
    if (!text)
        return failure(encoding, invalidBytesError(encoding, bomLength + errorOffset));
    return success(encoding, std::move(*text));
}

} // namespace

TextFileDecoder::Result TextFileDecoder::decode(const QByteArray &bytes, Encoding encoding)
{
    if (encoding != Encoding::Automatic)
        return decodeAs(bytes, encoding);
    if (bytes.startsWith(Utf8Bom))
        return decodeAs(bytes, Encoding::Utf8);
    if (bytes.startsWith(Utf16LeBom) || bytes.startsWith(Utf16BeBom))
        return decodeAs(bytes, Encoding::Utf16);
    qsizetype ignored = 0;
    if (std::optional<QString> text = decodeUtf8(bytes, &ignored))
        return success(Encoding::Utf8, std::move(*text));
    return success(Encoding::Windows1252, decodeWindows1252(bytes));
}

std::optional<QByteArray> TextFileDecoder::readBytes(const QString &path, QString *error)
{
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Localizer::localizedString("ImportCSV", "The file \"%1\" cannot be read: %2").arg(path, file.errorString()));
    const QString tooLarge = Localizer::localizedString("ImportCSV", "The file \"%1\" is larger than %2 MB and is not read.")
                                 .arg(path)
                                 .arg(MaxFileBytes / (1024 * 1024));
    // The size is known before anything is read, except for pipes and
    // devices, which are read in pieces until one byte more than allowed.
    // Asked for more than there is, QIODevice::read allocates it all first.
    QByteArray bytes;
    if (!file.isSequential()) {
        if (file.size() > MaxFileBytes)
            return fail(tooLarge);
        bytes = file.read(file.size() + 1);
    } else {
        constexpr qint64 Piece = 1024 * 1024;
        while (bytes.size() <= MaxFileBytes) {
            const QByteArray piece = file.read(std::min(Piece, MaxFileBytes + 1 - bytes.size()));
            if (piece.isEmpty())
                break;
            bytes += piece;
        }
    }
    if (bytes.size() > MaxFileBytes)
        return fail(tooLarge);
    if (file.error() != QFileDevice::NoError)
        return fail(Localizer::localizedString("ImportCSV", "The file \"%1\" cannot be read: %2").arg(path, file.errorString()));
    return bytes;
}

TextFileDecoder::Result TextFileDecoder::readFile(const QString &path, Encoding encoding)
{
    QString error;
    const std::optional<QByteArray> bytes = readBytes(path, &error);
    if (!bytes)
        return failure(encoding, error);
    return decode(*bytes, encoding);
}

QByteArrayView TextFileDecoder::utf8Text(const QByteArray &bytes, Encoding encoding)
{
    const bool utf16Mark = bytes.startsWith(Utf16LeBom) || bytes.startsWith(Utf16BeBom);
    if (encoding != Encoding::Utf8 && (encoding != Encoding::Automatic || utf16Mark))
        return {};
    const QByteArrayView text = QByteArrayView(bytes).sliced(bytes.startsWith(Utf8Bom) ? Utf8Bom.size() : 0);
    if (firstInvalidUtf8(text) >= 0)
        return {};
    // Not null for an empty file.
    return text.isNull() ? QByteArrayView("", 0) : text;
}

QString TextFileDecoder::displayName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Automatic:
        return Localizer::localizedString("ImportCSV", "Automatic");
    case Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case Encoding::Latin1:
        return QStringLiteral("ISO Latin 1");
    case Encoding::Latin2:
        return QStringLiteral("ISO Latin 2");
    case Encoding::MacRoman:
        return QStringLiteral("Mac OS Roman");
    case Encoding::ShiftJis:
        return QStringLiteral("Shift JIS");
    case Encoding::Utf16:
        return QStringLiteral("UTF-16");
    case Encoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return {};
}
