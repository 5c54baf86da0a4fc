#include "ContentId.h"

#include "BetterString.h"

QString contentIdNameForPath(const QString &path)
{
    return BetterString::stringWithoutSpecialCharacters(BetterString::lastPathComponent(path))
        .replace(QLatin1Char(' '), QLatin1Char('_'));
}
