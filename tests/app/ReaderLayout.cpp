#include "ReaderLayout.h"

#include <QRegularExpression>
#include <QStringList>

#include <gumbo.h>

#include <optional>

namespace {

QString attribute(const GumboElement &element, const char *name)
{
    const GumboAttribute *found = gumbo_get_attribute(&element.attributes, name);
    return found ? QString::fromUtf8(found->value) : QString();
}

// Elements that lay out as blocks in a reader's default style sheet.
bool isBlock(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_P:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_UL:
        return true;
    default:
        return false;
    }
}

// What a list's style asks for; a bulleted list whose style a reader does
// not know shows discs, an ordered one decimal numbers.
QString listKind(const GumboElement &element)
{
    static const QRegularExpression styleType(QStringLiteral("list-style-type\\s*:\\s*([a-z-]+)"));
    const bool ordered = element.tag == GUMBO_TAG_OL;
    const QStringList known = ordered
                                  ? QStringList{"decimal", "lower-alpha", "upper-alpha", "lower-roman", "upper-roman"}
                                  : QStringList{"disc", "circle", "square"};
    const QString type = styleType.match(attribute(element, "style").toLower()).captured(1);
    if (known.contains(type))
        return type;
    if (ordered) {
        const QString html = attribute(element, "type");
        if (html == u"a")
            return QStringLiteral("lower-alpha");
        if (html == u"A")
            return QStringLiteral("upper-alpha");
        if (html == u"i")
            return QStringLiteral("lower-roman");
        if (html == u"I")
            return QStringLiteral("upper-roman");
    }
    return known.first();
}

// A text-align value as a left-to-right reader shows it; none for a value
// it ignores, which leaves the inherited one.
std::optional<QString> shownAlignment(QString value, const QString &inherited)
{
    value = value.trimmed().toLower();
    if (value == u"left" || value == u"start" || value == u"initial")
        return QStringLiteral("left");
    if (value == u"right" || value == u"end")
        return QStringLiteral("right");
    if (value == u"center" || value == u"-webkit-center" || value == u"-moz-center")
        return QStringLiteral("center");
    if (value == u"justify")
        return QStringLiteral("justify");
    if (value == u"inherit")
        return inherited;
    return std::nullopt;
}

// The alignment of a block's lines: its own text-align declaration (the
// last valid one), else the presentational one, else its parent's.
QString blockAlignment(const GumboElement &element, const QString &inherited)
{
    std::optional<QString> own;
    for (const QString &declaration : attribute(element, "style").split(u';')) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon < 0 || declaration.left(colon).trimmed().toLower() != u"text-align")
            continue;
        QString value = declaration.mid(colon + 1);
        value.remove(QRegularExpression(QStringLiteral("!\\s*important\\s*$"), QRegularExpression::CaseInsensitiveOption));
        if (const auto shown = shownAlignment(value, inherited))
            own = shown;
    }
    if (own)
        return *own;
    if (element.tag == GUMBO_TAG_CENTER)
        return QStringLiteral("center");
    const QString align = attribute(element, "align").toLower();
    if (align == u"middle")
        return QStringLiteral("center");
    if (!align.isEmpty() && align != u"inherit")
        return shownAlignment(align, inherited).value_or(inherited);
    return inherited;
}

class Layout {
public:
    QList<ReaderLine> lines;

    void walk(const GumboNode *node)
    {
        switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            text(QString::fromUtf8(node->v.text.text));
            return;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE:
            element(node->v.element);
            return;
        default:
            return;
        }
    }

private:
    struct List {
        QString kind;
        bool ordered = false;
        int next = 1;
    };
    struct Marker {
        QString kind;
        int number = 0;
    };

    void text(const QString &text)
    {
        const bool showedNothing = !m_line.showsSomething();
        m_line.append(text, m_href);
        // A line is aligned by the block it stands in.
        if (showedNothing && m_line.showsSomething())
            m_lineAlignment = m_alignment;
    }

    void element(const GumboElement &element)
    {
        switch (element.tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_TITLE:
            return;
        case GUMBO_TAG_BR:
            endLine(true);
            return;
        case GUMBO_TAG_IMG:
            text(QString(QChar(0xFFFC)));
            return;
        default:
            break;
        }
        const QString outerHref = m_href;
        if (element.tag == GUMBO_TAG_A)
            m_href = attribute(element, "href");
        if (!isBlock(element.tag)) {
            children(element);
            m_href = outerHref;
            return;
        }
        endLine(false);
        const QString outerAlignment = m_alignment;
        m_alignment = blockAlignment(element, m_alignment);
        if (element.tag == GUMBO_TAG_UL || element.tag == GUMBO_TAG_OL) {
            List list{listKind(element), element.tag == GUMBO_TAG_OL, 1};
            bool numeric = false;
            const int start = attribute(element, "start").toInt(&numeric);
            if (numeric)
                list.next = start;
            m_lists.append(list);
        }
        if (element.tag == GUMBO_TAG_LI) {
            // An item outside any list shows a disc.
            List &list = m_lists.isEmpty() ? m_looseItems : m_lists.last();
            bool numeric = false;
            const int value = attribute(element, "value").toInt(&numeric);
            if (numeric && list.ordered)
                list.next = value;
            m_marker = Marker{list.kind, list.ordered ? list.next : 0};
            ++list.next;
        }
        children(element);
        endLine(false);
        // An empty item still shows its marker on a line of its own.
        if (element.tag == GUMBO_TAG_LI && m_marker)
            showLine();
        if (element.tag == GUMBO_TAG_UL || element.tag == GUMBO_TAG_OL)
            m_lists.removeLast();
        m_alignment = outerAlignment;
        m_href = outerHref;
    }

    void children(const GumboElement &element)
    {
        for (unsigned i = 0; i < element.children.length; ++i)
            walk(static_cast<const GumboNode *>(element.children.data[i]));
    }

    // A <br> ends the line whatever it holds; a block's edge shows the line
    // under way only when something in it is more than collapsible space.
    void endLine(bool forced)
    {
        if (forced || m_line.showsSomething())
            showLine();
        m_line.clear();
    }

    void showLine()
    {
        ReaderLine line;
        m_line.finishInto(line);
        // A line that shows nothing stands in the block it ends in.
        line.alignment = m_line.showsSomething() ? m_lineAlignment : m_alignment;
        if (m_marker) {
            line.marker = m_marker->kind;
            line.number = m_marker->number;
            m_marker.reset();
        }
        lines.append(line);
    }

    ReaderLineText m_line;
    QString m_lineAlignment;
    QString m_alignment = QStringLiteral("left");
    QString m_href;
    QList<List> m_lists;
    List m_looseItems{QStringLiteral("disc"), false, 1};
    std::optional<Marker> m_marker;
};

} // namespace

void ReaderLineText::append(QStringView text, const QString &href)
{
    for (const QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f')
            m_showsSomething = true;
        if (c.isSpace()) {
            if (!m_text.isEmpty() && !m_spacePending) {
                m_spacePending = true;
                m_spaceHref = href;
            }
            continue;
        }
        if (m_spacePending)
            put(u' ', m_spaceHref);
        m_spacePending = false;
        put(c, href);
    }
}

void ReaderLineText::put(QChar c, const QString &href)
{
    if (!href.isEmpty()) {
        if (!m_links.isEmpty() && m_links.last().from + m_links.last().length == m_text.size()
            && m_links.last().href == href)
            ++m_links.last().length;
        else
            m_links.append(ReaderLink{m_text.size(), 1, href});
    }
    m_text += c;
}

void ReaderLineText::finishInto(ReaderLine &line) const
{
    line.text = m_text;
    line.links = m_links;
}

void ReaderLineText::clear()
{
    m_text.clear();
    m_links.clear();
    m_showsSomething = false;
    m_spacePending = false;
    m_spaceHref.clear();
}

QList<ReaderLine> readerLines(const QString &page)
{
    const QByteArray utf8 = page.toUtf8();
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    Layout layout;
    layout.walk(output->root);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return layout.lines;
}

QString alignmentName(Qt::Alignment alignment)
{
    if (alignment & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (alignment & Qt::AlignJustify)
        return QStringLiteral("justify");
    if (alignment & Qt::AlignRight)
        return QStringLiteral("right");
    return QStringLiteral("left");
}

QString linkedText(const ReaderLine &line)
{
    QString text;
    qsizetype done = 0;
    for (const ReaderLink &link : line.links) {
        text += QStringView(line.text).mid(done, link.from - done);
        text += u'[';
        text += QStringView(line.text).mid(link.from, link.length);
        text += QStringLiteral("](") + link.href + u')';
        done = link.from + link.length;
    }
    text += QStringView(line.text).mid(done);
    return text;
}

QString describeLines(const QList<ReaderLine> &lines, Alignments alignments)
{
    QStringList described;
    for (const ReaderLine &line : lines) {
        QString shown;
        if (alignments == Alignments::Shown && !line.alignment.isEmpty() && line.alignment != u"left")
            shown = u'{' + line.alignment + QStringLiteral("} ");
        if (line.number)
            shown += QStringLiteral("[%1 %2] ").arg(line.marker).arg(line.number);
        else if (!line.marker.isEmpty())
            shown += QStringLiteral("[%1] ").arg(line.marker);
        described << shown + linkedText(line);
    }
    return described.join(u'\n');
}
