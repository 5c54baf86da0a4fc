#pragma once

#include <QString>

// A name (a field's, a table's) as a menu item or a button shows it: each
// "&" as itself, none taken for a keyboard shortcut.
[[nodiscard]] inline QString literalMenuText(const QString &name)
{
    return QString(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}
