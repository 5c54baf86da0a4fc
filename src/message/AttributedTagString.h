#pragma once

// Tagged texts: how a tag is put into a text and how a text's tags are
// read, stored and restored. Every operation walks the text run by run; a
// tag is always a run of its own.

#include "SimpleTag.h"

#include "RichText.h"

#include <QStringList>

// The tag of a run, when the run's attachment holds one.
[[nodiscard]] SimpleTagRef tagInAttributes(const TextAttributes &attributes);

// Inserts the tag at the index as one U+FFFC carrying only an attachment
// whose cell is the tag and whose file wrapper stores it.
void DoInsertTagInAttributedString(const SimpleTagRef &tag, RichText &text, int index);

namespace AttributedTagString {

// The characters without any attachment character.
[[nodiscard]] QString taglessString(const RichText &text);
// The characters with each tag written as "<name>"; other attachments vanish.
[[nodiscard]] QString textTagString(const RichText &text);
// Rebuilds every tag from its attachment's file wrapper. Data that is not a
// tag archive leaves the attachment as it is; nothing here throws.
void loadAttachments(const RichText &text);
// Rewrites every tag's file wrapper from the tag as it is now.
void saveAttachments(const RichText &text);
void setAttachmentDelegate(const RichText &text, TagDelegate *delegate);
// The files the tags name, in text order, duplicates kept.
[[nodiscard]] QStringList inlineFileAttachments(const RichText &text);
// Every tag of the text, in text order.
[[nodiscard]] QList<SimpleTagRef> tags(const RichText &text);

} // namespace AttributedTagString
