#pragma once

// The order and widths of the recipient table view's field columns as the
// "Database" part of a project file keeps them: "Column Identifiers" (the
// columns' identifiers, left to right) and "Column Width Info" (their
// widths, item for item). Both come from files, and files written before
// the view named its columns by slot hold repeats and gaps, so neither is
// trusted: every column is shown exactly once whatever they say.
//
// Widget-free, so the tests and the fuzz target drive it directly.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace ColumnLayout {

// A stored width is brought into this range: a column must stay visible
// and grabbable.
constexpr double MinWidth = 10;
constexpr double MaxWidth = 4000;

struct Column {
    QString id;
    // None when the file holds no usable width for the column.
    std::optional<int> width;
    friend bool operator==(const Column &, const Column &) = default;
};

// The view's field columns, `shown` (their identifiers left to right, each
// once), in the order to show them: the stored identifiers that name one of
// them, each at its first mention, then the others in their present order.
// A column's width is the stored item beside that first mention; without
// stored identifiers the widths go to the columns as they stand, left to
// right. Linear in the stored lists and the columns.
[[nodiscard]] QList<Column> restored(const QVariant &identifiers, const QVariant &widths, const QStringList &shown);

} // namespace ColumnLayout
