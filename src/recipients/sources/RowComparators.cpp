#include "RowComparators.h"

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int sign(qsizetype value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

// The text as a sequence of tokens, each a run of digits (ordered by value)
// or one other character (ordered case-folded); a run of digits orders as
// the character "0" against other characters. A total preorder: the raw
// comparison afterwards breaks its ties.
int compareFolded(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = isDigit(a[i]);
        const bool digitB = isDigit(b[j]);
        if (digitA && digitB) {
            while (i < a.size() && a[i] == u'0')
                ++i;
            while (j < b.size() && b[j] == u'0')
                ++j;
            qsizetype endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            if (endA - i != endB - j)
                return sign((endA - i) - (endB - j));
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            }
            j = endB;
            continue;
        }
        const char16_t keyA = digitA ? u'0' : a[i].toCaseFolded().unicode();
        const char16_t keyB = digitB ? u'0' : b[j].toCaseFolded().unicode();
        if (keyA != keyB)
            return keyA < keyB ? -1 : 1;
        ++i;
        ++j;
    }
    return sign((a.size() - i) - (b.size() - j));
}

} // namespace

int compareTextNaturally(QStringView a, QStringView b)
{
    if (const int folded = compareFolded(a, b))
        return folded;
    return sign(a.compare(b));
}

int compareSortValues(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return int(a.isValid()) - int(b.isValid());
    return compareTextNaturally(a.toString(), b.toString());
}

int compareArrayDatabaseRows(const RowRef &a, const RowRef &b, const ColumnRef &column)
{
    return compareSortValues(a.dataForColumn(column), b.dataForColumn(column));
}

int compareArrayDatabaseRowsInverse(const RowRef &a, const RowRef &b, const ColumnRef &column)
{
    return compareSortValues(b.dataForColumn(column), a.dataForColumn(column));
}
