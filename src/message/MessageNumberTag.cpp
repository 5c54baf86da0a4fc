#include "MessageNumberTag.h"

#include "Localizer.h"

// The name is fixed at creation and archived; a later change of language
// does not rename tags already in messages.
MessageNumberTag::MessageNumberTag()
    : MessageNumberTag(Localizer::localizedString("Localized-Tags", "Message Number Tag Name"))
{
}

MessageNumberTag::MessageNumberTag(const QString &tagName) : SimpleTag(tagName, RgbaColor{0.5f, 0.5f, 0.5f, 1.0f}) {}

std::shared_ptr<AttachmentCell> MessageNumberTag::clone() const
{
    return std::make_shared<MessageNumberTag>(*this);
}

RichText MessageNumberTag::getValueForData(const DatabaseEntry *, const QMap<QString, QString> *,
                                           const MessageData *messageData) const
{
    if (!messageData || !messageData->messageNumber)
        return valueText(QStringLiteral(""));
    return valueText(QString::number(*messageData->messageNumber));
}
