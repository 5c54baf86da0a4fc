#pragma once

// Rich text in and out of the QTextDocument that a text view edits.
//
// A document position is a text index: each block separator stands for one
// paragraph separator of the text ("\n", or "\r" and U+2029, which the
// separator's format remembers). What Qt can show is set natively (font,
// colour, underline, link, alignment); each value is also kept exactly as the
// text had it, and read back as long as the native form still matches it, so
// a text shown and read again is equal to the one given, while an edit made
// in the view wins. Attributes Qt knows nothing of travel in a custom
// property. Tags are U+FFFC with an object format carrying the attachment,
// the same object the text held.
//
// Paragraph styles belong to blocks. Setting a whole text keeps a
// character's own style where it differs from its paragraph's; replacing a
// range makes every paragraph it touches take the style of its first
// character, as the text system does after an edit.

#include "RichText.h"
#include "TextAttributes.h"

#include <QColor>
#include <QFont>
#include <QTextFormat>

#include <functional>
#include <optional>

class QTextDocument;

namespace RichTextBridge {

inline constexpr int TagObjectType = QTextFormat::UserObject + 1;

enum Property : int {
    // Character formats.
    AttachmentProperty = QTextFormat::UserProperty + 1, // TextAttachmentRef; only with TagObjectType
    FontProperty,                                       // FontDescriptor as the text had it
    ColorProperty,                                      // RgbaColor as the text had it
    UnderlineProperty,                                  // the underline value as the text had it
    OtherAttributesProperty,                            // TextAttributes Qt does not show
    ParagraphOverrideProperty, // a character's own ParagraphStyle, or false for none
    SeparatorProperty,         // on a block separator: "\r" or U+2029 where the text had it
    TagLooksProperty,          // on a tag: counts changes of its looks, so that its line is laid out anew
    // Block formats.
    ParagraphStyleProperty, // ParagraphStyle as the text had it
};

// Replaces the document's whole content; the undo history is cleared.
void setDocumentText(QTextDocument *document, const RichText &text);
[[nodiscard]] RichText documentText(const QTextDocument *document);
// The part of the document in the range (clamped to it).
[[nodiscard]] RichText documentText(const QTextDocument *document, TextRange range);

// Replaces the range with the text as one undoable edit. Returns the
// position right after the inserted text.
int replaceRange(QTextDocument *document, TextRange range, const RichText &replacement);

// Replaces the whole content as it is set, but as an edit joined to the
// document's last undoable edit block (begin one, with anything to add to
// it, before). The view lays the new text out as it does a text just set:
// what shows first, the rest later.
void replaceWholeText(QTextDocument *document, const RichText &text);

// Edits the attributes of every character in the range where they stand, as
// one undoable edit (joined to an edit block the caller began): the text and
// its paragraphs' styles stay, so no character moves and a long range costs
// one format change per run the edit changes. With `tagLooksChanged`, every
// tag in the range is laid out anew, now and when the edit is undone: its
// looks live in the tag, not in the text.
void editAttributes(QTextDocument *document, TextRange range, const std::function<void(TextAttributes &)> &edit,
                    bool tagLooksChanged = false);

// Gives the paragraphs the range touches (the caret's, for an empty range)
// the alignment (0 to 4) as one undoable edit, joined to an edit block the
// caller began. Everything else of their styles stays, and a character with
// a style of its own takes the alignment too.
void setParagraphAlignment(QTextDocument *document, TextRange range, int alignment);

// A change of a stretch of the text longer than the view lays out at once
// without holding the window, made between the two calls inside an edit
// block: the view lays the text out afterwards as it does a text just set
// (what shows first, the rest later), also when the change is undone or
// redone. beginLongChange answers whether the stretch is that long; only
// then is endLongChange called.
[[nodiscard]] bool beginLongChange(QTextDocument *document, int length);
void endLongChange(QTextDocument *document);

// One character's attributes and back, without its paragraph's style.
[[nodiscard]] QTextCharFormat charFormat(const TextAttributes &attributes);
[[nodiscard]] TextAttributes characterAttributes(const QTextCharFormat &format, const QFont &defaultFont);
// The paragraph style a block stands for; none when the text gave it none.
[[nodiscard]] std::optional<ParagraphStyle> paragraphStyle(const QTextBlockFormat &format);

// The attachment of a tag character; null for any other format.
[[nodiscard]] TextAttachmentRef attachment(const QTextFormat &format);
// The format with nothing left of a tag: the looks of the text around it.
[[nodiscard]] QTextCharFormat withoutTag(QTextCharFormat format);
// The block format of a paragraph of the style (none: no style).
[[nodiscard]] QTextBlockFormat blockFormat(const std::optional<ParagraphStyle> &style);

[[nodiscard]] QFont qFont(const FontDescriptor &descriptor);
// Components outside 0 to 1 are clamped, ones that are no number are 0.
[[nodiscard]] QColor qColor(const RgbaColor &color);
[[nodiscard]] RgbaColor rgbaColor(const QColor &color);
// A font's descriptor; a size Qt does not give in points becomes 12.
[[nodiscard]] FontDescriptor fontDescriptor(const QFont &font);

} // namespace RichTextBridge
