// Arbitrary text, read as UTF-8 and as UTF-16, as the HTML part of a
// message. The page as sent is read again with the HTML parser (gumbo's
// tree, not the scanner that wrote it): the first declaration a reader
// takes names the part's charset, and so does every declaration, unless
// the page was past the parser's bounds (then it starts with one of its
// own, which a reader takes first). The page as sent differs from the page
// only in what its declarations name; and the part's bytes read back in its
// charset give the page as sent.

#include "HTMLReferenceScanner.h"
#include "HtmlCharsetDeclarations.h"
#include "StringEncoder.h"

#include <QByteArray>
#include <QString>

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void require(bool ok, const char *what, const QString &page)
{
    if (ok)
        return;
    std::fprintf(stderr, "broken: %s\npage: %s\n", what, page.left(2000).toUtf8().constData());
    std::abort();
}

int hexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The bytes behind quoted-printable text: a line break is LF, soft ones
// are dropped.
QByteArray unquoted(const QByteArray &text, const QString &page)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            require(i + 1 < text.size() && text[i + 1] == '\n', "a CR alone", page);
            bytes += '\n';
            ++i;
        } else if (text[i] != '=') {
            require(text[i] != '\n', "an LF alone", page);
            bytes += text[i];
        } else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2;
        } else {
            require(i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 && hexValue(text.at(i + 2)) >= 0,
                    "a broken =XX", page);
            bytes += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        }
    }
    return bytes;
}

// Whether the bytes are the text in the charset.
bool holds(const QByteArray &bytes, const QString &charset, const QString &text)
{
    if (charset == u"ISO-8859-1" || charset == u"US-ASCII")
        return QString::fromLatin1(bytes) == text;
    if (charset == u"windows-1252")
        return StringEncoder::toWindows1252(text) == bytes;
    // A lone surrogate has no UTF-8 form: it reads back as a replacement.
    return charset == u"UTF-8" && QString::fromUtf8(bytes) == QString::fromUtf8(text.toUtf8());
}

// ---- The parser's reading of the page as sent ------------------------------

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// HTML's "extracting a character encoding from a meta element", over the
// content value as the parser gives it.
std::optional<QByteArray> contentCharset(const QByteArray &value)
{
    qsizetype at = 0;
    for (;;) {
        const qsizetype found = value.toLower().indexOf("charset", at);
        if (found < 0)
            return std::nullopt;
        at = found + 7;
        while (at < value.size() && isSpace(value[at]))
            ++at;
        if (at >= value.size() || value[at] != '=')
            continue;
        ++at;
        while (at < value.size() && isSpace(value[at]))
            ++at;
        if (at >= value.size())
            return std::nullopt;
        if (value[at] == '"' || value[at] == '\'') {
            const qsizetype close = value.indexOf(value[at], at + 1);
            if (close < 0)
                return std::nullopt;
            return value.mid(at + 1, close - at - 1);
        }
        qsizetype end = at;
        while (end < value.size() && !isSpace(value[end]) && value[end] != ';')
            ++end;
        return value.mid(at, end - at);
    }
}

struct Declaration {
    unsigned offset; // of its element in the page
    QByteArray label;
};

// Every declaration the parser reads, in the order of the page.
std::vector<Declaration> parsedDeclarations(const QByteArray &page)
{
    std::vector<Declaration> declarations;
    GumboOutput *output = gumbo_parse_with_options(&kGumboDefaultOptions, page.constData(), size_t(page.size()));
    std::vector<const GumboNode *> pending{output->document};
    while (!pending.empty()) {
        const GumboNode *node = pending.back();
        pending.pop_back();
        const GumboVector *children = &node->v.document.children;
        if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement &element = node->v.element;
            children = &element.children;
            if (element.tag == GUMBO_TAG_META && element.tag_namespace == GUMBO_NAMESPACE_HTML) {
                const GumboAttribute *charset = gumbo_get_attribute(&element.attributes, "charset");
                const GumboAttribute *pragma = gumbo_get_attribute(&element.attributes, "http-equiv");
                const GumboAttribute *content = gumbo_get_attribute(&element.attributes, "content");
                if (charset && *charset->value)
                    declarations.push_back({element.start_pos.offset, QByteArray(charset->value)});
                if (pragma && qstricmp(pragma->value, "content-type") == 0 && content) {
                    if (const auto label = contentCharset(QByteArray(content->value)); label && !label->isEmpty())
                        declarations.push_back({element.start_pos.offset, *label});
                }
            }
        } else if (node->type != GUMBO_NODE_DOCUMENT) {
            continue;
        }
        for (unsigned c = children->length; c-- > 0;)
            pending.push_back(static_cast<const GumboNode *>(children->data[c]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    std::stable_sort(declarations.begin(), declarations.end(),
                     [](const Declaration &a, const Declaration &b) { return a.offset < b.offset; });
    return declarations;
}

// The encoding a browser takes a label for, of those the part may be in
// (the WHATWG encoding standard's labels); empty for any other.
QByteArray encodingOf(QByteArray label)
{
    label = label.trimmed().toLower();
    for (const char *utf8 : {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8"}) {
        if (label == utf8)
            return "utf-8";
    }
    for (const char *latin : {"iso-8859-1", "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987", "latin1", "l1",
                              "windows-1252", "cp1252", "x-cp1252", "us-ascii", "ascii"}) {
        if (label == latin)
            return "windows-1252";
    }
    return {};
}

void check(const QString &input)
{
    const StringEncoder encoder = StringEncoder::forHtmlPage(input);
    const QString &sent = encoder.rawString();
    const QString charset = encoder.charset();
    const QString page = StringEncoder(input).rawString();
    const HtmlCharsetDeclarations before(page);
    require(before.withCharset(page, charset) == sent || sent == page, "more changed than the names", input);

    const QByteArray partEncoding = encodingOf(charset.toLatin1());
    const std::vector<Declaration> declarations = parsedDeclarations(sent.toUtf8());
    const auto names = [&](const Declaration &d) { return encodingOf(d.label) == partEncoding; };
    const auto first = std::find_if(declarations.cbegin(), declarations.cend(),
                                    [](const Declaration &d) { return !encodingOf(d.label).isEmpty(); });
    require(first == declarations.cend() || names(*first), "a reader takes another charset first", input);
    if (HTMLReferenceScanner::metaElements(page))
        require(std::all_of(declarations.cbegin(), declarations.cend(), names), "the page and its part disagree",
                input);

    if (charset == u"US-ASCII") {
        for (const QChar c : sent)
            require(c.unicode() < 0x80, "US-ASCII that is not", input);
    }
    // A CR right before an LF is part of the line break the encoder writes.
    QString read = sent;
    read.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    require(holds(unquoted(encoder.encodedString(), input), charset, read), "the part does not read back as the page",
            input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8192)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(QString::fromUtf8(bytes));
    check(QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2));
    return 0;
}
