#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "MessageNumberTag.h"
#include "TagTextStorage.h"

#include "TypedUnarchiver.h"

#include <gtest/gtest.h>

namespace {

const QChar Replacement(0xFFFC);

SimpleTagRef field(const QString &name)
{
    return std::make_shared<SimpleTag>(name);
}

TextAttachmentRef attachmentAt(const RichText &text, int index)
{
    return text.attributesAtIndex(index).value(TextAttributeName::Attachment).value<TextAttachmentRef>();
}

// A picture pasted from elsewhere: an attachment that is no tag.
void insertPlainAttachment(RichText &text, int index)
{
    auto attachment = std::make_shared<TextAttachment>(FileWrapper{"GIF89a", QStringLiteral("p.gif")});
    text.insert(index,
                RichText(QString(Replacement), {{TextAttributeName::Attachment, QVariant::fromValue(attachment)}}));
}

class Delegate : public TagDelegate {
public:
    bool editConditionTag(ConditionTag *) override { return true; }
    bool editImageTag(ImageTag *) override { return true; }
};

} // namespace

TEST(TaggedText, InsertedTagIsOneCharacterWithItsArchive)
{
    const FontDescriptor font{QStringLiteral("Serif"), 20.0, false, false};
    RichText text(QStringLiteral("Dear !"), {{TextAttributeName::Font, QVariant::fromValue(font)}});
    auto name = field(QStringLiteral("Name"));
    DoInsertTagInAttributedString(name, text, 5);
    EXPECT_EQ(text.string(), QStringLiteral("Dear ") + Replacement + QStringLiteral("!"));
    const TextAttributes attributes = text.attributesAtIndex(5);
    EXPECT_EQ(attributes.keys(), QStringList{TextAttributeName::Attachment});
    const TextAttachmentRef attachment = attachmentAt(text, 5);
    EXPECT_EQ(attachment->cell, name);
    EXPECT_EQ(attachment->fileWrapper.preferredFilename, QStringLiteral("Corvantiline Tag Attachment Cell"));
    registerTagCoders();
    const auto stored =
        codableCast<SimpleTag>(TypedUnarchiver::unarchiveObjectWithData(attachment->fileWrapper.regularFileContents));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->tagName(), QStringLiteral("Name"));
}

TEST(TaggedText, PlainAndTagStrings)
{
    RichText text(QStringLiteral("Dear !"));
    DoInsertTagInAttributedString(field(QStringLiteral("Name")), text, 5);
    EXPECT_EQ(AttributedTagString::textTagString(text), QStringLiteral("Dear <Name>!"));
    EXPECT_EQ(AttributedTagString::taglessString(text), QStringLiteral("Dear !"));

    insertPlainAttachment(text, 0);
    EXPECT_EQ(AttributedTagString::textTagString(text), QStringLiteral("Dear <Name>!"));
    EXPECT_EQ(AttributedTagString::taglessString(text), QStringLiteral("Dear !"));
    EXPECT_EQ(AttributedTagString::tags(text).size(), 1);

    RichText onlyTags;
    DoInsertTagInAttributedString(field(QStringLiteral("A")), onlyTags, 0);
    DoInsertTagInAttributedString(std::make_shared<MessageNumberTag>(), onlyTags, 1);
    EXPECT_EQ(AttributedTagString::taglessString(onlyTags), QString());
    EXPECT_EQ(AttributedTagString::textTagString(onlyTags), QStringLiteral("<A><Message number>"));
}

TEST(TaggedText, InlineFilesKeepOrderAndDuplicates)
{
    RichText text(QStringLiteral("x"));
    DoInsertTagInAttributedString(std::make_shared<ImageTag>(QStringLiteral("/nowhere/a.png")), text, 1);
    DoInsertTagInAttributedString(field(QStringLiteral("Name")), text, 2);
    DoInsertTagInAttributedString(std::make_shared<HTMLFileLinkTag>(QStringLiteral("/t/s.css")), text, 3);
    DoInsertTagInAttributedString(std::make_shared<ImageTag>(QStringLiteral("/nowhere/a.png")), text, 4);
    insertPlainAttachment(text, 0);
    EXPECT_EQ(
        AttributedTagString::inlineFileAttachments(text),
        (QStringList{QStringLiteral("/nowhere/a.png"), QStringLiteral("/t/s.css"), QStringLiteral("/nowhere/a.png")}));
}

TEST(TaggedText, SaveAttachmentsDelegateAndClone)
{
    RichText text;
    RichText result;
    DoInsertTagInAttributedString(field(QStringLiteral("Name")), result, 0);
    auto condition = std::make_shared<ConditionTag>(
        QStringLiteral("C"),
        QList<ConditionRule>{{QStringLiteral("Name"), ConditionRule::Contains, QStringLiteral("a"), result}});
    DoInsertTagInAttributedString(condition, text, 0);
    auto image = std::make_shared<ImageTag>(QStringLiteral("/nowhere/a.png"));
    DoInsertTagInAttributedString(image, text, 1);

    image->setMargin(9);
    AttributedTagString::saveAttachments(text);
    EXPECT_EQ(attachmentAt(text, 1)->fileWrapper, *image->currentFileWrapper());

    EXPECT_FALSE(image->trackMouse());
    Delegate delegate;
    AttributedTagString::setAttachmentDelegate(text, &delegate);
    EXPECT_TRUE(condition->trackMouse());
    EXPECT_TRUE(image->trackMouse());

    // A copy of a condition owns its own result tags.
    auto copy = std::dynamic_pointer_cast<ConditionTag>(condition->clone());
    ASSERT_TRUE(copy);
    copy->tagNameChanged(QStringLiteral("Name"), QStringLiteral("Nom"));
    EXPECT_EQ(AttributedTagString::textTagString(copy->dataArray().at(0).result), QStringLiteral("<Nom>"));
    EXPECT_EQ(AttributedTagString::textTagString(condition->dataArray().at(0).result), QStringLiteral("<Name>"));
    EXPECT_EQ(condition->dataArray().at(0).field, QStringLiteral("Name"));
}

TEST(TagTextStorage, RenameFontAndEditReports)
{
    RichText result;
    DoInsertTagInAttributedString(field(QStringLiteral("Name")), result, 0);
    auto condition = std::make_shared<ConditionTag>(
        QStringLiteral("Name"),
        QList<ConditionRule>{{QStringLiteral("Name"), ConditionRule::Equals, QStringLiteral("Bo"), result},
                             {QStringLiteral("City"), ConditionRule::Equals, QStringLiteral("Bern"), RichText()}});
    auto name = field(QStringLiteral("Name"));
    auto other = field(QStringLiteral("City"));
    auto number = std::make_shared<MessageNumberTag>(QStringLiteral("Name"));
    auto link = std::make_shared<HTMLFileLinkTag>(QStringLiteral("/t/Name"));
    RichText text(QStringLiteral("ab"));
    for (const SimpleTagRef &tag : QList<SimpleTagRef>{name, other, number, link, condition})
        DoInsertTagInAttributedString(tag, text, 1);

    TagTextStorage storage(text);
    QList<std::tuple<TagTextStorage::EditKind, TextRange, int>> edits;
    storage.setEditObserver([&](TagTextStorage::EditKind kind, TextRange range, int delta) {
        edits.append({kind, range, delta});
    });

    storage.tagNameChanged(QStringLiteral("Name"), QStringLiteral("First name"));
    EXPECT_TRUE(edits.isEmpty());
    EXPECT_EQ(name->tagName(), QStringLiteral("First name"));
    EXPECT_EQ(number->tagName(), QStringLiteral("First name"));
    EXPECT_EQ(other->tagName(), QStringLiteral("City"));
    EXPECT_EQ(link->tagName(), QStringLiteral("Name"));
    // A condition keeps its own name but follows the fields it tests.
    EXPECT_EQ(condition->tagName(), QStringLiteral("Name"));
    EXPECT_EQ(condition->dataArray().at(0).field, QStringLiteral("First name"));
    EXPECT_EQ(condition->dataArray().at(1).field, QStringLiteral("City"));
    EXPECT_EQ(AttributedTagString::textTagString(condition->dataArray().at(0).result), QStringLiteral("<First name>"));

    const FontDescriptor font{QStringLiteral("Sans"), 11.0, true, true};
    storage.setTagFont(font);
    for (const SimpleTagRef &tag : AttributedTagString::tags(storage.text())) {
        EXPECT_EQ(tag->font(), font);
        EXPECT_FALSE(tag->attributes()->contains(SimpleTag::MarkerValue));
    }
    storage.replaceCharacters({0, 1}, QStringLiteral("xyz"));
    storage.setAttributes({}, {1, 2});
    using Kind = TagTextStorage::EditKind;
    ASSERT_EQ(edits.size(), 3);
    EXPECT_EQ(edits[0], std::make_tuple(Kind::Attributes, TextRange{0, 7}, 0));
    EXPECT_EQ(edits[1], std::make_tuple(Kind::Characters, TextRange{0, 1}, 2));
    EXPECT_EQ(edits[2], std::make_tuple(Kind::Attributes, TextRange{1, 2}, 0));
    EXPECT_EQ(storage.string().left(4), QStringLiteral("xyz") + Replacement);
}
