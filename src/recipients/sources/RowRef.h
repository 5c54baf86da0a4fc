#pragma once

// One row of a browsable table source.

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <typeinfo>

class ColumnRef;

class RowRef {
public:
    virtual ~RowRef() = default;

    [[nodiscard]] virtual QString uid() const = 0;
    // True when the row cannot be edited. A row that is not static takes
    // setData() and setRawData() and answers rawData(); a static one
    // refuses the first two (and may answer an empty rawData()).
    [[nodiscard]] virtual bool staticData() const = 0;
    // The row's value in the column; an invalid QVariant when the row has
    // no value there at all (some sources answer an empty string instead).
    [[nodiscard]] virtual QVariant dataForColumn(const ColumnRef &column) const = 0;

    // False when the row refused the change (static, or no longer part of
    // a loaded table).
    virtual bool setData(const QVariant &, const ColumnRef &) { return false; }
    // A dictionary from which setRawData() recreates the row's content
    // (undo keeps one from before a change).
    [[nodiscard]] virtual QVariantMap rawData() const { return {}; }
    virtual bool setRawData(const QVariantMap &) { return false; }

    // Two rows are equal when they are of one kind and share their uid.
    [[nodiscard]] bool isEqual(const RowRef &other) const
    {
        return typeid(*this) == typeid(other) && uid() == other.uid();
    }
};

using RowRefPtr = std::shared_ptr<RowRef>;
