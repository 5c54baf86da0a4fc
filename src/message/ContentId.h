#pragma once

#include <QString>

// The name under which a file travels as an inline part, before any clash
// with another part's name is settled (ContentIdNames does that): the
// path's last component with every space and every character that would
// break the Content-ID header or read as syntax in a "cid:" URL replaced by
// "_", and every character outside printable ASCII written as its UTF-8
// bytes, each as "=" and two hexadecimal digits. An HTML part refers to the
// file as "cid:" + name + message id; the part's Content-ID is
// <name + message id>.
// The longest is MaxContentIdNameLength characters, its extension kept.
[[nodiscard]] QString contentIdNameForPath(const QString &path);

// A name of that form with "-" and n before its extension ("logo-2.png"),
// within the same length.
[[nodiscard]] QString contentIdNameWithSuffix(const QString &name, int n);

// With a message id of up to 250 characters, the Content-ID line then stays
// within the 998 characters a line may have (RFC 5322 2.1.1).
constexpr qsizetype MaxContentIdNameLength = 700;

// The "file:" URL of a local file as the preview's HTML refers to it: the
// path as it is, but for the characters a URL would read as syntax ("%",
// "#", "?"), which are percent-encoded.
[[nodiscard]] QString fileUrlForPath(const QString &path);
