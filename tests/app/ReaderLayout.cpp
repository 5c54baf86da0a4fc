#include "ReaderLayout.h"

#include <QRegularExpression>
#include <QStringList>

#include <gumbo.h>

#include <optional>

namespace {

bool collapsible(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

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

class Layout {
public:
    QList<ReaderLine> lines;

    void walk(const GumboNode *node)
    {
        switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            m_line += QString::fromUtf8(node->v.text.text);
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
            m_line += QChar(0xFFFC);
            return;
        default:
            break;
        }
        if (!isBlock(element.tag)) {
            children(element);
            return;
        }
        endLine(false);
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
            showLine(QString());
        if (element.tag == GUMBO_TAG_UL || element.tag == GUMBO_TAG_OL)
            m_lists.removeLast();
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
        const bool content = std::any_of(m_line.cbegin(), m_line.cend(), [](QChar c) { return !collapsible(c); });
        if (forced || content)
            showLine(m_line);
        m_line.clear();
    }

    void showLine(const QString &text)
    {
        ReaderLine line{collapsedWhiteSpace(text), {}, 0};
        if (m_marker) {
            line.marker = m_marker->kind;
            line.number = m_marker->number;
            m_marker.reset();
        }
        lines.append(line);
    }

    QString m_line;
    QList<List> m_lists;
    List m_looseItems{QStringLiteral("disc"), false, 1};
    std::optional<Marker> m_marker;
};

} // namespace

QString collapsedWhiteSpace(const QString &text)
{
    QString result;
    result.reserve(text.size());
    bool space = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            space = !result.isEmpty();
            continue;
        }
        if (space)
            result += u' ';
        space = false;
        result += c;
    }
    return result;
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

QString describeLines(const QList<ReaderLine> &lines)
{
    QStringList described;
    for (const ReaderLine &line : lines) {
        if (line.marker.isEmpty())
            described << line.text;
        else if (line.number)
            described << QStringLiteral("[%1 %2] %3").arg(line.marker).arg(line.number).arg(line.text);
        else
            described << QStringLiteral("[%1] %2").arg(line.marker, line.text);
    }
    return described.join(u'\n');
}
