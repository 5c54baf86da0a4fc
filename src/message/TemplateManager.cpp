#include "TemplateManager.h"

#include "AppException.h"
#include "AppPaths.h"
#include "BetterFileManager.h"
#include "BetterString.h"
#include "FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr qint64 MaxIndexFileBytes = 16 * 1024 * 1024;

// The templates directly in the folder, read outside the registry's lock:
// reading files must not hold up a send run that asks for a template.
QMap<QString, MessageTemplateRef> templatesAtPath(const QString &path)
{
    QMap<QString, MessageTemplateRef> found;
    if (path.isEmpty())
        return found;
    // Without QDir::Hidden the entries whose names begin with "." are left out.
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries)
        found.insert(entry.fileName(), std::make_shared<const MessageTemplate>(entry.filePath()));
    return found;
}

// What one template may bring along: a folder picked by mistake (a home
// folder, a photo library) must fail the install, not fill the disk.
constexpr int MaxTemplateFiles = 2000;
constexpr qint64 MaxTemplateBytes = 256LL * 1024 * 1024;
constexpr int MaxTemplateDepth = 16;

struct CopyBudget {
    int files = MaxTemplateFiles;
    qint64 bytes = MaxTemplateBytes;
};

// Copies folders and regular files only: a symbolic link could carry a file
// from anywhere into the install folder, and other special files could block.
bool copyFolder(const QString &source, const QString &target, CopyBudget &budget, int depth = 0)
{
    if (depth > MaxTemplateDepth || !QDir().mkdir(target))
        return false;
    const QFileInfoList entries = QDir(source).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        const QString destination = target + u'/' + entry.fileName();
        if (entry.isSymLink())
            continue;
        if (entry.isDir()) {
            if (--budget.files < 0 || !copyFolder(entry.filePath(), destination, budget, depth + 1))
                return false;
        } else if (entry.isFile()) {
            budget.bytes -= entry.size();
            if (--budget.files < 0 || budget.bytes < 0 || !QFile::copy(entry.filePath(), destination))
                return false;
        }
    }
    return true;
}

bool isSafeEntryName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/') && !name.contains(QStringLiteral(".."));
}

} // namespace

TemplateManager &TemplateManager::defaultManager()
{
    static TemplateManager manager;
    return manager;
}

void TemplateManager::loadTemplates()
{
    // Built first and swapped in whole, so a reader never sees the registry
    // half filled; templates still held elsewhere stay alive.
    QMap<QString, MessageTemplateRef> templates = templatesAtPath(bundledTemplatesPath());
    const QString installPath = templateInstallPath();
    if (!installPath.isNull())
        templates.insert(templatesAtPath(installPath));
    TemplateManager &manager = defaultManager();
    const std::lock_guard lock(manager.m_mutex);
    manager.m_templates.swap(templates);
}

QString TemplateManager::templateInstallPath()
{
    if (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).isEmpty())
        throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("No Application Support Directory found."));
    const QString path = AppPaths::userTemplatesPath();
    if (QFileInfo(path).isDir())
        return path;
    return BetterFileManager::createDirectoriesForPath(path) ? path : QString();
}

QString TemplateManager::bundledTemplatesPath()
{
    return AppPaths::resourcesPath() + QStringLiteral("/Templates");
}

bool TemplateManager::installTemplate(const QString &path)
{
    const QString installPath = templateInstallPath();
    if (installPath.isNull())
        return false;
    const QFileInfo source(QDir::cleanPath(path));
    const QString name = source.fileName();
    if (!isSafeEntryName(name) || !source.isDir())
        return false;
    // Copying a folder into itself would never end.
    const QString canonicalSource = source.canonicalFilePath();
    const QString canonicalInstall = QFileInfo(installPath).canonicalFilePath();
    if (canonicalInstall == canonicalSource || canonicalInstall.startsWith(canonicalSource + u'/'))
        return false;
    const QString target = installPath + u'/' + name;
    const QFileInfo existing(target);
    if (existing.exists() || existing.isSymLink())
        return false;
    CopyBudget budget;
    if (copyFolder(source.filePath(), target, budget))
        return true;
    QDir(target).removeRecursively();
    return false;
}

bool TemplateManager::uninstallTemplate(const QString &name)
{
    if (!isSafeEntryName(name))
        return false;
    const QString installPath = templateInstallPath();
    if (installPath.isNull())
        return false;
    const QString entry = installPath + u'/' + name;
    const QFileInfo info(entry);
    // A link is removed itself, never what it points to.
    if (info.isSymLink() || info.isFile())
        return QFile::remove(entry);
    if (info.isDir())
        return QDir(entry).removeRecursively();
    return false;
}

QString TemplateManager::checkTemplateFolder(const QString &path)
{
    const QString indexPath = path + u'/' + MessageTemplate::IndexFileName;
    if (!QFileInfo(indexPath).isFile())
        return QStringLiteral("TEMPLATE_NO_INDEX_FILE");
    const auto bytes = FileIO::readFileLimited(indexPath, MaxIndexFileBytes);
    if (!bytes)
        return QStringLiteral("TEMPLATE_NO_INDEX_FILE");
    if (!MessageTemplate::decodeText(*bytes).contains(MessageTemplate::MessageMarker))
        return QStringLiteral("TEMPLATE_NO_MESSAGE_TAG");
    return {};
}

MessageTemplateRef TemplateManager::templateForName(const QString &name) const
{
    const std::lock_guard lock(m_mutex);
    return m_templates.value(name);
}

QStringList TemplateManager::templateNames() const
{
    const std::lock_guard lock(m_mutex);
    return m_templates.keys();
}

void TemplateManager::clearTemplateList()
{
    QMap<QString, MessageTemplateRef> old;
    const std::lock_guard lock(m_mutex);
    m_templates.swap(old);
}

void TemplateManager::addTemplatesAtPath(const QString &path)
{
    const QMap<QString, MessageTemplateRef> found = templatesAtPath(path);
    const std::lock_guard lock(m_mutex);
    m_templates.insert(found);
}
