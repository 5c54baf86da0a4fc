#include "AttributedTagString.h"

#include "ConditionTag.h"
#include "NestingGuard.h"

#include "TypedUnarchiver.h"

#include <QSet>

#include <functional>

namespace {

// Tag archives hold texts (a condition's results) whose attachments hold
// tag archives again, so crafted data could nest them without end. Deeper
// levels stay plain attachments, which keep their data and are written back
// unchanged. A level's results are read only after its own archive has been
// read, so one archive's reading at a time is on the stack.
constexpr int MaxTagArchiveNesting = 16;
thread_local int tagArchiveNesting = 0;

TextAttachmentRef attachmentInAttributes(const TextAttributes &attributes)
{
    const auto value = attributes.constFind(TextAttributeName::Attachment);
    if (value == attributes.cend() || value->typeId() != qMetaTypeId<TextAttachmentRef>())
        return nullptr;
    return value->value<TextAttachmentRef>();
}

// The run scan every operation shares: each run once, with its characters'
// position. Tags are runs of their own, as each carries its own attachment.
void forEachRun(const RichText &text, const std::function<void(const RichText::Run &, int)> &handle)
{
    int index = 0;
    for (const RichText::Run &run : text.runs()) {
        handle(run, index);
        index += run.length;
    }
}

void forEachTag(const RichText &text,
                const std::function<void(const SimpleTagRef &, const TextAttachmentRef &)> &handle)
{
    forEachRun(text, [&](const RichText::Run &run, int) {
        const TextAttachmentRef attachment = attachmentInAttributes(run.attributes);
        if (!attachment)
            return;
        if (auto tag = std::dynamic_pointer_cast<SimpleTag>(attachment->cell))
            handle(tag, attachment);
    });
}

} // namespace

SimpleTagRef tagInAttributes(const TextAttributes &attributes)
{
    const TextAttachmentRef attachment = attachmentInAttributes(attributes);
    return attachment ? std::dynamic_pointer_cast<SimpleTag>(attachment->cell) : nullptr;
}

void DoInsertTagInAttributedString(const SimpleTagRef &tag, RichText &text, int index)
{
    if (!tag)
        return;
    FileWrapper wrapper = tag->currentFileWrapper().value_or(FileWrapper{{}, SimpleTag::FileWrapperName});
    auto attachment = std::make_shared<TextAttachment>(std::move(wrapper), tag);
    const TextAttributes attributes{{TextAttributeName::Attachment, QVariant::fromValue(attachment)}};
    text.insert(index, RichText(QString(QChar(0xFFFC)), attributes));
}

namespace AttributedTagString {

QString taglessString(const RichText &text)
{
    QString result;
    forEachRun(text, [&](const RichText::Run &run, int index) {
        if (!run.attributes.contains(TextAttributeName::Attachment))
            result += text.string().mid(index, run.length);
    });
    return result;
}

QString textTagString(const RichText &text)
{
    QString result;
    forEachRun(text, [&](const RichText::Run &run, int index) {
        if (!run.attributes.contains(TextAttributeName::Attachment))
            result += text.string().mid(index, run.length);
        else if (const SimpleTagRef tag = tagInAttributes(run.attributes))
            result += QLatin1Char('<') + tag->tagName() + QLatin1Char('>');
    });
    return result;
}

void loadAttachments(const RichText &text)
{
    const NestingGuard nesting(tagArchiveNesting, MaxTagArchiveNesting);
    if (nesting.tooDeep())
        return;
    registerTagCoders();
    // A stored text may refer to one attachment from many runs; it is read once.
    QSet<const TextAttachment *> loaded;
    forEachRun(text, [&loaded](const RichText::Run &run, int) {
        const TextAttachmentRef attachment = attachmentInAttributes(run.attributes);
        if (!attachment || loaded.contains(attachment.get()))
            return;
        loaded.insert(attachment.get());
        const QByteArray &contents = attachment->fileWrapper.regularFileContents;
        if (!TypedUnarchiver::looksLikeTypedArchive(contents))
            return;
        // Stored and pasted texts come from elsewhere: whatever their data
        // does, the attachment merely stays as it is.
        try {
            const QVariant object = TypedUnarchiver::unarchiveObjectWithData(contents);
            if (auto tag = codableCast<SimpleTag>(object)) {
                if (auto condition = std::dynamic_pointer_cast<ConditionTag>(tag)) {
                    for (const ConditionRule &rule : condition->dataArray())
                        loadAttachments(rule.result);
                }
                attachment->cell = std::move(tag);
            }
        } catch (...) {
        }
    });
}

void saveAttachments(const RichText &text)
{
    forEachTag(text, [](const SimpleTagRef &tag, const TextAttachmentRef &attachment) {
        if (auto wrapper = tag->currentFileWrapper())
            attachment->fileWrapper = std::move(*wrapper);
    });
}

void setAttachmentDelegate(const RichText &text, TagDelegate *delegate)
{
    forEachTag(text, [delegate](const SimpleTagRef &tag, const TextAttachmentRef &) { tag->setDelegate(delegate); });
}

QStringList inlineFileAttachments(const RichText &text)
{
    QStringList files;
    forEachTag(text, [&](const SimpleTagRef &tag, const TextAttachmentRef &) {
        const QString file = tag->attachmentFile();
        if (!file.isEmpty())
            files.append(file);
    });
    return files;
}

QList<SimpleTagRef> tags(const RichText &text)
{
    QList<SimpleTagRef> found;
    forEachTag(text, [&](const SimpleTagRef &tag, const TextAttachmentRef &) { found.append(tag); });
    return found;
}

} // namespace AttributedTagString
