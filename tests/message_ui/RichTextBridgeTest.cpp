#include "RichTextBridge.h"

#include "message/TextFixtures.h"

#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <gtest/gtest.h>

using namespace TextFixtures;

namespace {

const QChar Replacement(0xFFFC);

QList<const void *> tagIdentities(const RichText &text)
{
    QList<const void *> identities;
    for (const SimpleTagRef &tag : AttributedTagString::tags(text))
        identities.append(tag.get());
    return identities;
}

RichText joined(std::initializer_list<RichText> pieces)
{
    RichText text;
    for (const RichText &piece : pieces)
        text.append(piece);
    return text;
}

RichText throughDocument(const RichText &text, QTextDocument &document)
{
    RichTextBridge::setDocumentText(&document, text);
    return RichTextBridge::documentText(&document);
}

// One paragraph per kind of paragraph style, runs of every attribute kind,
// every separator the text system knows, tags of every kind.
RichText everyAttributeKind()
{
    ParagraphStyle listed;
    listed.alignment = 0;
    listed.textLists = {TextList{QStringLiteral("{decimal})"), 1}};
    listed.otherValues = {{QStringLiteral("NSHeadIndent"), 36.0}, {QStringLiteral("NSTabStops"), QVariantList{28.0}}};
    const TextAttributes listAttributes{{TextAttributeName::ParagraphStyle, QVariant::fromValue(listed)}};

    RichText text;
    text.append(RichText(QStringLiteral("Plain\t\u00a0"), listAttributes));
    text.append(RichText(QStringLiteral("bold"), with(font(QStringLiteral("Serif"), 13.5, true, true),
                                                        TextAttributeName::ParagraphStyle,
                                                        QVariant::fromValue(listed))));
    text.append(RichText(QStringLiteral("\n")));
    text.append(RichText(QStringLiteral("right"), aligned(colored({}, RgbaColor{0.3f, 0.6f, 0.9f, 0.5f}), 1)));
    text.append(RichText(QStringLiteral("\r"), aligned({}, 1)));
    text.append(RichText(QStringLiteral("centred"), aligned(with({}, TextAttributeName::Underline, 1), 2)));
    text.append(RichText(QStringLiteral("thick"), aligned(with({}, TextAttributeName::Underline, qint64(2)), 2)));
    text.append(RichText(QStringLiteral("none"), aligned(with({}, TextAttributeName::Underline, 0), 2)));
    text.append(RichText(QString(QChar::ParagraphSeparator), aligned({}, 3)));
    text.append(RichText(QStringLiteral("link"),
                         aligned(with({}, TextAttributeName::Link, QStringLiteral("http://a.example/x")), 3)));
    // A character whose style differs from its paragraph's, and one without any.
    text.append(RichText(QStringLiteral("own"), aligned({}, 2)));
    text.append(RichText(QStringLiteral("bare\r\n")));
    text.append(RichText(QStringLiteral("marker"),
                         aligned(with({}, TextAttributeName::TagMarker, TextAttributeName::TagMarker), 4)));
    text.append(RichText(QStringLiteral("kern\u2028"), with({}, QStringLiteral("NSKern"), 1.5)));
    // Known names with values of another type stay as they came.
    text.append(RichText(QStringLiteral("odd"),
                         with(with({}, TextAttributeName::Link, QUrl(QStringLiteral("http://b"))),
                              TextAttributeName::Color, QStringLiteral("red"))));
    text.append(RichText(QStringLiteral("odd style"), with({}, TextAttributeName::ParagraphStyle, 7)));
    text.append(RichText(QString(QChar(0xFDD0)) + QStringLiteral("tags ")));

    const auto field = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    field->setAttributes(font(QStringLiteral("Mono"), 9));
    const QList<SimpleTagRef> tags{
        field,
        std::make_shared<ConditionTag>(QStringLiteral("If"), QList<ConditionRule>{rule("Name", 2, "x", RichText("y"))}),
        std::make_shared<ImageTag>(QStringLiteral("/nonexistent/picture.png")),
        std::make_shared<HTMLFileLinkTag>(QStringLiteral("/tmp/style.css")),
        std::make_shared<MessageNumberTag>(),
    };
    for (const SimpleTagRef &tag : tags)
        DoInsertTagInAttributedString(tag, text, text.length());
    // A tag character with looks of its own, and an attachment that is no tag.
    DoInsertTagInAttributedString(field, text, text.length());
    text.addAttributes(font(QStringLiteral("Sans"), 20), TextRange{text.length() - 1, 1});
    auto plain = std::make_shared<TextAttachment>(FileWrapper{"GIF89a", QStringLiteral("p.gif")});
    text.append(RichText(QString(Replacement), {{TextAttributeName::Attachment, QVariant::fromValue(plain)}}));
    text.append(RichText(QStringLiteral("\n")));
    return text;
}

} // namespace

TEST(RichTextBridge, EveryAttributeKindComesBackEqualWithTheSameTags)
{
    const RichText text = everyAttributeKind();
    QTextDocument document;
    const RichText back = throughDocument(text, document);
    EXPECT_EQ(back.string(), text.string());
    EXPECT_TRUE(back == text);
    EXPECT_EQ(tagIdentities(back), tagIdentities(text));
    EXPECT_EQ(tagIdentities(back).size(), 6);
    const int thick = int(text.string().indexOf(QStringLiteral("thick")));
    EXPECT_EQ(back.attributesAtIndex(thick).value(TextAttributeName::Underline).typeId(), QMetaType::LongLong);
    // Paragraphs are blocks, and the document's positions are the text's indexes.
    EXPECT_EQ(document.blockCount(), int(text.string().count(u'\n') + text.string().count(u'\r') + 3));
    for (const TextRange range : {TextRange{3, 20}, TextRange{0, 1}, TextRange{20, 60}, TextRange{70, 1000}})
        EXPECT_TRUE(RichTextBridge::documentText(&document, range) == text.attributedSubstring(range));

    QTextDocument empty;
    EXPECT_TRUE(throughDocument(RichText(), empty).isEmpty());
}

TEST(RichTextBridge, ChangesMadeInTheViewWin)
{
    ParagraphStyle listed;
    listed.alignment = 2;
    listed.textLists = {TextList{QStringLiteral("{disc}")}};
    const RichText text(QStringLiteral("Hello world"),
                        with(colored(font(QStringLiteral("Serif"), 12), RgbaColor{0.3f, 0.3f, 0.3f, 1.0f}),
                             TextAttributeName::ParagraphStyle, QVariant::fromValue(listed)));
    QTextDocument document;
    RichTextBridge::setDocumentText(&document, text);

    QTextCursor cursor(&document);
    cursor.setPosition(0);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    QTextCharFormat change;
    change.setFontWeight(QFont::Bold);
    change.setForeground(QColor(255, 0, 0));
    cursor.mergeCharFormat(change);
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    cursor.mergeBlockFormat(right);

    const RichText back = RichTextBridge::documentText(&document);
    const auto hello = back.attributesAtIndex(0);
    EXPECT_EQ(hello.value(TextAttributeName::Font).value<FontDescriptor>(),
              (FontDescriptor{QStringLiteral("Serif"), 12, true, false}));
    EXPECT_EQ(hello.value(TextAttributeName::Color).value<RgbaColor>(), (RgbaColor{1, 0, 0, 1}));
    const auto style = hello.value(TextAttributeName::ParagraphStyle).value<ParagraphStyle>();
    EXPECT_EQ(style.alignment, 1);
    EXPECT_EQ(style.textLists, listed.textLists);
    EXPECT_EQ(back.attributesAtIndex(6).value(TextAttributeName::Color).value<RgbaColor>(),
              (RgbaColor{0.3f, 0.3f, 0.3f, 1.0f}));

    // Text typed after a tag takes its looks, never its attachment.
    const auto tag = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    RichTextBridge::setDocumentText(&document, withTag(QStringLiteral("a"), tag));
    QTextCursor after(&document);
    after.movePosition(QTextCursor::End);
    after.insertText(QStringLiteral("b"));
    after.insertBlock();
    const RichText typed = RichTextBridge::documentText(&document);
    EXPECT_EQ(typed.string(), QStringLiteral("a") + Replacement + QStringLiteral("b\n"));
    EXPECT_EQ(AttributedTagString::tags(typed).size(), 1);
    EXPECT_FALSE(typed.attributesAtIndex(2).contains(TextAttributeName::Attachment));
    EXPECT_FALSE(typed.attributesAtIndex(3).contains(TextAttributeName::Attachment));
}

TEST(RichTextBridge, ReplacingARangeIsOneEditAndEvensOutTheParagraphsItTouches)
{
    const RichText text =
        joined({RichText(QStringLiteral("Alpha\n"), aligned({}, 0)), RichText(QStringLiteral("Beta"), aligned({}, 1))});
    QTextDocument document;
    RichTextBridge::setDocumentText(&document, text);
    const auto tag = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    const RichText inserted = withTag(QStringLiteral("X\nY"), tag);
    RichText replacement = inserted;
    replacement.addAttributes(aligned({}, 2), TextRange{0, replacement.length()});

    EXPECT_EQ(RichTextBridge::replaceRange(&document, TextRange{1, 2}, replacement), 5);
    RichText expected = joined({RichText(QStringLiteral("AX\n"), aligned({}, 0)),
                                RichText(QStringLiteral("Yha\n"), aligned({}, 2)),
                                RichText(QStringLiteral("Beta"), aligned({}, 1))});
    DoInsertTagInAttributedString(tag, expected, 4);
    expected.addAttributes(aligned({}, 2), TextRange{4, 1});
    const RichText back = RichTextBridge::documentText(&document);
    EXPECT_TRUE(back == expected) << qPrintable(back.string());
    EXPECT_EQ(AttributedTagString::tags(back).value(0), tag);

    document.undo();
    EXPECT_TRUE(RichTextBridge::documentText(&document) == text);
}
