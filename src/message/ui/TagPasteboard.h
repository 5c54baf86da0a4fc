#pragma once

// Tagged text on the clipboard: the typed archive of the text under our own
// format, beside the text with each tag written as "<name>" for every other
// program. Nothing else is written. Rich formats of other programs (HTML,
// RTF) are read only where nothing else is offered, and then only for their
// text: their formatting, pictures and links never reach a tagged text.

#include "RichText.h"

#include <QString>

class QMimeData;
class QObject;

namespace TagPasteboard {

// "Corvantiline attibuted tag string" (spelled so) as a MIME type.
inline const QString MimeType = QStringLiteral("application/x-corvantiline-attibuted-tag-string");

// The clipboard data for a piece of text whose tags' file wrappers are
// current (AttributedTagString::saveAttachments); a drag carries the same.
// Owned by the caller.
//
// `scope` is what the text belongs to: the window of its document (null
// without widgets). Read back from this very object in the same scope, a
// tag or a condition's rule is still the one it was copied from: it reads
// the name that one reads now, after its field was renamed, removed (then
// it is a tag that field took, SimpleTag::takenBy) or given back since.
// Other programs, and other documents, get the text as it was copied; the
// formats are the same for all.
[[nodiscard]] QMimeData *mimeDataForText(const RichText &text, const QObject *scope = nullptr);

struct Contents {
    enum class Kind { Nothing, TaggedText, PlainText };
    Kind kind = Kind::Nothing;
    // For tagged text: the text with new tag objects rebuilt from their
    // file wrappers. For plain text: the characters, without attributes.
    RichText text;
};

// Our format first; data in it that is not a tagged text falls back to the
// plain text beside it, and without plain text to the text of HTML or RTF.
[[nodiscard]] Contents read(const QMimeData *data, const QObject *scope = nullptr);
[[nodiscard]] bool canRead(const QMimeData *data);

} // namespace TagPasteboard
