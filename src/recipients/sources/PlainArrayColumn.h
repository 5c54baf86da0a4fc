#pragma once

// A column of a stored table. Archived as "PlainArrayColumn" with "uid"
// and "displayName".

#include "Codable.h"
#include "ColumnRef.h"

class PlainArrayColumn : public ColumnRef, public Codable {
public:
    PlainArrayColumn(const QString &name, const QString &uid) : m_displayName(name), m_uid(uid) {}

    static inline const QString ClassName = QStringLiteral("PlainArrayColumn");

    [[nodiscard]] QString uid() const override { return m_uid; }
    [[nodiscard]] QString displayName() const override { return m_displayName; }
    // Only the table's setNameOfColumn() renames a column for good (it
    // writes the table); this changes the object alone.
    [[nodiscard]] bool canRename() const override { return true; }
    void setDisplayName(const QString &name) override { m_displayName = name; }

    [[nodiscard]] QString archiveClassName() const override { return ClassName; }
    void encodeWithCoder(KeyedArchiver &coder) const override;

private:
    QString m_displayName;
    QString m_uid;
};
