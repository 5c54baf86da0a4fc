#include "SmtpText.h"

#include <QUrl>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace SmtpText {

namespace {

// How much of a refused address its error text shows.
constexpr qsizetype MaxShownAddressLength = 100;

bool isControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

bool isAscii(const QByteArray &text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return false;
    }
    return true;
}

QByteArray trimmedBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.mid(begin, end - begin);
}

// Position of the first `wanted` at or after `from` that stands outside a
// quoted string ("..." with backslash escapes), or -1.
qsizetype findOutsideQuotes(const QByteArray &text, char wanted, qsizetype from)
{
    bool quoted = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '\\') {
            ++i;
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == wanted)
            return i;
    }
    return -1;
}

} // namespace

std::optional<QByteArray> envelopeAddress(const QByteArray &untrimmed, bool allowEmpty, QString *why)
{
    const QByteArray address = trimmedBlanks(untrimmed);
    const auto refuse = [&](const QString &reason) -> std::optional<QByteArray> {
        if (why) {
            QString shown = QString::fromUtf8(address.left(MaxShownAddressLength));
            for (QChar &c : shown) {
                if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                    c = u' ';
            }
            if (address.size() > MaxShownAddressLength)
                shown += QStringLiteral("...");
            *why = QStringLiteral("The address \"%1\" %2.").arg(shown, reason);
        }
        return std::nullopt;
    };
    QByteArray inner;
    const qsizetype open = findOutsideQuotes(address, '<', 0);
    if (open >= 0) {
        const qsizetype close = findOutsideQuotes(address, '>', open + 1);
        if (close < 0)
            return refuse(QStringLiteral("is not of the form name <address>"));
        inner = trimmedBlanks(address.mid(open + 1, close - open - 1));
        // Text after the ">" would otherwise become ESMTP parameters.
        if (!trimmedBlanks(address.mid(close + 1)).isEmpty())
            return refuse(QStringLiteral("is not of the form name <address>"));
    } else {
        inner = trimmedBlanks(address);
    }
    for (char c : inner) {
        if (isControl(c))
            return refuse(QStringLiteral("contains a control character"));
    }
    if (findOutsideQuotes(inner, '<', 0) >= 0 || findOutsideQuotes(inner, '>', 0) >= 0)
        return refuse(QStringLiteral("is not of the form name <address>"));
    if (inner.isEmpty()) {
        if (allowEmpty)
            return inner;
        if (why)
            *why = QStringLiteral("No mail address was given.");
        return std::nullopt;
    }
    // RFC 6531: a server takes UTF-8 in an address only after SMTPUTF8;
    // before the "@" there is no ASCII form, after it the ACE form of IDNA.
    const qsizetype at = inner.lastIndexOf('@');
    const QByteArray local = at >= 0 ? inner.left(at) : inner;
    if (!isAscii(local))
        return refuse(QStringLiteral("has non-ASCII characters before the \"@\"; such an address cannot be sent"));
    if (at >= 0 && !isAscii(inner.mid(at + 1))) {
        const QByteArray domain = QUrl::toAce(QString::fromUtf8(inner.mid(at + 1)));
        if (domain.isEmpty())
            return refuse(QStringLiteral("has a domain that cannot be written in ASCII"));
        inner = local + '@' + domain;
    }
    if (inner.size() > MaxEnvelopeAddressLength)
        return refuse(QStringLiteral("is longer than %1 bytes").arg(MaxEnvelopeAddressLength));
    return inner;
}

QStringList splitAddressList(const QString &list)
{
    QStringList result;
    QString piece;
    bool quoted = false;
    int angle = 0;
    auto flush = [&] {
        // Blanks only: a CR or LF at either end stays, so that the address is refused.
        qsizetype begin = 0;
        qsizetype end = piece.size();
        while (begin < end && (piece[begin] == u' ' || piece[begin] == u'\t'))
            ++begin;
        while (end > begin && (piece[end - 1] == u' ' || piece[end - 1] == u'\t'))
            --end;
        const QString trimmed = piece.mid(begin, end - begin);
        if (!trimmed.isEmpty())
            result.append(trimmed);
        piece.clear();
    };
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QChar c = list[i];
        if (quoted && c == u'\\' && i + 1 < list.size()) {
            piece += c;
            piece += list[++i];
            continue;
        }
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && c == u'<')
            ++angle;
        else if (!quoted && c == u'>' && angle > 0)
            --angle;
        else if (!quoted && angle == 0 && c == u',') {
            flush();
            continue;
        }
        piece += c;
    }
    flush();
    return result;
}

namespace {

// Whether the CR or LF at `at` is part of a CR LF that no "." follows.
bool isCleanBreak(const char *begin, const char *end, const char *at)
{
    if (*at == '\n')
        return at > begin && at[-1] == '\r';
    return end - at >= 2 && at[1] == '\n' && (end - at == 2 || at[2] != '.');
}

// Every line break is CR LF already and no line begins with ".": the text
// goes out as it is. Asked of every message, so line ends are looked for
// sixteen bytes at a time where the processor allows.
bool isReadyForData(const QByteArray &text)
{
    const char *const begin = text.constData();
    const char *const end = begin + text.size();
    if (begin != end && *begin == '.')
        return false;
    const char *at = begin;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - at >= 16; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        auto breaks = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
        for (; breaks != 0; breaks &= breaks - 1) {
            if (!isCleanBreak(begin, end, at + __builtin_ctz(breaks)))
                return false;
        }
    }
#endif
    for (; at < end; ++at) {
        if ((*at == '\r' || *at == '\n') && !isCleanBreak(begin, end, at))
            return false;
    }
    return true;
}

} // namespace

QByteArray dataText(QByteArray text)
{
    if (!isReadyForData(text)) {
        // Measured first, then written in one pass into a buffer of that size.
        const qsizetype size = text.size();
        const char *in = text.constData();
        qsizetype needed = 0;
        bool lineStart = true;
        for (qsizetype i = 0; i < size; ++i) {
            const char c = in[i];
            if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < size && in[i + 1] == '\n')
                    ++i;
                needed += 2;
                lineStart = true;
                continue;
            }
            needed += lineStart && c == '.' ? 2 : 1;
            lineStart = false;
        }
        QByteArray out(needed, Qt::Uninitialized);
        char *to = out.data();
        lineStart = true;
        for (qsizetype i = 0; i < size; ++i) {
            const char c = in[i];
            if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 1 < size && in[i + 1] == '\n')
                    ++i;
                *to++ = '\r';
                *to++ = '\n';
                lineStart = true;
                continue;
            }
            if (lineStart && c == '.')
                *to++ = '.';
            *to++ = c;
            lineStart = false;
        }
        text = std::move(out);
    }
    if (text.endsWith("\r\n"))
        text.chop(2);
    return text;
}

} // namespace SmtpText
