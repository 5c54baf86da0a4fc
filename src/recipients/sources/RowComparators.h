#pragma once

// The order in which table sources sort rows by one column, and the text
// order behind it. Every value is compared as text, so values of mixed
// kinds still give one consistent order (std::sort needs a strict weak
// order; mixing kinds of comparison does not give one).

#include "ColumnRef.h"
#include "RowRef.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

// Case-insensitive, with runs of ASCII digits compared by their value
// ("x2" before "x10"); texts that are equal so ("x010" and "X10") are
// ordered by their UTF-16 units, so that only identical texts compare
// equal. Negative, zero or positive.
[[nodiscard]] int compareTextNaturally(QStringView a, QStringView b);

// A missing value (an invalid QVariant) sorts before every present one, two
// missing values are equal; present values compare as their text.
[[nodiscard]] int compareSortValues(const QVariant &a, const QVariant &b);

// a's value in the column against b's (ascending), and the reverse.
[[nodiscard]] int compareArrayDatabaseRows(const RowRef &a, const RowRef &b, const ColumnRef &column);
[[nodiscard]] int compareArrayDatabaseRowsInverse(const RowRef &a, const RowRef &b, const ColumnRef &column);

// Sorts rows by their values in the column; stable, and each row's value is
// taken once rather than at every comparison.
template <typename Row>
void sortRowsByColumn(QList<std::shared_ptr<Row>> &rows, const ColumnRef &column, bool ascending)
{
    struct Key {
        bool present;
        QString text;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(rows.size()));
    for (const auto &row : rows) {
        const QVariant value = row->dataForColumn(column);
        keys.push_back({value.isValid(), value.isValid() ? value.toString() : QString()});
    }
    const auto compare = [&](qsizetype a, qsizetype b) {
        const Key &x = keys[size_t(a)];
        const Key &y = keys[size_t(b)];
        if (!x.present || !y.present)
            return int(x.present) - int(y.present);
        return compareTextNaturally(x.text, y.text);
    };
    std::vector<qsizetype> order(size_t(rows.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        return ascending ? compare(a, b) < 0 : compare(b, a) < 0;
    });
    QList<std::shared_ptr<Row>> sorted;
    sorted.reserve(rows.size());
    for (qsizetype index : order)
        sorted.append(std::move(rows[index]));
    rows = std::move(sorted);
}
