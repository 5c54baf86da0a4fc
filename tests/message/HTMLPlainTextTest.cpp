// The plain-text alternative of a raw-HTML message: what a reader of the
// page sees, the same whether the parser reads the text or it is read
// beside the parser for speed.

#include "HTMLPlainText.h"
#include "MessageTab.h"
#include "Personalizer.h"

#include "Database.h"

#include <gtest/gtest.h>

TEST(HTMLPlainText, WhatAReaderOfThePageSees)
{
    const QString longRun = QStringLiteral("Fish &amp; chips for &#8364;5 &lt;today&gt; &#x2014; only&nbsp;here");
    const struct {
        const char *what;
        QString html;
        QString text;
    } cases[] = {
        {"white space collapses", "  lots   of\n\t space  ", "lots of space"},
        {"blocks and breaks", "a<br>b<div>c</div>d<p>e</p>f<br><br>g", "a\nb\nc\nd\n\ne\n\nf\n\ng"},
        {"references, short and long", "<p>caf&eacute; &amp; cr&egrave;me</p><p>" + longRun + "</p>",
         QString::fromUtf8("café & crème\n\nFish & chips for €5 <today> — only here")},
        {"references only the parser reads, in a long run", "<p>&copy; 2024 Example Corp, all rights reserved &amp; more",
         QString::fromUtf8("© 2024 Example Corp, all rights reserved & more")},
        {"head, styles and scripts", "<html><head><title>T</title><style>p{color:red}</style></head><body>"
                                     "<script>var a = '<p>x</p> and a long enough run of text';</script>Hi</body></html>",
         "Hi"},
        {"links", "<a href=\"http://x.org/a\">Site</a> <a href=\"mailto:me@x.org\">me@x.org</a> <a href=\"#top\">Top</a> "
                  "<a href=\"cid:logo@1\">Logo</a> <a href=\"javascript:go()\">Go</a>",
         "Site <http://x.org/a> me@x.org Top Logo Go"},
        {"table cells", "<table><tr><td>a</td><td> b </td></tr><tr><th>c</th><td>d</td></tr></table>after",
         "a\tb\nc\td\n\nafter"},
        {"preformatted", "<pre>x  y\r\n z and a run long enough to be read beside the parser</pre>",
         "x  y\n z and a run long enough to be read beside the parser"},
        {"the parser's own characters in the page", QString::fromUtf8("<p>\xEE\x80\x80 a private character, and a long run</p>"),
         QString::fromUtf8("\xEE\x80\x80 a private character, and a long run")},
        {"a comment parts a reference and a \"<\"", "<p>x&am<!-- c -->p; a<<!-- c -->b</p>", "x&amp; a<b"},
        {"a comment parts a table's white space from its text", "a<table>  <!-- c -->x<tr><td>b</td></tr></table>",
         "ax\n\nb"},
        {"a comment keeps the line feed after <pre>", "<p>a</p><pre><!-- c -->\nx</pre>", "a\n\n\nx"},
        {"a page too deep to parse keeps its text", QString("<div>").repeated(1000) + "deep &amp; <b>bold</b> text",
         "deep & bold text"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(HTMLPlainText::fromHTML(c.html).toStdString(), c.text.toStdString());
        EXPECT_EQ(HTMLPlainText::fromHTMLWholeText(c.html).toStdString(), c.text.toStdString());
    }
}

// The text read beside the parser stands in the parser's input as
// private-use characters; a page writing those characters itself, in any
// spelling the parser reads (here where the parser reads them, after a
// reference only it knows), must still get its own text as a raw-HTML
// message's plain part.
TEST(HTMLPlainText, PagesOwnPrivateCharactersInAnySpelling)
{
    const QString first = QStringLiteral("<p>The first paragraph, long enough to be read beside the parser.</p>");
    const char *spellings[] = {
        "&#0057344;&#0057345;&#0057355;", "&#x0E000;&#x0e001;&#x0E00B;", "&#XE000;&#XE001;&#XE00B;",
        "&#57344&#57345&#57355", "&#x0E000&#xE001&#xE00B", "&#4295024640;&#0057345;&#0057355;",
        "&#x10000E000;&#x0E001;&#x0E00B;",
    };
    Database table;
    table.addField(QStringLiteral("Name"));
    table.addEntryWithData(-1, {QStringLiteral("Ann")});
    for (const char *spelling : spellings) {
        SCOPED_TRACE(spelling);
        const QString page = first + "<p>&copy; " + QString::fromUtf8(spelling) + " after</p>";
        MessageTab message;
        message.setMode(MessageTab::Mode::RawHTML);
        message.setBodyText(RichText(page));
        const QString plain = message.plainTextStringWithPersonalizer(Personalizer(table));
        EXPECT_EQ(plain.toStdString(), HTMLPlainText::fromHTMLWholeText(page).toStdString());
        EXPECT_TRUE(plain.startsWith("The first paragraph") && plain.endsWith(" after") && plain.count("first") == 1);
    }
}
