// The text taken from RTF when a paste offers nothing else.

#include "RtfPlainText.h"

#include <gtest/gtest.h>

TEST(RtfPlainText, TextWithoutFormattingOrHiddenDestinations)
{
    struct Case {
        const char *rtf;
        QString text;
    };
    const Case cases[] = {
        // What word processors write around a line: tables, styles, fields.
        {R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Helvetica;}}{\colortbl;\red255\green0\blue0;})"
         R"({\stylesheet{\s0 Normal;}}{\info{\title Hidden}}\pard\plain\f0\fs24 Hello, {\b world}!\par})",
         QStringLiteral("Hello, world!\n")},
        {R"({\rtf1 a\tab b\line c\cell d\row})", QStringLiteral("a\tb\nc\td\n")},
        {R"({\rtf1 {\*\generator Writer;}{\*\unknowndest secret}seen})", QStringLiteral("seen")},
        {R"({\rtf1 {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt shown}}})", QStringLiteral("shown")},
        {R"({\rtf1 {\pict\pngblip 89504e47}after})", QStringLiteral("after")},
        // Escapes, code pages and Unicode with its fallback.
        {R"({\rtf1 \{\}\\ x\~y\-z})", QStringLiteral("{}\\ x\u00A0yz")},
        {R"({\rtf1\ansi\ansicpg1252 caf\'e9 \'80})", QStringLiteral("caf\u00e9 \u20ac")},
        {R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})", QStringLiteral("\u041f\u0440\u0438")},
        {R"({\rtf1 \u8364?\uc2\u-3913??\uc0\u26085 x})", QStringLiteral("\u20ac\uf0b7\u65e5x")},
        {R"({\rtf1 \ldblquote q\rdblquote\emdash\bullet})", QStringLiteral("\u201cq\u201d\u2014\u2022")},
        // Binary data is skipped by its length, whatever bytes it holds.
        {"{\\rtf1 a{\\bin4 }}{\\}c}", QStringLiteral("ac")},
        // Broken input: the text that can be read, nothing more.
        {R"({\rtf1 unclosed {\b group)", QStringLiteral("unclosed group")},
        {R"(}}}{\rtf1 x\'4)", QStringLiteral("x")},
        {"plain, no RTF at all", QStringLiteral("plain, no RTF at all")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(RtfPlainText::plainText(QByteArray(c.rtf)), c.text) << c.rtf;

    // Deep nesting costs no stack.
    const QByteArray deep = QByteArray(1000000, '{') + "deep" + QByteArray(1000000, '}');
    EXPECT_EQ(RtfPlainText::plainText(deep), QStringLiteral("deep"));
}
