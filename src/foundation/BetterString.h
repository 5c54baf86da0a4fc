#pragma once

// Extra operations on strings. All counts and ranges are in UTF-16 units.
// None keeps state, so all may run on the send engine's worker thread.

#include "RichText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace BetterString {

// Unanchored match: the pattern is cut at every "*", and each non-empty piece
// must occur, case-sensitively, after the end of the previous piece's match.
// The empty pattern and "*" match everything.
[[nodiscard]] bool matchesWildcardPattern(const QString &text, const QString &pattern);

// Path pieces by "/" alone, without touching the file system. Trailing
// slashes are ignored ("/x/dir/" ends in "dir"); the root stays "/".
[[nodiscard]] QString lastPathComponent(const QString &path);
[[nodiscard]] QString deletingLastPathComponent(const QString &path);

// The text after the last "." of the last path component, "" when there is
// none. Leading dots do not start a suffix: ".profile" has none.
[[nodiscard]] QString fileNameSuffix(const QString &path);
// The last path component without its suffix and the "." before it.
[[nodiscard]] QString fileNameWithoutSuffix(const QString &path);

// Widens the range to whole lines (line feeds only). The line feed that ends
// the last line stays outside. A range outside the text is first clamped to it.
void extendRangeToFullLines(const QString &text, TextRange &range);

// Every UTF-16 unit outside 32..126 becomes "?"; the length is unchanged.
[[nodiscard]] QString stringWithoutSpecialCharacters(const QString &text);

// Character sets are given as the string of their members (UTF-16 units).
// Every member ends a piece; separators are dropped, and the text after the
// last one is always the last piece, so "" gives [""] and "a,,b," gives
// ["a", "", "b", ""].
[[nodiscard]] QStringList myComponentsSeparatedByCharactersInSet(const QString &text, const QString &separators);
// Splits at `separators`, then glues a lone one-character piece of `glue`
// to the pieces around it, so "a = b" split at " " with glue "=" is "a=b".
[[nodiscard]] QStringList componentsSeparatedByCharactersInSetNotBySet(const QString &text, const QString &separators,
                                                                       const QString &glue);
// The gluing step alone, for pieces split otherwise.
[[nodiscard]] QStringList joinedAroundGlue(const QStringList &pieces, const QString &glue);

// Appends the UTF-8 bytes to the file, creating it when missing. Callers log
// through it and have nothing to do about a failure, so it is silent.
void appendToFile(const QString &text, const QString &path);

// Whether `text` contains `part`, case-sensitively. An empty part is never
// contained (QString::contains would say it always is); conditions, search
// and filters all keep this meaning.
[[nodiscard]] bool containsString(const QString &text, const QString &part);

// Text headed for a mail header: every control character (C0, DEL, C1 and
// the Unicode line and paragraph separators) becomes a space, so that a
// value from elsewhere can neither end the header line nor start a new one.
[[nodiscard]] QString controlCharactersAsSpaces(const QString &text);

// RFC 2047 Q encoded words for `bytes` in `charset`. Only letters, digits and
// "!*+-/" stand for themselves (all that RFC 2047 5(3) allows inside a
// phrase, so the words are valid in every kind of header), a space is "_",
// every other byte "=XX". No word passes 75 characters, the first not
// `firstWordLimit` either; words are joined by single spaces, where the header
// may be folded. A UTF-8 character never straddles two words. "" for no bytes.
[[nodiscard]] QByteArray mimeEncodedWords(QByteArrayView bytes, QByteArrayView charset, int firstWordLimit = 75);

enum class MimeEncoding { WhenNeeded, Always };
// A subject, display name or file name as a header carries it. Control
// characters become spaces. Text with non-ASCII characters, or with "=?"
// (which a reader would take for the start of an encoded word), becomes
// encoded words in ISO-8859-1 when every character fits there, else UTF-8;
// other text stays as it is unless `Always` is asked. `lineUsed` counts what
// already stands on the first line ("Subject:"), so that it stays within 78.
[[nodiscard]] QString encodedMIMEHeaderString(const QString &text, int lineUsed = 0,
                                              MimeEncoding when = MimeEncoding::WhenNeeded);

// The value of a hexadecimal digit of either case; -1 for any other character.
[[nodiscard]] constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace BetterString
