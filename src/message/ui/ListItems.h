#pragma once

// The items of lists in a text view's document. The text system writes an
// item's marker into the text: an item is a paragraph whose style lists it
// and that begins with "\t" + marker + "\t", the marker one its list writes
// for an item. What only looks like a prefix (one the author broke, or a
// tag's value) makes no item: it is text, for the views as for the HTML
// writer. The items of a list are the items of the same lists that follow
// one another; a reader counts them 1, 2, 3, and so do their markers.

#include "TextAttributes.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTextBlock>
#include <QTextCharFormat>

class QTextCursor;
class QTextDocument;

namespace ListItems {

struct Item {
    QList<TextList> lists;
    int prefixLength = 0;
    explicit operator bool() const { return prefixLength > 0; }
};

[[nodiscard]] Item itemAt(const QTextBlock &block);
// "\t" + the marker of the item with the number + "\t".
[[nodiscard]] QString prefix(const QList<TextList> &lists, int number);
// The looks of a block's prefix, for the prefix of a new item.
[[nodiscard]] QTextCharFormat prefixFormat(const QTextBlock &block);
// The number of the item in its list: items of the same lists right
// before it count.
[[nodiscard]] int numberOf(QTextBlock block, const QList<TextList> &lists);
// Whether typing at the position may change whether the paragraph is an
// item or its marker: in a listed paragraph, at its start or, when it
// begins with a tab, up to its second tab, where a prefix is or could be.
[[nodiscard]] bool inPrefixZone(const QTextBlock &block, int positionInBlock);

// Numbers the items of the lists an edit of the document touched (and of
// the list that goes on after it) 1, 2, 3 again, as part of the edit's step
// of the history: an edit may join two lists, split one, or make a
// paragraph an item or no item. Edits made while a Scope is alive are
// numbered when the outermost one ends; others on the event loop's next
// turn. The numbering joins the edit's step when the edit was a block of
// its own (QTextCursor::beginEditBlock): Qt's typing and deleting of single
// characters are no such block. A text set whole, with its history, and an
// undo change nothing here: the text comes back as it was numbered.
class Numbering : public QObject {
public:
    explicit Numbering(QTextDocument *document);

    class Scope {
    public:
        explicit Scope(Numbering &numbering);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        Numbering &m_numbering;
    };

    void numberEdits();

private:
    void changed(int position, int removed, int added);

    QPointer<QTextDocument> m_document;
    int m_scopes = 0;
    bool m_numbering = false;
    bool m_queued = false;
    // What the edits since the last numbering touched, in positions of the
    // document as it is now; -1: nothing.
    int m_from = -1;
    int m_to = -1;
    int m_undoSteps = 0;
    int m_blockCount = 0;
};

} // namespace ListItems
