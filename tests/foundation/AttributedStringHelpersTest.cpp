#include "BetterMutableAttributedString.h"

#include <gtest/gtest.h>

using namespace BetterMutableAttributedString;

namespace {

TextAttributes font(bool bold = false)
{
    return {{TextAttributeName::Font, QVariant::fromValue(FontDescriptor{QStringLiteral("Serif"), 12.0, bold, false})}};
}

TextAttributes styled(TextAttributes attributes, const QString &markerFormat, int alignment = 4)
{
    ParagraphStyle style;
    style.alignment = alignment;
    if (!markerFormat.isEmpty())
        style.textLists = {TextList{markerFormat, 0}};
    attributes.insert(TextAttributeName::ParagraphStyle, QVariant::fromValue(style));
    return attributes;
}

bool hasListAt(const RichText &text, int index)
{
    return !text.attributeAtIndex(TextAttributeName::ParagraphStyle, index).value<ParagraphStyle>().textLists.isEmpty();
}

} // namespace

TEST(AttributedStringHelpers, ReplaceAll)
{
    const struct { const char *text, *target, *replacement; SearchOptions options; const char *result; int count; }
        rows[] = {
        {"aXa", "a", "aa", {}, "aaXaa", 2},  // inserted text is not searched again
        {"aaa", "", "x", {}, "aaa", 0},       // an empty target matches nothing
        {"Hello hello", "HELLO", "Bye", SearchOption::CaseInsensitive, "Bye Bye", 2},
        {"Hello hello", "HELLO", "Bye", SearchOption::Literal, "Hello hello", 0},
        {"aaaa", "aa", "", {}, "", 2},
    };
    for (const auto &row : rows) {
        RichText text(row.text);
        EXPECT_EQ(replaceOccurencesOfString(text, row.target, row.replacement, row.options), row.count) << row.text;
        EXPECT_EQ(text.string(), row.result) << row.text;
    }

    RichText text(QStringLiteral("a"));
    text.append(RichText(QStringLiteral("X"), font(true)));
    appendString(text, QStringLiteral("b"));
    EXPECT_TRUE(text.attributesAtIndex(2).isEmpty());
    replaceOccurencesOfString(text, QStringLiteral("X"), QStringLiteral("YY"));
    TextRange run;
    EXPECT_EQ(text.attributesAtIndex(1, &run), font(true));
    EXPECT_EQ(run, (TextRange{1, 2}));
}

TEST(AttributedStringHelpers, ListOnNumbersLinesAndRestartsWhenReapplied)
{
    RichText text(QStringLiteral("one\ntwo\n\nthree"), font());
    setListStyle(text, QStringLiteral("{decimal}."), TextRange{1, 5}, {});
    EXPECT_EQ(text.string(), QStringLiteral("\t1.\tone\n\t2.\ttwo\n\nthree"));

    setListStyle(text, QStringLiteral("{decimal}."), TextRange{0, text.length()}, {});
    EXPECT_EQ(text.string(), QStringLiteral("\t1.\tone\n\t2.\ttwo\n\t3.\t\n\t4.\tthree"));
    EXPECT_EQ(text.attributesAtIndex(0), styled(font(), QStringLiteral("{decimal}.")));
    EXPECT_EQ(text.attributesAtIndex(4), font());

    setListStyle(text, QStringLiteral("{lower-alpha})"), TextRange{10, 0}, {});
    EXPECT_EQ(text.string(), QStringLiteral("\t1.\tone\n\ta)\ttwo\n\t3.\t\n\t4.\tthree"));

    // At the text's end the prefix takes the default attributes.
    RichText tail(QStringLiteral("ab\n"));
    setListStyle(tail, QStringLiteral("{decimal}."), TextRange{3, 0}, font(true));
    EXPECT_EQ(tail.string(), QStringLiteral("ab\n\t1.\t"));
    EXPECT_EQ(tail.attributesAtIndex(3), styled(font(true), QStringLiteral("{decimal}.")));

    // A marker with a line feed must not get prefixes of its own, for ever.
    RichText odd(QStringLiteral("a\nb"));
    setListStyle(odd, QStringLiteral("{decimal}\n"), TextRange{0, 3}, {});
    EXPECT_EQ(odd.string(), QStringLiteral("\t1\n\ta\n\t2\n\tb"));
}

TEST(AttributedStringHelpers, ListOffRemovesOnlyIntactPrefixes)
{
    const TextAttributes list = styled({}, QStringLiteral("{disc}"));
    const struct { const char *text; TextRange range; const char *result; TextRange newRange; } rows[] = {
        {"abc", {1, 0}, "abc", {0, 3}},                  // the user deleted the prefix
        {"\tabc\n\t\u2022\tx", {0, 9}, "\tabc\nx", {0, 6}}, // a tab on the next line is not this line's
        {"\t\u2022\ta\n\t\u2022\tb", {2, 5}, "a\nb", {0, 3}},
        {"\t1.\ta\n", {6, 0}, "\t1.\ta\n", {6, 0}},       // empty range at the end
        {"\t\u2022\ta", {3, 0}, "a", {0, 1}},
        // What only looks like a marker of the list is the user's text.
        {"\tdef\tx", {0, 0}, "\tdef\tx", {0, 6}},
        {"\t\u2022Apples\t3 EUR", {0, 0}, "\t\u2022Apples\t3 EUR", {0, 14}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        RichText text(row.text, list);
        TextRange newRange{-1, -1};
        removeListStyle(text, row.range, &newRange);
        EXPECT_EQ(text.string(), row.result);
        EXPECT_EQ(newRange, row.newRange);
        EXPECT_EQ(hasListAt(text, 0), newRange.length == 0);
    }
}

TEST(AttributedStringHelpers, ListOffReachesLinesAfterAStyleThatMergedWithItsNeighbour)
{
    // Once the first line loses its list its style equals the second line's,
    // and the next run reaches back over the first line: stepping by that
    // run's length would jump past the third line.
    const TextAttributes listed = styled({}, QStringLiteral("{decimal}."), 2);
    const TextAttributes plain = styled({}, {}, 2);
    RichText text(QStringLiteral("\t1.\ta rather long line\n"), listed);
    text.append(RichText(QStringLiteral("b\n"), plain));
    text.append(RichText(QStringLiteral("\t2.\tc"), listed));
    TextRange newRange;
    removeListStyle(text, TextRange{0, text.length()}, &newRange);
    EXPECT_EQ(text.string(), QStringLiteral("a rather long line\nb\nc"));
    EXPECT_EQ(newRange, (TextRange{0, text.length()}));
    EXPECT_EQ(text.runs().size(), 1);
}
