#include "RichText.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

class NoteCell : public AttachmentCell {
public:
    explicit NoteCell(QString note) : note(std::move(note)) {}
    std::shared_ptr<AttachmentCell> clone() const override { return std::make_shared<NoteCell>(*this); }
    QString note;
};

class OtherCell : public AttachmentCell {
public:
    std::shared_ptr<AttachmentCell> clone() const override { return std::make_shared<OtherCell>(*this); }
};

TextAttributes colored(float red)
{
    return {{TextAttributeName::Color, QVariant::fromValue(RgbaColor{red, 0, 0, 1})}};
}

TextAttachmentRef attachment(const QByteArray &contents, std::shared_ptr<AttachmentCell> cell = nullptr)
{
    return std::make_shared<TextAttachment>(FileWrapper{contents, QStringLiteral("tag")}, std::move(cell));
}

RichText attachmentText(const TextAttachmentRef &ref)
{
    return RichText(QString(QChar(0xFFFC)), {{TextAttributeName::Attachment, QVariant::fromValue(ref)}});
}

// "abc" with a different colour on each character.
RichText threeColors()
{
    RichText text(QStringLiteral("a"), colored(0.1f));
    text.append(RichText(QStringLiteral("b"), colored(0.2f)));
    text.append(RichText(QStringLiteral("c"), colored(0.3f)));
    return text;
}

QList<int> runLengths(const RichText &text)
{
    QList<int> lengths;
    for (const RichText::Run &run : text.runs())
        lengths << run.length;
    return lengths;
}

TEST(RichText, AppendMergesEqualNeighboursAndDropsEmptyPieces)
{
    RichText text(QStringLiteral("ab"), colored(0.1f));
    text.append(RichText(QStringLiteral("cd"), colored(0.1f)));
    text.append(RichText());
    text.append(RichText(QStringLiteral("e"), colored(0.2f)));
    text.append(RichText(QStringLiteral("f"), colored(0.1f)));
    EXPECT_EQ(text.string(), QStringLiteral("abcdef"));
    EXPECT_EQ(runLengths(text), (QList<int>{4, 1, 1}));

    TextRange range;
    EXPECT_EQ(text.attributesAtIndex(2, &range), colored(0.1f));
    EXPECT_EQ(range, (TextRange{0, 4}));
    EXPECT_EQ(text.attributesAtIndex(5, &range), colored(0.1f));
    EXPECT_EQ(range, (TextRange{5, 1}));
    for (int outside : {6, 100, -1}) {
        EXPECT_TRUE(text.attributesAtIndex(outside, &range).isEmpty());
        EXPECT_EQ(range, (TextRange{6, 0}));
    }
}

TEST(RichText, AttributeRangeSpansRunsThatDifferElsewhere)
{
    // Underlined "abcd", colour changing after "ab": the underline's range
    // crosses the colour boundary, the colour's does not.
    RichText text(QStringLiteral("abcdef"));
    text.addAttribute(TextAttributeName::Underline, 1, {0, 4});
    text.addAttributes(colored(0.5f), {2, 4});
    ASSERT_EQ(runLengths(text), (QList<int>{2, 2, 2}));

    TextRange range;
    EXPECT_EQ(text.attributeAtIndex(TextAttributeName::Underline, 3, &range).toInt(), 1);
    EXPECT_EQ(range, (TextRange{0, 4}));
    EXPECT_FALSE(text.attributeAtIndex(TextAttributeName::Underline, 5, &range).isValid());
    EXPECT_EQ(range, (TextRange{4, 2}));
    const TextRange within{1, 2};
    EXPECT_EQ(text.attributeAtIndex(TextAttributeName::Underline, 1, &range, &within).toInt(), 1);
    EXPECT_EQ(range, within);
    EXPECT_TRUE(text.attributeAtIndex(TextAttributeName::Color, 3, &range).isValid());
    EXPECT_EQ(range, (TextRange{2, 4}));
}

TEST(RichText, ReplacedCharactersInheritAttributes)
{
    struct Case {
        const char *name;
        TextRange range;
        QString expectedText;
        float expectedRed; // 0: no attributes
    };
    const Case cases[] = {
        {"first replaced character", {1, 2}, QStringLiteral("aXY"), 0.2f},
        {"empty range takes the one before", {1, 0}, QStringLiteral("aXYbc"), 0.1f},
        {"empty range at the start takes the one after", {0, 0}, QStringLiteral("XYabc"), 0.1f},
        {"empty range at the end", {3, 0}, QStringLiteral("abcXY"), 0.3f},
        {"range past the end is cut", {2, 50}, QStringLiteral("abXY"), 0.3f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RichText text = threeColors();
        text.replaceCharacters(c.range, QStringLiteral("XY"));
        EXPECT_EQ(text.string(), c.expectedText);
        const int at = int(c.expectedText.indexOf(u'X'));
        TextRange range;
        EXPECT_EQ(text.attributesAtIndex(at, &range), colored(c.expectedRed));
        EXPECT_GE(range.length, 2) << "the new characters merge with the run they joined";
    }

    RichText empty;
    empty.replaceCharacters({0, 0}, QStringLiteral("new"));
    EXPECT_TRUE(empty.attributesAtIndex(0).isEmpty());
    EXPECT_EQ(runLengths(empty), QList<int>{3});
}

TEST(RichText, BadRangesAreClampedNeverFatal)
{
    struct Case {
        TextRange range;
        QString covered; // what the range means in "abc"
    };
    const Case cases[] = {
        {{-1, 2}, QString()},           {{1, -3}, QString()},
        {{2, 100}, QStringLiteral("c")}, {{10, 1}, QString()},
        {{INT_MAX, INT_MAX}, QString()}, {{1, INT_MAX}, QStringLiteral("bc")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.range.location << "+" << c.range.length);
        RichText text = threeColors();
        EXPECT_EQ(text.attributedSubstring(c.range).string(), c.covered);
        text.setAttributes(colored(0.9f), c.range);
        EXPECT_EQ(text.runs().size(), c.covered.isEmpty() ? 3 : 4 - c.covered.size());
        text.deleteCharacters(c.range);
        EXPECT_EQ(text.length(), 3 - c.covered.size());
    }
    RichText text = threeColors();
    text.insert(-4, RichText(QStringLiteral("<")));
    text.insert(99, RichText(QStringLiteral(">")));
    EXPECT_EQ(text.string(), QStringLiteral("<abc>"));
}

TEST(RichText, InsertingRichTextKeepsItsRunsAndMergesSeams)
{
    RichText text = threeColors();
    text.insert(1, text); // the source is the text itself
    EXPECT_EQ(text.string(), QStringLiteral("aabcbc"));
    EXPECT_EQ(runLengths(text), (QList<int>{2, 1, 1, 1, 1}));

    RichText middle(QStringLiteral("xy"), colored(0.2f));
    RichText target = threeColors();
    target.replaceCharacters({1, 1}, middle);
    EXPECT_EQ(runLengths(target), (QList<int>{1, 2, 1}));
}

TEST(RichText, AttributeEditsSplitAndRemergeRuns)
{
    RichText text = threeColors();
    text.addAttribute(TextAttributeName::Link, QStringLiteral("https://example.org/"), {1, 1});
    EXPECT_EQ(runLengths(text), (QList<int>{1, 1, 1}));
    text.setAttributes({}, {0, 3});
    EXPECT_EQ(runLengths(text), QList<int>{3});

    text.addAttributes(colored(0.4f), {1, 2});
    text.addAttribute(TextAttributeName::Color, QVariant(), {2, 1});
    EXPECT_EQ(runLengths(text), (QList<int>{1, 1, 1}));
    text.removeAttribute(TextAttributeName::Color, {0, 2});
    EXPECT_EQ(runLengths(text), QList<int>{3});
}

TEST(RichText, SubstringCutsRunsAtItsEdges)
{
    RichText text(QStringLiteral("aaaa"), colored(0.1f));
    text.append(RichText(QStringLiteral("bbbb"), colored(0.2f)));
    const RichText part = text.attributedSubstring({2, 4});
    EXPECT_EQ(part.string(), QStringLiteral("aabb"));
    EXPECT_EQ(runLengths(part), (QList<int>{2, 2}));
    TextRange range;
    EXPECT_EQ(part.attributesAtIndex(3, &range), colored(0.2f));
    EXPECT_EQ(range, (TextRange{2, 2}));
}

TEST(RichText, DeepCloneOwnsNewAttachmentsAndCells)
{
    const TextAttachmentRef original = attachment("archive", std::make_shared<NoteCell>(QStringLiteral("before")));
    RichText text(QStringLiteral("x"));
    text.append(attachmentText(original));

    const RichText clone = text.deepClone();
    EXPECT_EQ(clone, text);
    const auto copied = clone.attributesAtIndex(1).value(TextAttributeName::Attachment).value<TextAttachmentRef>();
    ASSERT_TRUE(copied && copied->cell);
    EXPECT_NE(copied, original);
    EXPECT_NE(copied->cell, original->cell);
    static_cast<NoteCell &>(*copied->cell).note = QStringLiteral("after");
    copied->fileWrapper.preferredFilename = QStringLiteral("renamed");
    EXPECT_EQ(static_cast<NoteCell &>(*original->cell).note, QStringLiteral("before"));
    EXPECT_EQ(original->fileWrapper.preferredFilename, QStringLiteral("tag"));
}

TEST(RichText, AttachmentsCompareByContentButStaySeparateRuns)
{
    const auto cell = [] { return std::make_shared<NoteCell>(QStringLiteral("n")); };
    struct Case {
        const char *name;
        TextAttachmentRef other;
        bool equal;
    };
    const TextAttachmentRef reference = attachment("a", cell());
    const Case cases[] = {
        {"same content, other objects", attachment("a", cell()), true},
        {"other cell state, same kind", attachment("a", std::make_shared<NoteCell>(QStringLiteral("m"))), true},
        {"other wrapper", attachment("b", cell()), false},
        {"other cell kind", attachment("a", std::make_shared<OtherCell>()), false},
        {"no cell", attachment("a"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(attachmentText(reference) == attachmentText(c.other), c.equal);
    }

    // Two look-alike tags next to each other are still two cells.
    RichText pair = attachmentText(attachment("a", cell()));
    pair.append(attachmentText(attachment("a", cell())));
    EXPECT_EQ(runLengths(pair), (QList<int>{1, 1}));
    RichText merged(QString(2, QChar(0xFFFC)), attachmentText(reference).attributesAtIndex(0));
    EXPECT_EQ(pair, merged);
}

TEST(RichText, EqualityLooksAtEveryAttributeValue)
{
    const auto font = [](bool bold) {
        return TextAttributes{{TextAttributeName::Font, QVariant::fromValue(FontDescriptor{"Sans", 12, bold, false})}};
    };
    const auto list = [](const char *format) {
        ParagraphStyle style;
        style.textLists = {TextList{QString::fromLatin1(format), 0}};
        return TextAttributes{{TextAttributeName::ParagraphStyle, QVariant::fromValue(style)}};
    };
    EXPECT_TRUE(textAttributesEqual(font(false), font(false)));
    EXPECT_FALSE(textAttributesEqual(font(false), font(true)));
    EXPECT_TRUE(textAttributesEqual(list("{disc}"), list("{disc}")));
    EXPECT_FALSE(textAttributesEqual(list("{disc}"), list("{decimal}")));
    EXPECT_FALSE(RichText(QStringLiteral("ab"), font(false)) == RichText(QStringLiteral("ab"), font(true)));
    EXPECT_FALSE(RichText(QStringLiteral("ab")) == RichText(QStringLiteral("ac")));
}

TEST(TextList, MarkersForEveryFormat)
{
    struct Case {
        QString format;
        int number;
        QString marker;
    };
    const Case cases[] = {
        {QStringLiteral("{disc}"), 7, QStringLiteral("\u2022")},
        {QStringLiteral("{decimal})"), 3, QStringLiteral("3)")},
        {QStringLiteral("({lower-alpha})"), 1, QStringLiteral("(a)")},
        {QStringLiteral("{upper-alpha}."), 26, QStringLiteral("Z.")},
        {QStringLiteral("{lower-alpha}"), 27, QStringLiteral("aa")},
        {QStringLiteral("{lower-alpha}"), 53, QStringLiteral("ba")},
        {QStringLiteral("{lower-alpha}"), 703, QStringLiteral("aaa")},
        {QStringLiteral("{upper-roman}"), 1994, QStringLiteral("MCMXCIV")},
        {QStringLiteral("{lower-roman}"), 4, QStringLiteral("iv")},
        {QStringLiteral("{lower-roman}"), 4000, QStringLiteral("4000")},
        {QStringLiteral("{lower-alpha}"), 0, QStringLiteral("0")},
        {QStringLiteral("{octal}"), 8, QStringLiteral("10")},
        {QStringLiteral("{lower-hexadecimal}"), 255, QStringLiteral("ff")},
        {QStringLiteral("{upper-hexadecimal}"), 255, QStringLiteral("FF")},
        {QStringLiteral("{upper-hexadecimal}"), INT_MIN, QStringLiteral("-80000000")},
        {QStringLiteral("[{nonsense}]"), 2, QStringLiteral("[]")},
        {QStringLiteral("{decimal"), 2, QStringLiteral("{decimal")},
        {QStringLiteral("no placeholder"), 2, QStringLiteral("no placeholder")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TextList({c.format, 0}).markerForItemNumber(c.number), c.marker) << c.format.toStdString();
}

TEST(TextList, MarkersReadBackAsTheirItemsNumbersAndNothingElseIsOne)
{
    // Every marker a list writes names its item; markers that do not
    // depend on the number name none (0).
    const char *const formats[] = {"{disc}", "{hyphen}", "{decimal}.", "{decimal})", "{upper-alpha}.",
                                   "{lower-alpha})", "({lower-alpha})", "{upper-roman}.", "{lower-roman}.",
                                   "{octal}", "{upper-hexadecimal}", "[{nonsense}]"};
    for (const char *format : formats) {
        const TextList list{QLatin1String(format), 0};
        const bool numbered = list.markerForItemNumber(1) != list.markerForItemNumber(2);
        for (int number = 1; number <= 4100; number += number < 100 ? 1 : 37) {
            const std::optional<int> read = list.itemNumberOfMarker(list.markerForItemNumber(number));
            ASSERT_TRUE(read) << format << " " << number;
            EXPECT_EQ(*read, numbered ? number : 0) << format << " " << number;
        }
    }

    // What only looks like a marker is text.
    const struct {
        const char *format;
        const char *text;
    } notMarkers[] = {{"{decimal}.", "1"},     {"{decimal}.", "01."},   {"{decimal}.", "1.x"},
                      {"{decimal}.", " 1."},   {"{decimal}.", ""},      {"{decimal})", "1."},
                      {"{lower-roman}.", "iiii."}, {"{lower-roman}.", "vx."}, {"{lower-roman}.", "IV."},
                      {"{lower-alpha}.", "A."}, {"{lower-alpha}.", "a1."}, {"{disc}", "\u2022x"},
                      {"{disc}", "*"}};
    for (const auto &c : notMarkers)
        EXPECT_FALSE(TextList({QLatin1String(c.format), 0}).itemNumberOfMarker(QString::fromUtf8(c.text)))
            << c.format << " " << c.text;
}

TEST(TextList, AParagraphIsAnItemOnlyByAWholePrefixOfItsList)
{
    const TextList decimal{QStringLiteral("{decimal}."), 0};
    const TextList disc{QStringLiteral("{disc}"), 0};
    EXPECT_EQ(decimal.itemPrefixLength(u"\t12.\tApples\t3 EUR"), 5);
    EXPECT_EQ(decimal.itemPrefixLength(u"\t1.\t"), 4);
    EXPECT_EQ(disc.itemPrefixLength(u"\t\u2022\tApples"), 3);
    // A prefix broken, or never one: the paragraph's text all stays text.
    const struct {
        const TextList &list;
        const char16_t *paragraph;
    } noItems[] = {{decimal, u""},
                   {decimal, u"\t"},
                   {decimal, u"1.\tApples"},
                   {decimal, u"\t1.Apples"},
                   {decimal, u"\t\tApples"},
                   {decimal, u"\tApples\t3 EUR"},
                   {decimal, u"\t\u2022\tApples"},
                   {disc, u"\t1.\tApples"},
                   {disc, u"\u2022\tApples"}};
    for (const auto &c : noItems)
        EXPECT_EQ(c.list.itemPrefixLength(c.paragraph), 0) << QString::fromUtf16(c.paragraph).toStdString();
}

TEST(RichText, LargeTextsStayLinear)
{
    // About 1 MB in 20,000 pieces; quadratic appends or lookups would take
    // minutes here rather than milliseconds.
    const QString piece(25, u'x');
    RichText text;
    for (int i = 0; i < 20000; ++i)
        text.append(RichText(piece, colored(float(i % 7))));
    ASSERT_EQ(text.runs().size(), 20000);
    int index = 0;
    int runs = 0;
    TextRange range;
    while (index < text.length()) {
        EXPECT_EQ(text.attributesAtIndex(index, &range), colored(float(runs % 7)));
        index = range.end();
        ++runs;
    }
    EXPECT_EQ(runs, 20000);
    text.addAttribute(TextAttributeName::Underline, 1, {0, text.length()});
    EXPECT_EQ(text.attributedSubstring({12, text.length() - 24}).runs().size(), 20000);
}

} // namespace
