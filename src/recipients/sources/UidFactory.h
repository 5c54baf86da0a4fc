#pragma once

// Identifiers of tables, columns and rows: a prefix, nine decimal digits of
// the time and 32 random base-62 characters, unique within the set that
// issued them (the set is saved with its owner, so also across runs).

#include "Codable.h"

#include <QRandomGenerator>
#include <QString>
#include <QStringView>

namespace UidPrefix {
inline const QString Table = QStringLiteral("tbl-");
inline const QString Column = QStringLiteral("pac-");
inline const QString Row = QStringLiteral("par-");
} // namespace UidPrefix

// A new identifier, added to the set. The random part comes from a
// generator seeded from the system's, so two copies of the program started
// in the same second still draw different identifiers.
QString createNewUidWithPrefix(StringSet &set, const QString &prefix);
// The same with the time and the generator given.
QString createNewUidWithPrefix(StringSet &set, const QString &prefix, qint64 msecsSinceEpoch,
                               QRandomGenerator &random);
// `count` new identifiers at once (an import's rows), added to the set.
[[nodiscard]] QStringList createNewUidsWithPrefix(StringSet &set, const QString &prefix, qsizetype count);

// True when the text is the prefix followed by exactly nine ASCII digits and
// 32 ASCII letters or digits. Identifiers read from files are checked with
// this before they name anything on disk.
[[nodiscard]] bool isWellFormedUid(QStringView text, QStringView prefix);
