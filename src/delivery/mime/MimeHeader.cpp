#include "MimeHeader.h"

#include "BetterString.h"

#include <QList>

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// RFC 2231 attribute-char, kept to the characters no reader mistakes.
bool isAttributeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || QByteArrayView("!#$&+-.^_`|~").contains(c);
}

bool isPrintableAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

} // namespace

QByteArray MimeHeader::folded(const QByteArray &line)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    QList<qsizetype> breaks;
    for (qsizetype i = 1; i + 1 < line.size(); ++i) {
        if (line[i] == ' ' && !isBlank(line[i - 1]) && !isBlank(line[i + 1]))
            breaks.append(i);
    }
    QByteArray result;
    qsizetype lineStart = 0;
    qsizetype next = 0; // first break not yet passed
    while (line.size() - lineStart > LineGoal) {
        while (next < breaks.size() && breaks[next] <= lineStart)
            ++next;
        if (next == breaks.size())
            break;
        qsizetype chosen = next;
        while (chosen + 1 < breaks.size() && breaks[chosen + 1] - lineStart <= LineGoal)
            ++chosen;
        result += line.mid(lineStart, breaks[chosen] - lineStart);
        result += "\r\n";
        lineStart = breaks[chosen];
    }
    return result + line.mid(lineStart);
}

bool MimeHeader::linesWithin(const QByteArray &text, int limit)
{
    qsizetype lineStart = 0;
    while (true) {
        const qsizetype end = text.indexOf("\r\n", lineStart);
        if ((end < 0 ? text.size() : end) - lineStart > limit)
            return false;
        if (end < 0)
            return true;
        lineStart = end + 2;
    }
}

bool MimeHeader::isAtext(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || QStringView(u"!#$%&'*+-/=?^_`{|}~").contains(QChar(c));
}

QByteArray MimeHeader::quoted(const QString &ascii)
{
    QByteArray result = "\"";
    for (const QChar c : ascii) {
        if (c == u'"' || c == u'\\')
            result += '\\';
        result += char(c.unicode());
    }
    return result + '"';
}

QByteArray MimeHeader::parameter(const QByteArray &attribute, const QString &value)
{
    const QString clean = BetterString::controlCharactersAsSpaces(value);
    if (isPrintableAscii(clean)) {
        const QByteArray simple = attribute + '=' + quoted(clean);
        if (1 + simple.size() + 1 <= LineGoal) // tab before, ";" perhaps after
            return simple;
    }
    // Encoded a character at a time, so that no continuation splits one.
    QList<QByteArray> units;
    const QByteArray utf8 = clean.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (isAttributeChar(c)) {
            units.append(QByteArray(1, c));
            continue;
        }
        if ((quint8(c) & 0xC0) != 0x80 || units.isEmpty())
            units.append(QByteArray());
        units.last().append('%').append(HexDigits[quint8(c) >> 4]).append(HexDigits[quint8(c) & 15]);
    }
    const QByteArray charsetPrefix = "UTF-8''";
    const QByteArray whole = units.join();
    if (1 + attribute.size() + 2 + charsetPrefix.size() + whole.size() + 1 <= LineGoal)
        return attribute + "*=" + charsetPrefix + whole;

    // RFC 2231 3: numbered pieces on lines of their own.
    QByteArray result;
    qsizetype next = 0;
    for (int number = 0; next < units.size(); ++number) {
        const QByteArray head
            = attribute + '*' + QByteArray::number(number) + "*=" + (number == 0 ? charsetPrefix : "");
        QByteArray piece = units[next++];
        while (next < units.size() && 1 + head.size() + piece.size() + units[next].size() + 1 <= LineGoal)
            piece += units[next++];
        if (number > 0)
            result += ";\r\n\t";
        result += head + piece;
    }
    return result;
}
