#include "AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

QString AppPaths::contactsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/contacts");
}

QString AppPaths::homePath()
{
    return QDir::homePath();
}

QString AppPaths::resourcesPath()
{
    const QString overridden = qEnvironmentVariable("CORVANTILINE_RESOURCES");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
    if (QCoreApplication::instance()) {
        const QString installed =
            QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/corvantiline"));
        if (QFileInfo(installed).isDir())
            return installed;
    }
    return QStringLiteral(CORV_SOURCE_RESOURCES_DIR);
}
