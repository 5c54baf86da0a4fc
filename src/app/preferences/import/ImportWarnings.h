#pragma once

#include <QStringList>

// The warnings of reading one file: each kept once, at most a few, so a
// hostile file cannot fill the sheet with them.
class ImportWarnings {
public:
    static constexpr int MaxKept = 20;

    explicit ImportWarnings(const QString &fileLabel) : m_label(fileLabel) {}

    // The part of the source the next warnings are about (a file's name).
    void setContext(const QString &context) { m_context = context; }

    void add(const QString &text)
    {
        const QString line = m_label + QStringLiteral(": ")
            + (m_context.isEmpty() ? QString() : m_context + QStringLiteral(": ")) + text;
        if (m_kept.contains(line))
            return;
        if (m_kept.size() >= MaxKept) {
            ++m_more;
            return;
        }
        m_kept.append(line);
    }

    void appendTo(QStringList *warnings) const
    {
        if (!warnings)
            return;
        warnings->append(m_kept);
        if (m_more > 0)
            warnings->append(QStringLiteral("%1: %2 more warnings").arg(m_label).arg(m_more));
    }

private:
    QString m_label;
    QString m_context;
    QStringList m_kept;
    int m_more = 0;
};
