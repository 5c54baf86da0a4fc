#include "HTMLReferenceScanner.h"

#include "GumboParser.h"
#include "HTMLOpenElements.h"

#include <QByteArray>
#include <functional>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace HTMLReferenceScanner {

namespace {

// ---- The walk made before parsing ---------------------------------------

bool isNameChar(char c)
{
    return c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '/' && c != '>';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isRawText(std::string_view name)
{
    return isOneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes", "noscript"});
}

// Text between tags that the parser may read as one character without a
// single tag changing: no "-" or ">" (which could end a comment or an
// escaped script), and something that counts as text (not only blanks or
// NULs, which the tree builder treats otherwise).
bool isReplaceableText(const char *begin, const char *end)
{
    bool text = false;
    for (const char *c = begin; c < end; ++c) {
        if (*c == '-' || *c == '>')
            return false;
        text = text || !(isSpace(*c) || *c == '\0');
    }
    return text && end - begin > 1;
}

struct Prepared {
    HTMLScan::Status status = HTMLScan::Status::Parsed;
    // What the parser reads: the page with each run of text between its
    // tags one character long, and where each kept piece starts in both.
    QByteArray compact;
    std::vector<std::pair<qsizetype, qsizetype>> pieces; // (compact offset, page offset)
};

// Walks the tags as the tokenizer sees them and keeps the open elements as
// the tree builder would, closely enough to bound the depth it reaches
// (HTMLOpenElements); on the way, shortens each
// run of plain text between tags to one character: text makes up much of a
// page and none of its references, and the parser spends most of its time
// on it.
Prepared prepare(const QByteArray &html, bool dropText)
{
    Prepared result;
    const char *data = html.constData();
    const qsizetype size = html.size();
    if (dropText)
        result.compact.reserve(size / 2);
    qsizetype keptFrom = 0; // start of the piece not yet copied
    const auto shorten = [&](qsizetype from, qsizetype to) {
        if (!dropText)
            return;
        if (from > keptFrom) {
            result.pieces.emplace_back(result.compact.size(), keptFrom);
            result.compact.append(data + keptFrom, from - keptFrom);
        }
        // Not a letter: after a "<" that is text, a letter would start a tag.
        result.compact.append('.');
        keptFrom = to;
    };
    HTMLOpenElements open;
    qsizetype i = 0;
    const auto skipTo = [&](std::string_view needle) {
        const qsizetype at = html.indexOf(QByteArrayView(needle.data(), qsizetype(needle.size())), i);
        i = at < 0 ? size : at + qsizetype(needle.size());
    };
    while (i < size) {
        const qsizetype lt = html.indexOf('<', i);
        if (lt < 0 || lt + 1 >= size)
            break;
        if (lt > i)
            open.text();
        if (isReplaceableText(data + i, data + lt))
            shorten(i, lt);
        i = lt + 1;
        if (size - i >= 3 && std::memcmp(data + i, "!--", 3) == 0) {
            i += 3;
            skipTo("-->");
            continue;
        }
        if (size - i >= 8 && std::memcmp(data + i, "![CDATA[", 8) == 0) {
            skipTo("]]>");
            continue;
        }
        if (data[i] == '!' || data[i] == '?') {
            skipTo(">");
            continue;
        }
        const bool endTag = data[i] == '/';
        if (endTag)
            ++i;
        if (i >= size || !isAsciiAlpha(data[i]))
            continue;
        const qsizetype nameStart = i;
        while (i < size && isNameChar(data[i]))
            ++i;
        std::string name(data + nameStart, size_t(i - nameStart));
        for (char &c : name)
            c = char(std::tolower(uchar(c)));
        const qsizetype attributesStart = i;
        int attributes = 0;
        for (;;) {
            while (i < size && (isSpace(data[i]) || data[i] == '/'))
                ++i;
            if (i >= size || data[i] == '>')
                break;
            while (i < size && isNameChar(data[i]) && data[i] != '=')
                ++i;
            if (++attributes > MaxAttributesPerTag) {
                result.status = HTMLScan::Status::TooManyAttributes;
                return result;
            }
            while (i < size && isSpace(data[i]))
                ++i;
            if (i < size && data[i] == '=') {
                ++i;
                while (i < size && isSpace(data[i]))
                    ++i;
                if (i < size && (data[i] == '"' || data[i] == '\'')) {
                    const qsizetype close = html.indexOf(data[i], i + 1);
                    i = close < 0 ? size : close + 1;
                } else {
                    while (i < size && !isSpace(data[i]) && data[i] != '>')
                        ++i;
                }
            } else if (i < size && data[i] != '>' && !isNameChar(data[i])) {
                ++i;
            }
        }
        const std::string_view attributeText(data + attributesStart, size_t(i - attributesStart));
        ++i;
        if (endTag) {
            open.endTag(name);
            continue;
        }
        open.startTag(name, attributeText);
        if (open.depth() > MaxNesting) {
            result.status = HTMLScan::Status::TooDeep;
            return result;
        }
        if (name == "plaintext")
            break;
        if (isRawText(name)) {
            // To the element's own end tag, whatever the case of its name.
            qsizetype close = html.indexOf("</", i);
            while (close >= 0 && (close + 2 + qsizetype(name.size()) > size
                                  || qstrnicmp(data + close + 2, name.data(), name.size()) != 0))
                close = html.indexOf("</", close + 2);
            i = close < 0 ? size : close;
            continue;
        }
    }
    if (dropText) {
        result.pieces.emplace_back(result.compact.size(), keptFrom);
        result.compact.append(data + keptFrom, size - keptFrom);
    }
    return result;
}

// ---- Gumbo's output ----------------------------------------------------

struct Found {
    qsizetype byteStart;
    qsizetype byteLength;
    QString name;
    QString value;
};

// Whether a value starts with one of the prefixes, case and leading blanks aside.
bool startsWithAny(const char *value, std::initializer_list<const char *> prefixes)
{
    while (*value == ' ' || *value == '\t' || *value == '\n' || *value == '\r' || *value == '\f')
        ++value;
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [value](const char *prefix) { return qstrnicmp(value, prefix, std::strlen(prefix)) == 0; });
}

bool isRemote(const char *value)
{
    return startsWithAny(value, {"http:", "https:", "ftp:", "//"});
}

bool isScriptAddress(const char *value)
{
    return startsWithAny(value, {"javascript:", "vbscript:"});
}

// Enough to show the user what a page holds; a page with more is no newsletter.
constexpr qsizetype MaxActiveContentLines = 500;

struct ActiveContent {
    QStringList lines;
    qsizetype more = 0;
    void add(const std::function<QString()> &line)
    {
        if (lines.size() < MaxActiveContentLines)
            lines << line();
        else
            ++more;
    }
};

QString shortened(QString text)
{
    text = text.simplified();
    return text.size() > 120 ? text.left(119) + QChar(0x2026) : text;
}

QString tagName(const GumboElement &element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromUtf8(gumbo_normalized_tagname(element.tag));
    GumboStringPiece original = element.original_tag;
    gumbo_tag_from_original_text(&original);
    return QString::fromUtf8(original.data, qsizetype(original.length)).toLower();
}

void inspect(const GumboElement &element, const char *buffer, std::vector<Found> &found, ActiveContent &active)
{
    if (element.tag == GUMBO_TAG_SCRIPT) {
        if (const GumboAttribute *source = gumbo_get_attribute(&element.attributes, "src")) {
            active.add([&] { return shortened(QStringLiteral("<script> src=\"%1\"").arg(QString::fromUtf8(source->value))); });
        } else {
            active.add([&] {
                QString text;
                if (element.children.length > 0) {
                    const auto *child = static_cast<const GumboNode *>(element.children.data[0]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA)
                        text = QString::fromUtf8(child->v.text.text);
                }
                return shortened(QStringLiteral("<script> ") + text);
            });
        }
    }
    for (unsigned a = 0; a < element.attributes.length; ++a) {
        const auto *attribute = static_cast<const GumboAttribute *>(element.attributes.data[a]);
        const char *name = attribute->name;
        const bool source = qstricmp(name, "src") == 0;
        const bool reference = source || qstricmp(name, "href") == 0;
        const bool handler = qstrnicmp(name, "on", 2) == 0;
        const bool loaded = element.tag != GUMBO_TAG_SCRIPT
                            && (source || (reference && element.tag == GUMBO_TAG_LINK) || qstricmp(name, "background") == 0
                                || qstricmp(name, "poster") == 0 || qstricmp(name, "data") == 0);
        if (handler || (reference && isScriptAddress(attribute->value)) || (loaded && isRemote(attribute->value))) {
            active.add([&] {
                return shortened(QStringLiteral("<%1> %2=\"%3\"")
                                     .arg(tagName(element), QString::fromUtf8(name), QString::fromUtf8(attribute->value)));
            });
        }
        // An attribute without a value has nothing to replace; one the
        // parser made up has no place in the text.
        if (!reference || attribute->original_value.length == 0 || !attribute->original_value.data)
            continue;
        found.push_back(Found{qsizetype(attribute->original_value.data - buffer),
                              qsizetype(attribute->original_value.length), QString::fromUtf8(name),
                              QString::fromUtf8(attribute->value)});
    }
}

HTMLScan scanText(const QString &html, bool dropText)
{
    HTMLScan result;
    const QByteArray utf8 = html.toUtf8();
    Prepared prepared = prepare(utf8, dropText);
    result.status = prepared.status;
    if (result.status != HTMLScan::Status::Parsed)
        return result;
    const QByteArray &parsed = dropText ? prepared.compact : utf8;

    GumboParser parser;
    const GumboOutput *output = parser.parse(parsed.constData(), size_t(parsed.size()));
    if (!output) {
        result.status = HTMLScan::Status::TooDeep;
        return result;
    }

    std::vector<Found> found;
    ActiveContent active;
    std::vector<const GumboNode *> pending{output->document};
    while (!pending.empty()) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        const GumboVector *children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            inspect(node->v.element, parsed.constData(), found, active);
            children = &node->v.element.children;
        }
        if (children) {
            for (unsigned c = children->length; c-- > 0;)
                pending.push_back(static_cast<const GumboNode *>(children->data[c]));
        }
    }
    // The parser's arena frees the tree.
    result.activeContent = active.lines;
    if (active.more > 0)
        result.activeContent << QStringLiteral("(+%1)").arg(active.more);

    std::stable_sort(found.begin(), found.end(),
                     [](const Found &a, const Found &b) { return a.byteStart < b.byteStart; });
    // Offsets in what the parser read back to the page: a value lies inside
    // one kept piece, since tags are kept whole.
    if (dropText) {
        size_t piece = 0;
        const auto &pieces = prepared.pieces;
        for (Found &f : found) {
            while (piece + 1 < pieces.size() && pieces[piece + 1].first <= f.byteStart)
                ++piece;
            f.byteStart = pieces[piece].second + (f.byteStart - pieces[piece].first);
        }
    }

    // Byte offsets into UTF-16 indexes, in one walk over the text.
    const auto *bytes = reinterpret_cast<const uchar *>(utf8.constData());
    qsizetype byte = 0;
    qsizetype unit = 0;
    const auto advanceTo = [&](qsizetype target) {
        for (; byte < target && byte < utf8.size(); ++byte) {
            if ((bytes[byte] & 0xC0) != 0x80)
                unit += bytes[byte] >= 0xF0 ? 2 : 1;
        }
        return unit;
    };
    result.references.reserve(qsizetype(found.size()));
    for (const Found &f : found) {
        const qsizetype start = advanceTo(f.byteStart);
        const qsizetype end = advanceTo(f.byteStart + f.byteLength);
        // Overlapping values cannot come from one text; drop rather than garble.
        if (!result.references.isEmpty()) {
            const HTMLScan::Reference &last = result.references.constLast();
            if (start < last.spanStart + last.spanLength)
                continue;
        }
        result.references.append(HTMLScan::Reference{f.name, f.value, start, end - start});
    }
    return result;
}

} // namespace

HTMLScan scan(const QString &html)
{
    return scanText(html, true);
}

HTMLScan scanWholeText(const QString &html)
{
    return scanText(html, false);
}

HTMLScan::Status checkStructure(const QByteArray &utf8)
{
    return prepare(utf8, false).status;
}

} // namespace HTMLReferenceScanner
