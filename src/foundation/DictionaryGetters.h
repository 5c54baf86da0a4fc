#pragma once

// Typed reads of stored dictionaries (templates, documents, preferences),
// with the shared value rules of Values.h.

#include <QString>
#include <QVariantMap>

// True when the value under the key has a non-zero integer value ("1",
// "12abc", 3, true); a missing value, "No" and also "Yes" read false.
[[nodiscard]] bool DoGetDictBoolForKey(const QVariantMap &dictionary, const QString &key);
// The integer value under the key, 0 when missing or not numeric.
[[nodiscard]] int DoGetDictIntForKey(const QVariantMap &dictionary, const QString &key);
// The string under the key; a null string when the key is missing or holds
// anything but a string, so callers never take a number or list for text.
[[nodiscard]] QString DoGetDictStringForKey(const QVariantMap &dictionary, const QString &key);
