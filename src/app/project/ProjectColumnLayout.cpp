#include "ProjectColumnLayout.h"

#include "UserDefaults.h"
#include "Values.h"

#include <algorithm>
#include <vector>

ProjectColumnLayout::ProjectColumnLayout(UserDefaults &defaults) : m_defaults(defaults)
{
    if (const auto stored = m_defaults.dictionaryForKey(PositionKey)) {
        m_positions = *stored;
    } else {
        m_positions = {{QStringLiteral("abc-Email"), 0}, {QStringLiteral("abc-First"), 1}, {QStringLiteral("abc-Last"), 2}};
        m_defaults.setObject(m_positions, PositionKey);
    }
    m_widths = m_defaults.dictionaryForKey(WidthKey).value_or(QVariantMap());
}

QList<ColumnRefPtr> ProjectColumnLayout::orderedColumns(QList<ColumnRefPtr> columns) const
{
    columns.removeAll(nullptr);
    // The order of compareArrayDatabaseColumns, each position looked up once.
    struct Keyed {
        bool positioned;
        qint64 position;
        ColumnRefPtr column;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(columns.size()));
    for (ColumnRefPtr &column : columns) {
        const auto position = m_positions.constFind(column->uid());
        const bool positioned = position != m_positions.constEnd();
        keyed.push_back({positioned, positioned ? integerValue(*position) : 0, std::move(column)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        if (a.positioned != b.positioned)
            return a.positioned;
        return a.position < b.position;
    });
    QList<ColumnRefPtr> ordered;
    ordered.reserve(columns.size());
    for (Keyed &item : keyed)
        ordered.append(std::move(item.column));
    return ordered;
}

int ProjectColumnLayout::widthFor(const QString &uid) const
{
    const auto width = m_widths.constFind(uid);
    if (width == m_widths.constEnd())
        return DefaultWidth;
    // A width from a broken file must still leave a column one can see and grab.
    return int(std::clamp<qint64>(integerValue(*width), 20, 5000));
}

void ProjectColumnLayout::remember(const QList<Shown> &columns)
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        m_positions.insert(columns[i].uid, int(i));
        m_widths.insert(columns[i].uid, columns[i].width);
    }
    write();
}

void ProjectColumnLayout::forget(const QSet<QString> &uids)
{
    bool changed = false;
    for (const QString &uid : uids)
        changed = (m_positions.remove(uid) + m_widths.remove(uid)) > 0 || changed;
    if (changed)
        write();
}

void ProjectColumnLayout::write()
{
    m_defaults.setObject(m_positions, PositionKey);
    m_defaults.setObject(m_widths, WidthKey);
}
