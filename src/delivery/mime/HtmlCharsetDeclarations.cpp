#include "HtmlCharsetDeclarations.h"

#include <algorithm>

namespace {

// HTML's ASCII whitespace.
bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
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

struct Attribute {
    QStringView name;
    qsizetype valueStart = -1; // -1: no "=" and no value
    qsizetype valueLength = 0;
};

// The next attribute of a tag from `at`, as an HTML tokenizer splits it;
// none at the tag's ">" or when the page ends inside the tag. Always moves
// `at` forward.
std::optional<Attribute> nextAttribute(QStringView page, qsizetype &at)
{
    const qsizetype size = page.size();
    while (at < size && (isSpace(page[at]) || page[at] == u'/'))
        ++at;
    if (at >= size || page[at] == u'>')
        return std::nullopt;
    Attribute attribute;
    const qsizetype nameStart = at++; // the first character, "=" too, is the name's
    while (at < size && !isSpace(page[at]) && page[at] != u'/' && page[at] != u'>' && page[at] != u'=')
        ++at;
    attribute.name = page.mid(nameStart, at - nameStart);
    skipSpaces(page, at);
    if (at >= size || page[at] != u'=')
        return attribute;
    ++at;
    skipSpaces(page, at);
    if (at < size && (page[at] == u'"' || page[at] == u'\'')) {
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
    attribute.valueStart = at;
    while (at < size && !isSpace(page[at]) && page[at] != u'>')
        ++at;
    attribute.valueLength = at - attribute.valueStart;
    return attribute;
}

// Where the charset stands in a content value ("text/html; charset=..."),
// found as a browser finds it; none when it names none.
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

// The writer's name of the charset a label names, for the charsets it
// writes; the labels are those that browsers take for them.
std::optional<QString> writerCharset(QStringView label)
{
    const QString name = label.trimmed().toString().toLower();
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

} // namespace

HtmlCharsetDeclarations::HtmlCharsetDeclarations(QStringView page)
{
    // Each <meta> is read from its own start up to the next one at most:
    // one that a browser reads is found even when text before it (a value
    // with a stray quote) would hide it, and no text is read twice.
    const auto nextMeta = [page](qsizetype from) {
        for (;;) {
            // A search for "<" alone is much faster than one for "<meta" in any case.
            const qsizetype open = page.indexOf(u'<', from);
            if (open < 0 || open + 5 >= page.size())
                return page.size();
            if ((page[open + 1] == u'm' || page[open + 1] == u'M')
                && isNamed(page.mid(open + 1, 4), QLatin1StringView("meta"))
                && (isSpace(page[open + 5]) || page[open + 5] == u'/'))
                return open;
            from = open + 1;
        }
    };
    std::vector<Attribute> contents;
    for (qsizetype meta = nextMeta(0); meta < page.size();) {
        const qsizetype next = nextMeta(meta + 5);
        const QStringView tag = page.first(next);
        qsizetype at = meta + 5;
        // Every value counts, not only the first of a name as in a browser:
        // more is replaced, never less.
        bool pragma = false;
        contents.clear();
        while (const std::optional<Attribute> attribute = nextAttribute(tag, at)) {
            if (attribute->valueStart < 0)
                continue;
            const QStringView value = page.mid(attribute->valueStart, attribute->valueLength);
            if (isNamed(attribute->name, QLatin1StringView("charset")) && !value.isEmpty())
                m_labels.push_back({attribute->valueStart, attribute->valueLength, false});
            else if (isNamed(attribute->name, QLatin1StringView("http-equiv")))
                pragma = pragma || isNamed(value, QLatin1StringView("content-type")) || value.contains(u'&');
            else if (isNamed(attribute->name, QLatin1StringView("content")))
                contents.push_back(*attribute);
        }
        if (pragma) {
            for (const Attribute &content : contents) {
                const QStringView value = page.mid(content.valueStart, content.valueLength);
                if (value.contains(u'&'))
                    m_labels.push_back({content.valueStart, content.valueLength, true});
                else if (const auto label = charsetInContent(value); label && label->second > 0)
                    m_labels.push_back({content.valueStart + label->first, label->second, false});
            }
        }
        meta = next;
    }
    std::sort(m_labels.begin(), m_labels.end(), [](const Label &a, const Label &b) { return a.start < b.start; });
}

std::optional<QString> HtmlCharsetDeclarations::agreedCharset(QStringView page) const
{
    std::optional<QString> agreed;
    for (const Label &label : m_labels) {
        if (label.wholeContent)
            return std::nullopt;
        const std::optional<QString> charset = writerCharset(page.mid(label.start, label.length));
        if (!charset || (agreed && *agreed != *charset))
            return std::nullopt;
        agreed = charset;
    }
    return agreed;
}

QString HtmlCharsetDeclarations::withCharset(QStringView page, QStringView charset) const
{
    QString result;
    result.reserve(page.size() + count() * (charset.size() + 20));
    qsizetype copied = 0;
    for (const Label &label : m_labels) {
        result.append(page.mid(copied, label.start - copied));
        // No blank: the value may stand without quotes.
        if (label.wholeContent)
            result.append(QLatin1StringView("text/html;charset="));
        result.append(charset);
        copied = label.start + label.length;
    }
    result.append(page.mid(copied));
    return result;
}
