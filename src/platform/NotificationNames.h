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
// The registry's older list of project files changed; the object is the registry.
inline const QString DatabaseManagerUpdate = QStringLiteral("DatabaseManager_Update");
// A file of the table store could not be written; the change is kept in
// memory. The object is the store; user info TableStoreFilePathKey, TableStoreReasonKey.
inline const QString TableStoreWriteFailed = QStringLiteral("TableStore->WriteFailed");
inline const QString TableStoreFilePathKey = QStringLiteral("filePath");
inline const QString TableStoreReasonKey = QStringLiteral("reason");
// The contacts source has its snapshot of the contacts folder; the object is the source.
inline const QString AddressBookLoaded = QStringLiteral("AddressBook->Loaded");
} // namespace NotificationNames
