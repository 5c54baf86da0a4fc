// Arbitrary bytes as the stored archive of a tag in a text: restoring the
// tag, reading the text back in every way a message is read, and storing it
// again must never crash, whatever the bytes hold.

#include "AttributedTagString.h"
#include "SimpleTag.h"

#include "TypedArchiver.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto attachment = std::make_shared<TextAttachment>(
        FileWrapper{QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), SimpleTag::FileWrapperName});
    const RichText text(QString(QChar(0xFFFC)), {{TextAttributeName::Attachment, QVariant::fromValue(attachment)}});
    AttributedTagString::loadAttachments(text);

    (void)AttributedTagString::textTagString(text);
    (void)AttributedTagString::taglessString(text);
    (void)AttributedTagString::inlineFileAttachments(text);

    static const Database::Entry entry(QVariantMap{{QStringLiteral("c1"), QStringLiteral("Bern")},
                                                    {QStringLiteral("c2"), QStringLiteral("Ann")}});
    static const QMap<QString, QString> mapping{{QStringLiteral("City"), QStringLiteral("c1")},
                                                {QStringLiteral("Name"), QStringLiteral("c2")}};
    const MessageData messageData{1, false, QStringLiteral("<id@x>")};
    if (const SimpleTagRef tag = tagInAttributes(text.attributesAtIndex(0))) {
        (void)tag->getValueForData(&entry, &mapping, &messageData);
        (void)tag->getValueForData(nullptr, nullptr, nullptr);
        (void)tag->getHTMLCodeWithAbsolutePath(false, QStringLiteral("MID"));
        (void)tag->getHTMLCodeWithAbsolutePath(true, {});
        tag->tagNameChanged(QStringLiteral("Name"), QStringLiteral("First name"));
        (void)tag->clone();
    }
    AttributedTagString::saveAttachments(text);
    try {
        (void)TypedArchiver::archivedDataWithRootObject(QVariant::fromValue(text));
    } catch (...) {
        // Refusing a value is allowed; crashing is not.
    }
    return 0;
}
