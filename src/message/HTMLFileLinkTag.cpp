#include "HTMLFileLinkTag.h"

#include "ContentId.h"
#include "ContentIdNames.h"

#include "BetterString.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

namespace {
const QString ImagePathKey = QStringLiteral("imagePath");
}

HTMLFileLinkTag::HTMLFileLinkTag(const QString &path)
    : SimpleTag(BetterString::lastPathComponent(path), RgbaColor{1.0f, 0.8f, 0.0f, 1.0f}), m_imagePath(path)
{
}

std::shared_ptr<AttachmentCell> HTMLFileLinkTag::clone() const
{
    return std::make_shared<HTMLFileLinkTag>(*this);
}

RichText HTMLFileLinkTag::getValueForData(const DatabaseEntry *, const QMap<QString, QString> *,
                                          const MessageData *messageData) const
{
    if (messageData && messageData->fullPath.value_or(false))
        return valueText(fileUrlForPath(m_imagePath));
    if (messageData && messageData->messageId) {
        const QString name = messageData->contentIdNames ? messageData->contentIdNames->nameForPath(m_imagePath)
                                                         : contentIdNameForPath(m_imagePath);
        return valueText(QStringLiteral("cid:") + name + *messageData->messageId);
    }
    return valueText(QStringLiteral(""));
}

void HTMLFileLinkTag::encodeWithCoder(TypedArchiver &coder) const
{
    encodeSimplePart(coder);
    coder.encodeObject(QVariantMap{{ImagePathKey, m_imagePath}});
}

CodableRef HTMLFileLinkTag::decode(TypedUnarchiver &coder, int)
{
    auto tag = std::make_shared<HTMLFileLinkTag>(QString());
    if (!tag->decodeSimplePart(coder))
        return nullptr;
    const QVariant part = coder.decodeObject();
    if (coder.hasFailed())
        return nullptr;
    if (part.typeId() == QMetaType::QString) {
        // The older form: the path alone.
        tag->m_imagePath = part.toString();
    } else if (part.typeId() == QMetaType::QVariantMap) {
        const QVariant path = part.toMap().value(ImagePathKey);
        tag->m_imagePath = path.typeId() == QMetaType::QString ? path.toString() : QString();
    } else {
        coder.failWithReason(QStringLiteral("file link tag without a path"));
        return nullptr;
    }
    return tag;
}
