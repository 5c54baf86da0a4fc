#include "TextAttributes.h"

#include "TextAttachment.h"

#include <QHash>

#include <limits>
#include <typeinfo>

namespace {

QString alphabetic(qint64 number, char first)
{
    // Bijective base 26, as spreadsheet columns count: z, aa, ab, ... az, ba.
    QString letters;
    while (number > 0) {
        --number;
        letters.prepend(QChar(first + int(number % 26)));
        number /= 26;
    }
    return letters;
}

QString roman(qint64 number, bool upper)
{
    static constexpr struct {
        int value;
        const char *digits;
    } table[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"},
                 {50, "l"},   {40, "xl"},  {10, "x"},  {9, "ix"},   {5, "v"},   {4, "iv"}, {1, "i"}};
    QString digits;
    for (const auto &entry : table) {
        while (number >= entry.value) {
            digits += QLatin1String(entry.digits);
            number -= entry.value;
        }
    }
    return upper ? digits.toUpper() : digits;
}

QString signedInBase(qint64 number, int base, bool upper)
{
    const QString digits = QString::number(number < 0 ? -number : number, base);
    const QString sign = number < 0 ? QStringLiteral("-") : QString();
    return sign + (upper ? digits.toUpper() : digits);
}

// The marker a placeholder stands for; a null string for a placeholder this
// model does not know.
QString markerFor(QStringView placeholder, qint64 number)
{
    static const QHash<QString, QChar> symbols = {
        {QStringLiteral("disc"), QChar(0x2022)},    {QStringLiteral("hyphen"), QChar(0x2043)},
        {QStringLiteral("circle"), QChar(0x25E6)},  {QStringLiteral("square"), QChar(0x25AA)},
        {QStringLiteral("check"), QChar(0x2713)},   {QStringLiteral("box"), QChar(0x25A1)},
        {QStringLiteral("diamond"), QChar(0x25C6)},
    };
    const auto symbol = symbols.constFind(placeholder.toString());
    if (symbol != symbols.cend())
        return QString(*symbol);

    // Letters and roman numerals have no zero or negatives, and roman
    // numerals past 3999 would need overlines; decimal stands in for those.
    const bool countable = number >= 1;
    if (placeholder == u"decimal")
        return QString::number(number);
    if (placeholder == u"upper-alpha" || placeholder == u"lower-alpha")
        return countable ? alphabetic(number, placeholder.front() == u'u' ? 'A' : 'a') : QString::number(number);
    if (placeholder == u"upper-roman" || placeholder == u"lower-roman")
        return countable && number <= 3999 ? roman(number, placeholder.front() == u'u') : QString::number(number);
    if (placeholder == u"octal")
        return signedInBase(number, 8, false);
    if (placeholder == u"lower-hexadecimal")
        return signedInBase(number, 16, false);
    if (placeholder == u"upper-hexadecimal")
        return signedInBase(number, 16, true);
    return {};
}

bool attachmentsEqualByContent(const TextAttachmentRef &a, const TextAttachmentRef &b)
{
    if (!a || !b)
        return !a && !b;
    if (a->fileWrapper != b->fileWrapper)
        return false;
    if (!a->cell || !b->cell)
        return !a->cell && !b->cell;
    const AttachmentCell &cellA = *a->cell;
    const AttachmentCell &cellB = *b->cell;
    return typeid(cellA) == typeid(cellB);
}

} // namespace

QString TextList::markerForItemNumber(int itemNumber) const
{
    QString marker;
    const QStringView format(markerFormat);
    qsizetype position = 0;
    while (position < format.size()) {
        const qsizetype open = format.indexOf(u'{', position);
        const qsizetype close = open < 0 ? -1 : format.indexOf(u'}', open + 1);
        if (close < 0) {
            marker += format.mid(position);
            break;
        }
        marker += format.mid(position, open - position);
        // An unknown placeholder is left out: a marker with a word in braces
        // in it would look like a template fault in the sent mail.
        marker += markerFor(format.mid(open + 1, close - open - 1), itemNumber);
        position = close + 1;
    }
    return marker;
}

std::optional<int> TextList::itemNumberOfMarker(QStringView marker) const
{
    const QString first = markerForItemNumber(1);
    if (first == markerForItemNumber(2))
        return marker == first ? std::optional<int>(0) : std::nullopt;
    // The number stands where the format's first placeholder does; read
    // in the placeholder's own way, it must give back the whole marker.
    const qsizetype open = markerFormat.indexOf(u'{');
    const qsizetype close = markerFormat.indexOf(u'}', open);
    const QStringView prefix = QStringView(markerFormat).left(open);
    const QStringView placeholder = QStringView(markerFormat).mid(open + 1, close - open - 1);
    if (!marker.startsWith(prefix))
        return std::nullopt;
    // A roman numeral below 4000 has at most 15 letters; a longer number
    // is none of an item.
    QStringView digits = marker.mid(prefix.size());
    qsizetype end = 0;
    while (end < digits.size() && end < 16 && (digits[end].isLetterOrNumber() || (end == 0 && digits[end] == u'-')))
        ++end;
    digits = digits.left(end);
    std::optional<qint64> number;
    if (placeholder == u"upper-alpha" || placeholder == u"lower-alpha") {
        qint64 value = 0;
        for (const QChar c : digits) {
            const int letter = c.toLower().unicode() - u'a';
            if (letter < 0 || letter >= 26 || value > std::numeric_limits<int>::max())
                break;
            value = value * 26 + letter + 1;
        }
        number = value;
    } else if (placeholder == u"upper-roman" || placeholder == u"lower-roman") {
        static const QHash<QChar, int> values{{u'i', 1},   {u'v', 5},   {u'x', 10},  {u'l', 50},
                                              {u'c', 100}, {u'd', 500}, {u'm', 1000}};
        qint64 value = 0;
        for (qsizetype i = 0; i < digits.size(); ++i) {
            const int digit = values.value(digits[i].toLower());
            const int next = i + 1 < digits.size() ? values.value(digits[i + 1].toLower()) : 0;
            value += digit < next ? -digit : digit;
        }
        number = value;
    }
    // Numbers in digits, and letters and roman numerals below 1, which are
    // written in decimal.
    const int base = placeholder == u"octal" ? 8 : placeholder.endsWith(u"hexadecimal") ? 16 : 10;
    bool numeric = false;
    const qint64 decimal = digits.toLongLong(&numeric, base);
    for (const std::optional<qint64> candidate : {number, numeric ? std::optional<qint64>(decimal) : std::nullopt}) {
        if (candidate && *candidate >= std::numeric_limits<int>::min() && *candidate <= std::numeric_limits<int>::max()
            && markerForItemNumber(int(*candidate)) == marker)
            return int(*candidate);
    }
    return std::nullopt;
}

qsizetype TextList::itemPrefixLength(QStringView paragraph) const
{
    if (!paragraph.startsWith(u'\t'))
        return 0;
    const qsizetype secondTab = paragraph.indexOf(u'\t', 1);
    if (secondTab < 0 || !itemNumberOfMarker(paragraph.mid(1, secondTab - 1)))
        return 0;
    return secondTab + 1;
}

bool textAttributesEqual(const TextAttributes &a, const TextAttributes &b)
{
    if (a.size() != b.size())
        return false;
    const int attachmentType = qMetaTypeId<TextAttachmentRef>();
    for (auto itA = a.cbegin(), itB = b.cbegin(); itA != a.cend(); ++itA, ++itB) {
        if (itA.key() != itB.key())
            return false;
        const QVariant &valueA = itA.value();
        const QVariant &valueB = itB.value();
        if (valueA.typeId() == attachmentType && valueB.typeId() == attachmentType) {
            if (!attachmentsEqualByContent(valueA.value<TextAttachmentRef>(), valueB.value<TextAttachmentRef>()))
                return false;
        } else if (valueA != valueB) {
            return false;
        }
    }
    return true;
}
