#pragma once

// The lines a mail reader shows for an HTML page: gumbo's tree of the page
// laid out as CSS lays out blocks, line breaks and list items, without
// anything of the program's own HTML code. A block (division, list, item)
// starts and ends a line; a <br> ends one, empty or not; at a block's end
// the line under way is shown only when it holds something other than
// collapsible white space; an item's first line carries its marker, and an
// empty item still shows one. Text is compared with white space (no-break
// spaces and tabs among it) collapsed and trimmed.

#include <QList>
#include <QString>

struct ReaderLine {
    QString text;
    // The first line of an item: its list's kind ("disc", "circle",
    // "square", "decimal", "lower-alpha", "upper-alpha", "lower-roman",
    // "upper-roman"; a bulleted list whose style names none of these shows
    // a disc) and, in an ordered list, its number. Empty for other lines.
    QString marker;
    int number = 0;

    friend bool operator==(const ReaderLine &, const ReaderLine &) = default;
};

// White space, the page's no-break spaces and the editor's tabs alike,
// collapsed into single spaces and trimmed.
[[nodiscard]] QString collapsedWhiteSpace(const QString &text);

// The lines of the page's body.
[[nodiscard]] QList<ReaderLine> readerLines(const QString &page);

// One line a line, "[decimal 2] text" for an item's first line.
[[nodiscard]] QString describeLines(const QList<ReaderLine> &lines);
