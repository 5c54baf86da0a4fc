// Naming the recipient table's slots from a list, as a title row gives it.

#include "Database.h"

void Database::setFieldNamesFromArray(const QStringList &names)
{
    const int count = int(std::min<qsizetype>(names.size(), MaxColumnCount));
    // Named slots past the slot count would hold values no view shows
    // until the document is read again.
    m_columnCount = std::max(m_columnCount, count);
    for (int slot = 0; slot < count; ++slot) {
        const QString &name = names.at(slot);
        changeFieldNameTo(name.isEmpty() ? QString::number(slot + 1) : name, columnIdentifier(slot));
    }
}
