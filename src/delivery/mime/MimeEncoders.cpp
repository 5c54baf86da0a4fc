#include "MimeEncoders.h"

#include "BetterString.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr qsizetype Base64LineLength = 76; // RFC 2045 6.8

// Bytes that quoted-printable writes as they are wherever they stand.
constexpr auto PlainQpBytes = [] {
    std::array<bool, 256> plain {};
    for (int byte = 33; byte < 127; ++byte)
        plain[size_t(byte)] = byte != '=' && byte != '?' && byte != '.';
    return plain;
}();

} // namespace

QByteArray enc_base64_infLen(QByteArrayView source)
{
    return source.toByteArray().toBase64();
}

QByteArray enc_base64_maxLen(QByteArrayView source)
{
    const QByteArray flat = enc_base64_infLen(source);
    if (flat.size() <= Base64LineLength)
        return flat;
    const qsizetype breaks = (flat.size() - 1) / Base64LineLength;
    QByteArray result(flat.size() + 2 * breaks, Qt::Uninitialized);
    char *out = result.data();
    for (qsizetype at = 0; at < flat.size(); at += Base64LineLength) {
        if (at > 0) {
            *out++ = '\r';
            *out++ = '\n';
        }
        const qsizetype length = std::min(Base64LineLength, flat.size() - at);
        std::memcpy(out, flat.constData() + at, size_t(length));
        out += length;
    }
    return result;
}

QByteArray enc_qprint(QByteArrayView source, int lineLimit, bool endInSoftBreak)
{
    // Written through a pointer into a buffer that grows ahead of need.
    const char *const in = source.data();
    const qsizetype size = source.size();
    QByteArray result(size + size / 4 + 16, Qt::Uninitialized);
    char *out = result.data();
    const auto makeRoom = [&](qsizetype bytes) {
        const qsizetype used = out - result.constData();
        if (result.size() - used >= bytes)
            return;
        result.resize(std::max(result.size() * 2, used + bytes));
        out = result.data() + used;
    };
    // No soft breaks: a line limit no line reaches.
    const qsizetype limit = lineLimit > 0 ? lineLimit : std::numeric_limits<qsizetype>::max() / 2;
    qsizetype lineLength = 0;
    // Where the byte at `i` ends a text line: LF, or CR directly before LF.
    const auto lineBreakAt = [&](qsizetype i) {
        return i < size && (in[i] == '\n' || (in[i] == '\r' && i + 1 < size && in[i + 1] == '\n'));
    };
    // Written as it is whatever follows; a blank only when no line break or
    // end follows (rule 3), which this looks at conservatively.
    const auto plainAt = [&](qsizetype i) {
        const quint8 c = quint8(in[i]);
        return PlainQpBytes[c] || ((c == ' ' || c == '\t') && i + 1 < size && in[i + 1] != '\n' && in[i + 1] != '\r');
    };
    for (qsizetype i = 0; i < size; ++i) {
        // Most bytes: a run copied as it is, up to where the line's end
        // nears and a soft break may be due.
        if (lineLength + 2 <= limit && plainAt(i)) {
            const qsizetype most = std::min(size - i, limit - 1 - lineLength);
            qsizetype run = 1;
            while (run < most && plainAt(i + run))
                ++run;
            makeRoom(run);
            std::memcpy(out, in + i, size_t(run));
            out += run;
            lineLength += run;
            i += run - 1;
            continue;
        }
        // At most a soft break and one "=XX".
        makeRoom(6);
        if (lineBreakAt(i)) {
            if (in[i] == '\r')
                ++i;
            *out++ = '\r';
            *out++ = '\n';
            lineLength = 0;
            continue;
        }
        const quint8 byte = quint8(in[i]);
        // Before a soft break at the end the line goes on: it needs room for the "=".
        const bool lineEndsNext = (i + 1 == size && !endInSoftBreak) || lineBreakAt(i + 1);
        // White space at a line end may be stripped in transport (rule 3).
        const bool literal = PlainQpBytes[byte] || ((byte == ' ' || byte == '\t') && !lineEndsNext);
        const int width = literal ? 1 : 3;
        // A line that goes on needs room for its soft break "=".
        if (lineLength > 0 && lineLength + width + (lineEndsNext ? 0 : 1) > limit) {
            *out++ = '=';
            *out++ = '\r';
            *out++ = '\n';
            lineLength = 0;
        }
        if (literal) {
            *out++ = char(byte);
        } else {
            *out++ = '=';
            *out++ = HexDigits[byte >> 4];
            *out++ = HexDigits[byte & 15];
        }
        lineLength += width;
    }
    if (endInSoftBreak && size > 0 && in[size - 1] != '\n') {
        makeRoom(1);
        *out++ = '=';
    }
    result.truncate(out - result.constData());
    return result;
}

QByteArray enc_qprint_header(QByteArrayView source, QByteArrayView charset)
{
    return BetterString::mimeEncodedWords(source, charset);
}

bool smtp_is_non_ascii(QByteArrayView text)
{
    // Whole messages are checked before sending: sixteen bytes at a time
    // where the processor allows, eight otherwise.
    const char *at = text.data();
    const char *const end = at + text.size();
#if defined(__SSE2__)
    __m128i high = _mm_setzero_si128();
    for (; end - at >= 16; at += 16)
        high = _mm_or_si128(high, _mm_loadu_si128(reinterpret_cast<const __m128i *>(at)));
    if (_mm_movemask_epi8(high) != 0)
        return true;
#endif
    for (; end - at >= 8; at += 8) {
        quint64 word;
        std::memcpy(&word, at, sizeof word);
        if (word & 0x8080808080808080ULL)
            return true;
    }
    for (; at < end; ++at) {
        if (quint8(*at) >= 0x80)
            return true;
    }
    return false;
}
