#include "HTMLOpenElements.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace {

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// What the tree builder's rules say of an element, by name; looked up once
// per tag in a table made once, since every tag asks several questions.
enum Category : std::uint32_t {
    // Closed at once, or its content is raw text.
    NeverStaysOpen = 1u << 0,
    // A start tag before which popped formatting is not opened again: blocks,
    // table parts and what belongs in the head.
    KeepsFormattingWaiting = 1u << 1,
    // A start tag that ends an open paragraph first. (A table does so only in
    // pages with a document type; counting the paragraph as open is the safe side.)
    ClosesParagraph = 1u << 2,
    FormattingElement = 1u << 3,
    // Its formatting ends with it.
    Marked = 1u << 4,
    TablePart = 1u << 5,
    Heading = 1u << 6,
    // An end tag that closes its element wherever it is open in scope, with
    // everything above it.
    ClosesInScope = 1u << 7,
    // An end tag's scope does not reach past it.
    ScopeBoundary = 1u << 8,
    // An end tag without a rule of its own stops at it.
    Special = 1u << 9,
    // Inside svg or math, where HTML's rules hold again for what it contains.
    IntegrationPoint = 1u << 10,
    // A start tag that leaves svg or math for HTML.
    BreaksOutOfForeign = 1u << 11,
};

struct CategoryList {
    std::uint32_t categories;
    std::initializer_list<std::string_view> names;
};

const CategoryList CategoryLists[] = {
    {NeverStaysOpen,
     {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "img", "image", "input", "keygen",
      "link", "meta", "param", "source", "track", "wbr", "colgroup", "html", "head", "body", "script", "style",
      "textarea", "title", "xmp", "iframe", "noembed", "noframes", "noscript"}},
    {KeepsFormattingWaiting,
     {"address", "article", "aside", "blockquote", "center", "details", "dialog", "dir", "div", "dl", "fieldset",
      "figcaption", "figure", "footer", "header", "hgroup", "main", "menu", "nav", "ol", "p", "search", "section",
      "summary", "ul", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "listing", "form", "li", "dd", "dt", "plaintext",
      "table", "caption", "col", "colgroup", "tbody", "td", "tfoot", "th", "thead", "tr", "hr", "html", "head",
      "body", "frameset", "frame", "base", "basefont", "bgsound", "link", "meta", "noframes", "script", "style",
      "template", "title", "textarea", "iframe", "noembed", "noscript", "rb", "rp", "rt", "rtc", "param", "source",
      "track"}},
    {ClosesParagraph,
     {"address", "article", "aside", "blockquote", "center", "details", "dialog", "dir", "div", "dl", "fieldset",
      "figcaption", "figure", "footer", "header", "hgroup", "main", "menu", "nav", "ol", "p", "search", "section",
      "summary", "ul", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "listing", "form", "li", "dd", "dt", "plaintext",
      "hr", "xmp"}},
    {FormattingElement, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike", "strong", "tt", "u"}},
    {Marked, {"td", "th", "caption", "applet", "marquee", "object", "template"}},
    {TablePart, {"table", "caption", "tbody", "thead", "tfoot", "tr", "td", "th"}},
    {Heading, {"h1", "h2", "h3", "h4", "h5", "h6"}},
    {ClosesInScope,
     {"h1", "h2", "h3", "h4", "h5", "h6", "address", "article", "aside", "blockquote", "button", "center",
      "details", "dialog", "dir", "div", "dl", "fieldset", "figcaption", "figure", "footer", "header", "hgroup",
      "listing", "main", "menu", "nav", "ol", "pre", "search", "section", "summary", "ul", "applet", "marquee",
      "object", "template", "dd", "dt"}},
    {ScopeBoundary, {"applet", "caption", "html", "table", "td", "th", "marquee", "object", "template"}},
    {Special,
     {"h1", "h2", "h3", "h4", "h5", "h6", "table", "caption", "tbody", "thead", "tfoot", "tr", "td", "th", "address",
      "applet", "area", "article", "aside", "base", "basefont", "bgsound", "blockquote", "body", "br", "button",
      "center", "col", "colgroup", "dd", "details", "dir", "div", "dl", "dt", "embed", "fieldset", "figcaption",
      "figure", "footer", "form", "frame", "frameset", "head", "header", "hgroup", "hr", "html", "iframe", "img",
      "input", "keygen", "li", "link", "listing", "main", "marquee", "menu", "meta", "nav", "noembed", "noframes",
      "noscript", "object", "ol", "p", "param", "plaintext", "pre", "script", "search", "section", "select",
      "source", "style", "summary", "template", "textarea", "title", "track", "ul", "wbr", "xmp"}},
    {IntegrationPoint, {"mi", "mo", "mn", "ms", "mtext", "annotation-xml", "foreignobject", "desc", "title"}},
    {BreaksOutOfForeign,
     {"h1", "h2", "h3", "h4", "h5", "h6", "b", "big", "blockquote", "body", "br", "center", "code", "dd", "div", "dl",
      "dt", "em", "embed", "head", "hr", "i", "img", "li", "listing", "menu", "meta", "nobr", "ol", "p", "pre", "ruby",
      "s", "small", "span", "strong", "strike", "sub", "sup", "table", "tt", "u", "ul", "var"}},
};

std::uint32_t categoriesOf(std::string_view name)
{
    static const std::unordered_map<std::string_view, std::uint32_t> table = [] {
        std::unordered_map<std::string_view, std::uint32_t> made;
        for (const CategoryList &list : CategoryLists) {
            for (const std::string_view member : list.names)
                made[member] |= list.categories;
        }
        return made;
    }();
    const auto found = table.find(name);
    return found == table.end() ? 0 : found->second;
}

bool isMarked(std::string_view name) { return categoriesOf(name) & Marked; }
bool isTablePart(std::string_view name) { return categoriesOf(name) & TablePart; }
bool isHeading(std::string_view name) { return categoriesOf(name) & Heading; }
bool isIntegrationPoint(std::string_view name) { return categoriesOf(name) & IntegrationPoint; }

// Start tags that leave svg or math for HTML (a font only with its old
// presentation attributes).
bool breaksOutOfForeign(std::string_view name, std::string_view attributes)
{
    if (name == "font") {
        std::string lower(attributes);
        for (char &c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string_view attribute : {"color", "face", "size"}) {
            for (size_t at = lower.find(attribute); at != std::string::npos; at = lower.find(attribute, at + 1)) {
                const bool starts = at == 0 || std::isspace(static_cast<unsigned char>(lower[at - 1])) || lower[at - 1] == '/';
                const size_t end = at + attribute.size();
                const bool ends = end == lower.size() || lower[end] == '=' || lower[end] == '/'
                                  || std::isspace(static_cast<unsigned char>(lower[end]));
                if (starts && ends)
                    return true;
            }
        }
        return false;
    }
    return categoriesOf(name) & BreaksOutOfForeign;
}

} // namespace

// A foreign element's name starts with a space, so that no HTML rule takes
// it for the HTML element of that name; every walk stops at it, so that the
// model never closes more than the builder, whose namespaces it only guesses.
HTMLOpenElements::Element::Element(std::string_view name, std::uint64_t formatting, bool marker, bool foreign)
    : name(foreign ? " " + std::string(name) : std::string(name))
    , formatting(formatting)
    , categories(foreign ? 0 : categoriesOf(name))
    , marker(marker)
    , foreign(foreign)
    , special(foreign || (categories & Special))
    , scopeBoundary(foreign || (categories & ScopeBoundary))
{
}

void HTMLOpenElements::startTag(std::string_view name, std::string_view attributes)
{
    const std::uint32_t categories = categoriesOf(name);
    if (const int select = openSelect(); select >= 0) {
        startInSelect(name, select);
        return;
    }
    // What breaks out is taken as HTML; the foreign elements it would end
    // stay counted.
    if (inForeignContent() && !breaksOutOfForeign(name, attributes)) {
        // Opened again here too, where the builder may see HTML: left
        // waiting, they could be forgotten below while it keeps them open.
        reopenFormatting();
        if (!attributes.ends_with('/'))
            m_open.emplace_back(name, 0, false, true);
        return;
    }
    if (categories & TablePart) {
        startTableTag(name);
        return;
    }
    if (categories & FormattingElement) {
        pushFormatting(name, attributes);
        return;
    }
    // One form at a time: the builder ignores a form inside a form.
    if (name == "form" && m_formOpen)
        return;
    if (categories & ClosesParagraph)
        closeParagraph();
    if (name == "li") {
        closeListItem({"li"});
    } else if (name == "dd" || name == "dt") {
        closeListItem({"dd", "dt"});
    } else if (categories & Heading) {
        if (!m_open.empty() && (m_open.back().categories & Heading))
            popFrom(int(m_open.size()) - 1);
    } else if (name == "button") {
        if (const int button = nearestInScope(name); button >= 0)
            popFrom(button);
    } else if (name == "option" || name == "optgroup") {
        if (currentIs({"option"}))
            popFrom(int(m_open.size()) - 1);
    } else if (isOneOf(name, {"rb", "rtc", "rp", "rt"}) && nearestInScope("ruby") >= 0) {
        const bool keepsContainer = name == "rp" || name == "rt";
        while (currentIs({"dd", "dt", "li", "optgroup", "option", "p", "rb", "rp", "rt"})
               || (!keepsContainer && currentIs({"rtc"})))
            popFrom(int(m_open.size()) - 1);
    }
    m_formOpen = m_formOpen || name == "form";
    if (!(categories & KeepsFormattingWaiting))
        reopenFormatting();
    if (name == "svg" || name == "math") {
        if (!attributes.ends_with('/'))
            m_open.emplace_back(name, 0, false, true);
    } else if (!(categories & NeverStaysOpen)) {
        push(name, categories & Marked);
    }
}

void HTMLOpenElements::text()
{
    if (openSelect() < 0)
        reopenFormatting();
}

void HTMLOpenElements::endTag(std::string_view name)
{
    if (endForeign(name))
        return;
    const std::uint32_t categories = categoriesOf(name);
    if (const int select = openSelect(); select >= 0) {
        endInSelect(name, select);
    } else if (categories & TablePart) {
        // Not across a table: a stray end in a table held by a cell is ignored.
        if (const int index = nearestInTable({name}); index >= 0) {
            const int cell = nearestInTable({"td", "th", "caption"});
            popFrom(index);
            if (cell >= index)
                clearToLastMarker();
        }
    } else if (name == "form") {
        // Only the form goes: what it holds stays open.
        m_formOpen = false;
        if (const int index = nearestInScope(name); index >= 0)
            m_open.erase(m_open.begin() + index);
    } else if (name == "p" || name == "li") {
        if (const int index = nearestInScope(name, name == "p" ? Scope::Button : Scope::ListItem); index >= 0)
            popFrom(index);
    } else if (categories & ClosesInScope) {
        if (const int index = nearestInScope(name); index >= 0) {
            popFrom(index);
            if (categories & Marked)
                clearToLastMarker();
        }
    } else if (categories & FormattingElement) {
        endFormatting(name);
    } else {
        endAnyOther(name);
    }
}

int HTMLOpenElements::nearestInTable(std::initializer_list<std::string_view> names) const
{
    for (int index = int(m_open.size()) - 1; index >= 0; --index) {
        const Element &open = m_open[size_t(index)];
        if (isOneOf(open.name, names))
            return index;
        if (open.name == "table" || open.name == "template" || open.name == "html" || open.foreign)
            return -1;
    }
    return -1;
}

int HTMLOpenElements::nearestInScope(std::string_view name, Scope scope) const
{
    const bool heading = isHeading(name);
    for (int index = int(m_open.size()) - 1; index >= 0; --index) {
        const Element &open = m_open[size_t(index)];
        if (open.name == name || (heading && (open.categories & Heading)))
            return index;
        if (open.scopeBoundary || (scope == Scope::Button && open.name == "button")
            || (scope == Scope::ListItem && (open.name == "ol" || open.name == "ul")))
            return -1;
    }
    return -1;
}

// In a select the builder takes nothing but options and their groups.
int HTMLOpenElements::openSelect() const
{
    for (int index = int(m_open.size()) - 1; index >= 0; --index) {
        const Element &open = m_open[size_t(index)];
        if (open.foreign)
            return -1;
        if (open.name == "select")
            return index;
        if (open.name != "option" && open.name != "optgroup")
            return -1;
    }
    return -1;
}

bool HTMLOpenElements::inForeignContent() const
{
    return !m_open.empty() && m_open.back().foreign
           && !isIntegrationPoint(std::string_view(m_open.back().name).substr(1));
}

// An end tag in svg or math closes the current element when it names it;
// true when it was taken so. (The builder may close more, further down.)
bool HTMLOpenElements::endForeign(std::string_view name)
{
    if (m_open.empty() || !m_open.back().foreign || std::string_view(m_open.back().name).substr(1) != name)
        return false;
    m_open.pop_back();
    return true;
}

bool HTMLOpenElements::currentIs(std::initializer_list<std::string_view> names) const
{
    return !m_open.empty() && isOneOf(m_open.back().name, names);
}

void HTMLOpenElements::closeParagraph()
{
    if (const int paragraph = nearestInScope("p", Scope::Button); paragraph >= 0)
        popFrom(paragraph);
}

void HTMLOpenElements::closeListItem(std::initializer_list<std::string_view> names)
{
    for (int index = int(m_open.size()) - 1; index >= 0; --index) {
        const Element &open = m_open[size_t(index)];
        if (isOneOf(open.name, names)) {
            popFrom(index);
            return;
        }
        if (open.special && open.name != "address" && open.name != "div" && open.name != "p")
            return;
    }
}

void HTMLOpenElements::startInSelect(std::string_view name, int select)
{
    if (name == "select" || name == "input" || name == "keygen" || name == "textarea") {
        popFrom(select);
    } else if (isTablePart(name)) {
        // A select in a table ends at the table's next part, which then counts.
        if (nearestInTable({"table"}) >= 0) {
            popFrom(select);
            startTag(name, {});
        }
    } else if (name == "option" || name == "optgroup") {
        if (currentIs({"option"}))
            popFrom(int(m_open.size()) - 1);
        if (name == "optgroup" && currentIs({"optgroup"}))
            popFrom(int(m_open.size()) - 1);
        push(name);
    }
}

void HTMLOpenElements::endInSelect(std::string_view name, int select)
{
    if (name == "select") {
        popFrom(select);
    } else if (isTablePart(name)) {
        if (nearestInTable({name}) >= 0) {
            popFrom(select);
            endTag(name);
        }
    } else if (name == "option" || name == "optgroup") {
        if (name == "optgroup" && currentIs({"option"}) && m_open.size() >= 2
            && m_open[m_open.size() - 2].name == "optgroup")
            popFrom(int(m_open.size()) - 1);
        if (currentIs({name}))
            popFrom(int(m_open.size()) - 1);
    }
}

void HTMLOpenElements::push(std::string_view name, bool marker)
{
    if (!marker) {
        m_open.emplace_back(name, 0, false);
        return;
    }
    const std::uint64_t id = m_nextId++;
    m_open.emplace_back(name, id, true);
    m_formatting.push_back(Formatting{{}, {}, id, true, true});
}

void HTMLOpenElements::pushFormatting(std::string_view name, std::string_view attributes)
{
    const int marker = lastMarker();
    if (name == "a") {
        // A link inside a link ends the first one, and the first leaves the list.
        for (int index = int(m_formatting.size()) - 1; index > marker; --index) {
            if (m_formatting[size_t(index)].name != "a")
                continue;
            const std::uint64_t id = m_formatting[size_t(index)].id;
            endFormatting(name);
            const int left = formattingIndex(id);
            if (left >= 0) {
                const auto open = std::find_if(m_open.begin(), m_open.end(),
                                               [id](const Element &element) { return element.formatting == id; });
                if (open != m_open.end())
                    m_open.erase(open);
                removeFormatting(left);
            }
            break;
        }
    }
    reopenFormatting();
    if (name == "nobr" && nearestInScope(name) >= 0) {
        endFormatting(name);
        reopenFormatting();
    }
    // Of three alike since the last marker, the builder forgets the first.
    int alike = 0;
    int first = -1;
    const int since = lastMarker();
    for (int index = int(m_formatting.size()) - 1; index > since; --index) {
        const Formatting &entry = m_formatting[size_t(index)];
        if (entry.name == name && entry.attributes == attributes) {
            ++alike;
            first = index;
        }
    }
    if (alike >= 3)
        removeFormatting(first);
    const std::uint64_t id = m_nextId++;
    m_open.emplace_back(name, id, false);
    m_formatting.push_back(Formatting{std::string(name), std::string(attributes), id, false, true});
}

void HTMLOpenElements::popFrom(int index)
{
    while (int(m_open.size()) > index) {
        const Element &element = m_open.back();
        // Formatting popped by another element's end is opened again by the
        // next text; a marker stays until its formatting is cleared, which
        // only the end of its own cell, caption or object does.
        if (element.formatting) {
            if (const int entry = formattingIndex(element.formatting); entry >= 0) {
                m_formatting[size_t(entry)].open = false;
                ++(element.marker ? m_staleMarkers : m_waiting);
            }
        }
        m_open.pop_back();
    }
}

void HTMLOpenElements::startTableTag(std::string_view name)
{
    const auto nameAt = [this](int index) -> const std::string & { return m_open[size_t(index)].name; };
    if (name == "table") {
        // A table straight inside a table ends the first; inside a cell it nests.
        const int index = nearestInTable({"td", "th", "caption", "table"});
        if (index >= 0 && nameAt(index) == "table")
            popFrom(index);
        push(name);
        return;
    }
    // Any other part ends the open cell or caption first.
    if (const int cell = nearestInTable({"td", "th", "caption"}); cell >= 0) {
        popFrom(cell);
        clearToLastMarker();
    }
    if (name == "caption" || name == "tbody" || name == "thead" || name == "tfoot") {
        const int table = nearestInTable({"table"});
        if (table < 0)
            return;
        popFrom(table + 1);
        push(name, isMarked(name));
        return;
    }
    // A row ends the open row; a section and a row are implied as needed.
    int index = nearestInTable({"tr", "tbody", "thead", "tfoot", "table"});
    if (name == "tr" && index >= 0 && nameAt(index) == "tr") {
        popFrom(index);
        index = nearestInTable({"tbody", "thead", "tfoot", "table"});
    }
    if (index < 0)
        return;
    const bool inTable = nameAt(index) == "table";
    popFrom(index + 1);
    if (inTable)
        push("tbody");
    if (name != "tr" && nameAt(int(m_open.size()) - 1) != "tr")
        push("tr");
    push(name, isMarked(name));
}

void HTMLOpenElements::endFormatting(std::string_view name)
{
    int entry = -1;
    const int since = lastMarker();
    for (int index = int(m_formatting.size()) - 1; index > since; --index) {
        if (m_formatting[size_t(index)].name == name) {
            entry = index;
            break;
        }
    }
    if (entry < 0) {
        endAnyOther(name);
        return;
    }
    if (!m_formatting[size_t(entry)].open) {
        removeFormatting(entry);
        return;
    }
    const std::uint64_t id = m_formatting[size_t(entry)].id;
    int at = int(m_open.size()) - 1;
    while (at >= 0 && m_open[size_t(at)].formatting != id) {
        if (m_open[size_t(at)].scopeBoundary)
            return;
        --at;
    }
    if (at < 0)
        return;
    // With a special element above it the builder moves elements about
    // (the adoption agency) and never leaves more of them open than before.
    for (size_t above = size_t(at) + 1; above < m_open.size(); ++above) {
        if (m_open[above].special)
            return;
    }
    removeFormatting(entry);
    popFrom(at);
}

void HTMLOpenElements::endAnyOther(std::string_view name)
{
    for (int index = int(m_open.size()) - 1; index >= 0; --index) {
        const Element &open = m_open[size_t(index)];
        if (open.name == name) {
            popFrom(index);
            return;
        }
        if (open.special)
            return;
    }
}

void HTMLOpenElements::clearToLastMarker()
{
    const int marker = lastMarker();
    if (marker < 0)
        return;
    for (int entry = int(m_formatting.size()) - 1; entry >= marker; --entry)
        removeFormatting(entry);
}

void HTMLOpenElements::reopenFormatting()
{
    if (m_waiting == 0)
        return;
    // Opened again as they were, in list order, since the last marker; those
    // before it wait for the end of the cell that holds the marker.
    for (size_t index = size_t(lastMarker() + 1); index < m_formatting.size(); ++index) {
        Formatting &entry = m_formatting[index];
        if (entry.open)
            continue;
        entry.open = true;
        --m_waiting;
        m_open.emplace_back(entry.name, entry.id, false);
    }
}

int HTMLOpenElements::lastMarker() const
{
    for (int index = int(m_formatting.size()) - 1; index >= 0; --index) {
        if (m_formatting[size_t(index)].marker)
            return index;
    }
    return -1;
}

int HTMLOpenElements::formattingIndex(std::uint64_t id) const
{
    for (int index = int(m_formatting.size()) - 1; index >= 0; --index) {
        if (m_formatting[size_t(index)].id == id)
            return index;
    }
    return -1;
}

void HTMLOpenElements::removeFormatting(int index)
{
    const Formatting &entry = m_formatting[size_t(index)];
    if (entry.open) {
        for (Element &element : m_open) {
            if (element.formatting == entry.id)
                element.formatting = 0;
        }
    } else {
        --(entry.marker ? m_staleMarkers : m_waiting);
    }
    m_formatting.erase(m_formatting.begin() + index);
}
