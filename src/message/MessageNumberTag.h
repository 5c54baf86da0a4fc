#pragma once

#include "SimpleTag.h"

// The row's number counted from 1, named at creation in the user's language.
class MessageNumberTag : public SimpleTag {
public:
    MessageNumberTag();
    explicit MessageNumberTag(const QString &tagName);

    [[nodiscard]] std::shared_ptr<AttachmentCell> clone() const override;
    [[nodiscard]] RichText getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                           const MessageData *messageData) const override;
    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("MessageNumberTag"); }
};
