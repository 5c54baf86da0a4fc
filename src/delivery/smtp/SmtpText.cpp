#include "SmtpText.h"

namespace SmtpText {

namespace {

bool isControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
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

std::optional<QByteArray> envelopeAddress(const QByteArray &untrimmed, bool allowEmpty)
{
    const QByteArray address = trimmedBlanks(untrimmed);
    for (char c : address) {
        if (isControl(c))
            return std::nullopt;
    }
    QByteArray inner;
    const qsizetype open = findOutsideQuotes(address, '<', 0);
    if (open >= 0) {
        const qsizetype close = findOutsideQuotes(address, '>', open + 1);
        if (close < 0)
            return std::nullopt;
        inner = trimmedBlanks(address.mid(open + 1, close - open - 1));
        // Text after the ">" would otherwise become ESMTP parameters.
        if (!trimmedBlanks(address.mid(close + 1)).isEmpty())
            return std::nullopt;
    } else {
        inner = trimmedBlanks(address);
    }
    if (findOutsideQuotes(inner, '<', 0) >= 0 || findOutsideQuotes(inner, '>', 0) >= 0)
        return std::nullopt;
    if (inner.size() > MaxEnvelopeAddressLength)
        return std::nullopt;
    if (inner.isEmpty() && !allowEmpty)
        return std::nullopt;
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

QByteArray dataText(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 32 + 8);
    bool lineStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = false;
    }
    if (out.endsWith("\r\n"))
        out.chop(2);
    return out;
}

} // namespace SmtpText
