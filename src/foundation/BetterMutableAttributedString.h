#pragma once

// Extra operations on rich text being edited: plain appends, replace-all, and
// turning lines into a list and back. A list item is written into the text
// as "\t" + marker + "\t" in front of its line, as the text views show it.

#include "RichText.h"

#include <QFlags>
#include <QString>

namespace BetterMutableAttributedString {

enum class SearchOption {
    CaseInsensitive = 1,
    // Matching is always unit by unit here; the flag is accepted so callers
    // can state it, canonically equivalent spellings are not matched.
    Literal = 2,
};
Q_DECLARE_FLAGS(SearchOptions, SearchOption)

// Appends the string with no attributes.
void appendString(RichText &text, const QString &string);

// Replaces every occurrence of the target, searching on after each inserted
// replacement so inserted text is never searched again. An empty target
// replaces nothing. Returns the number of replacements.
int replaceOccurencesOfString(RichText &text, const QString &target, const QString &replacement,
                              SearchOptions options = {});

// Turns the lines of the range into one list with the marker format (see
// TextList): old prefixes in the range are removed first, so numbering
// starts at 1 again. The prefixes take the attributes of the range's first
// character (the default attributes when the range starts at the text's
// end) with a paragraph style listing the new list.
void setListStyle(RichText &text, const QString &markerFormat, TextRange range,
                  const TextAttributes &defaultAttributes);

// Removes item prefixes and the list from the paragraph styles of the lines
// of the range. newRange, when given, receives the range widened to whole
// lines and shortened by the removed prefixes.
void removeListStyle(RichText &text, TextRange range, TextRange *newRange = nullptr);

} // namespace BetterMutableAttributedString

Q_DECLARE_OPERATORS_FOR_FLAGS(BetterMutableAttributedString::SearchOptions)
