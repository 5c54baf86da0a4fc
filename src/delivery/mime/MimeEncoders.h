#pragma once

// The text encoders of the mail stack. Each returns its whole result as an
// owned byte array, so callers size no buffers.

#include <QByteArray>
#include <QByteArrayView>

// Base64 (RFC 2045 6.8) with CRLF after every 76 characters; never ends in CRLF.
[[nodiscard]] QByteArray enc_base64_maxLen(QByteArrayView source);
// Base64 on one line, as SMTP AUTH wants it.
[[nodiscard]] QByteArray enc_base64_infLen(QByteArrayView source);

// Quoted-printable text (RFC 2045 6.7). A line feed (alone or after CR) is a
// line break of the text and is written as CRLF (rule 4); a CR alone is
// =0D. Bytes outside 33..126, "=", "?" and "." are written "=XX"; "." always,
// so that no line begins with a dot and SMTP needs no dot-stuffing. A space
// or tab is encoded only before a line end (rule 3). `lineLimit` is the
// longest encoded line, the soft break "=" included (76 in bodies, rule 5);
// 0 or less means no soft breaks. With endInSoftBreak, a source that does
// not end in a line break ends in a soft break, so that the line end SMTP
// puts after every message is no line break of the text.
[[nodiscard]] QByteArray enc_qprint(QByteArrayView source, int lineLimit, bool endInSoftBreak = false);

// RFC 2047 Q encoded words for `source` in `charset` (see
// BetterString::mimeEncodedWords): one or more words of at most 75
// characters, joined by spaces.
[[nodiscard]] QByteArray enc_qprint_header(QByteArrayView source, QByteArrayView charset);

// Whether any byte is 0x80 or above; false for null and empty text.
[[nodiscard]] bool smtp_is_non_ascii(QByteArrayView text);
