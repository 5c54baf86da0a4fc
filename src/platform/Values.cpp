#include "Values.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v';
}

int skipBlanks(const QString &text, int i)
{
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    return i;
}

template <typename T>
T leadingInteger(const QString &text)
{
    int i = skipBlanks(text, 0);
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    // Accumulate towards the sign's side so the most negative value fits.
    T value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            break;
        const T digit = T(c - u'0');
        if (negative) {
            if (value < (std::numeric_limits<T>::min() + digit) / 10)
                return std::numeric_limits<T>::min();
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<T>::max() - digit) / 10)
                return std::numeric_limits<T>::max();
            value = value * 10 + digit;
        }
    }
    return value;
}

} // namespace

bool isNumberValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

namespace {

template <typename T>
T saturate(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= double(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    if (d <= double(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    return T(d);
}

} // namespace

bool boolValue(const QString &text)
{
    int i = skipBlanks(text, 0);
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    while (i < text.size() && text.at(i) == u'0')
        ++i;
    if (i >= text.size())
        return false;
    const char16_t c = text.at(i).unicode();
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

int intValue(const QString &text)
{
    return leadingInteger<int>(text);
}

qint64 integerValue(const QString &text)
{
    return leadingInteger<qint64>(text);
}

double doubleValue(const QString &text)
{
    // Longest prefix that reads as a number: sign, digits, one point,
    // optional exponent with at least one digit.
    const int start = skipBlanks(text, 0);
    int i = start;
    auto digitAt = [&](int k) { return k < text.size() && text.at(k) >= u'0' && text.at(k) <= u'9'; };
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    bool anyDigit = false;
    while (digitAt(i)) {
        ++i;
        anyDigit = true;
    }
    if (i < text.size() && text.at(i) == u'.') {
        ++i;
        while (digitAt(i)) {
            ++i;
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return 0.0;
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        int k = i + 1;
        if (k < text.size() && (text.at(k) == u'+' || text.at(k) == u'-'))
            ++k;
        if (digitAt(k)) {
            while (digitAt(k))
                ++k;
            i = k;
        }
    }
    bool ok = false;
    const double d = text.mid(start, i - start).toDouble(&ok);
    return ok ? d : 0.0;
}

bool isStringValue(const QVariant &value)
{
    return value.typeId() == QMetaType::QString;
}

bool boolValue(const QVariant &value)
{
    if (isStringValue(value))
        return boolValue(value.toString());
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return value.toDouble() != 0.0;
    if (isNumberValue(value))
        return value.toLongLong() != 0;
    return false;
}

int intValue(const QVariant &value)
{
    if (isStringValue(value))
        return intValue(value.toString());
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return saturate<int>(value.toDouble());
    if (isNumberValue(value))
        return int(std::clamp<qint64>(value.toLongLong(), std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    return 0;
}

qint64 integerValue(const QVariant &value)
{
    if (isStringValue(value))
        return integerValue(value.toString());
    if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        return saturate<qint64>(value.toDouble());
    if (isNumberValue(value))
        return value.toLongLong();
    return 0;
}

double doubleValue(const QVariant &value)
{
    if (isStringValue(value))
        return doubleValue(value.toString());
    if (isNumberValue(value))
        return value.toDouble();
    return 0.0;
}
