#include "BodyTextView.h"

#include "LinkSheet.h"
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

namespace {

// A paragraph that is an item of a list: listed in its paragraph style and
// beginning with the item's prefix, "\t" + marker + "\t" (a prefix the user
// broke makes no item, as for the HTML writer and List > None).
struct ListItem {
    QList<TextList> lists;
    int prefixLength = 0;
    explicit operator bool() const { return prefixLength > 0; }
};

ListItem listItem(const QTextBlock &block)
{
    ListItem item;
    const auto style = RichTextBridge::paragraphStyle(block.blockFormat());
    if (!style || style->textLists.isEmpty())
        return item;
    const QString text = block.text();
    const qsizetype secondTab = text.startsWith(u'\t') ? text.indexOf(u'\t', 1) : -1;
    if (secondTab < 0)
        return item;
    item.lists = style->textLists;
    item.prefixLength = int(secondTab) + 1;
    return item;
}

QString itemPrefix(const QList<TextList> &lists, int number)
{
    return u'\t' + lists.last().markerForItemNumber(number) + u'\t';
}

// The looks of a block's prefix, for the prefix of a new item: the block's
// paragraph style is the item's.
QTextCharFormat prefixFormat(const QTextBlock &block)
{
    QTextCharFormat format = RichTextBridge::withoutTag(block.begin().fragment().charFormat());
    format.clearProperty(RichTextBridge::ParagraphOverrideProperty);
    return format;
}

// The number of the item in its list: items of the same lists right before
// it count.
int itemNumber(QTextBlock block, const QList<TextList> &lists)
{
    int number = 1;
    for (block = block.previous(); block.isValid(); block = block.previous()) {
        const ListItem item = listItem(block);
        if (!item || item.lists != lists)
            break;
        ++number;
    }
    return number;
}

// Numbers the items from `block` on, from `number`, as far as the list goes
// on: the markers are text, and a reader's list counts its items.
void renumber(QTextCursor &cursor, QTextBlock block, const QList<TextList> &lists, int number)
{
    const TextList &list = lists.last();
    if (list.markerForItemNumber(1) == list.markerForItemNumber(2))
        return; // one marker for every item
    for (; block.isValid(); block = block.next(), ++number) {
        const ListItem item = listItem(block);
        if (!item || item.lists != lists)
            break;
        const QString prefix = itemPrefix(lists, number);
        if (QStringView(block.text()).left(item.prefixLength) == prefix)
            continue;
        const QTextCharFormat format = prefixFormat(block);
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + item.prefixLength, QTextCursor::KeepAnchor);
        cursor.insertText(prefix, format);
    }
}

} // namespace

BodyTextView::BodyTextView(QWidget *parent)
    : TagTextView(parent)
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

void BodyTextView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::InsertParagraphSeparator) && isRichText() && !isReadOnly() && breakListItem()) {
        event->accept();
        ensureCursorVisible();
        return;
    }
    TagTextView::keyPressEvent(event);
}

bool BodyTextView::breakListItem()
{
    QTextCursor cursor = textCursor();
    if (!listItem(document()->findBlock(cursor.selectionStart())))
        return false;
    const QTextCharFormat typing = typingFormat();
    const bool replacesSelection = cursor.hasSelection();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QTextBlock block = cursor.block();
    const ListItem item = listItem(block);
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
        renumber(cursor, block.next(), item.lists, 1);
    } else {
        // Return within the prefix opens an empty item before this one.
        if (cursor.position() < block.position() + item.prefixLength)
            cursor.setPosition(block.position() + item.prefixLength);
        const int number = itemNumber(block, item.lists) + 1;
        const QTextCharFormat format = prefixFormat(block);
        cursor.insertBlock(block.blockFormat(), typing);
        cursor.insertText(itemPrefix(item.lists, number), format);
        caret = cursor.position();
        renumber(cursor, cursor.block().next(), item.lists, number + 1);
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
