#include "ContentId.h"

#include "BetterString.h"

QString contentIdNameForPath(const QString &path)
{
    QString name = BetterString::stringWithoutSpecialCharacters(BetterString::lastPathComponent(path));
    // Besides spaces, the characters that cannot stand in the left part of a
    // Content-ID (RFC 5322 msg-id) or that a "cid:" URL would read as
    // syntax (an escape, a fragment) become "_" too: a file named
    // "a<b>.png" must not end the header's angle brackets early.
    for (QChar &c : name) {
        switch (c.unicode()) {
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
            c = u'_';
            break;
        default:
            break;
        }
    }
    return name;
}
