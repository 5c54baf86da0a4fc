#pragma once

#include <QByteArray>
#include <QString>

// Header lines as RFC 5322 and RFC 2231 want them: folded towards 78
// characters, never past 998.
namespace MimeHeader {

inline constexpr int LineGoal = 78; // RFC 5322 2.1.1 "SHOULD"
inline constexpr int LineLimit = 998; // RFC 5322 2.1.1 "MUST"

// Folds a whole unfolded header line ("Subject:...") with CRLF before spaces
// that stand between two other characters, so that unfolding gives back the
// same text. A line with no such space stays long.
[[nodiscard]] QByteArray folded(const QByteArray &line);

// Whether every line of the folded text is at most `limit` characters long.
[[nodiscard]] bool linesWithin(const QByteArray &text, int limit);

// RFC 5322 atext: what may stand unquoted in a phrase or an address.
[[nodiscard]] bool isAtext(char16_t c);

// The ASCII text in double quotes, with `"` and `\` escaped (RFC 5322 3.2.4).
[[nodiscard]] QByteArray quoted(const QString &ascii);

// One parameter of Content-Type or Content-Disposition, for a line that
// begins with a tab: attribute="value" when the value is printable ASCII and
// the line stays within 78; otherwise the RFC 2231 form in UTF-8
// (attribute*=UTF-8''...), in numbered continuations on further tab-indented
// lines when one line would be too long. Control characters become spaces.
[[nodiscard]] QByteArray parameter(const QByteArray &attribute, const QString &value);

} // namespace MimeHeader
