#pragma once

// Shows the links of a text view's document as links: in a colour of their
// own, underlined. The looks belong to the layout (the formats a paragraph's
// layout draws over its text), not to the text: no reading of the text sees
// them, no step of its history records them, so neither the stored message
// nor the mail gains a colour or an underline by them. Each edit's
// paragraphs are looked at again; a tag in a link is drawn with the same
// looks (see TagObjectInterface).
//
// Main thread only.

#include <QColor>
#include <QHash>
#include <QObject>
#include <QTextCharFormat>

class QTextBlock;
class QTextDocument;

class LinkLooks : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkLooks)
public:
    // Follows the document's edits from now on (the document owns it).
    LinkLooks(QTextDocument *document, const QColor &color);

    // The colour links are shown in; they are shown again when it changes.
    void setColor(const QColor &color);

private:
    void update(int from, int length);
    void updateBlock(const QTextBlock &block, QHash<int, bool> &linkFormats);

    QTextDocument *m_document;
    QTextCharFormat m_looks;
    // Whether any paragraph has been given the looks.
    bool m_shown = false;
};
