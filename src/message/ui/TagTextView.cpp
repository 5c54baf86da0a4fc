#include "TagTextView.h"

#include "LinkLooks.h"
#include "RichTextBridge.h"
#include "TagObjectInterface.h"
#include "TagPasteboard.h"

#include "FontPanel.h"

#include "AttributedTagString.h"

#include <QAbstractTextDocumentLayout>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

namespace {

// The format of the character at the position: a paragraph break has the
// format of the paragraph after it, as Qt keeps it; past the end, none.
QTextCharFormat characterFormat(const QTextDocument *document, int position)
{
    const QTextBlock block = document->findBlock(position);
    if (!block.isValid())
        return {};
    if (position == block.position() + block.length() - 1)
        return block.next().isValid() ? block.next().charFormat() : QTextCharFormat();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (position < fragment.position() + fragment.length())
            return fragment.charFormat();
    }
    return {};
}

QString linkOf(const QTextCharFormat &format)
{
    return format.isAnchor() ? format.anchorHref() : QString();
}

} // namespace

TagTextView::TagTextView(QWidget *parent)
    : QTextEdit(parent)
    , m_tagInterface(new TagObjectInterface(this))
    , m_linkLooks(new LinkLooks(document(), palette().color(QPalette::Link)))
{
    m_tagInterface->install(document());
}

void TagTextView::useTagTextStorage()
{
    m_usesTagTextStorage = true;
    // The document may have been replaced since the view was made.
    m_tagInterface->install(document());
}

void TagTextView::reloadTagData()
{
    document()->markContentsDirty(0, document()->characterCount());
}

RichText TagTextView::attributedString() const
{
    return RichTextBridge::documentText(document());
}

void TagTextView::setAttributedString(const RichText &text)
{
    RichTextBridge::setDocumentText(document(), text);
}

TextRange TagTextView::selectedRange() const
{
    const QTextCursor cursor = textCursor();
    return TextRange{cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

void TagTextView::setRichText(bool richText)
{
    const bool changed = richText != acceptRichText();
    setAcceptRichText(richText);
    if (changed && m_usesTagTextStorage)
        setTagFont(viewFont());
}

void TagTextView::tagNameChanged(const QString &oldName, const QString &newName, TagRenames *renamed)
{
    // A tag deleted since waits in the undo history and comes back under the
    // new name.
    forEachTag([&](SimpleTag &tag) { tag.tagNameChanged(oldName, newName, renamed); });
}

void TagTextView::forEachTag(const std::function<void(SimpleTag &)> &visit) const
{
    // Every format the document has held, not only the text's. The formats
    // are few, however long the text.
    for (const QTextFormat &format : document()->allFormats()) {
        const TextAttachmentRef attachment = RichTextBridge::attachment(format);
        if (const auto tag = attachment ? std::dynamic_pointer_cast<SimpleTag>(attachment->cell) : nullptr)
            visit(*tag);
    }
}

void TagTextView::setTagFont(const FontDescriptor &font)
{
    for (const SimpleTagRef &tag : AttributedTagString::tags(attributedString()))
        tag->setFont(font);
    reloadTagData();
}

void TagTextView::changeAttributes(const FontPanelChange &sender)
{
    changeAttributesOrFont(FontChangeKind::Attributes, sender);
}

void TagTextView::changeFont(const FontPanelChange &sender)
{
    changeAttributesOrFont(FontChangeKind::Font, sender);
}

void TagTextView::underline()
{
    changeAttributesOrFont(FontChangeKind::Underline, {});
}

void TagTextView::changeColor(const RgbaColor &color)
{
    FontPanelChange sender;
    sender.color = color;
    changeAttributesOrFont(FontChangeKind::Color, sender);
}

void TagTextView::changeAttributesOrFont(FontChangeKind kind, const FontPanelChange &sender)
{
    const TextRange range = selectedRange();
    if (range.length > 0) {
        FontPanel::apply(document(), range, kind, sender, viewFont());
        return;
    }
    TextAttributes attributes = typingAttributes();
    FontPanel::applyToAttributes(attributes, kind, sender, viewFont());
    attributes.remove(TextAttributeName::ParagraphStyle);
    setCurrentCharFormat(RichTextBridge::charFormat(attributes));
}

TextAttributes TagTextView::formatAtCaret() const
{
    const TextRange range = selectedRange();
    if (range.length == 0)
        return typingAttributes();
    TextAttributes first = RichTextBridge::documentText(document(), TextRange{range.location, 1}).attributesAtIndex(0);
    // A tag is drawn with looks of its own.
    if (const SimpleTagRef tag = tagInAttributes(first); tag && tag->attributes()) {
        const QVariant paragraph = first.value(TextAttributeName::ParagraphStyle);
        first = *tag->attributes();
        if (paragraph.isValid())
            first.insert(TextAttributeName::ParagraphStyle, paragraph);
    }
    return first;
}

void TagTextView::insertTag(const SimpleTagRef &tag)
{
    if (!tag)
        return;
    tag->setFont(viewFont());
    RichText text;
    DoInsertTagInAttributedString(tag, text, 0);
    // The tag character carries nothing but the tag; what is typed next
    // looks like what was typed before.
    TextAttributes typing = typingAttributes();
    typing.remove(TextAttributeName::ParagraphStyle);
    const int location = selectedRange().location;
    // It stands in its paragraph as the text does: at the paragraph's start
    // its lack of a style would be the paragraph's (the text system takes a
    // paragraph's style from the first character that has one).
    if (const auto style = RichTextBridge::paragraphStyle(document()->findBlock(location).blockFormat()))
        text.addAttribute(TextAttributeName::ParagraphStyle, QVariant::fromValue(*style), TextRange{0, text.length()});
    replaceRange(TextRange{location, 0}, text);
    setCurrentCharFormat(RichTextBridge::charFormat(typing));
}

FontDescriptor TagTextView::viewFont() const
{
    const QVariant font = document()->isEmpty()
                              ? typingAttributes().value(TextAttributeName::Font)
                              : RichTextBridge::documentText(document(), TextRange{0, 1})
                                    .attributesAtIndex(0)
                                    .value(TextAttributeName::Font);
    if (font.typeId() == qMetaTypeId<FontDescriptor>())
        return font.value<FontDescriptor>();
    return RichTextBridge::fontDescriptor(document()->defaultFont());
}

QTextCharFormat TagTextView::typingFormat() const
{
    const QTextCursor cursor = textCursor();
    QTextCharFormat format = cursor.charFormat();
    if (format.objectType() == RichTextBridge::TagObjectType) {
        const QTextBlock block = cursor.block();
        format = block.charFormat();
        for (auto it = block.begin(); !it.atEnd() && it.fragment().position() < cursor.position(); ++it) {
            if (it.fragment().charFormat().objectType() != RichTextBridge::TagObjectType)
                format = it.fragment().charFormat();
        }
    }
    // A link covers the characters it was given: it grows by what is typed
    // inside it (after a tag in it too), not by what is typed at its end or
    // on the next line.
    if (!cursor.hasSelection()) {
        const int position = cursor.position();
        const QString before = position > 0 ? linkOf(characterFormat(document(), position - 1)) : QString();
        const QString inside = before == linkOf(characterFormat(document(), position)) ? before : QString();
        if (inside != linkOf(format)) {
            for (const int property : {QTextFormat::IsAnchor, QTextFormat::AnchorHref, QTextFormat::AnchorName})
                format.clearProperty(property);
            if (!inside.isEmpty()) {
                format.setAnchor(true);
                format.setAnchorHref(inside);
            }
        }
    }
    return RichTextBridge::withoutTag(format);
}

QTextCharFormat TagTextView::prepareTyping()
{
    const QTextCharFormat format = typingFormat();
    if (!textCursor().hasSelection() && textCursor().charFormat() != format)
        setCurrentCharFormat(format);
    return format;
}

void TagTextView::keyPressEvent(QKeyEvent *event)
{
    const bool atCaret = !textCursor().hasSelection();
    const QTextCharFormat format = prepareTyping();
    QTextEdit::keyPressEvent(event);
    // Return in an empty paragraph that has a style of its own (the empty
    // item that ends a list) takes the style away and, with it, the looks
    // of what is typed next; the text goes on as it looked.
    if (atCaret && event->matches(QKeySequence::InsertParagraphSeparator) && !textCursor().hasSelection()
        && textCursor().charFormat().properties().isEmpty() && !format.properties().isEmpty())
        setCurrentCharFormat(format);
}

void TagTextView::inputMethodEvent(QInputMethodEvent *event)
{
    prepareTyping();
    QTextEdit::inputMethodEvent(event);
}

TextAttributes TagTextView::typingAttributes() const
{
    TextAttributes attributes = RichTextBridge::characterAttributes(typingFormat(), document()->defaultFont());
    if (!attributes.contains(TextAttributeName::ParagraphStyle)) {
        if (const auto style = RichTextBridge::paragraphStyle(textCursor().blockFormat()))
            attributes.insert(TextAttributeName::ParagraphStyle, QVariant::fromValue(*style));
    }
    return attributes;
}

bool TagTextView::canInsertFromMimeData(const QMimeData *source) const
{
    return TagPasteboard::canRead(source);
}

QMimeData *TagTextView::createMimeDataFromSelection() const
{
    const TextRange range = selectedRange();
    if (range.length == 0)
        return new QMimeData;
    const RichText text = attributedString();
    AttributedTagString::saveAttachments(text);
    return TagPasteboard::mimeDataForText(text.attributedSubstring(range), pasteboardScope());
}

void TagTextView::insertFromMimeData(const QMimeData *source)
{
    TagPasteboard::Contents contents = TagPasteboard::read(source, pasteboardScope());
    switch (contents.kind) {
    case TagPasteboard::Contents::Kind::Nothing:
        return;
    case TagPasteboard::Contents::Kind::TaggedText:
        // Only the pasted tags are new; the tags already in the view keep
        // their state, which their file wrappers may not hold yet.
        AttributedTagString::setAttachmentDelegate(contents.text, m_delegate);
        replaceRange(selectedRange(), contents.text);
        break;
    case TagPasteboard::Contents::Kind::PlainText:
        replaceRange(selectedRange(), RichText(contents.text.string(), typingAttributes()));
        break;
    }
    ensureCursorVisible();
}

void TagTextView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        if (const SimpleTagRef tag = clickableTagAt(event->position())) {
            event->accept();
            tag->trackMouse();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

void TagTextView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_formatMenu) {
        QTextEdit::contextMenuEvent(event);
        return;
    }
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    menu->addSeparator();
    menu->addMenu(m_formatMenu);
    menu->exec(event->globalPos());
}

void TagTextView::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        m_linkLooks->setColor(palette().color(QPalette::Link));
}

void TagTextView::replaceRange(TextRange range, const RichText &text)
{
    const int end = RichTextBridge::replaceRange(document(), range, text);
    QTextCursor cursor = textCursor();
    cursor.setPosition(end);
    setTextCursor(cursor);
}

void TagTextView::editSelectedAttributes(const std::function<void(TextAttributes &)> &edit)
{
    RichTextBridge::editAttributes(document(), selectedRange(), edit);
}

const QObject *TagTextView::pasteboardScope() const
{
    const QWidget *outermost = this;
    while (outermost->parentWidget())
        outermost = outermost->parentWidget();
    return outermost;
}

SimpleTagRef TagTextView::clickableTagAt(const QPointF &viewportPosition) const
{
    const QPointF position =
        viewportPosition + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const int hit = layout->hitTest(position, Qt::FuzzyHit);
    // The hit lies between characters: the tag may be on either side.
    for (const int candidate : {hit, hit - 1}) {
        const QTextBlock block = document()->findBlock(candidate);
        if (candidate < 0 || !block.isValid() || candidate >= block.position() + block.length() - 1)
            continue;
        QTextCursor cursor(document());
        cursor.setPosition(candidate);
        cursor.setPosition(candidate + 1, QTextCursor::KeepAnchor);
        const TextAttachmentRef attachment = RichTextBridge::attachment(cursor.charFormat());
        const auto tag = attachment ? std::dynamic_pointer_cast<SimpleTag>(attachment->cell) : nullptr;
        if (!tag || !tag->wantsToTrackMouse())
            continue;
        const int inBlock = candidate - block.position();
        const QTextLine line = block.layout()->lineForTextPosition(inBlock);
        if (!line.isValid())
            continue;
        const QPointF origin = layout->blockBoundingRect(block).topLeft();
        const qreal left = line.cursorToX(inBlock);
        const qreal right = line.cursorToX(inBlock + 1);
        const QRectF box(origin.x() + std::min(left, right), origin.y() + line.y(), std::abs(right - left),
                         line.height());
        if (box.contains(position))
            return tag;
    }
    return nullptr;
}
