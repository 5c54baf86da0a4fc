#include "HTMLReferenceScanner.h"

#include "GumboParser.h"
#include "HTMLCompactPage.h"

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

// ---- Gumbo's output ----------------------------------------------------

struct Found {
    qsizetype byteStart;
    qsizetype byteLength;
    QString name;
    QString value;
    int element = 0; // which element of those visited holds it
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

// An attribute's value as written, quotes included; none for an attribute
// without one (gumbo then gives the name's text) or one the parser made up.
std::optional<GumboStringPiece> writtenValue(const GumboAttribute &attribute)
{
    const GumboStringPiece &value = attribute.original_value;
    if (!value.data || value.length == 0 || value.data == attribute.original_name.data)
        return std::nullopt;
    return value;
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
        const std::optional<GumboStringPiece> written = reference ? writtenValue(*attribute) : std::nullopt;
        if (!written)
            continue;
        found.push_back(Found{qsizetype(written->data - buffer), qsizetype(written->length), QString::fromUtf8(name),
                              QString::fromUtf8(attribute->value)});
    }
}

using Visit = std::function<void(const GumboElement &, const char *buffer, std::vector<Found> &)>;

// Parses the page (shortened so, or whole) behind the bounds on nesting and
// attributes, visits every element in document order, template contents
// included, and gives the values found their places in the page: byteStart
// and byteLength become UTF-16 units, in text order, overlaps dropped.
HTMLScan::Status collect(const QString &html, HTMLCompactPage::Shortening shortening, const Visit &visit,
                         std::vector<Found> &found)
{
    const bool dropText = shortening != HTMLCompactPage::Shortening::None;
    const QByteArray utf8 = html.toUtf8();
    const HTMLCompactPage prepared = HTMLCompactPage::make(utf8, shortening);
    if (prepared.status != HTMLScan::Status::Parsed)
        return prepared.status;
    const QByteArray &parsed = dropText ? prepared.compact : utf8;

    GumboParser parser;
    const GumboOutput *output = parser.parse(parsed.constData(), size_t(parsed.size()));
    if (!output)
        return HTMLScan::Status::TooDeep;

    std::vector<const GumboNode *> pending{output->document};
    while (!pending.empty()) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        const GumboVector *children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            visit(node->v.element, parsed.constData(), found);
            children = &node->v.element.children;
        }
        if (children) {
            for (unsigned c = children->length; c-- > 0;)
                pending.push_back(static_cast<const GumboNode *>(children->data[c]));
        }
    }
    // The parser's arena frees the tree.

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
    std::vector<Found> located;
    located.reserve(found.size());
    for (Found &f : found) {
        const qsizetype start = advanceTo(f.byteStart);
        const qsizetype end = advanceTo(f.byteStart + f.byteLength);
        // Overlapping values cannot come from one text; drop rather than garble.
        if (!located.empty() && start < located.back().byteStart + located.back().byteLength)
            continue;
        f.byteStart = start;
        f.byteLength = end - start;
        located.push_back(std::move(f));
    }
    found = std::move(located);
    return HTMLScan::Status::Parsed;
}

HTMLScan scanText(const QString &html, bool dropText)
{
    HTMLScan result;
    std::vector<Found> found;
    ActiveContent active;
    result.status = collect(
        html, dropText ? HTMLCompactPage::Shortening::ToOneCharacter : HTMLCompactPage::Shortening::None,
        [&active](const GumboElement &element, const char *buffer, std::vector<Found> &into) {
            inspect(element, buffer, into, active);
        },
        found);
    if (result.status != HTMLScan::Status::Parsed)
        return result;
    result.activeContent = active.lines;
    if (active.more > 0)
        result.activeContent << QStringLiteral("(+%1)").arg(active.more);
    result.references.reserve(qsizetype(found.size()));
    for (Found &f : found)
        result.references.append(HTMLScan::Reference{std::move(f.name), std::move(f.value), f.byteStart, f.byteLength});
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

std::optional<QList<HTMLMetaElement>> metaElements(const QString &html)
{
    std::vector<Found> found;
    int elements = 0;
    // The elements alone, the attributes of meta elements kept.
    const HTMLScan::Status status = collect(
        html, HTMLCompactPage::Shortening::ToElements,
        [&elements](const GumboElement &element, const char *buffer, std::vector<Found> &into) {
            if (element.tag != GUMBO_TAG_META || element.tag_namespace != GUMBO_NAMESPACE_HTML)
                return;
            for (unsigned a = 0; a < element.attributes.length; ++a) {
                const auto *attribute = static_cast<const GumboAttribute *>(element.attributes.data[a]);
                const std::optional<GumboStringPiece> written = writtenValue(*attribute);
                if (!written)
                    continue;
                // A quoted value stands between its quotes, which the tag
                // must close to be one.
                const bool quoted = written->data[0] == '"' || written->data[0] == '\'';
                if (quoted && written->length < 2)
                    continue;
                into.push_back(Found{qsizetype(written->data - buffer) + quoted,
                                     qsizetype(written->length) - 2 * quoted, QString::fromUtf8(attribute->name),
                                     QString::fromUtf8(attribute->value), elements});
            }
            ++elements;
        },
        found);
    if (status != HTMLScan::Status::Parsed)
        return std::nullopt;
    QList<HTMLMetaElement> metas(elements);
    for (Found &f : found)
        metas[f.element].attributes.append(HTMLMetaElement::Attribute{std::move(f.name), std::move(f.value), f.byteStart, f.byteLength});
    return metas;
}

} // namespace HTMLReferenceScanner
