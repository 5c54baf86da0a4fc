#include "Personalizer.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "MessageNumberTag.h"

#include "AppException.h"

#include "TextFixtures.h"

#include <gtest/gtest.h>

using namespace TextFixtures;

namespace {

const QString TagCharacter(QChar(0xFFFC));

// A table with the fields Name and City and one row per (name, city).
void fillTable(Database &table, const QList<QStringList> &rows)
{
    table.addField(QStringLiteral("Name"));
    table.addField(QStringLiteral("City"));
    for (const QStringList &row : rows)
        table.addEntryWithData(-1, row);
}

QString plainValue(const SimpleTagRef &tag, const Personalizer &personalizer)
{
    return AttributedTagString::taglessString(personalizer.personalizeAttributedString(withTag({}, tag, {})));
}

} // namespace

// The personaliser builds its result with RichText::appendCharacters; it
// must give what the general append gives.
TEST(PersonalizerTest, PieceByPieceAppendMatchesAppend)
{
    const TextAttributes red{{TextAttributeName::Color, QVariant::fromValue(RgbaColor{1, 0, 0})}};
    const TextAttributes blue{{TextAttributeName::Color, QVariant::fromValue(RgbaColor{0, 0, 1})}};
    const QList<std::pair<QString, TextAttributes>> pieces
        = {{"ab", red}, {"", blue}, {"c", red}, {"de", blue}, {"f", {}}};
    RichText byPiece;
    RichText general;
    for (const auto &[characters, attributes] : pieces) {
        byPiece.appendCharacters(characters, attributes);
        general.append(RichText(characters, attributes));
    }
    EXPECT_EQ(byPiece, general);
    EXPECT_EQ(byPiece.runs().size(), 3);
    TextRange range;
    EXPECT_EQ(byPiece.attributesAtIndex(4, &range), blue);
    EXPECT_EQ(range, (TextRange{3, 2}));

    // A view of the text itself.
    byPiece.appendCharacters(QStringView(byPiece.string()).mid(1, 3), red);
    EXPECT_EQ(byPiece.string(), "abcdefbcd");
    EXPECT_EQ(byPiece.attributesAtIndex(8, &range), red);
    EXPECT_EQ(range, (TextRange{6, 3}));
}

TEST(PersonalizerTest, RowCheckAndMessageNumber)
{
    Database table;
    fillTable(table, {{"Ann", "Bern"}, {"Bob", "Paris"}, {"Cy", "Rome"}});
    Personalizer personalizer(table);
    const auto number = std::make_shared<MessageNumberTag>(QStringLiteral("No"));

    EXPECT_EQ(plainValue(number, personalizer), "1");
    personalizer.setAddressNumber(2);
    EXPECT_EQ(plainValue(number, personalizer), "3");

    for (int row : {3, -1}) {
        personalizer.setAddressNumber(row);
        EXPECT_THROW((void)personalizer.personalizeAttributedString(RichText(QStringLiteral("x"))), AppException);
    }
    Database empty;
    EXPECT_THROW((void)Personalizer(empty).personalizeAttributedString(RichText()), AppException);
}

TEST(PersonalizerTest, FieldValueComesBeforeTheKeptTagCharacter)
{
    Database table;
    fillTable(table, {{"Ann", "Bern"}});
    const Personalizer personalizer(table);
    const auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    const TextAttributes bold{{TextAttributeName::Font, QVariant::fromValue(FontDescriptor{"Helvetica", 12, true})}};
    name->setAttributes(bold);

    const RichText text = withTag(QStringLiteral("Dear "), name, QStringLiteral("!"));
    const RichText result = personalizer.personalizeAttributedString(text);
    EXPECT_EQ(result.string(), QStringLiteral("Dear Ann") + TagCharacter + u'!');
    EXPECT_EQ(AttributedTagString::taglessString(result), "Dear Ann!");
    // The value carries the tag's attributes (with the marker), the tag
    // character keeps its attachment.
    const TextAttributes value = result.attributesAtIndex(5);
    EXPECT_EQ(value.value(TextAttributeName::Font).value<FontDescriptor>().family, "Helvetica");
    EXPECT_TRUE(value.contains(TextAttributeName::TagMarker));
    EXPECT_EQ(tagInAttributes(result.attributesAtIndex(8)), name);

    // Without tags: an equal copy. Missing field: nothing but the character.
    const RichText plain(QStringLiteral("no tags"), bold);
    EXPECT_EQ(personalizer.personalizeAttributedString(plain), plain);
    const auto missing = std::make_shared<SimpleTag>(QStringLiteral("Phone"));
    EXPECT_EQ(
        personalizer.personalizeAttributedString(withTag("a", missing, "b")).string(), u'a' + TagCharacter + u'b');

    // Null entry, mapping and message data are allowed.
    EXPECT_EQ(Personalizer::personalizeAttributedString(text, nullptr, nullptr, nullptr).string(),
              QStringLiteral("Dear ") + TagCharacter + u'!');
}

TEST(PersonalizerTest, OnlyTheTagCharacterIsTheTag)
{
    // A line break stored with its tag's attributes (typed after a picture
    // in an earlier version) is a line break, in both outputs.
    Database table;
    fillTable(table, {{"Ann", "Bern"}});
    Personalizer personalizer(table);
    personalizer.setAddressNumber(0);
    const auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    const RichText tagged = withTag(QStringLiteral("Hi "), name);
    RichText text(QStringLiteral("Hi "));
    text.appendCharacters(QString(TagCharacter + u'\n'), tagged.attributesAtIndex(3));
    text.appendCharacters(u"More", {});

    const RichText result = personalizer.personalizeAttributedString(text);
    EXPECT_EQ(AttributedTagString::taglessString(result), "Hi Ann\nMore");
    EXPECT_FALSE(result.attributesAtIndex(7).contains(TextAttributeName::Attachment));
    EXPECT_EQ(personalizer.personalizeHTMLSource(text), "Hi Ann\nMore");
}

TEST(PersonalizerTest, MessageDataFollowsTheSetters)
{
    const Database::EntryList entries{std::make_shared<Database::Entry>()};
    Personalizer personalizer(entries, {});
    // Records the message data a tag is given.
    struct Probe : SimpleTag {
        Probe() : SimpleTag(QStringLiteral("probe")) {}
        mutable MessageData seen;
        RichText getValueForData(const DatabaseEntry *, const QMap<QString, QString> *,
                                 const MessageData *data) const override
        {
            seen = data ? *data : MessageData{};
            return valueText({});
        }
    };
    const auto probe = std::make_shared<Probe>();
    const RichText probed = withTag({}, probe, {});

    const auto seenWith = [&](const QString &id) {
        personalizer.setMessageId(id);
        (void)personalizer.personalizeAttributedString(probed);
        return probe->seen;
    };
    EXPECT_EQ(seenWith({}).messageNumber, 1);
    EXPECT_EQ(probe->seen.fullPath, false);
    EXPECT_FALSE(probe->seen.messageId.has_value());
    personalizer.setUseLocalPath(true);
    EXPECT_EQ(seenWith(QStringLiteral("id@host")).messageId, QStringLiteral("id@host"));
    EXPECT_EQ(probe->seen.fullPath, true);
    // An empty id is still an id; only a null one is none.
    EXPECT_EQ(seenWith(QLatin1String("")).messageId, QString(""));
    EXPECT_FALSE(seenWith(QString()).messageId.has_value());
}

TEST(PersonalizerTest, ConditionChoosesTheFirstMatchingRule)
{
    Database table;
    fillTable(table, {{"Ann", "Bern"}, {"Bob", "Berlin"}, {"Cy", "Paris"}, {"Di", "bern"}, {"Ed", ""}});
    Personalizer personalizer(table);
    auto valuesByRow = [&](const SimpleTagRef &tag) {
        QStringList values;
        for (int row = 0; row < table.entryCount(); ++row) {
            personalizer.setAddressNumber(row);
            values.append(plainValue(tag, personalizer));
        }
        return values;
    };

    const auto city = std::make_shared<ConditionTag>(
        QStringLiteral("Where"), QList<ConditionRule>{rule("City", ConditionRule::Contains, "Ber", RichText("A")),
                                                      rule("City", ConditionRule::Equals, "Bern", RichText("B"))});
    EXPECT_EQ(valuesByRow(city), QStringList({"A", "A", "", "", ""}));

    // Comparison is case-sensitive.
    const auto exact = std::make_shared<ConditionTag>(
        QStringLiteral("Exact"), QList<ConditionRule>{rule("City", ConditionRule::Equals, "Bern", RichText("B"))});
    EXPECT_EQ(valuesByRow(exact), QStringList({"B", "", "", "", ""}));

    // An empty content is never contained, so "does not contain" it always matches.
    const auto emptyContains = std::make_shared<ConditionTag>(
        QStringLiteral("E"), QList<ConditionRule>{rule("City", ConditionRule::Contains, "", RichText("X"))});
    EXPECT_EQ(valuesByRow(emptyContains), QStringList({"", "", "", "", ""}));
    const auto emptyNotContains = std::make_shared<ConditionTag>(
        QStringLiteral("N"), QList<ConditionRule>{rule("City", ConditionRule::DoesNotContain, "", RichText("Y"))});
    EXPECT_EQ(valuesByRow(emptyNotContains), QStringList({"Y", "Y", "Y", "Y", "Y"}));

    // A rule naming a missing field stops the search, even before a matching rule.
    const auto broken = std::make_shared<ConditionTag>(
        QStringLiteral("B"), QList<ConditionRule>{rule("Country", ConditionRule::DoesNotEqual, "x", RichText("C")),
                                                  rule("City", ConditionRule::DoesNotEqual, "x", RichText("D"))});
    EXPECT_EQ(valuesByRow(broken), QStringList({"", "", "", "", ""}));

    // Operators a damaged file may hold match nothing.
    EXPECT_FALSE(ConditionRule({{}, 7, QStringLiteral("a"), {}}).matches(QStringLiteral("a")));
    EXPECT_FALSE(ConditionRule({{}, -1, QStringLiteral("a"), {}}).matches(QStringLiteral("b")));
}

TEST(PersonalizerTest, TagsInsideAConditionResult)
{
    Database table;
    fillTable(table, {{"Ann", "Bern"}, {"Bob", "Paris"}});
    Personalizer personalizer(table);
    personalizer.setAddressNumber(1);
    personalizer.setMessageId(QStringLiteral("M"));

    const RichText greeting = withTag(QStringLiteral("Hi "), std::make_shared<SimpleTag>(QStringLiteral("Name")),
                                      QStringLiteral("!"));
    const RichText numbered =
        withTag(QStringLiteral("No "), std::make_shared<MessageNumberTag>(QStringLiteral("No")), {});
    const auto tag = std::make_shared<ConditionTag>(
        QStringLiteral("Greet"), QList<ConditionRule>{rule("City", ConditionRule::Equals, "Bern", numbered),
                                                      rule("City", ConditionRule::DoesNotEqual, "", greeting)});
    const TextAttributes italic{
        {TextAttributeName::Font, QVariant::fromValue(FontDescriptor{"Times", 10, false, true})}};
    tag->setAttributes(italic);

    const RichText paris = personalizer.personalizeAttributedString(withTag({}, tag, {}));
    EXPECT_EQ(AttributedTagString::taglessString(paris), "Hi Bob!");
    // The result's own formatting is dropped: the value has the condition's attributes.
    TextRange range;
    const TextAttributes value = paris.attributesAtIndex(0, &range);
    EXPECT_EQ(range, (TextRange{0, 7}));
    EXPECT_TRUE(value.value(TextAttributeName::Font).value<FontDescriptor>().italic);

    // The message number is not known inside a result.
    personalizer.setAddressNumber(0);
    EXPECT_EQ(plainValue(tag, personalizer), "No ");
}
