#include "ListItems.h"

#include "RichTextBridge.h"

#include <QTextCursor>
#include <QTextDocument>

namespace ListItems {

namespace {

bool isListed(const QTextBlock &block)
{
    const auto style = RichTextBridge::paragraphStyle(block.blockFormat());
    return style && !style->textLists.isEmpty();
}

} // namespace

Item itemAt(const QTextBlock &block)
{
    Item item;
    const auto style = RichTextBridge::paragraphStyle(block.blockFormat());
    if (!style || style->textLists.isEmpty())
        return item;
    const qsizetype length = style->textLists.last().itemPrefixLength(block.text());
    if (length == 0)
        return item;
    item.lists = style->textLists;
    item.prefixLength = int(length);
    return item;
}

QString prefix(const QList<TextList> &lists, int number)
{
    return u'\t' + lists.last().markerForItemNumber(number) + u'\t';
}

QTextCharFormat prefixFormat(const QTextBlock &block)
{
    QTextCharFormat format = RichTextBridge::withoutTag(block.begin().fragment().charFormat());
    format.clearProperty(RichTextBridge::ParagraphOverrideProperty);
    return format;
}

int numberOf(QTextBlock block, const QList<TextList> &lists)
{
    int number = 1;
    for (block = block.previous(); block.isValid(); block = block.previous()) {
        const Item item = itemAt(block);
        if (!item || item.lists != lists)
            break;
        ++number;
    }
    return number;
}

bool inPrefixZone(const QTextBlock &block, int positionInBlock)
{
    if (!isListed(block))
        return false;
    const QString text = block.text();
    if (!text.startsWith(u'\t'))
        return positionInBlock == 0;
    const qsizetype secondTab = text.indexOf(u'\t', 1);
    return secondTab < 0 || positionInBlock <= secondTab;
}

Numbering::Numbering(QTextDocument *document)
    : QObject(document), m_document(document), m_undoSteps(document->availableUndoSteps()),
      m_blockCount(document->blockCount())
{
    connect(document, &QTextDocument::contentsChange, this, &Numbering::changed);
}

Numbering::Scope::Scope(Numbering &numbering)
    : m_numbering(numbering)
{
    ++m_numbering.m_scopes;
}

Numbering::Scope::~Scope()
{
    if (--m_numbering.m_scopes == 0)
        m_numbering.numberEdits();
}

void Numbering::changed(int position, int removed, int added)
{
    QTextDocument *document = m_document;
    if (!document)
        return;
    // A text set whole (without a history) and an undo (one step fewer to
    // undo) bring a text as it was numbered. Numbered again after an undo,
    // a text whose numbering was a step of its own could never be undone
    // past it.
    const int undoSteps = document->availableUndoSteps();
    const bool undone = undoSteps < m_undoSteps;
    m_undoSteps = undoSteps;
    const int blocks = document->blockCount();
    const bool paragraphsChanged = blocks != m_blockCount;
    m_blockCount = blocks;
    if (m_numbering || undone || !document->isUndoRedoEnabled())
        return;
    // Text typed or deleted within an item's own text, or within a paragraph
    // outside any list past its start, changes no item: the keys a user
    // types most cost nothing here, however long the list. (A paragraph's
    // style changes from its start.)
    if (!paragraphsChanged) {
        const QTextBlock block = document->findBlock(position);
        if (position + added < block.position() + block.length()) {
            const Item item = itemAt(block);
            const bool inItemText = item && position >= block.position() + item.prefixLength;
            const bool inOtherText = !item && !isListed(block) && position > block.position();
            if (inItemText || inOtherText)
                return;
        }
    }
    // What earlier edits touched moves with this one.
    const auto moved = [&](int at) {
        if (at >= position + removed)
            return at + added - removed;
        return std::min(at, position + added);
    };
    if (m_from < 0) {
        m_from = position;
        m_to = position + added;
    } else {
        m_from = std::min(moved(m_from), position);
        m_to = std::max(moved(m_to), position + added);
    }
    if (m_scopes == 0 && !m_queued) {
        m_queued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_queued = false;
                numberEdits();
            },
            Qt::QueuedConnection);
    }
}

void Numbering::numberEdits()
{
    QTextDocument *document = m_document;
    if (!document || m_from < 0)
        return;
    const QTextBlock first = document->findBlock(std::min(m_from, document->characterCount() - 1));
    const QTextBlock last = document->findBlock(std::min(m_to, document->characterCount() - 1));
    m_from = m_to = -1;

    // From the start of the list the first touched paragraph is in, through
    // the touched ones, and on through the list that goes on after them.
    QTextBlock block = first;
    Item item = itemAt(block);
    while (item) {
        const Item before = itemAt(block.previous());
        if (!before || before.lists != item.lists)
            break;
        block = block.previous();
    }
    struct Change {
        int position;
        int length;
        QString prefix;
        QTextCharFormat format;
    };
    QList<Change> changes;
    Item previous;
    int number = 0;
    bool pastLast = false;
    for (; block.isValid(); block = block.next()) {
        item = itemAt(block);
        const bool goesOn = item && previous && previous.lists == item.lists;
        if (pastLast && !goesOn && !(item && block.previous() == last))
            break;
        number = goesOn ? number + 1 : 1;
        if (item) {
            const QString wanted = prefix(item.lists, number);
            if (QStringView(block.text()).left(item.prefixLength) != wanted)
                changes.append({block.position(), item.prefixLength, wanted, prefixFormat(block)});
        }
        previous = item;
        if (block == last)
            pastLast = true;
    }
    if (changes.isEmpty())
        return;

    m_numbering = true;
    QTextCursor cursor(document);
    cursor.joinPreviousEditBlock();
    const bool lazy =
        RichTextBridge::beginLongChange(document, changes.last().position - changes.first().position);
    // From the end, so that the positions ahead stay where they were.
    for (auto change = changes.crbegin(); change != changes.crend(); ++change) {
        cursor.setPosition(change->position);
        cursor.setPosition(change->position + change->length, QTextCursor::KeepAnchor);
        cursor.insertText(change->prefix, change->format);
    }
    if (lazy)
        RichTextBridge::endLongChange(document);
    cursor.endEditBlock();
    m_numbering = false;
    m_undoSteps = document->availableUndoSteps();
}

} // namespace ListItems
