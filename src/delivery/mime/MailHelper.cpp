#include "MailHelper.h"

#include "BetterString.h"
#include "MimeHeader.h"

#include <QLocale>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <optional>

namespace {

std::atomic<MailHelper::Clock> g_clock{nullptr};
std::atomic<int> g_messageCounter{152};

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString withoutBlanksAround(QStringView text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text[start]))
        ++start;
    while (end > start && isBlank(text[end - 1]))
        --end;
    return text.mid(start, end - start).toString();
}

// What a Message-ID part may hold (RFC 5322 3.6.4: dot-atom-text).
QString idText(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c == u'.' || MimeHeader::isAtext(c.unicode()))
            result += c;
    }
    return result;
}

bool isAscii(QStringView text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0x7F)
            return false;
    }
    return true;
}

// The elements of an address list: split at commas outside quotes and
// angle brackets.
QStringList listElements(const QString &text)
{
    QStringList elements;
    bool inQuotes = false;
    bool inAngles = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                inQuotes = false;
        } else if (c == u'"') {
            inQuotes = true;
        } else if (c == u'<') {
            inAngles = true;
        } else if (c == u'>') {
            inAngles = false;
        } else if (c == u',' && !inAngles) {
            elements.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    elements.append(text.mid(start));
    return elements;
}

qsizetype indexOutsideQuotes(const QString &text, QChar wanted)
{
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (inQuotes && text[i] == u'\\')
            ++i;
        else if (text[i] == u'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && text[i] == wanted)
            return i;
    }
    return -1;
}

// The text a display name stands for: quotes taken away, escapes undone.
QString phraseText(QStringView phrase)
{
    QString text;
    bool inQuotes = false;
    for (qsizetype i = 0; i < phrase.size(); ++i) {
        const QChar c = phrase[i];
        if (c == u'"')
            inQuotes = !inQuotes;
        else if (inQuotes && c == u'\\' && i + 1 < phrase.size())
            text += phrase[++i];
        else
            text += c;
    }
    return BetterString::controlCharactersAsSpaces(text).trimmed();
}

// The longest stretch of `text` that folding cannot break: it breaks only
// at a single space between two other characters.
qsizetype longestUnfoldableRun(const QString &text)
{
    qsizetype run = 0;
    qsizetype longest = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool foldPoint
            = text[i] == u' ' && i > 0 && i + 1 < text.size() && !isBlank(text[i - 1]) && !isBlank(text[i + 1]);
        run = foldPoint ? 0 : run + 1;
        longest = std::max(longest, run);
    }
    return longest;
}

QString encodedPhrase(const QString &text, int lineUsed)
{
    // Longer runs would keep a line past 78; encoded words can be split.
    // Measured on the text as written, so escapes and runs of blanks count.
    static constexpr qsizetype LongestPlainRun = 60;
    bool printable = true;
    bool atoms = !text.contains(QLatin1String("  "));
    for (const QChar c : text) {
        printable = printable && c.unicode() >= 0x20 && c.unicode() <= 0x7E;
        atoms = atoms && (c == u' ' || MimeHeader::isAtext(c.unicode()));
    }
    const QString plain = atoms ? text : QString::fromLatin1(MimeHeader::quoted(text));
    if (!printable || text.contains(QLatin1String("=?")) || longestUnfoldableRun(plain) > LongestPlainRun)
        return BetterString::encodedMIMEHeaderString(text, lineUsed, BetterString::MimeEncoding::Always);
    return plain;
}

// A dot-atom, or a quoted string whose quotes inside are escaped.
bool validLocalPart(QStringView local)
{
    if (local.size() >= 2 && local.startsWith(u'"') && local.endsWith(u'"')) {
        for (qsizetype i = 1; i + 1 < local.size(); ++i) {
            if (local[i] == u'"' || (local[i] == u'\\' && ++i + 1 == local.size()))
                return false;
        }
        return true;
    }
    for (const QChar c : local) {
        if (c != u'.' && !MimeHeader::isAtext(c.unicode()))
            return false;
    }
    return true;
}

// The address as it may stand in a header, or nothing and the reason.
std::optional<QString> checkedAddress(const QString &address, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error
                = QStringLiteral("The address \"%1\" %2.").arg(BetterString::controlCharactersAsSpaces(address), why);
        return std::nullopt;
    };
    for (const QChar c : address) {
        if (isControl(c.unicode()))
            return fail(QStringLiteral("contains a control character"));
    }
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0 || at == address.size() - 1)
        return fail(QStringLiteral("is not a mail address"));
    const QString local = address.left(at);
    QString domain = address.mid(at + 1);
    if (!isAscii(local))
        return fail(QStringLiteral("has non-ASCII characters before the \"@\""));
    if (!validLocalPart(local))
        return fail(QStringLiteral("has characters that an address may not hold"));
    if (!isAscii(domain)) {
        domain = QString::fromLatin1(QUrl::toAce(domain));
        if (domain.isEmpty())
            return fail(QStringLiteral("has a domain that cannot be written in ASCII"));
    }
    const bool literal = domain.startsWith(u'[') && domain.endsWith(u']');
    for (const QChar c : domain) {
        if (!(literal ? c.unicode() > 0x20 : (c == u'.' || MimeHeader::isAtext(c.unicode()))))
            return fail(QStringLiteral("has characters that a domain may not hold"));
    }
    return local + u'@' + domain;
}

// Fixed-width decimal digits of value (not negative) into `out`.
char *digits(char *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// QLocale::c() with "ddMMyyyyHHmmsszzz" gives the same; this is asked for
// every message, and parsing the format each time is most of its cost.
QString idTimeText(const QDateTime &time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    if (date.year() < 1000 || date.year() > 9999 || !clock.isValid())
        return QLocale::c().toString(time, QStringLiteral("ddMMyyyyHHmmsszzz"));
    char text[17];
    char *at = digits(text, date.day(), 2);
    at = digits(at, date.month(), 2);
    at = digits(at, date.year(), 4);
    at = digits(at, clock.hour(), 2);
    at = digits(at, clock.minute(), 2);
    at = digits(at, clock.second(), 2);
    digits(at, clock.msec(), 3);
    return QString::fromLatin1(text, sizeof text);
}

} // namespace

QString MailHelper::createMessageID(const QString &prefix, const QString &server)
{
    QString host = server.trimmed();
    if (!isAscii(host))
        host = QString::fromLatin1(QUrl::toAce(host));
    host = idText(host);
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    const int counter = g_messageCounter.fetch_add(1);
    return idTimeText(now()) + idText(prefix)
        + QStringLiteral("%1").arg(counter, 4, 10, QLatin1Char('0')) + u'@' + host;
}

QString MailHelper::encodeMailAddress(const QString &address, QString *error, int lineUsed)
{
    if (address.isNull()) {
        if (error)
            *error = QStringLiteral("Object == nil");
        return {};
    }
    QStringList encoded;
    for (const QString &element : listElements(address)) {
        const qsizetype open = indexOutsideQuotes(element, u'<');
        QString phrase;
        QString spec = element;
        if (open >= 0) {
            const qsizetype close = element.indexOf(u'>', open);
            if (close < 0 || !withoutBlanksAround(QStringView(element).mid(close + 1)).isEmpty()) {
                if (error)
                    *error = QStringLiteral("The address \"%1\" is not of the form name <address>.")
                                 .arg(BetterString::controlCharactersAsSpaces(element.trimmed()));
                return {};
            }
            phrase = phraseText(QStringView(element).left(open));
            spec = element.mid(open + 1, close - open - 1);
        }
        spec = withoutBlanksAround(spec);
        if (open < 0 && spec.isEmpty())
            continue; // "a@b.c, " and the like
        const std::optional<QString> checked = checkedAddress(spec, error);
        if (!checked)
            return {};
        const int used = encoded.isEmpty() ? lineUsed : 1;
        encoded.append(
            phrase.isEmpty() ? *checked : encodedPhrase(phrase, used) + QStringLiteral(" <") + *checked + u'>');
    }
    if (encoded.isEmpty()) {
        if (error)
            *error = QStringLiteral("No mail address was given.");
        return {};
    }
    return encoded.join(QStringLiteral(", "));
}

QString MailHelper::dateValue(const QDateTime &time)
{
    const int offset = time.offsetFromUtc() / 60;
    const int magnitude = std::abs(offset);
    const QDate date = time.date();
    const QTime clock = time.time();
    if (date.year() < 1000 || date.year() > 9999 || !clock.isValid() || magnitude / 60 > 99) {
        return QLocale::c().toString(time, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) + (offset < 0 ? u'-' : u'+')
            + QStringLiteral("%1%2")
                  .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
                  .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
    }
    // The same text as QLocale::c() gives, written by hand: it is asked for
    // every message.
    static constexpr char Days[7][4] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static constexpr char Months[12][4]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[31];
    char *at = std::copy_n(Days[date.dayOfWeek() - 1], 3, text);
    *at++ = ',';
    *at++ = ' ';
    at = digits(at, date.day(), 2);
    *at++ = ' ';
    at = std::copy_n(Months[date.month() - 1], 3, at);
    *at++ = ' ';
    at = digits(at, date.year(), 4);
    *at++ = ' ';
    at = digits(at, clock.hour(), 2);
    *at++ = ':';
    at = digits(at, clock.minute(), 2);
    *at++ = ':';
    at = digits(at, clock.second(), 2);
    *at++ = ' ';
    *at++ = offset < 0 ? '-' : '+';
    at = digits(at, magnitude / 60, 2);
    digits(at, magnitude % 60, 2);
    return QString::fromLatin1(text, sizeof text);
}

QDateTime MailHelper::now()
{
    const Clock clock = g_clock.load();
    return clock ? clock() : QDateTime::currentDateTime();
}

void MailHelper::setClock(Clock clock)
{
    g_clock.store(clock);
}

void MailHelper::setMessageCounter(int value)
{
    g_messageCounter.store(value);
}

int MailHelper::messageCounter()
{
    return g_messageCounter.load();
}
