#pragma once

// Rich text as RTF, for the saved send log: fonts, sizes, bold, italic,
// underline and colours of each run of characters, and paragraphs. The
// text comes from outside (addresses, server replies), so every "\", "{"
// and "}" is escaped and every character outside ASCII written as \uN?
// (UTF-16 units, signed; surrogate pairs as two).

#include <QByteArray>

class QTextDocument;

namespace RtfWriter {
[[nodiscard]] QByteArray fromDocument(const QTextDocument &document);
} // namespace RtfWriter
