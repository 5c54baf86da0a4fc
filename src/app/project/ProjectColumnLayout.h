#pragma once

// Where columns of stored tables and contacts stand and how wide they are,
// remembered across tables and runs by column uid in two user defaults
// ("project_columnPosition", "project_columnWidth"). The table copy into a
// document reads the same positions.

#include "ColumnRef.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QVariantMap>

class UserDefaults;

class ProjectColumnLayout {
public:
    static inline const QString PositionKey = QStringLiteral("project_columnPosition");
    static inline const QString WidthKey = QStringLiteral("project_columnWidth");
    static constexpr int DefaultWidth = 150;

    // Reads both defaults; when there are no positions yet, the contacts'
    // e-mail, first-name and last-name columns come first, and that is
    // written at once.
    explicit ProjectColumnLayout(UserDefaults &defaults);

    [[nodiscard]] const QVariantMap &positions() const { return m_positions; }
    [[nodiscard]] const QVariantMap &widths() const { return m_widths; }

    // Columns with a position first, by position, then the rest in their
    // table order: one stable sort, so a table of 10,000 columns is ordered
    // at once.
    [[nodiscard]] QList<ColumnRefPtr> orderedColumns(QList<ColumnRefPtr> columns) const;
    [[nodiscard]] int widthFor(const QString &uid) const;

    struct Shown {
        QString uid;
        int width;
    };
    // The columns as shown, left to right: each one's index becomes its
    // position. Written to the defaults.
    void remember(const QList<Shown> &columns);
    // Forgets the columns (of a table that no longer exists).
    void forget(const QSet<QString> &uids);

private:
    void write();

    UserDefaults &m_defaults;
    QVariantMap m_positions;
    QVariantMap m_widths;
};
