#include "UidFactory.h"

#include <QDateTime>

namespace {

constexpr QStringView Alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr quint32 GroupRange = 62 * 62 * 62 * 62; // 14,776,336
constexpr int Groups = 8;
constexpr int TimeDigits = 9;
constexpr int RandomLength = Groups * 4;

QString randomPart(QRandomGenerator &random)
{
    QString text;
    text.reserve(RandomLength);
    for (int group = 0; group < Groups; ++group) {
        quint32 value = random.bounded(GroupRange);
        for (int digit = 0; digit < 4; ++digit) {
            text.append(Alphabet[value % 62]);
            value /= 62;
        }
    }
    return text;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isAsciiAlphanumeric(QChar c)
{
    return isAsciiDigit(c) || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

} // namespace

QString createNewUidWithPrefix(StringSet &set, const QString &prefix)
{
    return createNewUidWithPrefix(set, prefix, QDateTime::currentMSecsSinceEpoch(), *QRandomGenerator::system());
}

QString createNewUidWithPrefix(StringSet &set, const QString &prefix, qint64 msecsSinceEpoch,
                               QRandomGenerator &random)
{
    // Hundredths of a second, its low 32 bits, nine digits of those.
    const quint32 low = quint32(quint64(msecsSinceEpoch / 10));
    const QString head = prefix + QStringLiteral("%1").arg(low % 1'000'000'000u, TimeDigits, 10, QLatin1Char('0'));
    QString uid;
    do {
        uid = head + randomPart(random);
    } while (set.contains(uid));
    set.insert(uid);
    return uid;
}

bool isWellFormedUid(QStringView text, QStringView prefix)
{
    if (text.size() != prefix.size() + TimeDigits + RandomLength || !text.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < text.size(); ++i) {
        const bool ok = i < prefix.size() + TimeDigits ? isAsciiDigit(text[i]) : isAsciiAlphanumeric(text[i]);
        if (!ok)
            return false;
    }
    return true;
}
