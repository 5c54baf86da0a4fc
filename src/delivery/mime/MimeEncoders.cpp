#include "MimeEncoders.h"

#include "BetterString.h"

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr qsizetype Base64LineLength = 76; // RFC 2045 6.8

} // namespace

QByteArray enc_base64_infLen(QByteArrayView source)
{
    return source.toByteArray().toBase64();
}

QByteArray enc_base64_maxLen(QByteArrayView source)
{
    const QByteArray flat = enc_base64_infLen(source);
    QByteArray result;
    result.reserve(flat.size() + flat.size() / Base64LineLength * 2);
    for (qsizetype at = 0; at < flat.size(); at += Base64LineLength) {
        if (at > 0)
            result += "\r\n";
        result += flat.mid(at, Base64LineLength);
    }
    return result;
}

QByteArray enc_qprint(QByteArrayView source, int lineLimit)
{
    QByteArray result;
    result.reserve(source.size() * 3 / 2 + 16);
    qsizetype lineLength = 0;
    // Where the byte at `i` ends a text line: LF, or CR directly before LF.
    const auto lineBreakAt = [&](qsizetype i) {
        return i < source.size()
            && (source[i] == '\n' || (source[i] == '\r' && i + 1 < source.size() && source[i + 1] == '\n'));
    };
    for (qsizetype i = 0; i < source.size(); ++i) {
        if (lineBreakAt(i)) {
            if (source[i] == '\r')
                ++i;
            result += "\r\n";
            lineLength = 0;
            continue;
        }
        const quint8 byte = quint8(source[i]);
        const bool lineEndsNext = i + 1 == source.size() || lineBreakAt(i + 1);
        // White space at a line end may be stripped in transport (rule 3).
        const bool literal = (byte > 32 && byte < 127 && byte != '=' && byte != '?' && byte != '.')
            || ((byte == ' ' || byte == '\t') && !lineEndsNext);
        const int width = literal ? 1 : 3;
        // A line that goes on needs room for its soft break "=".
        if (lineLimit > 0 && lineLength > 0 && lineLength + width + (lineEndsNext ? 0 : 1) > lineLimit) {
            result += "=\r\n";
            lineLength = 0;
        }
        if (literal)
            result += char(byte);
        else
            result.append('=').append(HexDigits[byte >> 4]).append(HexDigits[byte & 15]);
        lineLength += width;
    }
    return result;
}

QByteArray enc_qprint_header(QByteArrayView source, QByteArrayView charset)
{
    return BetterString::mimeEncodedWords(source, charset);
}

bool smtp_is_non_ascii(QByteArrayView text)
{
    for (const char c : text) {
        if (quint8(c) >= 0x80)
            return true;
    }
    return false;
}
