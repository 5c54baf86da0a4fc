#pragma once

// Tagged text on the clipboard: the typed archive of the text under our own
// format, beside the text with each tag written as "<name>" for every other
// program. Nothing else is written, and nothing else is read: rich formats
// of other programs never reach a tagged text.

#include "RichText.h"

#include <QString>

class QMimeData;

namespace TagPasteboard {

// "Corvantiline attibuted tag string" (spelled so) as a MIME type.
inline const QString MimeType = QStringLiteral("application/x-corvantiline-attibuted-tag-string");

// The clipboard data for a piece of text whose tags' file wrappers are
// current (AttributedTagString::saveAttachments). Owned by the caller.
[[nodiscard]] QMimeData *mimeDataForText(const RichText &text);

struct Contents {
    enum class Kind { Nothing, TaggedText, PlainText };
    Kind kind = Kind::Nothing;
    // For tagged text: the text with new tag objects rebuilt from their
    // file wrappers. For plain text: the characters, without attributes.
    RichText text;
};

// Our format first; data in it that is not a tagged text falls back to the
// plain text beside it.
[[nodiscard]] Contents read(const QMimeData *data);
[[nodiscard]] bool canRead(const QMimeData *data);

} // namespace TagPasteboard
