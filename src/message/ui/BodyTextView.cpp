#include "BodyTextView.h"

#include "LinkSheet.h"
#include "ListItems.h"
#include "RichTextBridge.h"
#include "TextFormatModel.h"

#include "ActionGuard.h"
#include "Alerts.h"
#include "BetterMutableAttributedString.h"
#include "BetterString.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

BodyTextView::BodyTextView(QWidget *parent)
    : TagTextView(parent), m_numbering(new ListItems::Numbering(document()))
{
}

LinkSheet *BodyTextView::linkEditSheet() const
{
    return m_linkEditSheet;
}

QLineEdit *BodyTextView::textLinkURL() const
{
    return m_linkEditSheet ? m_linkEditSheet->textLinkURL() : nullptr;
}

void BodyTextView::setLink()
{
    ActionGuard::run([this] {
        // A sheet that has ended is only waiting to be deleted.
        if (!isRichText() || (m_linkEditSheet && m_linkEditSheet->isVisible()))
            return;
        const QPointer<BodyTextView> self(this);
        m_linkEditSheet = new LinkSheet(window(), [self] {
            if (self)
                self->setLink_okClicked();
        });
        m_linkEditSheet->open();
    });
}

void BodyTextView::setLink_okClicked()
{
    ActionGuard::run([this] {
        if (!m_linkEditSheet)
            return;
        QString address = m_linkEditSheet->textLinkURL()->text();
        if (!address.contains(QLatin1String("://")))
            address = QStringLiteral("http://") + address;
        const QUrl url(address, QUrl::StrictMode);
        if (!url.isValid()) {
            DoDisplayAlert_Loc(QStringLiteral("Localized-MessageEditor"), QStringLiteral("Invalid URL"),
                               QStringLiteral("Invalid URL Text"));
            return;
        }
        const QString link = url.toString(QUrl::FullyEncoded);
        editSelectedAttributes([&link](TextAttributes &attributes) { attributes.insert(TextAttributeName::Link, link); });
        m_linkEditSheet->end();
    });
}

void BodyTextView::setLink_cancelClicked()
{
    if (m_linkEditSheet)
        m_linkEditSheet->reject();
}

void BodyTextView::removeLink()
{
    editSelectedAttributes([](TextAttributes &attributes) { attributes.remove(TextAttributeName::Link); });
}

void BodyTextView::setListStyle(int tag)
{
    ActionGuard::run([this, tag] {
        const ListItems::Numbering::Scope numbering(*m_numbering);
        const QString format = TextFormatModel::listMarkerFormat(tag);
        if (tag != 0 && format.isEmpty())
            return;
        const TextRange selection = selectedRange();
        const RichText text = attributedString();
        RichText edited = text;
        if (tag == 0)
            BetterMutableAttributedString::removeListStyle(edited, selection);
        else
            BetterMutableAttributedString::setListStyle(edited, format, selection, typingAttributes());
        // Both edits stay within the selection's lines.
        TextRange lines = selection;
        BetterString::extendRangeToFullLines(text.string(), lines);
        const int added = edited.length() - text.length();
        QTextCursor step(document());
        step.beginEditBlock();
        const RichText replacement = edited.attributedSubstring(TextRange{lines.location, lines.length + added});
        const int end = RichTextBridge::replaceRange(document(), lines, replacement);
        QTextCursor shown(document());
        shown.setPosition(end - replacement.length());
        shown.setPosition(end, QTextCursor::KeepAnchor);
        if (selection.length == 0) {
            // The caret stays between the characters it stood between, after
            // the prefix: what is typed next goes into the item, not over its
            // marker (a list started on an empty line).
            const QString &now = edited.string();
            const qsizetype secondTab = now.size() > lines.location && now.at(lines.location) == u'\t'
                                            ? now.indexOf(u'\t', lines.location + 1)
                                            : -1;
            const int textStart = secondTab >= 0 && secondTab < lines.end() + added ? int(secondTab) + 1
                                                                                     : lines.location;
            shown.setPosition(std::max(textStart, selection.location + added));
        }
        // An empty last line has no character to carry its paragraph's style:
        // the list leaves the paragraph itself, or what is typed there next
        // would be an item of it again.
        const QTextBlock last = document()->lastBlock();
        auto style = RichTextBridge::paragraphStyle(last.blockFormat());
        const bool emptyLastLine = selection.end() == text.length() && last.length() == 1;
        if (tag == 0 && emptyLastLine && style && !style->textLists.isEmpty()) {
            style->textLists.clear();
            QTextCursor(last).setBlockFormat(RichTextBridge::blockFormat(style));
        }
        step.endEditBlock();
        // Only now: the view measures where its cursor stands, and Qt lays
        // the edited paragraphs out when the edit block ends. Measured
        // before, a paragraph still has the lines of its old text, which a
        // justified paragraph's spacing walks past the new text's end.
        setTextCursor(shown);
    });
    emit documentEdited();
}

void BodyTextView::setParagraphAlignment(int alignment)
{
    ActionGuard::run([this, alignment] {
        if (alignment < 0 || alignment > 4)
            return;
        RichTextBridge::setParagraphAlignment(document(), selectedRange(), alignment);
    });
    emit documentEdited();
}

bool BodyTextView::event(QEvent *event)
{
    const ListItems::Numbering::Scope numbering(*m_numbering);
    return TagTextView::event(event);
}

bool BodyTextView::viewportEvent(QEvent *event)
{
    const ListItems::Numbering::Scope numbering(*m_numbering);
    return TagTextView::viewportEvent(event);
}

void BodyTextView::insertFromMimeData(const QMimeData *source)
{
    const ListItems::Numbering::Scope numbering(*m_numbering);
    TagTextView::insertFromMimeData(source);
}

namespace {

// What makes a key that may change which paragraphs are items of a list, or
// their markers, a step of the history of its own, which the renumbering
// joins. Qt's typing and deleting of single characters are no edit block:
// the renumbering could not join their step, and made one they no longer
// run together with the keys before. What replaces a selection, a paste,
// Return, an input method's text and Ctrl's deleting of words are blocks of
// their own already.
//
// Qt measures the caret before the key's handling returns. Inside a block
// the paragraphs edited are still laid out with their old text, so a
// paragraph an edit shortens must not be measured there: its justified
// spacing walks past the new text's end.
enum class OwnStep {
    None,
    // Qt's edit in a block around it: typing only lengthens the paragraph.
    AroundTyping,
    // The character before or after the caret, as Qt deletes it, in a
    // block measured after it ends.
    DeleteBefore,
    DeleteAfter,
};

OwnStep ownStep(const QKeyEvent *event, const QTextCursor &cursor)
{
    if (cursor.hasSelection() || event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return OwnStep::None;
    const QTextBlock block = cursor.block();
    const int at = cursor.position() - block.position();
    // The keys Qt deletes one character with.
    if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier))
        return at == 0 || ListItems::inPrefixZone(block, at - 1) ? OwnStep::DeleteBefore : OwnStep::None;
    if (event->matches(QKeySequence::Delete))
        return at == block.length() - 1 || ListItems::inPrefixZone(block, at) ? OwnStep::DeleteAfter : OwnStep::None;
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::InsertParagraphSeparator)
        || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return OwnStep::None;
    if ((!event->text().isEmpty() || event->matches(QKeySequence::InsertLineSeparator))
        && ListItems::inPrefixZone(block, at))
        return OwnStep::AroundTyping;
    return OwnStep::None;
}

} // namespace

void BodyTextView::keyPressEvent(QKeyEvent *event)
{
    const OwnStep own = isReadOnly() ? OwnStep::None : ownStep(event, textCursor());
    QTextCursor step(document());
    if (own == OwnStep::DeleteBefore || own == OwnStep::DeleteAfter) {
        QTextCursor caret = textCursor();
        step.beginEditBlock();
        if (own == OwnStep::DeleteBefore)
            caret.deletePreviousChar();
        else
            caret.deleteChar();
        step.endEditBlock();
        setTextCursor(caret);
        event->accept();
        return;
    }
    if (own == OwnStep::AroundTyping)
        step.beginEditBlock();
    if (event->matches(QKeySequence::InsertParagraphSeparator) && isRichText() && !isReadOnly() && breakListItem()) {
        event->accept();
        ensureCursorVisible();
    } else {
        TagTextView::keyPressEvent(event);
    }
    if (own == OwnStep::AroundTyping)
        step.endEditBlock();
}

bool BodyTextView::breakListItem()
{
    QTextCursor cursor = textCursor();
    if (!ListItems::itemAt(document()->findBlock(cursor.selectionStart())))
        return false;
    const QTextCharFormat typing = typingFormat();
    const bool replacesSelection = cursor.hasSelection();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QTextBlock block = cursor.block();
    const ListItems::Item item = ListItems::itemAt(block);
    int caret = 0;
    if (!item) {
        // The selection took the prefix with it.
        cursor.insertBlock(block.blockFormat(), typing);
        caret = cursor.position();
    } else if (!replacesSelection && block.length() - 1 == item.prefixLength) {
        // The empty item leaves the list; the items after it are a list of
        // their own now.
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + item.prefixLength, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        // A paragraph whose style was only the list's has none left, as
        // before the list was made.
        auto style = RichTextBridge::paragraphStyle(block.blockFormat());
        style->textLists.clear();
        if (style == ParagraphStyle())
            style.reset();
        cursor.setBlockFormat(RichTextBridge::blockFormat(style));
        caret = block.position();
    } else {
        // Return within the prefix opens an empty item before this one.
        if (cursor.position() < block.position() + item.prefixLength)
            cursor.setPosition(block.position() + item.prefixLength);
        const int number = ListItems::numberOf(block, item.lists) + 1;
        const QTextCharFormat format = ListItems::prefixFormat(block);
        cursor.insertBlock(block.blockFormat(), typing);
        cursor.insertText(ListItems::prefix(item.lists, number), format);
        caret = cursor.position();
    }
    cursor.endEditBlock();
    cursor.setPosition(caret);
    setTextCursor(cursor);
    setCurrentCharFormat(typing);
    return true;
}

void BodyTextView::updateBodyViewLayout()
{
    reloadTagData();
}
