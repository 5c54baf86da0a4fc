#include "HTMLReferenceScanner.h"

#include <gumbo.h>

#include <QByteArray>
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace HTMLReferenceScanner {

namespace {

// ---- The estimate made before parsing ----------------------------------

bool isNameChar(char c)
{
    return c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '/' && c != '>';
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isOneOf(const QByteArray &name, std::initializer_list<const char *> names)
{
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return name == n; });
}

// Elements that never stay open, or that the parser closes by itself when
// the next of their kind starts: they do not deepen the tree for long.
bool neverNests(const QByteArray &name)
{
    return isOneOf(name, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "img",
                          "image", "input", "keygen", "link", "meta", "param", "source", "track", "wbr", "p", "li",
                          "dt", "dd", "tr", "td", "th", "option", "optgroup", "thead", "tbody", "tfoot",
                          "colgroup", "rb", "rt", "rtc", "rp", "html", "head", "body"});
}

bool isRawText(const QByteArray &name)
{
    return isOneOf(name, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes", "noscript"});
}

// Walks the tags as the tokenizer sees them and keeps the open elements as
// the tree builder would, closely enough to bound the depth it reaches:
// an end tag closes only an element that is open.
HTMLScan::Status estimate(const QByteArray &html)
{
    const char *data = html.constData();
    const qsizetype size = html.size();
    std::vector<QByteArray> open;
    qsizetype i = 0;
    const auto skipTo = [&](const char *needle) {
        const qsizetype at = html.indexOf(needle, i);
        i = at < 0 ? size : at + qsizetype(std::strlen(needle));
    };
    while (i < size) {
        const qsizetype lt = html.indexOf('<', i);
        if (lt < 0 || lt + 1 >= size)
            break;
        i = lt + 1;
        if (html.mid(i, 3) == "!--") {
            i += 3;
            skipTo("-->");
            continue;
        }
        if (data[i] == '!' || data[i] == '?') {
            skipTo(">");
            continue;
        }
        const bool endTag = data[i] == '/';
        if (endTag)
            ++i;
        if (i >= size || !std::isalpha(uchar(data[i])))
            continue;
        const qsizetype nameStart = i;
        while (i < size && isNameChar(data[i]))
            ++i;
        const QByteArray name = html.mid(nameStart, i - nameStart).toLower();
        int attributes = 0;
        for (;;) {
            while (i < size && (isSpace(data[i]) || data[i] == '/'))
                ++i;
            if (i >= size || data[i] == '>')
                break;
            while (i < size && isNameChar(data[i]) && data[i] != '=')
                ++i;
            if (++attributes > MaxAttributesPerTag)
                return HTMLScan::Status::TooManyAttributes;
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
        ++i;
        if (endTag) {
            const auto it = std::find(open.rbegin(), open.rend(), name);
            if (it != open.rend())
                open.erase(std::next(it).base(), open.end());
            continue;
        }
        if (name == "plaintext")
            break;
        if (isRawText(name)) {
            // To the element's own end tag, whatever the case of its name.
            qsizetype close = html.indexOf("</", i);
            while (close >= 0 && (close + 2 + name.size() > size
                                  || qstrnicmp(data + close + 2, name.constData(), size_t(name.size())) != 0))
                close = html.indexOf("</", close + 2);
            i = close < 0 ? size : close;
            continue;
        }
        if (neverNests(name))
            continue;
        open.push_back(name);
        if (int(open.size()) > MaxNesting)
            return HTMLScan::Status::TooDeep;
    }
    return HTMLScan::Status::Parsed;
}

// ---- Gumbo's output ----------------------------------------------------

// Every block gumbo asks for is linked into one list, so that the whole
// tree goes at once: gumbo's own clean-up recurses once per level.
struct Arena {
    struct Header {
        Header *previous;
        Header *next;
        alignas(std::max_align_t) unsigned char payload[1];
    };
    Header *first = nullptr;

    static void *allocate(void *userdata, size_t size)
    {
        auto *arena = static_cast<Arena *>(userdata);
        auto *block = static_cast<Header *>(std::malloc(offsetof(Header, payload) + std::max<size_t>(size, 1)));
        if (!block)
            std::abort();
        block->previous = nullptr;
        block->next = arena->first;
        if (arena->first)
            arena->first->previous = block;
        arena->first = block;
        return block->payload;
    }
    static void deallocate(void *userdata, void *pointer)
    {
        if (!pointer)
            return;
        auto *arena = static_cast<Arena *>(userdata);
        auto *block = reinterpret_cast<Header *>(static_cast<unsigned char *>(pointer) - offsetof(Header, payload));
        if (block->previous)
            block->previous->next = block->next;
        else
            arena->first = block->next;
        if (block->next)
            block->next->previous = block->previous;
        std::free(block);
    }
    ~Arena()
    {
        while (first) {
            Header *next = first->next;
            std::free(first);
            first = next;
        }
    }
};

struct Found {
    qsizetype byteStart;
    qsizetype byteLength;
    QString name;
    QString value;
};

bool isRemote(const QString &value)
{
    static const QRegularExpression remote(QStringLiteral("^\\s*(https?:|ftp:|//)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return remote.match(value).hasMatch();
}

bool isScriptAddress(const QString &value)
{
    static const QRegularExpression script(QStringLiteral("^\\s*(javascript|vbscript):"),
                                           QRegularExpression::CaseInsensitiveOption);
    return script.match(value).hasMatch();
}

// Enough to show the user what a page holds; a page with more is no newsletter.
constexpr qsizetype MaxActiveContentLines = 500;

struct ActiveContent {
    QStringList lines;
    qsizetype more = 0;
    ActiveContent &operator<<(const QString &line)
    {
        if (lines.size() < MaxActiveContentLines)
            lines << line;
        else
            ++more;
        return *this;
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
    const QString tag = tagName(element);
    if (element.tag == GUMBO_TAG_SCRIPT) {
        const GumboAttribute *source = gumbo_get_attribute(&element.attributes, "src");
        if (source) {
            active << shortened(QStringLiteral("<script> src=\"%1\"").arg(QString::fromUtf8(source->value)));
        } else {
            QString text;
            if (element.children.length > 0) {
                const auto *child = static_cast<const GumboNode *>(element.children.data[0]);
                if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA)
                    text = QString::fromUtf8(child->v.text.text);
            }
            active << shortened(QStringLiteral("<script> ") + text);
        }
    }
    for (unsigned a = 0; a < element.attributes.length; ++a) {
        const auto *attribute = static_cast<const GumboAttribute *>(element.attributes.data[a]);
        const QString name = QString::fromUtf8(attribute->name);
        const QString value = QString::fromUtf8(attribute->value);
        const bool reference = name.compare(u"src", Qt::CaseInsensitive) == 0
                               || name.compare(u"href", Qt::CaseInsensitive) == 0;
        if (name.startsWith(u"on", Qt::CaseInsensitive))
            active << shortened(QStringLiteral("<%1> %2=\"%3\"").arg(tag, name, value));
        else if (reference && isScriptAddress(value))
            active << shortened(QStringLiteral("<%1> %2=\"%3\"").arg(tag, name, value));
        else if (isRemote(value) && element.tag != GUMBO_TAG_SCRIPT
                 && (name.compare(u"src", Qt::CaseInsensitive) == 0 || element.tag == GUMBO_TAG_LINK
                                     || name == u"background" || name == u"poster" || name == u"data"))
            active << shortened(QStringLiteral("<%1> %2=\"%3\"").arg(tag, name, value));
        // An attribute without a value has nothing to replace; one the
        // parser made up has no place in the text.
        if (!reference || attribute->original_value.length == 0 || !attribute->original_value.data)
            continue;
        found.push_back(Found{qsizetype(attribute->original_value.data - buffer),
                              qsizetype(attribute->original_value.length), name, value});
    }
}

} // namespace

HTMLScan scan(const QString &html)
{
    HTMLScan result;
    const QByteArray utf8 = html.toUtf8();
    result.status = estimate(utf8);
    if (result.status != HTMLScan::Status::Parsed)
        return result;

    Arena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::deallocate;
    options.userdata = &arena;
    // The errors are never read; recording them costs time and memory.
    options.max_errors = 0;
    GumboOutput *output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));

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
            inspect(node->v.element, utf8.constData(), found, active);
            children = &node->v.element.children;
        }
        if (children) {
            for (unsigned c = children->length; c-- > 0;)
                pending.push_back(static_cast<const GumboNode *>(children->data[c]));
        }
    }
    // The arena frees the tree.
    result.activeContent = active.lines;
    if (active.more > 0)
        result.activeContent << QStringLiteral("(+%1)").arg(active.more);

    // Byte offsets into UTF-16 indexes, in one walk over the text.
    std::stable_sort(found.begin(), found.end(),
                     [](const Found &a, const Found &b) { return a.byteStart < b.byteStart; });
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

} // namespace HTMLReferenceScanner
