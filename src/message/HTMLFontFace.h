#pragma once

// The family list a page names for a font, so that a mail reader that lacks
// the family shows a font of its kind instead of its default serif. Qt's
// names for the generic families ("Sans Serif", "Serif", "Monospace") mean
// nothing to a reader and become the CSS generic families; any other family
// is followed by the generic family of its kind, as fontconfig classes it.
//
// Thread-safe. Each family is classed once per process: a send run writes
// fonts for every recipient, and fontconfig takes a while to answer.

#include <QString>

namespace HTMLFontFace {

// "DejaVu Serif" gives "DejaVu Serif, serif"; "Sans Serif" gives "sans-serif";
// an empty family stays empty.
[[nodiscard]] QString faceList(const QString &family);

} // namespace HTMLFontFace
