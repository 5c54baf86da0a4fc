#include "StringToHTML.h"

#include "AttributedTagString.h"
#include "HTMLFontFace.h"
#include "SimpleTag.h"

#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// What the boundary markup reads from one side; pointers into the side's
// attribute values, which outlive the boundary.
struct RunLook {
    const FontDescriptor *font = nullptr;
    const RgbaColor *color = nullptr;
    const QVariant *link = nullptr;
    const ParagraphStyle *paragraphStyle = nullptr;
    bool underline = false;
    bool marker = false;
};

template <typename T>
const T *valueIfOfType(const QVariant &value)
{
    return value.typeId() == qMetaTypeId<T>() ? static_cast<const T *>(value.constData()) : nullptr;
}

// A walk over the few attributes of a run costs less than a lookup by name.
const ParagraphStyle *paragraphStyleOf(const TextAttributes &attributes)
{
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        if (it.key() == TextAttributeName::ParagraphStyle)
            return valueIfOfType<ParagraphStyle>(*it);
    }
    return nullptr;
}

// One pass over the attributes rather than a lookup for each name: this
// runs for every run of every recipient's HTML.
RunLook lookOf(const TextAttributes &attributes)
{
    RunLook look;
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        const QString &name = it.key();
        switch (name.size()) {
        case 6:
            if (name == TextAttributeName::Font)
                look.font = valueIfOfType<FontDescriptor>(*it);
            else if (name == TextAttributeName::Link)
                look.link = &*it;
            break;
        case 7:
            if (name == TextAttributeName::Color)
                look.color = valueIfOfType<RgbaColor>(*it);
            break;
        case 11:
            if (name == TextAttributeName::Underline)
                look.underline = true;
            break;
        case 16:
            if (name == TextAttributeName::ParagraphStyle)
                look.paragraphStyle = valueIfOfType<ParagraphStyle>(*it);
            break;
        default:
            if (name == TextAttributeName::TagMarker)
                look.marker = true;
            break;
        }
    }
    return look;
}

QString linkText(const QVariant &link)
{
    if (link.typeId() == QMetaType::QUrl)
        return link.toUrl().toString();
    return link.toString();
}

const char *attributeEntity(char16_t c)
{
    switch (c) {
    case u'&':
        return "&amp;";
    case u'<':
        return "&lt;";
    case u'>':
        return "&gt;";
    case u'"':
        return "&quot;";
    default:
        return nullptr;
    }
}

// Values of markup attributes: a font name or a URL must not end the quoted
// value or open an element.
void appendEscapedAttributeValue(QString &out, QStringView value)
{
    qsizetype done = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char *entity = attributeEntity(value[i].unicode());
        if (!entity)
            continue;
        out.append(value.mid(done, i - done));
        out += QLatin1String(entity);
        done = i + 1;
    }
    out.append(value.mid(done));
}

void appendHref(QString &out, const QVariant &link)
{
    const QUrl url = link.typeId() == QMetaType::QUrl ? link.toUrl() : QUrl(link.toString(), QUrl::TolerantMode);
    out += QLatin1String(" href=\"");
    appendEscapedAttributeValue(out, QString::fromLatin1(url.toEncoded()));
    out += u'"';
}

// Truncation toward zero that stays defined for sizes read from stored
// files (huge, infinite or not a number).
int truncated(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

// Decimal digits without a temporary string: numbers are written at every
// font change and for every character past ASCII.
void appendNumber(QString &out, qint64 number)
{
    if (number < 0) {
        out += u'-';
        number = -number;
    }
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0);
    while (count > 0)
        out += QLatin1Char(digits[--count]);
}

int colorComponent(float component)
{
    const float scaled = component * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    return scaled >= 255.0f ? 255 : int(scaled);
}

void appendColorCode(QString &out, const RgbaColor &color)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const float component : {color.red, color.green, color.blue}) {
        const int value = colorComponent(component);
        out += QLatin1Char(hex[value >> 4]);
        out += QLatin1Char(hex[value & 15]);
    }
}

int sizeClass(double pointSize)
{
    if (pointSize < 11)
        return 2;
    if (pointSize < 13)
        return 3;
    if (pointSize < 16)
        return 4;
    if (pointSize < 19)
        return 5;
    if (pointSize < 25)
        return 6;
    return 7;
}

// The point size as it stands: the text views' points are the page's, both
// a 72nd of an inch at the screen's resolution, so the reader shows the
// text at the size the author saw it.
void appendFontStart(QString &out, const FontDescriptor &font, const RgbaColor *color)
{
    out += QLatin1String("<font face=\"");
    appendEscapedAttributeValue(out, HTMLFontFace::faceList(font.family));
    out += QLatin1String("\" size=\"");
    appendNumber(out, sizeClass(font.pointSize));
    out += QLatin1String("\" style=\"font-size:");
    appendNumber(out, truncated(font.pointSize));
    out += QLatin1String("pt\"");
    if (color) {
        out += QLatin1String(" color=\"");
        appendColorCode(out, *color);
        out += u'"';
    }
    out += u'>';
}

using ElementKind = HTMLOpenElement::Kind;

void appendEndTag(QString &out, ElementKind kind)
{
    switch (kind) {
    case ElementKind::Division:
        out += QLatin1String("</div>");
        break;
    case ElementKind::Font:
        out += QLatin1String("</font>");
        break;
    case ElementKind::Link:
        out += QLatin1String("</a>");
        break;
    case ElementKind::Bold:
        out += QLatin1String("</b>");
        break;
    case ElementKind::Italic:
        out += QLatin1String("</i>");
        break;
    case ElementKind::Underline:
        out += QLatin1String("</u>");
        break;
    }
}

void closeFrom(HTMLRunState &state, qsizetype depth, QString &out)
{
    while (state.open.size() > depth) {
        appendEndTag(out, state.open.last().kind);
        state.open.removeLast();
    }
}

bool isParagraphSeparator(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x2029;
}

// The division of an alignment; the left one has none. A justified
// paragraph is justified for the reader as it is in the editor.
std::optional<int> divisionOf(int alignment)
{
    if (alignment >= 1 && alignment <= 4)
        return alignment;
    return std::nullopt;
}

// The elements a run needs, outermost first, compared with those open: the
// ones that differ close from the innermost out, and what the run needs
// opens again, so every element closes inside the one it opened in.
// `current` null: the end of the text. A run whose attributes are nil (a tag
// without attributes) is an empty look, not the end: it must not close the
// paragraph's div in mid-line.
void writeBoundary(const RunLook &previous, const RunLook *current, HTMLRunState &state, QString &out)
{
    if (!current) {
        closeFrom(state, 0, out);
        return;
    }
    const RunLook &now = *current;

    // The division follows the paragraph's alignment; next to a tag's value
    // it stays as it is, since the value's style is the tag's, not the
    // paragraph's.
    std::optional<int> division;
    if (!state.open.isEmpty() && state.open.first().kind == ElementKind::Division)
        division = state.open.first().alignment;
    if (now.paragraphStyle && !previous.marker && !now.marker)
        division = divisionOf(now.paragraphStyle->alignment);
    // A paragraph without a style of its own is not the aligned one before it.
    if (!now.paragraphStyle && isParagraphSeparator(state.previousCharacter))
        division.reset();

    struct Wanted {
        ElementKind kind;
        bool matches(const HTMLOpenElement &open, const std::optional<int> &division, const RunLook &look) const
        {
            if (open.kind != kind)
                return false;
            switch (kind) {
            case ElementKind::Division:
                return open.alignment == *division;
            case ElementKind::Font:
                return open.font.family == look.font->family && open.font.pointSize == look.font->pointSize
                       && (look.color ? open.color == *look.color : !open.color);
            case ElementKind::Link:
                return open.link == linkText(*look.link);
            default:
                return true;
            }
        }
    };
    QVarLengthArray<Wanted, 6> wanted;
    if (division)
        wanted.append({ElementKind::Division});
    if (now.font)
        wanted.append({ElementKind::Font});
    if (now.link)
        wanted.append({ElementKind::Link});
    if (now.font && now.font->bold)
        wanted.append({ElementKind::Bold});
    if (now.font && now.font->italic)
        wanted.append({ElementKind::Italic});
    if (now.underline)
        wanted.append({ElementKind::Underline});

    qsizetype kept = 0;
    while (kept < wanted.size() && kept < state.open.size()
           && wanted[kept].matches(state.open[kept], division, now))
        ++kept;
    closeFrom(state, kept, out);

    for (qsizetype i = kept; i < wanted.size(); ++i) {
        HTMLOpenElement element;
        element.kind = wanted[i].kind;
        switch (element.kind) {
        case ElementKind::Division:
            element.alignment = *division;
            if (*division == 1)
                out += QLatin1String("<div style=\"text-align: right;\">");
            else if (*division == 2)
                out += QLatin1String("<div style=\"text-align: center;\">");
            else if (*division == 3)
                out += QLatin1String("<div style=\"text-align: justify;\">");
            else
                out += QLatin1String("<div>");
            break;
        case ElementKind::Font:
            element.font = *now.font;
            if (now.color)
                element.color = *now.color;
            appendFontStart(out, *now.font, now.color);
            break;
        case ElementKind::Link:
            element.link = linkText(*now.link);
            out += QLatin1String("<a");
            appendHref(out, *now.link);
            out += u'>';
            break;
        case ElementKind::Bold:
            out += QLatin1String("<b>");
            break;
        case ElementKind::Italic:
            out += QLatin1String("<i>");
            break;
        case ElementKind::Underline:
            out += QLatin1String("<u>");
            break;
        }
        state.open.append(std::move(element));
    }
}

void appendCharacter(QString &out, char32_t c, char16_t previous)
{
    if (c > 32 && c < 128) {
        out += QChar(char16_t(c));
    } else if (c == u' ') {
        if (previous == u' ')
            out += QLatin1String("&nbsp;");
        else
            out += u' ';
    } else if (c == u'\t') {
        out += QLatin1String("&nbsp; &nbsp; &nbsp; &nbsp;");
    } else if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
        // A line break the text views show as one (Shift+Return, or a
        // stored text's paragraph separator): no reader breaks a line at it.
        out += QLatin1String("<br>\n");
    } else if (c == u'\n' || c == u'\r') {
        if (previous == u'\r')
            out += QChar(char16_t(c));
        else
            out += QLatin1String("<br>\n");
    } else if (c < 32) {
        out += QChar(char16_t(c));
    } else {
        // "%03i": every value here has three digits at least.
        out += QLatin1String("&#");
        appendNumber(out, c);
        out += u';';
    }
}

// Ordinary characters of one run. A surrogate pair is one character, so one
// reference of its code point; a lone surrogate is written as it stands.
// Stretches that are written as they stand are copied in one piece.
void appendRunCharacters(QString &out, QStringView characters, HTMLRunState &state)
{
    const QChar *data = characters.data();
    const qsizetype size = characters.size();
    char16_t previous = state.previousCharacter;
    qsizetype stretch = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = data[i].unicode();
        if ((unit > 32 && unit < 128) || (unit == u' ' && previous != u' ')) {
            previous = unit;
            continue;
        }
        out.append(data + stretch, i - stretch);
        char32_t c = unit;
        if (QChar::isHighSurrogate(unit) && i + 1 < size && data[i + 1].isLowSurrogate()) {
            ++i;
            c = QChar::surrogateToUcs4(unit, data[i].unicode());
        }
        appendCharacter(out, c, previous);
        previous = data[i].unicode();
        stretch = i + 1;
    }
    out.append(data + stretch, size - stretch);
    state.previousCharacter = previous;
}

struct ListMarkup {
    QString opening;
    QString closing;
};

ListMarkup listMarkup(const QString &markerFormat)
{
    static constexpr struct {
        const char *format;
        const char *element;
        const char *type;
    } table[] = {
        {"{disc}", "ul", "disc"},
        {"{hyphen}", "ul", "hyphen"},
        {"{circle}", "ul", "circle"},
        {"{square}", "ul", "square"},
        {"{check}", "ul", "check"},
        // Readers know no numbering with a parenthesis: "1)" and "a)"
        // lists are numbered as "1." and "a." lists are.
        {"{decimal}.", "ol", "decimal"},
        {"{decimal})", "ol", "decimal"},
        {"{upper-alpha}.", "ol", "upper-alpha"},
        {"{lower-alpha}.", "ol", "lower-alpha"},
        {"{lower-alpha})", "ol", "lower-alpha"},
        {"{upper-roman}.", "ol", "upper-roman"},
        {"{lower-roman}.", "ol", "lower-roman"},
    };
    for (const auto &row : table) {
        if (markerFormat == QLatin1String(row.format)) {
            const QString element = QLatin1String(row.element);
            return {QStringLiteral("<%1 style=\"list-style-type:%2\"><li>").arg(element, QLatin1String(row.type)),
                    QStringLiteral("</li></%1>").arg(element)};
        }
    }
    return {QStringLiteral("<ul><li>"), QStringLiteral("</li></ul>")};
}

// One change the list rewrite makes, in positions of the text before any
// change: [from, to) is replaced by the markup; from == to inserts it.
struct ListEdit {
    int from = 0;
    int to = 0;
    QString markup;
};

// The runs of a text visited in order of position, each step a walk
// forward from the last.
class RunCursor {
public:
    explicit RunCursor(const RichText &text) : m_runs(text.runs()) {}
    const RichText::Run &at(int index)
    {
        while (m_index + 1 < m_runs.size() && index >= m_start + m_runs[m_index].length) {
            m_start += m_runs[m_index].length;
            ++m_index;
        }
        return m_runs[m_index];
    }
    // Where the run at the last index asked ends.
    [[nodiscard]] int runEnd() const { return m_start + m_runs[m_index].length; }

private:
    const QList<RichText::Run> &m_runs;
    qsizetype m_index = 0;
    int m_start = 0;
};

bool isTagValue(const TextAttributes &attributes)
{
    return attributes.contains(TextAttributeName::TagMarker);
}

// Where the prefix of a list item, "\t" + marker + "\t", ends (its second
// tab), for a paragraph that begins with one: the marker is one the list
// writes for an item, and all of it was typed, not a tag's value. -1 for
// any other paragraph: what the author typed is never taken for a marker.
qsizetype itemPrefixEnd(const QString &string, int paragraphStart, int contentEnd, const TextList &list,
                        RunCursor &runs)
{
    const qsizetype length =
        list.itemPrefixLength(QStringView(string).mid(paragraphStart, contentEnd - paragraphStart));
    if (length == 0)
        return -1;
    const qsizetype tab = paragraphStart + length - 1;
    for (int at = paragraphStart; at <= tab; at = runs.runEnd()) {
        const TextAttributes &attributes = runs.at(at).attributes;
        if (isTagValue(attributes) || attributes.contains(TextAttributeName::Attachment))
            return -1;
    }
    return tab;
}

// Whether the last line of [from, to) shows nothing in a reader: nothing
// or only blanks and tags after its last line break (in a list item, only
// when it has one: an empty item shows its marker).
bool lastLineShowsNothing(const QString &string, int from, int to, bool item)
{
    for (int at = to - 1; at >= from; --at) {
        const QChar c = string.at(at);
        // A line break inside a paragraph: the view's, or one in a tag's value.
        if (c == QChar::LineSeparator || c == u'\n' || c == u'\r')
            return true;
        if (c != u' ' && c != QChar(0xFFFC))
            return false;
    }
    return !item;
}

// The list rewrite, worked out on the unchanged text: escaping adds no tab
// and no line break, so it moves nothing the rewrite looks for. The markup
// takes the place of the line breaks around the items, which the list's
// elements make: no blank line comes before or after a list that the
// author did not type. A line break the list's start or end would take
// from a line that shows nothing stays: the line is there only by it.
QList<ListEdit> listEdits(const RichText &text)
{
    QList<ListEdit> edits;
    const bool anyList = std::any_of(text.runs().cbegin(), text.runs().cend(), [](const RichText::Run &run) {
        const ParagraphStyle *style = paragraphStyleOf(run.attributes);
        return style && !style->textLists.isEmpty();
    });
    if (!anyList)
        return edits;

    const QString &string = text.string();
    const int length = int(string.size());
    // Most texts end their paragraphs with line feeds only, which a
    // vectorised search finds fastest.
    const bool lineFeedsOnly = !string.contains(u'\r') && !string.contains(QChar(0x2029));
    const auto nextSeparator = [&](int from) {
        if (lineFeedsOnly) {
            const qsizetype lineFeed = string.indexOf(u'\n', from);
            return lineFeed < 0 ? length : int(lineFeed);
        }
        while (from < length && !isParagraphSeparator(string.at(from).unicode()))
            ++from;
        return from;
    };
    RunCursor separators(text);
    RunCursor styles(text);
    RunCursor prefixes(text);
    bool listOpen = false;
    TextList openList;
    ListMarkup openMarkup;
    // The previous paragraph's terminator; start -1 before the first.
    int previousTerminator = -1;
    int previousTerminatorLength = 0;
    bool previousShowsNothing = false;
    int paragraphStart = 0;
    while (paragraphStart < length) {
        // A line break in a tag's value is the value's, not the end of the
        // paragraph the tag stands in.
        int contentEnd = nextSeparator(paragraphStart);
        while (contentEnd < length && isTagValue(separators.at(contentEnd).attributes))
            contentEnd = nextSeparator(contentEnd + 1);
        int terminatorLength = 0;
        if (contentEnd < length)
            terminatorLength =
                string.at(contentEnd) == u'\r' && contentEnd + 1 < length && string.at(contentEnd + 1) == u'\n' ? 2 : 1;

        // The paragraph's style, where a tag's value (with a style of the
        // tag's) does not stand for it.
        const ParagraphStyle *style = nullptr;
        for (int at = paragraphStart; at < std::max(contentEnd, paragraphStart + 1) && at < length;) {
            const RichText::Run &run = styles.at(at);
            if (!isTagValue(run.attributes)) {
                style = paragraphStyleOf(run.attributes);
                if (style)
                    break;
            }
            at = styles.runEnd();
        }
        // Deeper levels are written at the outermost one; the marker is the
        // innermost one's.
        const TextList *list = style && !style->textLists.isEmpty() ? &style->textLists.first() : nullptr;
        const qsizetype tab =
            list ? itemPrefixEnd(string, paragraphStart, contentEnd, style->textLists.last(), prefixes) : -1;
        // The line break before this paragraph, where it goes to the list.
        const int breakBefore = previousTerminator < 0 || previousShowsNothing ? paragraphStart : previousTerminator;

        if (tab >= 0) {
            ListEdit edit{breakBefore, int(tab) + 1, {}};
            if (!listOpen) {
                openMarkup = listMarkup(list->markerFormat);
                edit.markup = openMarkup.opening;
            } else if (*list != openList) {
                const ListMarkup next = listMarkup(list->markerFormat);
                edit.markup = openMarkup.closing + next.opening;
                openMarkup = next;
            } else {
                edit.markup = QStringLiteral("</li><li>");
            }
            listOpen = true;
            openList = *list;
            edits.append(std::move(edit));
        } else if (listOpen) {
            // A paragraph that is no item, in a list's style or not, ends
            // the list: readers count the items after it anew.
            edits.append(ListEdit{breakBefore, paragraphStart, openMarkup.closing});
            listOpen = false;
        }
        previousShowsNothing =
            lastLineShowsNothing(string, tab >= 0 ? int(tab) + 1 : paragraphStart, contentEnd, tab >= 0);
        previousTerminator = contentEnd;
        previousTerminatorLength = terminatorLength;
        paragraphStart = contentEnd + terminatorLength;
    }
    if (listOpen) {
        // A list that ends the text ends it: the line break after its last
        // item would be a blank line.
        const bool endsInBreak = previousTerminatorLength > 0 && !previousShowsNothing;
        edits.append(ListEdit{endsInBreak ? previousTerminator : length, length, openMarkup.closing});
    }
    return edits;
}

// The characters and runs the writer walks: a copy of the text's
// characters (escaped, lists rewritten) with runs that point at the
// attributes of the original text, which outlives it, and the list markup
// in pieces of its own.
struct FlatText {
    struct Piece {
        qsizetype start = 0;
        qsizetype length = 0;
        const TextAttributes *attributes = nullptr; // null: markup
    };
    QString characters;
    QVarLengthArray<Piece, 128> pieces;

    // Runs merge as in RichText, so the walk sees the runs a RichText would have.
    void append(QStringView text, const TextAttributes &attributes)
    {
        if (text.isEmpty())
            return;
        const qsizetype start = characters.size();
        characters.append(text);
        if (!pieces.isEmpty() && pieces.last().attributes
            && (pieces.last().attributes == &attributes || *pieces.last().attributes == attributes)) {
            pieces.last().length += text.size();
            return;
        }
        pieces.append(Piece{start, text.size(), &attributes});
    }
    void appendMarkup(QStringView markup, const TextAttributes *)
    {
        pieces.append(Piece{characters.size(), markup.size(), nullptr});
        characters.append(markup);
    }
};

// The markup goes in as characters with the attributes that
// RichText::replaceCharacters would give them.
struct RichTextSink {
    RichText &text;
    void append(QStringView characters, const TextAttributes &attributes)
    {
        text.appendCharacters(characters, attributes);
    }
    void appendMarkup(QStringView markup, const TextAttributes *attributes)
    {
        text.appendCharacters(markup, attributes ? *attributes : text.runs().last().attributes);
    }
};

template <typename Sink>
void appendEscaped(Sink &out, QStringView characters, const TextAttributes &attributes)
{
    const char16_t *data = characters.utf16();
    const qsizetype size = characters.size();
    qsizetype done = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = data[i];
        if (c != u'&' && c != u'<' && c != u'>')
            continue;
        out.append(characters.mid(done, i - done), attributes);
        out.append(c == u'&' ? u"&amp;" : c == u'<' ? u"&lt;" : u"&gt;", attributes);
        done = i + 1;
    }
    out.append(characters.mid(done), attributes);
}

// The text with the edits made and, when asked, "&", "<" and ">" escaped
// outside the markup. Markup that replaces characters is given the
// attributes of the first of them; inserted markup those of the character
// before it (none: null, the sink's last).
template <typename Sink>
void rewrite(const RichText &text, const QList<ListEdit> &edits, bool escape, Sink &out)
{
    const QStringView characters(text.string());
    RunCursor runs(text);
    int written = 0;
    auto copy = [&](int from, int to) {
        while (from < to) {
            const RichText::Run &run = runs.at(from);
            const int end = std::min(to, runs.runEnd());
            const QStringView piece = characters.mid(from, end - from);
            if (escape)
                appendEscaped(out, piece, run.attributes);
            else
                out.append(piece, run.attributes);
            from = end;
        }
        written = std::max(written, to);
    };
    int cursor = 0;
    for (const ListEdit &edit : edits) {
        copy(cursor, edit.from);
        const TextAttributes *attributes = nullptr;
        if (edit.to > edit.from || written == 0)
            attributes = &runs.at(std::min(edit.from, text.length() - 1)).attributes;
        out.appendMarkup(edit.markup, attributes);
        cursor = edit.to;
    }
    copy(cursor, text.length());
}

} // namespace

QString StringToHTML::htmlColorCode(const RgbaColor &color)
{
    QString code;
    code.reserve(6);
    appendColorCode(code, color);
    return code;
}

void DoGetTagString(const TextAttributes *previous, const TextAttributes *current, HTMLRunState &state,
                    QString &out)
{
    const RunLook previousLook = previous ? lookOf(*previous) : RunLook{};
    if (!current) {
        writeBoundary(previousLook, nullptr, state, out);
        return;
    }
    const RunLook currentLook = lookOf(*current);
    writeBoundary(previousLook, &currentLook, state, out);
}

void DoGetHTMLCharString(char32_t character, char16_t previous, QString &out)
{
    appendCharacter(out, character, previous);
}

void DoConvertListsToHTML(RichText &text)
{
    const QList<ListEdit> edits = listEdits(text);
    if (edits.isEmpty())
        return;
    RichText result;
    RichTextSink sink{result};
    rewrite(text, edits, false, sink);
    text = result;
}

QString StringToHTML::htmlString(const RichText &text, const std::optional<RgbaColor> &background, bool absolutePath,
                                 const QString &messageID, bool fullHTML, const ContentIdNames *contentIdNames,
                                 const std::optional<FontDescriptor> &textFont)
{
    // Escaped before the lists are written, so that only the list markup
    // reaches the page unescaped. Both in one copy of the text.
    FlatText work;
    work.characters.reserve(text.length() + 256);
    rewrite(text, listEdits(text), true, work);

    QString out;
    out.reserve(work.characters.size() * 3 / 2 + 256);
    if (fullHTML) {
        if (background) {
            out += QLatin1String("<html><body bgcolor=\"");
            appendColorCode(out, *background);
            out += QLatin1String("\">");
        } else {
            out += QLatin1String("<html><body>");
        }
    }

    // Tag runs (their attributes replaced by the tag's, possibly none) and
    // ordinary runs; attachments that are not tags leave no trace, not even
    // a boundary.
    struct WalkRun {
        qsizetype start = 0;
        qsizetype length = 0;
        SimpleTagRef tag;
        RunLook look;
        const ParagraphStyle *ownStyle = nullptr;
        bool markup = false;
    };
    QVarLengthArray<WalkRun, 128> runs;
    for (const FlatText::Piece &piece : work.pieces) {
        WalkRun walkRun{piece.start, piece.length, nullptr, {}, nullptr, false};
        if (!piece.attributes) {
            walkRun.markup = true;
            runs.append(std::move(walkRun));
            continue;
        }
        const TextAttributes &attributes = *piece.attributes;
        if (attributes.contains(TextAttributeName::Attachment)) {
            walkRun.tag = tagInAttributes(attributes);
            if (!walkRun.tag)
                continue;
            const std::optional<TextAttributes> &tagAttributes = walkRun.tag->attributes();
            if (tagAttributes)
                walkRun.look = lookOf(*tagAttributes);
            walkRun.ownStyle = paragraphStyleOf(attributes);
            // A tag in a link is linked, as its value is (a picture too).
            if (const auto link = attributes.constFind(TextAttributeName::Link); link != attributes.cend())
                walkRun.look.link = &*link;
        } else {
            walkRun.look = lookOf(attributes);
            if (!walkRun.look.marker)
                walkRun.ownStyle = walkRun.look.paragraphStyle;
        }
        if (!walkRun.look.font && textFont)
            walkRun.look.font = &*textFont;
        runs.append(std::move(walkRun));
    }
    // A tag and its value belong to the paragraph they stand in, whatever
    // paragraph style the tag was once given: they take the paragraph's
    // alignment from the tag character or the text after them. A paragraph
    // that begins with a tag so opens its div before the value, not after
    // it in mid-line, and a value inside a paragraph changes no div.
    const ParagraphStyle *paragraphStyle = nullptr;
    for (qsizetype i = runs.size() - 1; i >= 0; --i) {
        WalkRun &run = runs[i];
        const bool tagPart = run.tag || run.look.marker;
        if (run.ownStyle)
            paragraphStyle = run.ownStyle;
        else if (!tagPart)
            paragraphStyle = nullptr;
        if (tagPart && paragraphStyle) {
            run.look.paragraphStyle = paragraphStyle;
            run.look.marker = false;
        }
    }

    HTMLRunState state;
    RunLook previous;
    const QStringView characters(work.characters);
    for (const WalkRun &run : runs) {
        if (run.markup) {
            // A list's elements hold what is open inside them, its items
            // what is open inside each: all of it closes before them and
            // opens again inside, as the next run needs it.
            writeBoundary(previous, nullptr, state, out);
            out += characters.mid(run.start, run.length);
            previous = RunLook{};
            state.previousCharacter = 0;
            continue;
        }
        writeBoundary(previous, &run.look, state, out);
        if (run.tag)
            out += run.tag->getHTMLCodeWithAbsolutePath(absolutePath, messageID, contentIdNames);
        else
            appendRunCharacters(out, characters.mid(run.start, run.length), state);
        previous = run.look;
    }
    writeBoundary(previous, nullptr, state, out);

    if (fullHTML)
        out += QLatin1String("</body></html>");
    return out;
}
