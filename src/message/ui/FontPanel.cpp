#include "FontPanel.h"

#include "FunctionUndoItem.h"
#include "RichTextBridge.h"

#include "AttributedTagString.h"

#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace FontPanel {

namespace {

bool isNonZero(const QVariant &value)
{
    return value.isValid() && value.toDouble() != 0.0;
}

// What the change does to each character of the text; null when it does nothing.
std::function<void(TextAttributes &)> textEdit(Kind kind, const Change &change, const FontDescriptor &fallbackFont,
                                               bool removeUnderline)
{
    switch (kind) {
    case Kind::Attributes:
        if (!change.convertAttributes)
            return {};
        return [convert = change.convertAttributes](TextAttributes &attributes) {
            // The conversion is about looks; a tag character stays a tag.
            const QVariant attachment = attributes.value(TextAttributeName::Attachment);
            attributes = convert(attributes);
            if (attachment.isValid())
                attributes.insert(TextAttributeName::Attachment, attachment);
            else
                attributes.remove(TextAttributeName::Attachment);
        };
    case Kind::Font:
        if (!change.convertFont)
            return {};
        return [convert = change.convertFont, fallbackFont](TextAttributes &attributes) {
            const QVariant font = attributes.value(TextAttributeName::Font);
            const FontDescriptor current =
                font.typeId() == qMetaTypeId<FontDescriptor>() ? font.value<FontDescriptor>() : fallbackFont;
            attributes.insert(TextAttributeName::Font, QVariant::fromValue(convert(current)));
        };
    case Kind::Underline:
        return [removeUnderline](TextAttributes &attributes) {
            if (removeUnderline)
                attributes.remove(TextAttributeName::Underline);
            else
                attributes.insert(TextAttributeName::Underline, 1);
        };
    case Kind::Color:
        return [color = change.color](TextAttributes &attributes) {
            attributes.insert(TextAttributeName::Color, QVariant::fromValue(color));
        };
    }
    return {};
}

void changeTag(SimpleTag &tag, Kind kind, const Change &change, const FontDescriptor &fallbackFont,
               bool removeUnderline)
{
    switch (kind) {
    case Kind::Attributes:
        if (change.convertAttributes)
            tag.setAttributes(change.convertAttributes(tag.attributes().value_or(TextAttributes())));
        break;
    case Kind::Font:
        if (change.convertFont)
            tag.setFont(change.convertFont(tag.font().value_or(fallbackFont)));
        break;
    case Kind::Underline:
        tag.setAttribute(TextAttributeName::Underline, removeUnderline ? QVariant() : QVariant(1));
        break;
    case Kind::Color:
        tag.setAttribute(TextAttributeName::Color, QVariant::fromValue(change.color));
        break;
    }
}

// Each tag in the range once.
QList<SimpleTagRef> tagsInRange(const QTextDocument *document, TextRange range)
{
    QList<SimpleTagRef> found;
    QSet<const SimpleTag *> seen;
    for (QTextBlock block = document->findBlock(range.location); block.isValid() && block.position() < range.end();
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (std::max(fragment.position(), range.location) >=
                std::min(fragment.position() + fragment.length(), range.end()))
                continue;
            const TextAttachmentRef attachment = RichTextBridge::attachment(fragment.charFormat());
            auto tag = attachment ? std::dynamic_pointer_cast<SimpleTag>(attachment->cell) : nullptr;
            if (tag && !seen.contains(tag.get())) {
                seen.insert(tag.get());
                found.append(std::move(tag));
            }
        }
    }
    return found;
}

using Looks = QList<QPair<SimpleTagRef, std::optional<TextAttributes>>>;

void restore(const Looks &looks)
{
    for (const auto &[tag, attributes] : looks)
        tag->restoreAttributes(attributes);
}

} // namespace

void apply(QTextDocument *document, TextRange range, Kind kind, const Change &change,
           const FontDescriptor &fallbackFont)
{
    const int length = document->characterCount() - 1;
    range.location = std::clamp(range.location, 0, length);
    range.length = std::clamp(range.length, 0, length - range.location);
    if (range.length == 0)
        return;
    // Underlining follows the range's first character: for the tags, a
    // tag's own attributes or the text's; for the text, the text's.
    bool tagsLoseUnderline = false;
    bool textLosesUnderline = false;
    if (kind == Kind::Underline) {
        const TextAttributes first =
            RichTextBridge::documentText(document, TextRange{range.location, 1}).attributesAtIndex(0);
        const SimpleTagRef firstTag = tagInAttributes(first);
        textLosesUnderline = isNonZero(first.value(TextAttributeName::Underline));
        tagsLoseUnderline = firstTag ? isNonZero(firstTag->attributes().value_or(TextAttributes())
                                                     .value(TextAttributeName::Underline))
                                     : textLosesUnderline;
    }

    Looks before;
    Looks after;
    for (const SimpleTagRef &tag : tagsInRange(document, range)) {
        const std::optional<TextAttributes> old = tag->attributes();
        changeTag(*tag, kind, change, fallbackFont, tagsLoseUnderline);
        if (tag->attributes() != old) {
            before.append({tag, old});
            after.append({tag, tag->attributes()});
        }
    }

    QTextCursor cursor(document);
    cursor.beginEditBlock();
    if (!before.isEmpty())
        document->appendUndoItem(new FunctionUndoItem([before] { restore(before); }, [after] { restore(after); }));
    if (const auto edit = textEdit(kind, change, fallbackFont, textLosesUnderline))
        RichTextBridge::editAttributes(document, range, edit, !before.isEmpty());
    cursor.endEditBlock();
}

void applyToAttributes(TextAttributes &attributes, Kind kind, const Change &change,
                       const FontDescriptor &fallbackFont)
{
    if (const auto edit = textEdit(kind, change, fallbackFont, isNonZero(attributes.value(TextAttributeName::Underline))))
        edit(attributes);
}

} // namespace FontPanel
