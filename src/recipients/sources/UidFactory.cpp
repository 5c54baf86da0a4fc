#include "UidFactory.h"

#include <QDateTime>

#include <algorithm>
#include <array>

namespace {

constexpr QStringView Alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr quint32 GroupRange = 62 * 62 * 62 * 62; // 14,776,336
constexpr int Groups = 8;
constexpr int TimeDigits = 9;
constexpr int RandomLength = Groups * 4;

void appendRandomPart(QChar *out, QRandomGenerator &random)
{
    for (int group = 0; group < Groups; ++group) {
        quint32 value = random.bounded(GroupRange);
        for (int digit = 0; digit < 4; ++digit) {
            *out++ = Alphabet[value % 62];
            value /= 62;
        }
    }
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

namespace {

// Seeded once per thread from the system's generator: each copy of the
// program draws its own stream, and a draw does not go to the system's
// entropy source (eight of those per identifier made a table of a million
// rows wait seconds for its identifiers).
QRandomGenerator &threadGenerator()
{
    thread_local QRandomGenerator generator = [] {
        std::array<quint32, 16> seed{};
        QRandomGenerator::system()->fillRange(seed.data(), seed.size());
        return QRandomGenerator(seed.data(), seed.size());
    }();
    return generator;
}

// The prefix and the time, with room for the random part. Hundredths of a
// second, its low 32 bits, nine digits of those; made in one piece, since a
// large import makes a million of them.
QString uidWithoutRandomPart(const QString &prefix, qint64 msecsSinceEpoch)
{
    quint32 time = quint32(quint64(msecsSinceEpoch / 10)) % 1'000'000'000u;
    QString uid(prefix.size() + TimeDigits + RandomLength, Qt::Uninitialized);
    QChar *out = uid.data();
    std::copy(prefix.cbegin(), prefix.cend(), out);
    for (int digit = TimeDigits - 1; digit >= 0; --digit, time /= 10)
        out[prefix.size() + digit] = QChar(u'0' + time % 10);
    return uid;
}

// Draws random parts until the set takes the identifier. A draw that is
// taken already was not stored, so its characters are still ours to
// overwrite.
void drawInto(QString &uid, qsizetype prefixSize, StringSet &set, QRandomGenerator &random)
{
    for (;;) {
        appendRandomPart(uid.data() + prefixSize + TimeDigits, random);
        const qsizetype before = set.size();
        set.insert(uid);
        if (set.size() != before)
            return;
    }
}

} // namespace

QString createNewUidWithPrefix(StringSet &set, const QString &prefix)
{
    return createNewUidWithPrefix(set, prefix, QDateTime::currentMSecsSinceEpoch(), threadGenerator());
}

QString createNewUidWithPrefix(StringSet &set, const QString &prefix, qint64 msecsSinceEpoch,
                               QRandomGenerator &random)
{
    QString uid = uidWithoutRandomPart(prefix, msecsSinceEpoch);
    drawInto(uid, prefix.size(), set, random);
    return uid;
}

QStringList createNewUidsWithPrefix(StringSet &set, const QString &prefix, qsizetype count)
{
    if (count <= 0)
        return {};
    if (set.capacity() < set.size() + count)
        set.reserve(set.size() + count);
    QRandomGenerator &random = threadGenerator();
    const QString stem = uidWithoutRandomPart(prefix, QDateTime::currentMSecsSinceEpoch());
    QStringList uids;
    uids.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        QString uid = stem;
        drawInto(uid, prefix.size(), set, random);
        uids.append(std::move(uid));
    }
    return uids;
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
