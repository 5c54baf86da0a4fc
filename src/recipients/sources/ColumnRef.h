#pragma once

// One column of a browsable table source (the table store, the contacts).

#include <QString>

#include <memory>
#include <typeinfo>

class ColumnRef {
public:
    virtual ~ColumnRef() = default;

    [[nodiscard]] virtual QString uid() const = 0;
    [[nodiscard]] virtual QString displayName() const = 0;

    // Columns that can be renamed answer true and take setDisplayName();
    // the others ignore it.
    [[nodiscard]] virtual bool canRename() const { return false; }
    virtual void setDisplayName(const QString &) {}

    // Two columns are equal when they are of one kind and share their uid.
    [[nodiscard]] bool isEqual(const ColumnRef &other) const
    {
        return typeid(*this) == typeid(other) && uid() == other.uid();
    }
};

using ColumnRefPtr = std::shared_ptr<ColumnRef>;
