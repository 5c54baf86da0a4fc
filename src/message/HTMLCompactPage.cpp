#include "HTMLCompactPage.h"

#include "HTMLOpenElements.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

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

// ---- Markers ------------------------------------------------------------

// A start, the run's number in decimal digits, an end.
constexpr char16_t MarkerStart = HTMLCompactPage::MarkerStart;
constexpr char16_t MarkerDigitZero = 0xE001;
constexpr char16_t MarkerEnd = 0xE00B;
// A run must be longer than its marker (three bytes a character, seven digits).
constexpr qsizetype MarkerRoom = 3 * 9;

void appendMarker(QByteArray &out, size_t number)
{
    const auto append = [&out](char16_t c) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    };
    append(MarkerStart);
    const std::string digits = std::to_string(number);
    for (const char digit : digits)
        append(char16_t(MarkerDigitZero + (digit - '0')));
    append(MarkerEnd);
}

// Whether the numeric reference at `digits` (after "&#") may give a
// marker's character, in whichever of its spellings (either "x", leading
// zeros, with or without ";"). The parser adds up a long number in 32 bits,
// so one beyond Unicode may come out as any character at all.
bool mayReadAsMarker(const char *digits, const char *end)
{
    const bool hex = digits < end && (*digits == 'x' || *digits == 'X');
    char32_t value = 0;
    for (const char *at = digits + hex; at < end; ++at) {
        int digit;
        if (*at >= '0' && *at <= '9')
            digit = *at - '0';
        else if (hex && *at >= 'a' && *at <= 'f')
            digit = *at - 'a' + 10;
        else if (hex && *at >= 'A' && *at <= 'F')
            digit = *at - 'A' + 10;
        else
            break;
        value = value * (hex ? 16 : 10) + char32_t(digit);
        if (value > 0x10FFFF)
            return true;
    }
    return value >= MarkerStart && value <= MarkerEnd;
}

// The marker characters in the page, or a character reference that may
// make one (no named reference stands for a private-use character).
bool mayHoldMarkers(const QByteArray &html)
{
    // One pass over the bytes that can start either: substring searches of
    // the whole page, one each, would cost more than the rest of the walk.
    const char *data = html.constData();
    const char *end = data + html.size();
    for (const char *at = data; at < end; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte == 0xEE && at + 1 < end && static_cast<unsigned char>(at[1]) == 0x80)
            return true;
        if (byte == '&' && at + 1 < end && at[1] == '#' && mayReadAsMarker(at + 2, end))
            return true;
    }
    return false;
}

// The references this reads, each as the parser does; a run with any other
// stays for the parser.
const std::pair<std::string_view, char16_t> NamedReferences[] = {
    {"amp;", u'&'}, {"lt;", u'<'}, {"gt;", u'>'}, {"quot;", u'"'}, {"apos;", u'\''}, {"nbsp;", 0xA0},
};

// The code point of a numeric reference at `text` (after "&#"), and its
// length; none for one the parser would read otherwise (no ";", a control
// or a Windows-1252 number, a surrogate, beyond Unicode).
std::optional<std::pair<char32_t, qsizetype>> numericReference(QByteArrayView text)
{
    qsizetype at = 0;
    const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
    at += hex;
    char32_t value = 0;
    const qsizetype digitsFrom = at;
    for (; at < text.size() && at - digitsFrom < 7; ++at) {
        const char c = text[at];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * (hex ? 16 : 10) + char32_t(digit);
    }
    if (at == digitsFrom || at >= text.size() || text[at] != ';')
        return std::nullopt;
    const bool usual = (value >= 0x20 && value < 0x7F) || value == 0x09 || value == 0x0A
                       || (value >= 0xA0 && value < 0xD800) || (value > 0xDFFF && value <= 0x10FFFF);
    if (!usual || (value & 0xFFFE) == 0xFFFE || (value >= 0xFDD0 && value <= 0xFDEF))
        return std::nullopt;
    return std::make_pair(value, at + 1);
}

// Whether every "&" of the run is one this reads, or no reference at all.
bool readsAsThisDecodes(QByteArrayView run)
{
    // A line feed first is dropped by the parser right after <pre>,
    // <listing> and <textarea>; the parser may as well read such a run.
    if (run.contains('\0') || run.startsWith('\n') || run.startsWith('\r'))
        return false;
    for (qsizetype at = run.indexOf('&'); at >= 0; at = run.indexOf('&', at + 1)) {
        const QByteArrayView rest = run.sliced(at + 1);
        if (rest.isEmpty() || isSpace(rest[0]) || rest[0] == '&' || rest[0] == '<')
            continue;
        if (rest[0] == '#') {
            if (!numericReference(rest.sliced(1)))
                return false;
            continue;
        }
        const bool known = std::any_of(std::begin(NamedReferences), std::end(NamedReferences), [&](const auto &named) {
            return rest.startsWith(QByteArrayView(named.first.data(), qsizetype(named.first.size())));
        });
        if (!known)
            return false;
    }
    return true;
}

} // namespace

// Walks the tags as the tokenizer sees them and keeps the open elements as
// the tree builder would (HTMLOpenElements).
HTMLCompactPage HTMLCompactPage::make(const QByteArray &html, Shortening shortening)
{
    HTMLCompactPage result;
    const char *data = html.constData();
    const qsizetype size = html.size();
    // A page that holds the markers' characters itself is parsed whole.
    if (shortening == Shortening::ToMarker && mayHoldMarkers(html))
        shortening = Shortening::None;
    const bool dropText = shortening != Shortening::None;
    if (dropText)
        result.compact.reserve(size / 2);
    qsizetype keptFrom = 0; // start of the piece not yet copied
    // Copies the page up to `to` as it stands; what follows is left out or
    // written otherwise up to `resumeAt`.
    const auto keepUpTo = [&](qsizetype to, qsizetype resumeAt) {
        if (to > keptFrom) {
            result.pieces.emplace_back(result.compact.size(), keptFrom);
            result.compact.append(data + keptFrom, to - keptFrom);
        }
        keptFrom = resumeAt;
    };
    const auto shorten = [&](qsizetype from, qsizetype to) {
        keepUpTo(from, to);
        if (shortening != Shortening::ToMarker) {
            // Not a letter: after a "<" that is text, a letter would start a tag.
            result.compact.append('.');
        } else {
            appendMarker(result.compact, result.runs.size());
            result.runs.emplace_back(from, to - from);
        }
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
        if (dropText && isReplaceableText(data + i, data + lt)
            && (shortening != Shortening::ToMarker
                || (lt - i > MarkerRoom && readsAsThisDecodes(QByteArrayView(data + i, lt - i)))))
            shorten(i, lt);
        i = lt + 1;
        if (size - i >= 3 && std::memcmp(data + i, "!--", 3) == 0) {
            i += 3;
            skipTo("-->");
            // A comment holds no text: left out, or emptied, where the parser
            // would end it where this walk does (not "<!-->", "<!--->" or at
            // "--!>"). Between text it stays as an empty comment: it parts a
            // reference, a "<", a table's white space from its text, and a
            // <pre> from its line feed. Between tags nothing tells it apart.
            const std::string_view content(data + lt + 4, size_t(std::max<qsizetype>(i - 3 - (lt + 4), 0)));
            const bool dropsComments = shortening == Shortening::ToMarker || shortening == Shortening::ToElements;
            if (dropsComments && !content.empty() && !content.starts_with('>')
                && !content.starts_with("->") && content.find("--!>") == std::string_view::npos) {
                keepUpTo(lt, i);
                if (!(lt == 0 || data[lt - 1] == '>') || !(i >= size || data[i] == '<'))
                    result.compact.append("<!---->");
            }
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
        if (i >= size || !isAsciiAlpha(data[i])) {
            // "</" and no name: nothing when ">" follows, else a comment to
            // the next ">", as the tokenizer reads it.
            if (endTag && i < size)
                skipTo(">");
            continue;
        }
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
            // An "=" where a name starts is the name's first character.
            if (data[i] == '=')
                ++i;
            while (i < size && isNameChar(data[i]) && data[i] != '=')
                ++i;
            if (++attributes > HTMLReferenceScanner::MaxAttributesPerTag) {
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
        // For a page's text, attributes matter in a few elements only; the
        // rest of them are left out of what the parser reads.
        const bool dropsAttributes = shortening == Shortening::ToMarker
                                     || (shortening == Shortening::ToElements && name != "meta");
        if (dropsAttributes && attributes > 0 && i <= size
            && !isOneOf(name, {"a", "input", "font", "annotation-xml"})) {
            keepUpTo(lt, i);
            result.compact.append('<');
            result.compact.append(name.data(), qsizetype(name.size()));
            result.compact.append(data[i - 2] == '/' ? "/>" : ">");
        }
        if (open.depth() > HTMLReferenceScanner::MaxNesting) {
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


qsizetype HTMLCompactPage::takeMarker(const QString &text, qsizetype &at)
{
    if (at >= text.size() || text.at(at).unicode() != MarkerStart)
        return -1;
    qsizetype number = 0;
    qsizetype index = at + 1;
    for (; index < text.size() && index - at <= 8; ++index) {
        const char16_t c = text.at(index).unicode();
        if (c == MarkerEnd)
            break;
        if (c < MarkerDigitZero || c > MarkerDigitZero + 9)
            return -1;
        number = number * 10 + (c - MarkerDigitZero);
    }
    if (index >= text.size() || text.at(index).unicode() != MarkerEnd || index == at + 1)
        return -1;
    at = index + 1;
    return number;
}

QString HTMLCompactPage::decodeRun(QByteArrayView run)
{
    QString text;
    text.reserve(run.size());
    QStringDecoder utf8(QStringConverter::Utf8);
    qsizetype from = 0;
    const auto flush = [&](qsizetype to) {
        if (to > from)
            text += utf8.decode(run.sliced(from, to - from));
    };
    for (qsizetype at = 0; at < run.size(); ++at) {
        const char c = run[at];
        if (c == '\r') {
            flush(at);
            text += u'\n';
            if (at + 1 < run.size() && run[at + 1] == '\n')
                ++at;
            from = at + 1;
            continue;
        }
        if (c != '&')
            continue;
        const QByteArrayView rest = run.sliced(at + 1);
        if (!rest.isEmpty() && rest[0] == '#') {
            if (const auto numeric = numericReference(rest.sliced(1))) {
                flush(at);
                text += QString::fromUcs4(&numeric->first, 1);
                at += 1 + numeric->second;
                from = at + 1;
            }
            continue;
        }
        for (const auto &[name, character] : NamedReferences) {
            if (rest.startsWith(QByteArrayView(name.data(), qsizetype(name.size())))) {
                flush(at);
                text += QChar(character);
                at += qsizetype(name.size());
                from = at + 1;
                break;
            }
        }
    }
    flush(run.size());
    // As the parser reads its input: control characters, C1 controls and
    // noncharacters become the replacement character.
    for (qsizetype at = 0; at < text.size(); ++at) {
        char32_t c = text.at(at).unicode();
        const bool pair = QChar::isHighSurrogate(c) && at + 1 < text.size() && text.at(at + 1).isLowSurrogate();
        if (pair)
            c = QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
        const bool invalid = (c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F)
                             || (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
        if (invalid) {
            text.replace(at, pair ? 2 : 1, QChar(QChar::ReplacementCharacter));
            continue;
        }
        at += pair;
    }
    return text;
}
