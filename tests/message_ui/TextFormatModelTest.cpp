// What the Format menu and bar decide, without a widget: the text they act
// on, what is enabled there, what the caret shows, which way a toggle goes.

#include "TextFormatModel.h"

#include "message/TextFixtures.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace TextFixtures;

namespace {

// A text that holds given attributes at its caret and keeps what it is asked to do.
class FakeText : public QObject, public FormatTarget {
public:
    explicit FakeText(TextAttributes caret, bool rich = true, bool body = false)
        : caret(std::move(caret)), rich(rich), body(body)
    {
    }
    QObject *formatObject() override { return this; }
    bool acceptsFormatting() const override { return rich; }
    TextAttributes formatAtCaret() const override { return caret; }
    FontDescriptor fallbackFont() const override { return FontDescriptor{"Fallback", 12, false, false}; }
    bool takesLinksAndLists() const override { return body; }
    void changeAttributesOrFont(FontPanel::Kind kind, const FontPanel::Change &change) override
    {
        kinds.append(kind);
        // The font the text at the caret would get.
        if (change.convertFont)
            changed = change.convertFont(
                caret.value(TextAttributeName::Font).value<FontDescriptor>());
        if (change.convertAttributes)
            changedAttributes = change.convertAttributes(caret);
    }
    void setListStyle(int tag) override { lists.append(tag); }
    void setParagraphAlignment(int alignment) override { alignments.append(alignment); }

    TextAttributes caret;
    bool rich;
    bool body;
    QList<FontPanel::Kind> kinds;
    FontDescriptor changed;
    TextAttributes changedAttributes;
    QList<int> lists;
    QList<int> alignments;
};

} // namespace

TEST(TextFormatModel, TargetFollowsTheFocusAndGoesWithItsText)
{
    TextFormatModel model;
    QSignalSpy targets(&model, &TextFormatModel::targetChanged);
    auto body = std::make_unique<FakeText>(font("Serif", 14, true), true, true);
    FakeText subject(font("Sans", 10));

    model.focusMoved(TextFormatModel::Focus::TextView, body.get());
    EXPECT_EQ(model.target(), body.get());
    // The bar, a panel or a menu over the text leave it the target.
    for (const auto focus : {TextFormatModel::Focus::FormatControl, TextFormatModel::Focus::Elsewhere}) {
        model.focusMoved(focus);
        EXPECT_EQ(model.target(), body.get());
    }
    model.focusMoved(TextFormatModel::Focus::TextView, &subject);
    EXPECT_EQ(model.target(), &subject);
    model.focusMoved(TextFormatModel::Focus::OtherControl);
    EXPECT_EQ(model.target(), nullptr);
    EXPECT_FALSE(model.state().enabled);
    model.toggleBold();
    EXPECT_TRUE(subject.kinds.isEmpty());

    model.focusMoved(TextFormatModel::Focus::TextView, body.get());
    body.reset();
    EXPECT_EQ(model.target(), nullptr);
    EXPECT_EQ(targets.count(), 4);
}

TEST(TextFormatModel, StateAndCommandsFollowTheCaret)
{
    TextFormatModel model;
    TextAttributes caret = colored(aligned(font("Serif", 14, true), 0, QStringLiteral("{decimal})")), {1, 0, 0, 1});
    caret.insert(TextAttributeName::Underline, 1);
    caret.insert(TextAttributeName::Link, QStringLiteral("http://example.org"));
    FakeText body(caret, true, true);
    model.setBackgroundHandler(&body, [] { return RgbaColor{1, 1, 1, 1}; }, [](const RgbaColor &) {});
    model.focusMoved(TextFormatModel::Focus::TextView, &body);
    const TextFormatModel::State &state = model.state();
    EXPECT_TRUE(state.enabled && state.linksAndLists && state.backgroundColor);
    EXPECT_EQ(state.font, (FontDescriptor{"Serif", 14, true, false}));
    EXPECT_TRUE(state.underline && state.link);
    EXPECT_EQ(state.color, (RgbaColor{1, 0, 0, 1}));
    EXPECT_EQ(state.listStyle, 7);
    EXPECT_EQ(state.alignment, 0);

    // A toggle goes the other way from what the caret shows.
    model.toggleBold();
    EXPECT_FALSE(body.changed.bold);
    model.toggleItalic();
    EXPECT_TRUE(body.changed.italic);
    model.bigger();
    EXPECT_EQ(body.changed.pointSize, 15);
    // Sizes no text is shown in are refused; a font is never made smaller than 1 point.
    const int changes = body.kinds.size();
    for (const double size : {0.0, -3.0, 1001.0, qQNaN()})
        model.setFontSize(size);
    EXPECT_EQ(body.kinds.size(), changes);
    body.caret = font("Serif", 1.5);
    model.smaller();
    EXPECT_EQ(body.changed.pointSize, 1);
    body.caret = font("Serif", 1);
    model.smaller();
    EXPECT_EQ(body.changed.pointSize, 1);

    // The font panel's answer is one change of the attributes: its font, and
    // underlining only where the user changed it there.
    body.caret = caret;
    model.applyFont(FontDescriptor{"Mono", 9, false, true}, std::nullopt);
    EXPECT_EQ(body.kinds.last(), FontPanel::Kind::Attributes);
    EXPECT_EQ(body.changedAttributes.value(TextAttributeName::Font).value<FontDescriptor>(),
              (FontDescriptor{"Mono", 9, false, true}));
    EXPECT_EQ(body.changedAttributes.value(TextAttributeName::Underline), QVariant(1));
    model.applyFont(FontDescriptor{"Mono", 9, false, true}, false);
    EXPECT_FALSE(body.changedAttributes.contains(TextAttributeName::Underline));

    // Without a font of its own, the caret shows the text's fallback.
    body.caret = {};
    model.refresh();
    EXPECT_EQ(state.font.family, "Fallback");
    EXPECT_EQ(state.listStyle, 0);
    EXPECT_EQ(state.alignment, 4) << "a paragraph without a style is a natural one";
}

TEST(TextFormatModel, WhatIsEnabledWhere)
{
    TextFormatModel model;
    FakeText body(font("Serif", 12), true, true);
    FakeText subject(font("Serif", 12));
    FakeText plain(font("Mono", 10), false, true);
    model.setBackgroundHandler(&body, [] { return RgbaColor{1, 1, 1, 1}; }, [](const RgbaColor &) {});
    struct Case {
        FormatTarget *text;
        bool enabled;
        bool linksAndLists;
        bool background;
    };
    for (const Case &c : {Case{&body, true, true, true}, Case{&subject, true, false, false},
                          Case{&plain, false, false, false}}) {
        model.focusMoved(TextFormatModel::Focus::TextView, c.text);
        EXPECT_EQ(model.state().enabled, c.enabled);
        EXPECT_EQ(model.state().linksAndLists, c.linksAndLists);
        EXPECT_EQ(model.state().backgroundColor, c.background);
        model.setListStyle(3);
        // The menu's four alignments; natural is no item.
        for (const int alignment : {2, 4, -1})
            model.setAlignment(alignment);
    }
    EXPECT_EQ(body.lists, QList<int>{3});
    EXPECT_EQ(body.alignments, QList<int>{2});
    EXPECT_TRUE(plain.alignments.isEmpty() && subject.alignments.isEmpty());
    EXPECT_TRUE(plain.lists.isEmpty());
    EXPECT_TRUE(subject.lists.isEmpty());
}
