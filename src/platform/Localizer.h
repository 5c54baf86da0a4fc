#pragma once

#include <QString>

// User-visible texts are looked up by table and key: the table is the
// translation context, the key is the source text, and the English wording
// lives in resources/translations. A key without an entry shows as itself.
namespace Localizer {
// Loads the compiled English texts into the running application.
bool install();
[[nodiscard]] QString localizedString(const char *table, const char *key);
[[nodiscard]] QString localizedString(const QString &table, const QString &key);
} // namespace Localizer
