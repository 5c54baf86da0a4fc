#pragma once

// The text of a rich text (RTF) document, without its formatting: what a
// paste takes from a program that offers nothing but RTF. Paragraphs and
// line breaks become "\n", tabs and table cells "\t"; font tables, style
// sheets, pictures, fields' instructions and every destination marked
// ignorable are left out. Characters come from \uN with its fallback
// skipped, or from bytes in the document's code page (Windows-1252 unless
// it names another). Linear in the input, whatever it holds.

#include <QByteArray>
#include <QString>

namespace RtfPlainText {

[[nodiscard]] QString plainText(const QByteArray &rtf);

} // namespace RtfPlainText
