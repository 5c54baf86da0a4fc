#include "AppPaths.h"

#include <QDir>
#include <QStandardPaths>

QString AppPaths::applicationSupportPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Corvantiline");
}

QString AppPaths::tableStorePath()
{
    return applicationSupportPath() + QStringLiteral("/Database/InternalMainDB");
}

QString AppPaths::userTemplatesPath()
{
    return applicationSupportPath() + QStringLiteral("/Templates");
}

QString AppPaths::homePath()
{
    return QDir::homePath();
}
