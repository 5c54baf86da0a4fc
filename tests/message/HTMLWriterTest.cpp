#include "StringToHTML.h"

#include "AttributedTagString.h"
#include "ImageTag.h"
#include "Personalizer.h"

#include "TextFixtures.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

using namespace TextFixtures;

namespace {

using Piece = std::pair<QString, TextAttributes>;

RichText build(const QList<Piece> &pieces)
{
    RichText text;
    for (const Piece &piece : pieces)
        text.append(RichText(piece.first, piece.second));
    return text;
}

// Strings that gtest prints readably when they differ.
std::string html(const RichText &text, bool fullHTML = false)
{
    return StringToHTML::htmlString(text, std::nullopt, false, QStringLiteral("MID"), fullHTML).toStdString();
}

const std::string Helvetica12 = R"(<font face="Helvetica, sans-serif" size="3" style="font-size:12pt">)";

} // namespace

TEST(HTMLWriterTest, PageFrameAndPlainText)
{
    EXPECT_EQ(html(RichText(), true), "<html><body></body></html>");
    EXPECT_EQ(html(RichText(), false), "");
    EXPECT_EQ(StringToHTML::htmlString(RichText(QStringLiteral("x")), RgbaColor{1.0f, 0.5f, 0.0f}, false, {}, true)
                  .toStdString(),
              R"(<html><body bgcolor="FF7F00">x</body></html>)");

    EXPECT_EQ(html(RichText(QStringLiteral("a<b & c"))), "a&lt;b &amp; c");
    EXPECT_EQ(html(RichText(QStringLiteral("   "))), " &nbsp;&nbsp;");
    EXPECT_EQ(html(RichText(QStringLiteral("a\tb\nc\r\nd\"'~"))),
              "a&nbsp; &nbsp; &nbsp; &nbsp;b<br>\nc<br>\n\nd\"'~");
}

TEST(HTMLWriterTest, Characters)
{
    auto one = [](char32_t c, char16_t previous) {
        QString out;
        DoGetHTMLCharString(c, previous, out);
        return out.toStdString();
    };
    EXPECT_EQ(one(u'\n', u'\r'), "\n");
    EXPECT_EQ(one(u'\r', u'x'), "<br>\n");
    EXPECT_EQ(one(1, 0), "\x01");
    EXPECT_EQ(one(127, 0), "\x7F");
    EXPECT_EQ(one(128, 0), "&#128;");
    EXPECT_EQ(one(0xE9, 0), "&#233;");

    // A character outside the basic plane is one reference of its code
    // point; a lone surrogate stays a reference of its own.
    EXPECT_EQ(html(RichText(QString::fromUtf8("\xF0\x9F\x98\x80!"))), "&#128512;!");
    EXPECT_EQ(html(RichText(QString(QChar(0xD800)) + u'x' + QChar(0xDC00))), "&#55296;x&#56320;");
}

TEST(HTMLWriterTest, FontsBoldAndColours)
{
    const RichText text = build({{"Hello ", font("Helvetica", 12)},
                                 {"bold", font("Helvetica", 12, true)},
                                 {" end", font("Helvetica", 12)}});
    EXPECT_EQ(html(text), Helvetica12 + "Hello <b>bold</b> end</font>");

    EXPECT_EQ(html(build({{"x", font("Times", 14, true, true)}, {"y", font("Times", 14)}})),
              R"(<font face="Times, serif" size="4" style="font-size:14pt"><b><i>x</i></b>y</font>)");

    const struct {
        double size;
        const char *expected;
    } sizes[] = {
        {10.9, R"(<font face="F, sans-serif" size="2" style="font-size:10pt">x</font>)"},
        {11, R"(<font face="F, sans-serif" size="3" style="font-size:11pt">x</font>)"},
        {15.9, R"(<font face="F, sans-serif" size="4" style="font-size:15pt">x</font>)"},
        {18, R"(<font face="F, sans-serif" size="5" style="font-size:18pt">x</font>)"},
        {24.9, R"(<font face="F, sans-serif" size="6" style="font-size:24pt">x</font>)"},
        {25, R"(<font face="F, sans-serif" size="7" style="font-size:25pt">x</font>)"},
    };
    for (const auto &row : sizes)
        EXPECT_EQ(html(RichText(QStringLiteral("x"), font("F", row.size))), row.expected) << row.size;

    // A colour change reopens the font; a colour without a font writes nothing.
    const RichText colours
        = build({{"r", colored(font("H", 12), {1, 0, 0.5f})}, {"g", colored(font("H", 12), {0, 1, 0})}});
    EXPECT_EQ(html(colours), R"(<font face="H, sans-serif" size="3" style="font-size:12pt" color="FF007F">r</font>)"
                             R"(<font face="H, sans-serif" size="3" style="font-size:12pt" color="00FF00">g</font>)");
    EXPECT_EQ(html(RichText(QStringLiteral("c"), colored({}, {1, 1, 1}))), "c");

    EXPECT_EQ(StringToHTML::htmlColorCode({1, 1, 1}), "FFFFFF");
    EXPECT_EQ(StringToHTML::htmlColorCode({0.5f, 0.25f, 0}), "7F3F00");
    EXPECT_EQ(StringToHTML::htmlColorCode({2, -1, std::numeric_limits<float>::quiet_NaN()}), "FF0000");
}

TEST(HTMLWriterTest, FamiliesEndWithTheGenericFamilyOfTheirKindAndTextWithoutAFontTakesTheViews)
{
    // Qt's generic families are CSS's; any other family is followed by its kind.
    const struct {
        const char *family;
        const char *face;
    } families[] = {
        {"Sans Serif", "sans-serif"},
        {"Serif", "serif"},
        {"Monospace", "monospace"},
        {"DejaVu Sans", "DejaVu Sans, sans-serif"},
        {"DejaVu Serif", "DejaVu Serif, serif"},
        {"DejaVu Sans Mono", "DejaVu Sans Mono, monospace"},
        {"Courier New", "Courier New, monospace"},
        {"Georgia", "Georgia, serif"},
    };
    for (const auto &row : families) {
        const std::string page = html(RichText(QStringLiteral("x"), font(row.family, 12)));
        EXPECT_EQ(page, std::string(R"(<font face=")") + row.face + R"(" size="3" style="font-size:12pt">x</font>)");
    }

    // The view's font for what has none, a tag without looks included; a
    // colour of its own goes with it.
    RichText text = build({{"a", {}}, {"b", colored({}, {1, 0, 0})}, {"c", font("DejaVu Serif", 14)}});
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("Name")), text, 1);
    EXPECT_EQ(StringToHTML::htmlString(text, std::nullopt, false, {}, false, nullptr,
                                       FontDescriptor{QStringLiteral("Sans Serif"), 16})
                  .toStdString(),
              R"(<font face="sans-serif" size="5" style="font-size:16pt">a</font>)"
              R"(<font face="sans-serif" size="5" style="font-size:16pt" color="FF0000">b</font>)"
              R"(<font face="DejaVu Serif, serif" size="4" style="font-size:14pt">c</font>)");
}

TEST(HTMLWriterTest, UnderlineLinksAndEscapedAttributeValues)
{
    const QVariant a = QStringLiteral("http://a.example/");
    const RichText underlinedLink = build(
        {{"on", with({}, TextAttributeName::Link, a)},
         {"e", with(with({}, TextAttributeName::Link, a), TextAttributeName::Underline, 1)}});
    EXPECT_EQ(html(underlinedLink), R"(<a href="http://a.example/">on<u>e</u></a>)");

    // Adjacent links to different places keep their own targets.
    const RichText twoLinks = build({{"one", with({}, TextAttributeName::Link, a)},
                                     {"two", with({}, TextAttributeName::Link, QStringLiteral("http://b.example/"))}});
    EXPECT_EQ(html(twoLinks), R"(<a href="http://a.example/">one</a><a href="http://b.example/">two</a>)");

    // Nothing in a value may end the quotes or open an element.
    const RichText hostile = build(
        {{"x", with(font(R"(A&B "x" <y>)", 12), TextAttributeName::Link,
                    QStringLiteral(R"(http://example.com/a b?x=1&y="2"><script>)"))}});
    EXPECT_EQ(html(hostile), R"(<font face="A&amp;B &quot;x&quot; &lt;y&gt;, sans-serif" size="3" style="font-size:12pt">)"
                             R"(<a href="http://example.com/a%20b?x=1&amp;y=%222%22%3E%3Cscript%3E">x</a></font>)");
}

TEST(HTMLWriterTest, AlignmentDivs)
{
    const RichText text = build({{"Left\n", aligned(font("Helvetica", 12), 0)},
                                 {"Centre", aligned(font("Helvetica", 12), 2)}});
    // The division holds the font: a font change in mid-line must not end it.
    EXPECT_EQ(html(text),
              Helvetica12 + "Left<br>\n</font><div style=\"text-align: center;\">" + Helvetica12 + "Centre</font></div>");

    EXPECT_EQ(html(build({{"r\n", aligned({}, 1)}, {"j\n", aligned({}, 3)}, {"n", aligned({}, 4)}})),
              "<div style=\"text-align: right;\">r<br>\n</div><div style=\"text-align: justify;\">j<br>\n</div>"
              "<div>n</div>");
    // A paragraph without a style is not aligned as the one before it; a
    // run without one in mid-paragraph is.
    EXPECT_EQ(html(build({{"c\n", aligned({}, 2)}, {"p", {}}})), "<div style=\"text-align: center;\">c<br>\n</div>p");

    // A tag value keeps to the paragraph's div, though it carries its own style.
    const TextAttributes marker{{TextAttributeName::TagMarker, TextAttributeName::TagMarker}};
    const RichText tagged = build({{"A", aligned({}, 2)},
                                   {"v", aligned(marker, 4)},
                                   {"B", {}},
                                   {"C", aligned(with({}, TextAttributeName::Underline, 1), 2)}});
    EXPECT_EQ(html(tagged), "<div style=\"text-align: center;\">AvB<u>C</u></div>");

    // A paragraph that begins with a tag changes its div before the value,
    // whatever style the tag was given, not after the value in mid-line.
    const auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    name->setAttributes(aligned({}, 2));
    RichText letter = build({{"Title\n", aligned({}, 2)}, {" rest\n", aligned({}, 4)}, {"End", aligned({}, 2)}});
    DoInsertTagInAttributedString(name, letter, 6);
    const Database::Entry entry(QVariantMap{{"0", "Ann"}});
    const Database::ColumnMap mapping{{"Name", "0"}};
    const RichText personal = Personalizer::personalizeAttributedString(letter, &entry, &mapping, nullptr);
    EXPECT_EQ(html(personal), "<div style=\"text-align: center;\">Title<br>\n</div><div>Ann rest<br>\n</div>"
                              "<div style=\"text-align: center;\">End</div>");
}

TEST(HTMLWriterTest, Lists)
{
    const QString disc = QStringLiteral("{disc}");
    const RichText bullets
        = build({{"Intro\n", aligned({}, 4)}, {"\t\u2022\tone\n\t\u2022\ttwo", aligned({}, 4, disc)}});
    EXPECT_EQ(html(bullets), R"(<div>Intro</div><ul style="list-style-type:disc"><li><div>one</div></li>)"
                             R"(<li><div>two</div></li></ul>)");

    // The line after a list follows it: the list's end ends the line.
    const RichText closed = build({{"\t1.\tone\n", aligned({}, 4, "{decimal}.")}, {"after", {}}});
    EXPECT_EQ(html(closed), "<ol style=\"list-style-type:decimal\"><li><div>one</div></li></ol>after");

    // A second, different list closes the first; a "1)" list is numbered.
    const RichText twoLists
        = build({{"\t\u2022\ta\n", aligned({}, 0, disc)}, {"\t1)\tb", aligned({}, 0, "{decimal})")}});
    EXPECT_EQ(html(twoLists), R"(<ul style="list-style-type:disc"><li>a</li></ul>)"
                              R"(<ol style="list-style-type:decimal"><li>b</li></ol>)");

    // A prefix the user broke leaves the paragraph's text alone; the search
    // for its tab never reaches into the next paragraph.
    const RichText broken
        = build({{"\t\u2022one\n", aligned({}, 0, disc)}, {"Two\tcolumns\n", {}}, {"Price:\t5", aligned({}, 0, disc)}});
    EXPECT_EQ(html(broken), "&nbsp; &nbsp; &nbsp; &nbsp;&#8226;one<br>\nTwo&nbsp; &nbsp; &nbsp; &nbsp;columns<br>\n"
                            "Price:&nbsp; &nbsp; &nbsp; &nbsp;5");

    // Carriage returns and paragraph separators end paragraphs as well; a
    // paragraph of the list's style without an item's prefix ends the list.
    const RichText crlf = build({{"\t\u2022\ta\r\n\t\u2022\tb\u2029c", aligned({}, 0, disc)}, {"\u2029d", {}}});
    EXPECT_EQ(html(crlf), "<ul style=\"list-style-type:disc\"><li>a</li><li>b</li></ul>c<br>\nd");

    // Escaping comes first, so list markup stays markup and text stays text.
    const RichText escaped = build({{"\t\u2022\t<b>", aligned({}, 0, disc)}});
    EXPECT_EQ(html(escaped), R"(<ul style="list-style-type:disc"><li>&lt;b&gt;</li></ul>)");
}

namespace {

// Where the page's elements are not well nested: an end tag that does not
// close the innermost open element, or an element left open.
std::string nestingFault(const QString &page)
{
    static const QRegularExpression tag(QStringLiteral("<(/?)([a-z]+)[^>]*>"));
    QStringList open;
    for (const QRegularExpressionMatch &match : tag.globalMatch(page)) {
        const QString name = match.captured(2);
        if (name == u"br" || name == u"img")
            continue;
        if (match.captured(1).isEmpty())
            open.append(name);
        else if (open.isEmpty() || open.takeLast() != name)
            return QStringLiteral("</%1> at %2").arg(name).arg(match.capturedStart()).toStdString();
    }
    return open.isEmpty() ? std::string() : "<" + open.join("><").toStdString() + "> left open";
}

} // namespace

TEST(HTMLWriterTest, ListsAreWellNestedWhateverTheirItemsHold)
{
    const QString disc = QStringLiteral("{disc}");
    const QString decimal = QStringLiteral("{decimal}.");
    const TextAttributes link = with({}, TextAttributeName::Link, QStringLiteral("http://example.org/"));
    ParagraphStyle nested;
    nested.textLists = {TextList{disc}, TextList{QStringLiteral("{circle}")}};
    const TextAttributes inner = with({}, TextAttributeName::ParagraphStyle, QVariant::fromValue(nested));

    Database table;
    table.addField(QStringLiteral("Name"));
    table.addEntryWithData(-1, {QStringLiteral("Ann\nSmith")});
    const Personalizer personalizer(table);
    const auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    name->setAttributes(aligned(font("Helvetica", 12, true), 0));
    RichText tagged = build({{"Dear\n", aligned(font("Helvetica", 12), 0)},
                             {"\t\u2022\tto \n\t\u2022\tend\n", aligned(font("Helvetica", 12), 0, disc)},
                             {"Bye", aligned(font("Helvetica", 12), 0)}});
    DoInsertTagInAttributedString(name, tagged, 11);

    const struct {
        const char *name;
        RichText text;
        // Line breaks that stay breaks: those the author typed outside lists
        // and inside their items' text.
        int breaks;
    } rows[] = {
        {"alignment", build({{"Intro\n", aligned({}, 2)}, {"\t\u2022\tone\n\t\u2022\ttwo\n", aligned({}, 2, disc)},
                             {"Right", aligned({}, 1)}}), 0},
        {"fonts and colours running on into the next item",
         build({{"\t1.\tplain ", aligned(font("Helvetica", 12), 4, decimal)},
                {"big\n\t2.\tstill", aligned(colored(font("Helvetica", 16, true, true), {1, 0, 0}), 4, decimal)},
                {" plain", aligned(font("Helvetica", 12), 4, decimal)}}), 0},
        {"a link and underlining across items",
         build({{"\t\u2022\tsee ", aligned({}, 0, disc)},
                {"here\n\t\u2022\tand", aligned(with(link, TextAttributeName::Underline, 1), 0, disc)},
                {" there\nAfter", {}}}), 0},
        {"tags, a value with a line break", personalizer.personalizeAttributedString(tagged), 1},
        {"nested lists", build({{"\t\u2022\touter\n", aligned({}, 4, disc)}, {"\t\u25E6\tinner\n", inner},
                                {"\t\u2022\touter again", aligned({}, 4, disc)}}), 0},
        {"numbered lists one after another",
         build({{"\t1.\ta\n", aligned({}, 4, decimal)}, {"\ta.\tb\n", aligned({}, 4, "{lower-alpha}.")},
                {"\ti.\tc", aligned({}, 4, "{lower-roman}.")}}), 0},
        {"a list that ends the text with a line break", build({{"\t\u2022\tlast\n", aligned({}, 4, disc)}}), 0},
        {"a blank line typed after a list",
         build({{"\t\u2022\tone\n", aligned({}, 0, disc)}, {"\nAfter", aligned({}, 0)}}), 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QString page = StringToHTML::htmlString(row.text, std::nullopt, false, {}, false);
        EXPECT_EQ(nestingFault(page), "") << page.toStdString();
        EXPECT_EQ(page.count(QLatin1String("<br>")), row.breaks) << page.toStdString();
    }

    EXPECT_EQ(html(rows[3].text), Helvetica12 + "Dear</font><ul style=\"list-style-type:disc\"><li>" + Helvetica12
                                      + "to <b>Ann<br>\nSmith</b></font></li><li>" + Helvetica12
                                      + "end</font></li></ul>" + Helvetica12 + "Bye</font>");
    EXPECT_EQ(html(rows[4].text), "<ul style=\"list-style-type:disc\"><li><div>outer</div></li><li><div>inner</div></li>"
                                  "<li><div>outer again</div></li></ul>");
}

TEST(HTMLWriterTest, TagsInPersonalisedText)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("pic 1.png"));
    ASSERT_TRUE(writePng(path, 4, 2));

    Database table;
    table.addField(QStringLiteral("Name"));
    table.addEntryWithData(-1, {QStringLiteral("A&B")});
    const Personalizer personalizer(table);

    const auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    name->setAttributes(aligned(font("Helvetica", 12), 2));
    RichText text = build({{"Hi ", aligned(font("Helvetica", 12), 0)}, {"!", aligned(font("Helvetica", 12), 0)}});
    DoInsertTagInAttributedString(name, text, 3);
    DoInsertTagInAttributedString(std::make_shared<ImageTag>(path), text, 4);

    // The value is written (escaped), the field tag itself nothing; the
    // marker keeps the value from opening a div; the image stands where
    // its tag stands, and a tag without attributes closes nothing.
    const RichText personal = personalizer.personalizeAttributedString(text);
    EXPECT_EQ(html(personal), Helvetica12 + "Hi A&amp;B</font>"
                                            R"(<img src="cid:pic_1.pngMID" style="margin: 0px;" width="4" height="2">)"
              + Helvetica12 + "!</font>");
    EXPECT_EQ(StringToHTML::htmlString(personal, RgbaColor{0, 0, 0}, true, {}, true).toStdString(),
        "<html><body bgcolor=\"000000\">" + Helvetica12 + "Hi A&amp;B</font><img src=\"file://" + path.toStdString()
            + R"(" style="margin: 0px;" width="4" height="2">)" + Helvetica12 + "!</font></body></html>");

    // An image without attributes inside a centred paragraph stays inside its div.
    RichText centred = build({{"AB", aligned({}, 2)}});
    DoInsertTagInAttributedString(std::make_shared<ImageTag>(path), centred, 1);
    EXPECT_EQ(html(centred), R"(<div style="text-align: center;">A)"
                             R"(<img src="cid:pic_1.pngMID" style="margin: 0px;" width="4" height="2">B</div>)");

    // An attachment that is no tag leaves no trace, not even a boundary.
    RichText other = build({{"ab", font("Helvetica", 12, true)}});
    other.insert(1,
        RichText(QString(QChar(0xFFFC)),
            {{TextAttributeName::Attachment, QVariant::fromValue(std::make_shared<TextAttachment>())}}));
    EXPECT_EQ(html(other), Helvetica12 + "<b>ab</b></font>");

    // A field and a picture given a link are one link with the text around them.
    RichText linked = build({{"Hi !", {}}});
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("Name")), linked, 3);
    DoInsertTagInAttributedString(std::make_shared<ImageTag>(path), linked, 4);
    linked.addAttribute(TextAttributeName::Link, QStringLiteral("https://example.org/"), TextRange{0, 5});
    EXPECT_EQ(html(personalizer.personalizeAttributedString(linked)),
              R"(<a href="https://example.org/">Hi A&amp;B)"
              R"(<img src="cid:pic_1.pngMID" style="margin: 0px;" width="4" height="2"></a>!)");
}
