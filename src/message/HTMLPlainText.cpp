#include "HTMLPlainText.h"

#include "GumboParser.h"
#include "HTMLCompactPage.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// What an element is to a reader of the page's text.
struct TagRole {
    bool hidden = false;          // its content is not seen as text
    int breaks = 0;               // around it: 2 a blank line, 1 a line break
    bool keepsWhiteSpace = false; // preformatted
};

// Made once: every element of a page asks.
const TagRole &roleOf(GumboTag tag)
{
    static const std::vector<TagRole> roles = [] {
        std::vector<TagRole> made(size_t(GUMBO_TAG_LAST) + 1);
        for (const GumboTag hidden : {GUMBO_TAG_HEAD, GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TEMPLATE,
                                      GUMBO_TAG_NOSCRIPT, GUMBO_TAG_TITLE, GUMBO_TAG_SVG})
            made[hidden].hidden = true;
        for (const GumboTag paragraph : {GUMBO_TAG_P, GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4,
                                         GUMBO_TAG_H5, GUMBO_TAG_H6, GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_PRE, GUMBO_TAG_UL,
                                         GUMBO_TAG_OL, GUMBO_TAG_DL, GUMBO_TAG_TABLE, GUMBO_TAG_HR})
            made[paragraph].breaks = 2;
        for (const GumboTag block :
             {GUMBO_TAG_ADDRESS, GUMBO_TAG_ARTICLE, GUMBO_TAG_ASIDE, GUMBO_TAG_CENTER, GUMBO_TAG_DD, GUMBO_TAG_DETAILS,
              GUMBO_TAG_DIR, GUMBO_TAG_DIV, GUMBO_TAG_DT, GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FIGURE,
              GUMBO_TAG_FOOTER, GUMBO_TAG_FORM, GUMBO_TAG_HEADER, GUMBO_TAG_HGROUP, GUMBO_TAG_LEGEND, GUMBO_TAG_LI,
              GUMBO_TAG_LISTING, GUMBO_TAG_MAIN, GUMBO_TAG_MENU, GUMBO_TAG_NAV, GUMBO_TAG_SECTION, GUMBO_TAG_SUMMARY,
              GUMBO_TAG_CAPTION, GUMBO_TAG_TR, GUMBO_TAG_THEAD, GUMBO_TAG_TBODY, GUMBO_TAG_TFOOT, GUMBO_TAG_OPTION})
            made[block].breaks = 1;
        for (const GumboTag preformatted :
             {GUMBO_TAG_PRE, GUMBO_TAG_LISTING, GUMBO_TAG_TEXTAREA, GUMBO_TAG_PLAINTEXT, GUMBO_TAG_XMP})
            made[preformatted].keepsWhiteSpace = true;
        return made;
    }();
    return roles[size_t(tag) < roles.size() ? size_t(tag) : size_t(GUMBO_TAG_UNKNOWN)];
}

bool isCollapsible(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Collects the text, collapsing white space and placing line breaks: a
// break asked for takes effect before the next text, so breaks never pile
// up and the text never starts or ends with one.
class Writer {
public:
    void breakLine(int breaks) { m_pendingBreaks = std::max(m_pendingBreaks, breaks); }
    void forcedBreak()
    {
        writeBreaks();
        m_out += u'\n';
        m_atLineStart = m_atFieldStart = true;
        m_pendingSpace = false;
    }
    // Between the cells of a row; a row's first cell starts its line.
    void separate(QChar separator)
    {
        if (m_atLineStart || m_out.isEmpty() || m_pendingBreaks > 0)
            return;
        m_out += separator;
        m_atFieldStart = true;
        m_pendingSpace = false;
    }
    void text(QStringView text, bool keepWhiteSpace)
    {
        // A piece at a time between white space: most of a page's text is words.
        qsizetype at = 0;
        while (at < text.size()) {
            if (!keepWhiteSpace && isCollapsible(text[at])) {
                m_pendingSpace = !m_atFieldStart;
                ++at;
                continue;
            }
            qsizetype end = at + 1;
            while (end < text.size() && !isCollapsible(text[end]) && text[end] != u'\n')
                ++end;
            if (keepWhiteSpace && end < text.size() && isCollapsible(text[end]) && text[end] != u'\n')
                ++end;
            writeBreaks();
            if (m_pendingSpace && !m_atFieldStart)
                m_out += u' ';
            m_pendingSpace = false;
            const qsizetype from = m_out.size();
            m_out += text.sliced(at, end - at);
            // A non-breaking space is a space to a plain-text reader.
            for (qsizetype i = from; i < m_out.size(); ++i) {
                if (m_out.at(i).unicode() == 0xA0)
                    m_out[i] = u' ';
            }
            m_atLineStart = m_atFieldStart = m_out.back() == u'\n';
            at = end;
        }
    }
    [[nodiscard]] qsizetype size() const { return m_out.size(); }
    [[nodiscard]] QString textSince(qsizetype position) const { return m_out.mid(position).simplified(); }
    [[nodiscard]] QString result()
    {
        while (!m_out.isEmpty() && isCollapsible(m_out.back()))
            m_out.chop(1);
        return m_out;
    }

private:
    void writeBreaks()
    {
        if (m_pendingBreaks == 0 || m_out.isEmpty()) {
            m_pendingBreaks = 0;
            return;
        }
        while (!m_out.isEmpty() && (m_out.back() == u' ' || m_out.back() == u'\t'))
            m_out.chop(1);
        // Only as many as asked for count: counting them all would walk a
        // page of blank lines again at each line.
        qsizetype present = 0;
        while (present < m_pendingBreaks && present < m_out.size() && m_out.at(m_out.size() - 1 - present) == u'\n')
            ++present;
        for (qsizetype add = m_pendingBreaks - present; add > 0; --add)
            m_out += u'\n';
        m_pendingBreaks = 0;
        m_atLineStart = m_atFieldStart = true;
        m_pendingSpace = false;
    }

    QString m_out;
    int m_pendingBreaks = 0;
    bool m_atLineStart = true;
    // At a line's or a cell's start, where white space is not written.
    bool m_atFieldStart = true;
    bool m_pendingSpace = false;
};

// A link's address worth giving beside its text: one a reader can follow
// elsewhere, and not only the text again.
QString shownAddress(const char *href, const QString &linkText)
{
    const QString address = QString::fromUtf8(href).trimmed();
    if (address.isEmpty() || address.startsWith(u'#'))
        return {};
    for (const char *hidden : {"javascript:", "vbscript:", "cid:", "file:", "data:"}) {
        if (address.startsWith(QLatin1String(hidden), Qt::CaseInsensitive))
            return {};
    }
    QString bare = address;
    if (bare.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        bare = bare.mid(7);
    if (bare.compare(linkText, Qt::CaseInsensitive) == 0 || address.compare(linkText, Qt::CaseInsensitive) == 0)
        return {};
    return address;
}

// The parser's text with each marker replaced by the run it stands for.
QString nodeText(const char *text, const QByteArray &page, const HTMLCompactPage &compact)
{
    QString parsed = QString::fromUtf8(text);
    if (compact.runs.empty() || !parsed.contains(QChar(HTMLCompactPage::MarkerStart)))
        return parsed;
    QString out;
    out.reserve(parsed.size());
    qsizetype at = 0;
    while (at < parsed.size()) {
        const qsizetype number = HTMLCompactPage::takeMarker(parsed, at);
        if (number >= 0 && size_t(number) < compact.runs.size()) {
            const auto [start, length] = compact.runs[size_t(number)];
            out += HTMLCompactPage::decodeRun(QByteArrayView(page.constData() + start, length));
        } else {
            out += parsed.at(at++);
        }
    }
    return out;
}

QString parsedText(const GumboOutput &output, const QByteArray &page, const HTMLCompactPage &compact)
{
    struct Step {
        const GumboNode *node;
        bool leaving;
        qsizetype linkStart;
    };
    Writer writer;
    int keepingWhiteSpace = 0;
    std::vector<Step> pending{{output.root, false, 0}};
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        const GumboNode *node = step.node;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA) {
            writer.text(nodeText(node->v.text.text, page, compact), keepingWhiteSpace > 0);
            continue;
        }
        if (node->type != GUMBO_NODE_ELEMENT)
            continue;
        const GumboElement &element = node->v.element;
        if (step.leaving) {
            writer.breakLine(roleOf(element.tag).breaks);
            keepingWhiteSpace -= roleOf(element.tag).keepsWhiteSpace;
            if (element.tag == GUMBO_TAG_A) {
                const GumboAttribute *href = gumbo_get_attribute(&element.attributes, "href");
                const QString address = href ? shownAddress(href->value, writer.textSince(step.linkStart)) : QString();
                if (!address.isEmpty())
                    writer.text(QStringLiteral(" <") + address + u'>', false);
            }
            continue;
        }
        const TagRole &role = roleOf(element.tag);
        if (role.hidden)
            continue;
        if (element.tag == GUMBO_TAG_BR) {
            writer.forcedBreak();
            continue;
        }
        if (element.tag == GUMBO_TAG_TD || element.tag == GUMBO_TAG_TH)
            writer.separate(u'\t');
        writer.breakLine(role.breaks);
        keepingWhiteSpace += role.keepsWhiteSpace;
        pending.push_back({node, true, writer.size()});
        for (unsigned c = element.children.length; c-- > 0;)
            pending.push_back({static_cast<const GumboNode *>(element.children.data[c]), false, 0});
    }
    return writer.result();
}

// For a page the checks refuse: its text with every tag taken out.
QString strippedText(const QString &html)
{
    QString text;
    text.reserve(html.size());
    for (qsizetype at = 0; at < html.size(); ++at) {
        if (html.at(at) == u'<') {
            const qsizetype close = html.indexOf(u'>', at);
            if (close < 0)
                break;
            at = close;
            text += u' ';
        } else {
            text += html.at(at);
        }
    }
    return HTMLCompactPage::decodeRun(text.toUtf8()).simplified();
}

QString converted(const QString &html, HTMLCompactPage::Shortening shortening)
{
    const QByteArray page = html.toUtf8();
    const HTMLCompactPage compact = HTMLCompactPage::make(page, shortening);
    if (compact.status != HTMLScan::Status::Parsed)
        return strippedText(html);
    const QByteArray &parsed = compact.compact.isEmpty() && compact.runs.empty() ? page : compact.compact;
    GumboParser parser;
    const GumboOutput *output = parser.parse(parsed.constData(), size_t(parsed.size()));
    if (!output)
        return strippedText(html);
    return parsedText(*output, page, compact);
}

} // namespace

namespace HTMLPlainText {

QString fromHTML(const QString &html)
{
    return converted(html, HTMLCompactPage::Shortening::ToMarker);
}

QString fromHTMLWholeText(const QString &html)
{
    return converted(html, HTMLCompactPage::Shortening::None);
}

} // namespace HTMLPlainText
