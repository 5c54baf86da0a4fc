#pragma once

#include "SimpleTag.h"

// A file an HTML part refers to (a template's picture or style sheet): its
// value is the file's local URL or its content-id reference, and the file
// travels with the message as an inline part.
class HTMLFileLinkTag : public SimpleTag {
public:
    explicit HTMLFileLinkTag(const QString &path);

    [[nodiscard]] std::shared_ptr<AttachmentCell> clone() const override;
    [[nodiscard]] QString attachmentFile() const override { return m_imagePath; }
    [[nodiscard]] RichText getValueForData(const DatabaseEntry *entry, const QMap<QString, QString> *mapping,
                                           const MessageData *messageData) const override;
    void tagNameChanged(const QString &, const QString &, TagRenames * = nullptr) override {}

    [[nodiscard]] const QString &imagePath() const { return m_imagePath; }

    [[nodiscard]] QString archiveClassName() const override { return QStringLiteral("HTMLFileLinkTag"); }
    void encodeWithCoder(TypedArchiver &coder) const override;

private:
    friend void registerTagCoders();
    static CodableRef decode(TypedUnarchiver &coder, int classVersion);
    QString m_imagePath;
};
