#include "CollectionUtils.h"

#include "Values.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace CollectionUtils {

namespace {

// Every 64-bit integer and every double is exact in it, so mixed numbers
// compare by their true values and the order stays transitive.
using WideNumber = long double;
static_assert(std::numeric_limits<WideNumber>::digits >= 64);

enum Rank { Missing, Number, String, Date, Other };

Rank rankOf(const QVariant &value)
{
    if (!value.isValid() || value.typeId() == QMetaType::Nullptr)
        return Missing;
    if (isStringValue(value))
        return value.toString().isNull() ? Missing : String;
    if (isNumberValue(value))
        return Number;
    if (value.typeId() == QMetaType::QDateTime)
        return Date;
    return Other;
}

WideNumber wideNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return value.toDouble();
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::UChar:
        return WideNumber(value.toULongLong());
    default:
        return WideNumber(value.toLongLong());
    }
}

template <typename T>
int ordered(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareNumbers(const QVariant &a, const QVariant &b)
{
    const WideNumber x = wideNumber(a);
    const WideNumber y = wideNumber(b);
    const bool xNan = std::isnan(x);
    const bool yNan = std::isnan(y);
    if (xNan || yNan)
        return ordered(xNan, yNan);
    return ordered(x, y);
}

int compareDates(const QDateTime &a, const QDateTime &b)
{
    if (!a.isValid() || !b.isValid())
        return ordered(a.isValid(), b.isValid());
    return ordered(a.toMSecsSinceEpoch(), b.toMSecsSinceEpoch());
}

int sign(int value)
{
    return ordered(value, 0);
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

qsizetype endOfDigits(const QString &s, qsizetype i)
{
    while (i < s.size() && isAsciiDigit(s.at(i)))
        ++i;
    return i;
}

// The units of the character at i: a surrogate pair folds as one character.
qsizetype characterLength(const QString &s, qsizetype i)
{
    return s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate() ? 2 : 1;
}

int compareDigitRuns(QStringView x, QStringView y)
{
    while (!x.isEmpty() && x.front() == u'0')
        x = x.mid(1);
    while (!y.isEmpty() && y.front() == u'0')
        y = y.mid(1);
    if (x.size() != y.size())
        return ordered(x.size(), y.size());
    return sign(x.compare(y, Qt::CaseSensitive));
}

} // namespace

int compareValues(const QVariant &a, const QVariant &b)
{
    const Rank rankA = rankOf(a);
    const Rank rankB = rankOf(b);
    if (rankA != rankB)
        return ordered(rankA, rankB);
    switch (rankA) {
    case Missing:
        return 0;
    case Number:
        return compareNumbers(a, b);
    case String:
        return sign(QString::compare(a.toString(), b.toString(), Qt::CaseSensitive));
    case Date:
        return compareDates(a.toDateTime(), b.toDateTime());
    case Other:
        break;
    }
    return ordered(a.typeId(), b.typeId());
}

int compareNatural(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a.at(i)) && isAsciiDigit(b.at(j))) {
            const qsizetype endA = endOfDigits(a, i);
            const qsizetype endB = endOfDigits(b, j);
            if (const int result = compareDigitRuns(QStringView(a).mid(i, endA - i), QStringView(b).mid(j, endB - j)))
                return result;
            i = endA;
            j = endB;
            continue;
        }
        // A digit against anything else compares as a character: all ASCII
        // digits lie on the same side of any other character, so this
        // agrees with comparing the whole number.
        const qsizetype lengthA = characterLength(a, i);
        const qsizetype lengthB = characterLength(b, j);
        if (const int result = sign(QStringView(a).mid(i, lengthA).compare(QStringView(b).mid(j, lengthB), Qt::CaseInsensitive)))
            return result;
        i += lengthA;
        j += lengthB;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return sign(QString::compare(a, b, Qt::CaseSensitive));
}

int compareStrings(const QVariant &a, const QVariant &b)
{
    return compareValues(a, b);
}

int compareArrayDictionaries(const QVariantMap &a, const QVariantMap &b, const QString &key)
{
    const QVariant valueA = a.value(key);
    const QVariant valueB = b.value(key);
    if (rankOf(valueA) == String && rankOf(valueB) == String)
        return compareNatural(valueA.toString(), valueB.toString());
    return compareValues(valueA, valueB);
}

} // namespace CollectionUtils
