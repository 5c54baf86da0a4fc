#pragma once

// The lines a mail reader shows for an HTML page: gumbo's tree of the page
// laid out as CSS lays out blocks, line breaks and list items, without
// anything of the program's own HTML code. A block (division, list, item)
// starts and ends a line; a <br> ends one, empty or not; at a block's end
// the line under way is shown only when it holds something other than
// collapsible white space; an item's first line carries its marker, and an
// empty item still shows one. Each line has the alignment of the block it
// stands in (text-align as CSS inherits it) and the links a reader shows
// in it. Text is compared with white space (no-break spaces and tabs among
// it) collapsed and trimmed.

#include <QList>
#include <QtGlobal>
#include <QString>
#include <QStringView>

// A linked stretch of a line: [from, from + length) of its text.
struct ReaderLink {
    qsizetype from = 0;
    qsizetype length = 0;
    QString href;

    friend bool operator==(const ReaderLink &, const ReaderLink &) = default;
};

struct ReaderLine {
    QString text;
    // The first line of an item: its list's kind ("disc", "circle",
    // "square", "decimal", "lower-alpha", "upper-alpha", "lower-roman",
    // "upper-roman"; a bulleted list whose style names none of these shows
    // a disc) and, in an ordered list, its number. Empty for other lines.
    QString marker;
    int number = 0;
    // "left", "right", "center" or "justify": the text-align of the block
    // the line stands in.
    QString alignment;
    // In the order they stand; adjacent stretches of one address are one
    // (a reader shows one link).
    QList<ReaderLink> links;

    friend bool operator==(const ReaderLine &, const ReaderLine &) = default;
};

// A line built from its characters and the link each stands in, with white
// space (the page's no-break spaces and the editor's tabs alike) collapsed
// as CSS collapses it: a run of white space shows as one space, that of the
// first character of the run (inside or outside a link as that character
// is), and none at the line's start or end.
class ReaderLineText {
public:
    void append(QStringView text, const QString &href);
    // Something more than collapsible white space (a no-break space is
    // something: it holds a line open).
    [[nodiscard]] bool showsSomething() const { return m_showsSomething; }
    // Gives the line its text and links.
    void finishInto(ReaderLine &line) const;
    void clear();

private:
    QString m_text;
    QList<ReaderLink> m_links;
    bool m_showsSomething = false;
    bool m_spacePending = false;
    QString m_spaceHref;

    void put(QChar c, const QString &href);
};

// The lines of the page's body.
[[nodiscard]] QList<ReaderLine> readerLines(const QString &page);

// The alignment a paragraph of the editor is laid out with, as a reader
// names it (left to right: the natural alignment is left).
[[nodiscard]] QString alignmentName(Qt::Alignment alignment);

// A line's text with its links written [text](address).
[[nodiscard]] QString linkedText(const ReaderLine &line);

// One line a line, "[decimal 2] text" for an item's first line, links as
// linkedText writes them; with alignments, "{center} " before each line
// whose alignment is not left.
enum class Alignments { Hidden, Shown };
[[nodiscard]] QString describeLines(const QList<ReaderLine> &lines, Alignments alignments = Alignments::Hidden);
