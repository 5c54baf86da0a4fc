#pragma once

// What the font and colour panels do to a tagged text: the change goes to
// the tags in the selection first, by the rules of each kind, then to the
// text itself. Works on the document a text view edits; no widget needed.

#include "RichText.h"
#include "TextAttributes.h"

#include <functional>

class QTextDocument;

namespace FontPanel {

enum class Kind { Attributes = 0, Font = 1, Underline = 2, Color = 3 };

// What the panel asks for; stands in for the sender of the platform's font
// actions. Kind 0 uses the attribute conversion, kind 1 the font
// conversion, kind 3 the colour; kind 2 needs nothing.
struct Change {
    std::function<TextAttributes(const TextAttributes &)> convertAttributes;
    std::function<FontDescriptor(const FontDescriptor &)> convertFont;
    RgbaColor color;
};

// Applies the change to the tags in the range and to the text in it, as one
// step of the document's history, which takes the tags' looks back with the
// text. `fallbackFont` stands for a font the text or a tag does not name.
void apply(QTextDocument *document, TextRange range, Kind kind, const Change &change,
           const FontDescriptor &fallbackFont);

// The change to the attributes of what is typed next. Underlining goes off
// where they are underlined and on where not.
void applyToAttributes(TextAttributes &attributes, Kind kind, const Change &change,
                       const FontDescriptor &fallbackFont);

} // namespace FontPanel
