#include "StaticAttachment.h"

#include "BetterString.h"
#include "KeyedArchiver.h"
#include "TypedArchiver.h"

StaticAttachment::StaticAttachment(const QString &filePath)
    : m_filePath(filePath)
{
}

QString StaticAttachment::infoString() const
{
    return BetterString::fileNameWithoutSuffix(m_filePath);
}

AttachmentResolution StaticAttachment::resolve(const Personalizer *) const
{
    // Every message was meant to carry this file: without it the run stops.
    if (!isUsableFile(m_filePath))
        return {AttachmentResolution::Decision::AbortSending, m_filePath};
    return {AttachmentResolution::Decision::Attach, m_filePath};
}

void StaticAttachment::setPersonalizer(const Personalizer *personalizer)
{
    Attachment::setPersonalizer(personalizer);
}

void StaticAttachment::encodeWithCoder(KeyedArchiver &coder) const
{
    coder.encodeObject(QVariantMap{{QStringLiteral("filePath"), m_filePath}});
}

void StaticAttachment::encodeWithCoder(TypedArchiver &coder) const
{
    coder.encodeObject(QVariantMap{{QStringLiteral("filePath"), m_filePath}});
}
