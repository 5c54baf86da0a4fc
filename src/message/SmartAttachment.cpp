#include "SmartAttachment.h"

#include "AttributedTagString.h"
#include "Personalizer.h"

#include "BetterFileManager.h"
#include "KeyedArchiver.h"
#include "TypedArchiver.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Whether the path names something strictly below the folder; both are clean.
bool isBelow(const QString &path, const QString &folder)
{
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    return path.size() > prefix.size() && path.startsWith(prefix);
}

} // namespace

QString SmartAttachment::infoString() const
{
    return AttributedTagString::textTagString(m_fileName);
}

// The name comes from a recipient's row, which comes from an imported
// table: a value such as "../../.ssh/id_rsa", or a link inside the folder
// pointing elsewhere, must never carry a file from outside the root folder
// into a message.
QString SmartAttachment::usableFileBelowRoot(const QString &path, const QString &root)
{
    if (path.isEmpty() || !isBelow(path, root) || !isUsableFile(path))
        return {};
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalPath = QFileInfo(path).canonicalFilePath();
    if (canonicalRoot.isEmpty() || !isBelow(canonicalPath, canonicalRoot))
        return {};
    return path;
}

AttachmentResolution SmartAttachment::resolve(const Personalizer *personalizer) const
{
    const RichText personalized =
        personalizer ? personalizer->personalizeAttributedString(m_fileName)
                     : Personalizer::personalizeAttributedString(m_fileName, nullptr, nullptr, nullptr);
    const QString name = AttributedTagString::taglessString(personalized);

    const QString joined = m_rootFilePath.endsWith(u'/') ? m_rootFilePath + name : m_rootFilePath + u'/' + name;
    const QString root = QDir::cleanPath(m_rootFilePath);
    const QString path = QDir::cleanPath(joined);
    const bool insideRoot = !m_rootFilePath.isEmpty() && isBelow(path, root);

    QString found;
    if (insideRoot) {
        found = usableFileBelowRoot(path, root);
        // A name written without its extension finds the recipient's file
        // whatever the extension is.
        if (found.isNull())
            found = usableFileBelowRoot(BetterFileManager::fixPathByAppendingSuffix(path), root);
    }
    if (!found.isNull())
        return {AttachmentResolution::Decision::Attach, found};

    // What the run's report names as missing.
    const QString missing = insideRoot ? path : joined;
    switch (m_notFoundHandling) {
    case AbortRun:
        return {AttachmentResolution::Decision::AbortSending, missing};
    case SkipMessage:
        return {AttachmentResolution::Decision::SkipMessage, missing};
    case UseDefaultFile:
        // A default that has gone must not go out as an empty attachment.
        if (!isUsableFile(m_defaultFilePath))
            return {AttachmentResolution::Decision::AbortSending, m_defaultFilePath};
        return {AttachmentResolution::Decision::Attach, m_defaultFilePath};
    default:
        return {AttachmentResolution::Decision::SkipAttachment, missing};
    }
}

void SmartAttachment::setPersonalizer(const Personalizer *personalizer)
{
    m_staticFileName = QString();
    Attachment::setPersonalizer(personalizer);
    m_staticFileName = m_resolved.filePath;
}

bool SmartAttachment::fileExists() const
{
    // Only a file that would be attached counts: one outside the root
    // folder, a folder or a FIFO does not, even though something is there.
    return m_hasResolved && m_resolved.decision == AttachmentResolution::Decision::Attach;
}

QVariantMap SmartAttachment::archiveFields() const
{
    return {
        {QStringLiteral("rootFilePath"), m_rootFilePath},
        {QStringLiteral("fileName"), QVariant::fromValue(m_fileName)},
        {QStringLiteral("notFoundHandling"), m_notFoundHandling},
        {QStringLiteral("defaultFilePath"), m_defaultFilePath},
    };
}

void SmartAttachment::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeObject(archiveFields());
}

void SmartAttachment::encodeWithCoder(TypedArchiver &coder) const
{
    coder.encodeObject(archiveFields());
}
