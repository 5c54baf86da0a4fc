#pragma once

// Finds the file references of an HTML page (the values of its src and href
// attributes) with a real HTML5 parser, and where each value stands in the
// text, so that an import can replace those values and leave every other
// character as written. Also lists what a page would run or load from
// elsewhere. Safe on any input: nesting and attribute counts that would
// make the parser's work grow beyond a few seconds are refused before it runs
// (HTMLOpenElements measures the nesting as the tree builder closes
// elements), and a parse that outruns its budget anyway is abandoned.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct HTMLScan {
    enum class Status { Parsed, TooDeep, TooManyAttributes };
    struct Reference {
        QString name;        // "src" or "href"
        QString value;       // with character references resolved
        qsizetype spanStart; // the value as written, quotes included (UTF-16 index)
        qsizetype spanLength;
    };
    Status status = Status::Parsed;
    // In text order.
    QList<Reference> references;
    // Scripts (elements, on... handlers, javascript: addresses) and content
    // loaded from other hosts, one line each, in document order.
    QStringList activeContent;
};

// A <meta> element as the parser reads it.
struct HTMLMetaElement {
    struct Attribute {
        QString name;        // lower-case
        QString value;       // with character references resolved
        qsizetype valueStart; // the value as written, without its quotes (UTF-16 index)
        qsizetype valueLength;
    };
    // Each name once, the first of a name as the parser keeps it; in text
    // order; those without a value left out.
    QList<Attribute> attributes;
};

namespace HTMLReferenceScanner {

// Elements left open at once beyond this, or attributes in one tag, make
// the parser's work grow with their square.
inline constexpr int MaxNesting = 400;
inline constexpr int MaxAttributesPerTag = 512;

[[nodiscard]] HTMLScan scan(const QString &html);
// The same with the parser reading every character of the page, where
// scan() leaves out the plain text between tags; the fuzz target checks
// that both find the same.
[[nodiscard]] HTMLScan scanWholeText(const QString &html);

// The page's meta elements (of HTML, in templates too), found as the page's
// references are, within the same bounds; none when the page is refused.
[[nodiscard]] std::optional<QList<HTMLMetaElement>> metaElements(const QString &html);

} // namespace HTMLReferenceScanner
