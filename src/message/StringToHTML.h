#pragma once

// The HTML of a message's HTML part, written in one pass over a
// personalised text (tag values in place, tag characters kept):
// presentational markup, font elements and alignment divisions.

#include "RichText.h"

#include <QString>
#include <QVarLengthArray>

#include <optional>

class ContentIdNames;

class StringToHTML {
public:
    // background: the colour of the view that showed the message, if any;
    // absolutePath: pictures by local path (preview) or by content id, under
    // their names in contentIdNames (null: their plain names);
    // fullHTML: a whole page, or a fragment a template surrounds;
    // textFont: the font the text view shows text in that has no font of
    // its own, and so the one such text is written in (none: no font).
    [[nodiscard]] static QString htmlString(const RichText &text, const std::optional<RgbaColor> &background,
                                            bool absolutePath, const QString &messageID, bool fullHTML,
                                            const ContentIdNames *contentIdNames = nullptr,
                                            const std::optional<FontDescriptor> &textFont = std::nullopt);
    // "RRGGBB", upper-case, each component * 255 truncated.
    [[nodiscard]] static QString htmlColorCode(const RgbaColor &color);
};

// An element the writer has open, with what it stands for.
struct HTMLOpenElement {
    // Outermost first: each closes inside the one before it.
    enum class Kind : quint8 { Division, Font, Link, Bold, Italic, Underline };
    Kind kind = Kind::Division;
    int alignment = 0;
    FontDescriptor font;
    std::optional<RgbaColor> color;
    QString link;
};

// What the writer carries from one run to the next; cleared for each text.
struct HTMLRunState {
    // Innermost last.
    QVarLengthArray<HTMLOpenElement, 6> open;
    char16_t previousCharacter = 0;
};

// The markup between two runs; a null side has no attributes, and a null
// current side is the end of the text, which closes what is open.
void DoGetTagString(const TextAttributes *previous, const TextAttributes *current, HTMLRunState &state,
                    QString &out);
// One character of ordinary text (a whole code point) after the previous UTF-16 unit.
void DoGetHTMLCharString(char32_t character, char16_t previous, QString &out);
// Rewrites the text's list paragraphs into list markup, in place.
void DoConvertListsToHTML(RichText &text);
