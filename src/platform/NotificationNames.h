#pragma once

#include <QString>

// Names and user-info keys of the notifications that cross modules.
namespace NotificationNames {
// A recipient table changed in bulk; the object is the table.
inline const QString DatabaseUpdated = QStringLiteral("Database->Updated");
// A column slot's name changed; user info DatabaseOldNameKey / DatabaseNewNameKey.
inline const QString DatabaseFieldNamesChanged = QStringLiteral("Database->FieldNamesChanged");
inline const QString DatabaseOldNameKey = QStringLiteral("oldName");
inline const QString DatabaseNewNameKey = QStringLiteral("newName");
} // namespace NotificationNames
