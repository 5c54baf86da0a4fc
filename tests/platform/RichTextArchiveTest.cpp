#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "RichText.h"
#include "TypedArchiver.h"
#include "TypedUnarchiver.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

class NoteCell : public AttachmentCell {
public:
    std::shared_ptr<AttachmentCell> clone() const override { return std::make_shared<NoteCell>(*this); }
};

struct Form {
    const char *name;
    std::function<QByteArray(const QVariant &)> archive;
    std::function<QVariant(const QByteArray &, QString *)> unarchive;
};

const Form forms[] = {
    {"keyed", KeyedArchiver::archivedDataWithRootObject,
     [](const QByteArray &data, QString *error) { return KeyedUnarchiver::unarchiveObjectWithData(data, error); }},
    {"typed", TypedArchiver::archivedDataWithRootObject,
     [](const QByteArray &data, QString *error) { return TypedUnarchiver::unarchiveObjectWithData(data, error); }},
};

RichText piece(const QString &text, const TextAttributes &attributes)
{
    return RichText(text, attributes);
}

RichText everyKind(std::shared_ptr<AttachmentCell> cell)
{
    ParagraphStyle style;
    style.alignment = 2;
    style.textLists = {TextList{QStringLiteral("{disc}"), 0}, TextList{QStringLiteral("{decimal})"), 1}};
    style.otherValues = {{QStringLiteral("lineSpacing"), 1.5}};
    const auto attachment = std::make_shared<TextAttachment>(
        FileWrapper{QByteArray("\0tag\xff", 5), QStringLiteral("Corvantiline Tag Attachment Cell")}, std::move(cell));

    RichText text = piece(QStringLiteral("Bold "), {
        {TextAttributeName::Font, QVariant::fromValue(FontDescriptor{QStringLiteral("Sans"), 13.5, true, true})},
        {TextAttributeName::Color, QVariant::fromValue(RgbaColor{0.1f, 0.2f, 1.0f / 3.0f, 0.4f})},
        {TextAttributeName::Underline, 1},
    });
    text.append(piece(QStringLiteral("link"), {{TextAttributeName::Link, QStringLiteral("https://example.org/")}}));
    text.append(piece(QStringLiteral("item\n"), {{TextAttributeName::ParagraphStyle, QVariant::fromValue(style)}}));
    text.append(piece(QStringLiteral("Name"), {{TextAttributeName::TagMarker, TextAttributeName::TagMarker}}));
    text.append(piece(QString(QChar(0xFFFC)), {{TextAttributeName::Attachment, QVariant::fromValue(attachment)}}));
    text.append(piece(QStringLiteral("?"), {
        {QStringLiteral("Unknown string"), QStringLiteral("kept")},
        {QStringLiteral("Unknown map"), QVariantMap{{QStringLiteral("n"), QVariantList{1, QStringLiteral("x")}}}},
    }));
    // Same attributes as the first run again: stored once in the keyed form.
    text.append(text.attributedSubstring({0, 2}));
    text.append(RichText(QString::fromUcs4(U"gr\u00fcn \U0001F600")));
    return text;
}

QVariant roundTrip(const Form &form, const RichText &text, QString *error)
{
    return form.unarchive(form.archive(QVariant::fromValue(text)), error);
}

TEST(RichTextArchive, EveryAttributeKindSurvivesBothForms)
{
    // The cell is not archived; the file wrapper stands for it.
    const RichText expected = everyKind(nullptr);
    const RichText cases[] = {everyKind(std::make_shared<NoteCell>()), RichText(QStringLiteral("one run")),
                              RichText(), RichText(QString::fromUcs4(U"\U0001F600"), expected.attributesAtIndex(0))};
    for (const Form &form : forms) {
        SCOPED_TRACE(form.name);
        for (const RichText &text : cases) {
            QString error;
            const QVariant back = roundTrip(form, text, &error);
            ASSERT_EQ(back.typeId(), qMetaTypeId<RichText>()) << error.toStdString();
            EXPECT_EQ(back.value<RichText>(), &text == &cases[0] ? expected : text) << text.string().toStdString();
        }
        const RichText back = roundTrip(form, cases[0], nullptr).value<RichText>();
        const auto attachment = back.attributesAtIndex(int(back.string().indexOf(QChar(0xFFFC))))
                                    .value(TextAttributeName::Attachment)
                                    .value<TextAttachmentRef>();
        ASSERT_TRUE(attachment);
        EXPECT_FALSE(attachment->cell);
    }
}

// An object that writes whatever the test says under the class name of a
// value coder, so that coder's decoder meets forged data.
class Forged : public Codable {
public:
    Forged(QString className, std::function<void(KeyedArchiver &)> keyed, std::function<void(TypedArchiver &)> typed)
        : m_className(std::move(className)), m_keyed(std::move(keyed)), m_typed(std::move(typed))
    {
    }
    QString archiveClassName() const override { return m_className; }
    void encodeWithCoder(KeyedArchiver &coder) const override { m_keyed(coder); }
    void encodeWithCoder(TypedArchiver &coder) const override { m_typed(coder); }

private:
    QString m_className;
    std::function<void(KeyedArchiver &)> m_keyed;
    std::function<void(TypedArchiver &)> m_typed;
};

QVariant readForgedKeyed(const QString &className, std::function<void(KeyedArchiver &)> write, QString *error)
{
    const auto forged = std::make_shared<Forged>(className, std::move(write), [](TypedArchiver &) {});
    return KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(codableVariant(forged)),
                                                    error);
}

QVariant readForgedTyped(std::function<void(TypedArchiver &)> write, QString *error)
{
    const auto forged = std::make_shared<Forged>(QStringLiteral("RichText"), [](KeyedArchiver &) {}, std::move(write));
    return TypedUnarchiver::unarchiveObjectWithData(TypedArchiver::archivedDataWithRootObject(codableVariant(forged)),
                                                    error);
}

TEST(RichTextArchive, KeyedRunsAreCheckedAgainstTheText)
{
    const QVariantList sets{QVariantMap{}, QVariantMap{{TextAttributeName::Underline, 1}}};
    struct Case {
        const char *name;
        QByteArray info;
        QVariant attributes;
        bool valid;
    };
    const Case cases[] = {
        {"runs cover the text", QByteArray("\x02\x00\x02\x01", 4), sets, true},
        {"empty runs are harmless", QByteArray("\x00\x00\x04\x01", 4), sets, true},
        {"runs too short", QByteArray("\x02\x00\x01\x01", 4), sets, false},
        {"runs too long", QByteArray("\x02\x00\x03\x01", 4), sets, false},
        {"index out of range", QByteArray("\x04\x02", 2), sets, false},
        {"truncated varint", QByteArray("\x04\x80", 2), sets, false},
        {"varint past 32 bits", QByteArray("\x84\x80\x80\x80\x80\x00\x00", 7), sets, false},
        {"attributes not an array", QByteArray("\x04\x00", 2), QVariantMap{}, false},
        {"font that is a string", QByteArray("\x04\x00", 2),
         QVariantList{QVariantMap{{TextAttributeName::Font, QStringLiteral("Sans")}}}, false},
        {"attachment that is a number", QByteArray("\x04\x00", 2),
         QVariantList{QVariantMap{{TextAttributeName::Attachment, 1}}}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const QVariant back = readForgedKeyed(QStringLiteral("NSAttributedString"), [&](KeyedArchiver &coder) {
            coder.encodeObject(QStringLiteral("abcd"), QStringLiteral("NSString"));
            coder.encodeObject(c.attributes, QStringLiteral("NSAttributes"));
            coder.encodeBytes(c.info, QStringLiteral("NSAttributeInfo"));
        }, &error);
        EXPECT_EQ(back.isValid(), c.valid) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), c.valid);
        if (c.valid) {
            EXPECT_EQ(back.value<RichText>().attributeAtIndex(TextAttributeName::Underline, 3).toInt(), 1);
        }
    }
}

TEST(RichTextArchive, TypedRunsAreCheckedAgainstTheText)
{
    struct Case {
        const char *name;
        QList<qint32> lengths;
        qint32 count;
        bool valid;
    };
    const Case cases[] = {
        {"runs cover the text", {1, 3}, 2, true},
        {"negative run", {5, -1}, 2, false},
        {"runs too short", {1, 2}, 2, false},
        {"more runs than characters", {1, 1, 1, 1, 0}, 5, false},
        {"count beyond the runs written", {4}, 2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const QVariant back = readForgedTyped([&](TypedArchiver &coder) {
            coder.encodeObject(QStringLiteral("abcd"));
            coder.encodeInt32(c.count);
            for (qint32 length : c.lengths) {
                coder.encodeInt32(length);
                coder.encodeObject(QVariantMap{});
            }
        }, &error);
        EXPECT_EQ(back.isValid(), c.valid) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), c.valid);
    }
}

TEST(RichTextArchive, KeyedColoursAndStylesAreReadTolerantly)
{
    struct Case {
        QByteArray rgb;
        qint32 space;
        std::optional<RgbaColor> color;
    };
    const Case cases[] = {
        {"0.5 0.25 1", 1, RgbaColor{0.5f, 0.25f, 1.0f, 1.0f}},
        {QByteArray(" 1\t0  0 0.5\0", 12), 2, RgbaColor{1, 0, 0, 0.5f}},
        {"1 0", 1, std::nullopt},
        {"1 0 0 x", 1, std::nullopt},
        {"nan 0 0", 1, std::nullopt},
        {"1 0 0", 3, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rgb.toStdString());
        QString error;
        const QVariant back = readForgedKeyed(QStringLiteral("NSColor"), [&](KeyedArchiver &coder) {
            coder.encodeInt32(c.space, QStringLiteral("NSColorSpace"));
            coder.encodeBytes(c.rgb, QStringLiteral("NSRGB"));
        }, &error);
        ASSERT_EQ(back.isValid(), c.color.has_value()) << error.toStdString();
        if (c.color) {
            EXPECT_EQ(back.value<RgbaColor>(), *c.color);
        }
    }

    // A style written without alignment has the natural one.
    const QVariant style = readForgedKeyed(QStringLiteral("NSMutableParagraphStyle"), [](KeyedArchiver &) {}, nullptr);
    EXPECT_EQ(style.value<ParagraphStyle>(), ParagraphStyle());
}

TEST(RichTextArchive, CellBaseReadsOnlyWhatItWrote)
{
    static const bool registered = [] {
        ArchiveRegistry::registerTypedDecoder(QStringLiteral("RichTextTest.Cell"), [](TypedUnarchiver &coder, int) {
            return AttachmentCell::decodeCellBase(coder) ? std::make_shared<Forged>(QString(), nullptr, nullptr)
                                                         : nullptr;
        });
        return true;
    }();
    (void)registered;
    const std::function<void(TypedArchiver &)> writers[] = {
        [](TypedArchiver &coder) { NoteCell().encodeCellBase(coder); },
        [](TypedArchiver &coder) { coder.encodeInt32(7); },
        [](TypedArchiver &coder) { coder.encodeObject(QStringLiteral("not a cell")); },
    };
    for (const auto &write : writers) {
        const auto forged = std::make_shared<Forged>(QStringLiteral("RichTextTest.Cell"), nullptr, write);
        QString error;
        const QVariant back = TypedUnarchiver::unarchiveObjectWithData(
            TypedArchiver::archivedDataWithRootObject(codableVariant(forged)), &error);
        EXPECT_EQ(back.isValid(), &write == &writers[0]) << error.toStdString();
    }
}

} // namespace
