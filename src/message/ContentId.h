#pragma once

#include <QString>

// The name under which a file travels as an inline part: the path's last
// component with every UTF-16 unit outside 32..126 replaced by "?" and every
// space by "_". An HTML part refers to the file as "cid:" + name + message
// id; the part's Content-ID is <name + message id>. The tags and the MIME
// writer must agree on it, so both call this.
[[nodiscard]] QString contentIdNameForPath(const QString &path);
