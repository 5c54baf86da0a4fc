#include "ContentId.h"

#include "BetterString.h"

namespace {

void appendHexByte(QString &out, unsigned byte)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    out += u'=';
    out += QLatin1Char(Digits[(byte >> 4) & 0xF]);
    out += QLatin1Char(Digits[byte & 0xF]);
}

// A code point's UTF-8 bytes; a lone surrogate is written as the three
// bytes its value would take, so that it too keeps a name of its own.
void appendEncoded(QString &out, char32_t c)
{
    if (c < 0x80) {
        appendHexByte(out, c);
    } else if (c < 0x800) {
        appendHexByte(out, 0xC0 | (c >> 6));
        appendHexByte(out, 0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        appendHexByte(out, 0xE0 | (c >> 12));
        appendHexByte(out, 0x80 | ((c >> 6) & 0x3F));
        appendHexByte(out, 0x80 | (c & 0x3F));
    } else {
        appendHexByte(out, 0xF0 | (c >> 18));
        appendHexByte(out, 0x80 | ((c >> 12) & 0x3F));
        appendHexByte(out, 0x80 | ((c >> 6) & 0x3F));
        appendHexByte(out, 0x80 | (c & 0x3F));
    }
}

// name with `suffix` before its extension, the part before cut so that the
// whole fits; never in the middle of an "=XX".
QString fitted(const QString &name, const QString &suffix)
{
    static constexpr qsizetype LongestExtension = 32;
    const qsizetype dot = name.lastIndexOf(u'.');
    const bool hasExtension = dot > 0 && name.size() - dot <= LongestExtension;
    QString stem = hasExtension ? name.left(dot) : name;
    const QString extension = hasExtension ? name.mid(dot) : QString();
    const qsizetype room = MaxContentIdNameLength - suffix.size() - extension.size();
    if (stem.size() > room) {
        stem.truncate(room);
        if (stem.endsWith(u'='))
            stem.chop(1);
        else if (stem.size() >= 2 && stem[stem.size() - 2] == u'=')
            stem.chop(2);
    }
    return stem + suffix + extension;
}

} // namespace

QString contentIdNameWithSuffix(const QString &name, int n)
{
    return fitted(name, QStringLiteral("-%1").arg(n));
}

QString contentIdNameForPath(const QString &path)
{
    const QString component = BetterString::lastPathComponent(path);
    QString name;
    name.reserve(component.size());
    for (qsizetype i = 0; i < component.size(); ++i) {
        const char16_t c = component[i].unicode();
        switch (c) {
        // Besides the space, what cannot stand in the left part of a
        // Content-ID (RFC 5322 msg-id), so that a file named "a<b>.png"
        // does not end the header's angle brackets early, and what a "cid:"
        // URL (RFC 2392) would read as syntax: an escape, a query, a fragment.
        case u' ':
        case u'"':
        case u'(':
        case u')':
        case u',':
        case u':':
        case u';':
        case u'<':
        case u'>':
        case u'@':
        case u'[':
        case u'\\':
        case u']':
        case u'%':
        case u'#':
        case u'?':
            name += u'_';
            continue;
        default:
            break;
        }
        if (c >= 0x20 && c <= 0x7E) {
            name += QChar(c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < component.size() && component[i + 1].isLowSurrogate()) {
            appendEncoded(name, QChar::surrogateToUcs4(c, component[i + 1].unicode()));
            ++i;
        } else {
            appendEncoded(name, c);
        }
    }
    return name.size() > MaxContentIdNameLength ? fitted(name, QString()) : name;
}

QString fileUrlForPath(const QString &path)
{
    QString url = QStringLiteral("file://");
    url.reserve(url.size() + path.size());
    for (const QChar c : path) {
        if (c == u'%')
            url += QStringLiteral("%25");
        else if (c == u'#')
            url += QStringLiteral("%23");
        else if (c == u'?')
            url += QStringLiteral("%3F");
        else
            url += c;
    }
    return url;
}
