#pragma once

// The text a reader of an HTML page sees, as a plain-text alternative to
// it: tags dropped, block elements and line breaks as line breaks (a blank
// line between paragraphs), table cells apart by tabs, a link as its text
// followed by "<address>", character references resolved, scripts, styles
// and the head left out, white space collapsed as a browser does outside
// preformatted text. Parsed with gumbo behind the same checks as the HTML
// import; a page refused by them is still given as its text with the tags
// stripped. Any thread.

#include <QString>

namespace HTMLPlainText {

[[nodiscard]] QString fromHTML(const QString &html);
// The same with the parser reading every character of the page, where
// fromHTML() reads long runs of text itself; the fuzz target checks that
// both give the same.
[[nodiscard]] QString fromHTMLWholeText(const QString &html);

} // namespace HTMLPlainText
