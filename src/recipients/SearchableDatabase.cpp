// Finding the next or previous recipient that contains a text.

#include "Database.h"

int Database::findNextOccurenceOf(const QString &text, int start) const
{
    return findNextOccurenceOf(text, start, 1);
}

int Database::findPrevOccurenceOf(const QString &text, int start) const
{
    return findNextOccurenceOf(text, start, -1);
}

int Database::findNextOccurenceOf(const QString &text, int start, int step) const
{
    if (step == 0)
        return -1;
    for (qint64 index = start; index >= 0 && index < m_entries.size(); index += step) {
        if (m_entries.at(index)->anyTextContains(text, Qt::CaseInsensitive))
            return int(index);
    }
    return -1;
}
