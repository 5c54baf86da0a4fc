#include "BetterString.h"

#include <QFile>

#include <algorithm>

namespace BetterString {

namespace {

// The path without its trailing slashes; the root keeps its one slash.
QStringView withoutTrailingSlashes(QStringView path)
{
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == u'/')
        --end;
    if (end == 0 && !path.isEmpty())
        return path.left(1);
    return path.left(end);
}

// Index of the dot that starts the suffix, or -1. A dot among the leading
// dots of a name makes it hidden, it does not start a suffix.
qsizetype suffixDot(QStringView component)
{
    qsizetype firstOther = 0;
    while (firstOther < component.size() && component.at(firstOther) == u'.')
        ++firstOther;
    const qsizetype dot = component.lastIndexOf(u'.');
    return dot > firstOther ? dot : -1;
}

} // namespace

bool matchesWildcardPattern(const QString &text, const QString &pattern)
{
    qsizetype position = 0;
    qsizetype pieceStart = 0;
    while (pieceStart <= pattern.size()) {
        qsizetype pieceEnd = pattern.indexOf(u'*', pieceStart);
        if (pieceEnd < 0)
            pieceEnd = pattern.size();
        const QStringView piece = QStringView(pattern).mid(pieceStart, pieceEnd - pieceStart);
        if (!piece.isEmpty()) {
            const qsizetype found = QStringView(text).indexOf(piece, position, Qt::CaseSensitive);
            if (found < 0)
                return false;
            position = found + piece.size();
        }
        pieceStart = pieceEnd + 1;
    }
    return true;
}

QString lastPathComponent(const QString &path)
{
    const QStringView trimmed = withoutTrailingSlashes(path);
    if (trimmed == u"/")
        return QStringLiteral("/");
    return trimmed.mid(trimmed.lastIndexOf(u'/') + 1).toString();
}

QString deletingLastPathComponent(const QString &path)
{
    const QStringView trimmed = withoutTrailingSlashes(path);
    if (trimmed == u"/")
        return QStringLiteral("/");
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0)
        return QString();
    return withoutTrailingSlashes(trimmed.left(slash + 1)).toString();
}

QString fileNameSuffix(const QString &path)
{
    const QString component = lastPathComponent(path);
    const qsizetype dot = suffixDot(component);
    if (dot < 0)
        return QStringLiteral("");
    return component.mid(dot + 1);
}

QString fileNameWithoutSuffix(const QString &path)
{
    const QString component = lastPathComponent(path);
    const qsizetype dot = suffixDot(component);
    return dot < 0 ? component : component.left(dot);
}

void extendRangeToFullLines(const QString &text, TextRange &range)
{
    const int length = int(text.size());
    int start = std::clamp(range.location, 0, length);
    // 64-bit, so that a huge location plus a huge length cannot overflow.
    int end = int(std::clamp<qint64>(qint64(range.location) + std::max(range.length, 0), start, length));
    while (start > 0 && text.at(start - 1) != u'\n')
        --start;
    while (end < length && text.at(end) != u'\n')
        ++end;
    range = TextRange{start, end - start};
}

QString stringWithoutSpecialCharacters(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c.unicode() < 32 || c.unicode() > 126)
            c = u'?';
    }
    return result;
}

QStringList myComponentsSeparatedByCharactersInSet(const QString &text, const QString &separators)
{
    QStringList pieces;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (separators.contains(text.at(i))) {
            pieces.append(text.mid(pieceStart, i - pieceStart));
            pieceStart = i + 1;
        }
    }
    pieces.append(text.mid(pieceStart));
    return pieces;
}

QStringList componentsSeparatedByCharactersInSetNotBySet(const QString &text, const QString &separators,
                                                         const QString &glue)
{
    return joinedAroundGlue(myComponentsSeparatedByCharactersInSet(text, separators), glue);
}

QStringList joinedAroundGlue(const QStringList &pieces, const QString &glue)
{
    QStringList result;
    qsizetype i = 0;
    while (i < pieces.size()) {
        const bool nextIsGlue =
            i + 1 < pieces.size() && pieces.at(i + 1).size() == 1 && glue.contains(pieces.at(i + 1).at(0));
        if (nextIsGlue) {
            QString joined = pieces.at(i) + pieces.at(i + 1);
            if (i + 2 < pieces.size())
                joined += pieces.at(i + 2);
            result.append(joined);
            i += 3;
        } else {
            result.append(pieces.at(i));
            ++i;
        }
    }
    return result;
}

void appendToFile(const QString &text, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(text.toUtf8());
}

} // namespace BetterString

bool BetterString::containsString(const QString &text, const QString &part)
{
    return !part.isEmpty() && text.contains(part);
}

QString BetterString::controlCharactersAsSpaces(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return result;
}

QByteArray BetterString::mimeEncodedWords(QByteArrayView bytes, QByteArrayView charset, int firstWordLimit)
{
    static constexpr int MaxWord = 75; // RFC 2047 2
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    if (bytes.isEmpty())
        return {};
    const QByteArray prefix = "=?" + charset.toByteArray() + "?Q?";
    const bool utf8 = charset.compare("UTF-8", Qt::CaseInsensitive) == 0;
    // The shortest word worth making holds one encoded 4-byte character.
    const int shortest = int(prefix.size()) + 2 + 12;
    const int longest = std::max(MaxWord, shortest);
    int limit = std::clamp(firstWordLimit, shortest, longest);

    QByteArray result;
    QByteArray word = prefix;
    qsizetype i = 0;
    while (i < bytes.size()) {
        qsizetype end = i + 1;
        if (utf8 && quint8(bytes[i]) >= 0xC0) {
            while (end < bytes.size() && end - i < 4 && (quint8(bytes[end]) & 0xC0) == 0x80)
                ++end;
        }
        QByteArray unit;
        for (qsizetype k = i; k < end; ++k) {
            const char b = bytes[k];
            if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '!' || b == '*'
                || b == '+' || b == '-' || b == '/')
                unit += b;
            else if (b == ' ')
                unit += '_';
            else
                unit.append('=').append(hexDigits[quint8(b) >> 4]).append(hexDigits[quint8(b) & 15]);
        }
        if (word.size() > prefix.size() && word.size() + unit.size() + 2 > limit) {
            result += word + "?= ";
            word = prefix;
            limit = longest;
        }
        word += unit;
        i = end;
    }
    return result + word + "?=";
}

QString BetterString::encodedMIMEHeaderString(const QString &text, int lineUsed, MimeEncoding when)
{
    static constexpr int LineGoal = 78; // RFC 5322 2.1.1
    const QString clean = controlCharactersAsSpaces(text);
    bool latin1 = true;
    bool ascii = true;
    for (const QChar c : clean) {
        ascii = ascii && c.unicode() < 0x80;
        latin1 = latin1 && c.unicode() <= 0xFF;
    }
    if (clean.isEmpty() || (when == MimeEncoding::WhenNeeded && ascii && !clean.contains(QLatin1String("=?"))))
        return clean;
    const QByteArray bytes = latin1 ? clean.toLatin1() : clean.toUtf8();
    return QString::fromLatin1(mimeEncodedWords(bytes, latin1 ? "ISO-8859-1" : "UTF-8", LineGoal - lineUsed));
}
