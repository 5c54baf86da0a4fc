#include "HtmlCharsetDeclarations.h"

#include "HTMLReferenceScanner.h"

#include <algorithm>

namespace {

using Label = HtmlCharsetDeclarations::Label;

// HTML's ASCII whitespace.
bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

void skipSpaces(QStringView text, qsizetype &at)
{
    while (at < text.size() && isSpace(text[at]))
        ++at;
}

bool isNamed(QStringView text, QLatin1StringView name)
{
    return text.compare(name, Qt::CaseInsensitive) == 0;
}

// Where the charset stands in a content value ("text/html; charset=..."):
// the algorithm for extracting a character encoding from a meta element.
std::optional<std::pair<qsizetype, qsizetype>> charsetInContent(QStringView value)
{
    const qsizetype size = value.size();
    qsizetype at = 0;
    for (;;) {
        const qsizetype found = value.indexOf(u"charset", at, Qt::CaseInsensitive);
        if (found < 0)
            return std::nullopt;
        at = found + 7;
        skipSpaces(value, at);
        if (at >= size || value[at] != u'=')
            continue;
        ++at;
        skipSpaces(value, at);
        if (at >= size)
            return std::nullopt;
        if (value[at] == u'"' || value[at] == u'\'') {
            const qsizetype close = value.indexOf(value[at], at + 1);
            if (close < 0)
                return std::nullopt;
            return std::pair(at + 1, close - at - 1);
        }
        const qsizetype start = at;
        while (at < size && !isSpace(value[at]) && value[at] != u';')
            ++at;
        return std::pair(start, at - start);
    }
}

// A label without ASCII whitespace around it, as encodings are looked up.
QStringView trimmedLabel(QStringView label)
{
    qsizetype start = 0;
    skipSpaces(label, start);
    qsizetype end = label.size();
    while (end > start && isSpace(label[end - 1]))
        --end;
    return label.sliced(start, end - start);
}

// Whether a label may name an encoding at all: the encodings' labels are
// made of these characters. Any other is passed over by a browser, and the
// prescan, which reads where the parser may not, may have found it in the
// middle of other markup, which must stay as it is.
bool mayNameAnEncoding(QStringView label)
{
    label = trimmedLabel(label);
    return !label.isEmpty() && std::all_of(label.begin(), label.end(), [](QChar c) {
        return isAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u'.' || c == u':';
    });
}

// ---- The prescan ---------------------------------------------------------
//
// A browser opening a saved page reads its start with the prescan of the
// encoding sniffing algorithm (HTML 13.2.3.2), which knows comments and
// the attributes of tags, but not scripts or titles. Here it reads the
// whole page, and every declaration of each <meta>, where the browser
// stops at the first that names an encoding: more is replaced, never less.

struct PrescanAttribute {
    QStringView name;
    qsizetype valueStart = 0;
    qsizetype valueLength = 0;
};

// The "get an attribute" algorithm from `at`; none at the tag's ">" (`at`
// then stands on it) or at the page's end (`at` past it).
std::optional<PrescanAttribute> prescanAttribute(QStringView page, qsizetype &at)
{
    const qsizetype size = page.size();
    while (at < size && (isSpace(page[at]) || page[at] == u'/'))
        ++at;
    if (at >= size || page[at] == u'>')
        return std::nullopt;
    PrescanAttribute attribute;
    // The name; an "=" first is part of it.
    const qsizetype nameStart = at;
    for (;; ++at) {
        if (at >= size)
            return std::nullopt;
        const QChar c = page[at];
        attribute.name = page.sliced(nameStart, at - nameStart);
        if (c == u'=' && at > nameStart) {
            ++at;
            break;
        }
        if (isSpace(c)) {
            skipSpaces(page, at);
            if (at >= size)
                return std::nullopt;
            if (page[at] != u'=')
                return attribute;
            ++at;
            break;
        }
        if (c == u'/' || c == u'>')
            return attribute;
    }
    skipSpaces(page, at);
    if (at >= size)
        return std::nullopt;
    if (page[at] == u'"' || page[at] == u'\'') {
        const qsizetype close = page.indexOf(page[at], at + 1);
        if (close < 0) {
            at = size;
            return std::nullopt;
        }
        attribute.valueStart = at + 1;
        attribute.valueLength = close - at - 1;
        at = close + 1;
        return attribute;
    }
    if (page[at] == u'>')
        return attribute;
    attribute.valueStart = at;
    while (at < size && !isSpace(page[at]) && page[at] != u'>')
        ++at;
    if (at >= size)
        return std::nullopt;
    attribute.valueLength = at - attribute.valueStart;
    return attribute;
}

// The labels of the declarations the prescan finds that may name an
// encoding, in text order.
std::vector<Label> prescan(QStringView page)
{
    std::vector<Label> labels;
    const qsizetype size = page.size();
    for (qsizetype at = page.indexOf(u'<'); at >= 0 && at < size; at = page.indexOf(u'<', at)) {
        const QStringView rest = page.sliced(at);
        if (rest.startsWith(u"<!--")) {
            // Its dashes may be those of "<!--" itself.
            const qsizetype end = page.indexOf(u"-->", at + 2);
            if (end < 0)
                break;
            at = end + 3;
            continue;
        }
        const bool meta = rest.size() > 5 && rest.first(5).compare(u"<meta", Qt::CaseInsensitive) == 0
                          && (isSpace(rest[5]) || rest[5] == u'/');
        const bool tag = meta || (rest.size() > 1 && isAsciiLetter(rest[1]))
                         || (rest.size() > 2 && rest[1] == u'/' && isAsciiLetter(rest[2]));
        if (tag) {
            if (meta) {
                at += 5;
            } else {
                while (at < size && !isSpace(page[at]) && page[at] != u'>')
                    ++at;
            }
            // The first attribute of a name counts.
            std::optional<PrescanAttribute> charset, httpEquiv, content;
            while (const std::optional<PrescanAttribute> attribute = prescanAttribute(page, at)) {
                if (!meta)
                    continue;
                for (auto &[slot, name] : {std::pair{&charset, "charset"}, {&httpEquiv, "http-equiv"},
                                           {&content, "content"}}) {
                    if (!*slot && isNamed(attribute->name, QLatin1StringView(name)))
                        *slot = attribute;
                }
            }
            if (at >= size)
                break;
            ++at;
            if (charset && mayNameAnEncoding(page.sliced(charset->valueStart, charset->valueLength)))
                labels.push_back({charset->valueStart, charset->valueLength});
            const bool pragma = httpEquiv && isNamed(page.sliced(httpEquiv->valueStart, httpEquiv->valueLength),
                                                     QLatin1StringView("content-type"));
            if (pragma && content) {
                if (const auto label = charsetInContent(page.sliced(content->valueStart, content->valueLength));
                    label && mayNameAnEncoding(page.sliced(content->valueStart + label->first, label->second)))
                    labels.push_back({content->valueStart + label->first, label->second});
            }
            // The two of one tag in text order.
            if (labels.size() > 1 && labels[labels.size() - 2].start > labels.back().start)
                std::swap(labels[labels.size() - 2], labels.back());
            continue;
        }
        if (rest.size() > 1 && (rest[1] == u'!' || rest[1] == u'/' || rest[1] == u'?')) {
            const qsizetype end = page.indexOf(u'>', at + 1);
            if (end < 0)
                break;
            at = end + 1;
            continue;
        }
        ++at;
    }
    return labels;
}

// ---- The parser's reading ------------------------------------------------

// The labels of the declarations of the page's meta elements; none when the
// parser's bounds refuse the page.
std::optional<std::vector<Label>> parsedLabels(const QString &page)
{
    const std::optional<QList<HTMLMetaElement>> metas = HTMLReferenceScanner::metaElements(page);
    if (!metas)
        return std::nullopt;
    std::vector<Label> labels;
    for (const HTMLMetaElement &meta : *metas) {
        const HTMLMetaElement::Attribute *content = nullptr;
        bool pragma = false;
        for (const HTMLMetaElement::Attribute &attribute : meta.attributes) {
            if (attribute.name == u"charset" && !attribute.value.isEmpty())
                labels.push_back({attribute.valueStart, attribute.valueLength});
            else if (attribute.name == u"http-equiv")
                pragma = isNamed(attribute.value, QLatin1StringView("content-type"));
            else if (attribute.name == u"content")
                content = &attribute;
        }
        if (!pragma || !content)
            continue;
        const QStringView written = QStringView(page).sliced(content->valueStart, content->valueLength);
        if (written.contains(u'&')) {
            // Where a reference stands in the value, its text is not the
            // parser's: the whole value is replaced.
            if (charsetInContent(content->value))
                labels.push_back({content->valueStart, content->valueLength, true});
        } else if (const auto label = charsetInContent(written); label && label->second > 0) {
            labels.push_back({content->valueStart + label->first, label->second});
        }
    }
    std::sort(labels.begin(), labels.end(), [](const Label &a, const Label &b) { return a.start < b.start; });
    return labels;
}

bool overlap(const Label &a, const Label &b)
{
    return a.start < b.start + b.length && b.start < a.start + a.length;
}

// The writer's name of the charset a label names, for the charsets it
// writes; the labels are those that browsers take for them.
std::optional<QString> writerCharset(QStringView label)
{
    const QString name = trimmedLabel(label).toString().toLower();
    static const std::pair<const char *, const char *> names[] = {
        {"utf-8", "UTF-8"},
        {"utf8", "UTF-8"},
        {"unicode-1-1-utf-8", "UTF-8"},
        {"unicode11utf8", "UTF-8"},
        {"unicode20utf8", "UTF-8"},
        {"x-unicode20utf8", "UTF-8"},
        {"iso-8859-1", "ISO-8859-1"},
        {"iso8859-1", "ISO-8859-1"},
        {"iso88591", "ISO-8859-1"},
        {"iso_8859-1", "ISO-8859-1"},
        {"iso_8859-1:1987", "ISO-8859-1"},
        {"latin1", "ISO-8859-1"},
        {"l1", "ISO-8859-1"},
        {"windows-1252", "windows-1252"},
        {"cp1252", "windows-1252"},
        {"x-cp1252", "windows-1252"},
        {"us-ascii", "US-ASCII"},
        {"ascii", "US-ASCII"},
    };
    for (const auto &[label, charset] : names) {
        if (name == QLatin1StringView(label))
            return QString::fromLatin1(charset);
    }
    return std::nullopt;
}

// Where a declaration of the page's own goes so that it comes first: after
// a document type that opens the page, which must stay first.
qsizetype leadingDeclarationPlace(QStringView page)
{
    qsizetype at = 0;
    skipSpaces(page, at);
    if (page.sliced(at).startsWith(u"<!doctype", Qt::CaseInsensitive)) {
        const qsizetype end = page.indexOf(u'>', at);
        if (end >= 0)
            return end + 1;
    }
    return 0;
}

} // namespace

HtmlCharsetDeclarations::HtmlCharsetDeclarations(const QString &page)
{
    // Neither reading finds a declaration without these letters.
    if (!page.contains(QLatin1StringView("meta"), Qt::CaseInsensitive))
        return;
    const std::vector<Label> prescanned = prescan(page);
    std::optional<std::vector<Label>> parsed = parsedLabels(page);
    m_read = parsed.has_value();
    if (!parsed) {
        m_labels = prescanned;
        return;
    }
    m_labels = std::move(*parsed);
    // Both lists are in text order, each without overlaps of its own.
    std::vector<Label> merged;
    merged.reserve(m_labels.size() + prescanned.size());
    auto parsedLabel = m_labels.cbegin();
    for (const Label &label : prescanned) {
        while (parsedLabel != m_labels.cend() && parsedLabel->start + parsedLabel->length <= label.start)
            merged.push_back(*parsedLabel++);
        const bool same = parsedLabel != m_labels.cend() && parsedLabel->start == label.start
                          && parsedLabel->length == label.length;
        if (same)
            continue;
        if (parsedLabel != m_labels.cend() && overlap(*parsedLabel, label))
            m_alsoRead.push_back(label);
        else
            merged.push_back(label);
    }
    merged.insert(merged.end(), parsedLabel, m_labels.cend());
    m_labels = std::move(merged);
}

std::optional<QString> HtmlCharsetDeclarations::agreedCharset(QStringView page) const
{
    if (!m_read)
        return std::nullopt;
    std::optional<QString> agreed;
    for (const std::vector<Label> *labels : {&m_labels, &m_alsoRead}) {
        for (const Label &label : *labels) {
            if (label.wholeContent)
                return std::nullopt;
            const std::optional<QString> charset = writerCharset(page.sliced(label.start, label.length));
            if (!charset || (agreed && *agreed != *charset))
                return std::nullopt;
            agreed = charset;
        }
    }
    return agreed;
}

QString HtmlCharsetDeclarations::withCharset(QStringView page, QStringView charset) const
{
    QString result;
    result.reserve(page.size() + qsizetype(m_labels.size()) * (charset.size() + 20) + 32);
    qsizetype copied = 0;
    for (const Label &label : m_labels) {
        result.append(page.sliced(copied, label.start - copied));
        // No blank: the value may stand without quotes.
        if (label.wholeContent)
            result.append(QLatin1StringView("text/html;charset="));
        result.append(charset);
        copied = label.start + label.length;
    }
    result.append(page.sliced(copied));
    if (charset.isEmpty())
        return result;
    // A page the parser could not read, or one the prescan reads otherwise
    // once its values changed (a quote gone from a value it read across),
    // says its charset first: a reader takes the first declaration, and
    // with it is certain of the charset.
    bool prescanAgrees = m_read;
    if (prescanAgrees) {
        for (const Label &label : prescan(result)) {
            const std::optional<QString> named = writerCharset(QStringView(result).sliced(label.start, label.length));
            prescanAgrees = prescanAgrees && named && *named == charset;
        }
    }
    if (!prescanAgrees)
        result.insert(leadingDeclarationPlace(result), QStringLiteral("<meta charset=\"%1\">").arg(charset));
    return result;
}
