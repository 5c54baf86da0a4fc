#include "BetterFileManager.h"

#include "BetterString.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace BetterFileManager {

bool createDirectoriesForPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    QString prefix = path.startsWith(u'/') ? QStringLiteral("/") : QString();
    const QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    for (const QString &component : components) {
        if (!prefix.isEmpty() && !prefix.endsWith(u'/'))
            prefix += u'/';
        prefix += component;
        const QFileInfo info(prefix);
        if (info.exists()) {
            // A file in the way would only make the caller fail later, with
            // a less clear message.
            if (!info.isDir())
                return false;
            continue;
        }
        if (!QDir().mkdir(prefix))
            return false;
    }
    return true;
}

QString fixPathByAppendingSuffix(const QString &path)
{
    if (path.isEmpty())
        return QString();
    if (QFileInfo::exists(path))
        return path;
    const QString name = BetterString::lastPathComponent(path);
    if (name.isEmpty() || name == u"/")
        return QString();
    const QString folder = BetterString::deletingLastPathComponent(path);
    const QString wanted = name + u'.';

    // Only the folder's own files: a recipient's file must not be found in
    // some unrelated subfolder, and a large tree must not be walked.
    QDirIterator entries(folder.isEmpty() ? QStringLiteral(".") : folder,
                         QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    QString best;
    while (entries.hasNext()) {
        entries.next();
        const QString entry = entries.fileName();
        if (!entry.startsWith(wanted))
            continue;
        if (best.isNull() || QString::compare(entry, best, Qt::CaseSensitive) < 0)
            best = entry;
    }
    if (best.isNull())
        return QString();
    if (folder.isEmpty())
        return best;
    return folder.endsWith(u'/') ? folder + best : folder + u'/' + best;
}

} // namespace BetterFileManager
