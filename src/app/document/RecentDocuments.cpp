#include "RecentDocuments.h"

#include "UserDefaults.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Two names of one file compare equal even through links or "..".
QString comparablePath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

RecentDocuments RecentDocuments::standard()
{
    return RecentDocuments(UserDefaults::standardUserDefaults());
}

QStringList RecentDocuments::paths() const
{
    QStringList paths;
    const QVariantList stored = m_defaults.arrayForKey(DefaultsKey).value_or(QVariantList());
    for (const QVariant &value : stored) {
        if (paths.size() == MaximumCount)
            break;
        if (value.typeId() != QMetaType::QString)
            continue;
        const QString path = value.toString();
        if (QDir::isAbsolutePath(path) && !paths.contains(path))
            paths.append(path);
    }
    return paths;
}

void RecentDocuments::noteDocument(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString noted = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString wanted = comparablePath(noted);
    QStringList paths = this->paths();
    paths.removeIf([&wanted](const QString &known) { return comparablePath(known) == wanted; });
    paths.prepend(noted);
    store(paths.mid(0, MaximumCount));
}

void RecentDocuments::forgetDocument(const QString &path)
{
    const QString wanted = comparablePath(path);
    QStringList paths = this->paths();
    if (paths.removeIf([&wanted](const QString &known) { return comparablePath(known) == wanted; }))
        store(paths);
}

void RecentDocuments::clear()
{
    m_defaults.removeObjectForKey(DefaultsKey);
}

void RecentDocuments::store(const QStringList &paths)
{
    QVariantList values;
    for (const QString &path : paths)
        values.append(path);
    m_defaults.setObject(values, DefaultsKey);
}
