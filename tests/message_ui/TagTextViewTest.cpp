#include "BodyTextView.h"
#include "LinkSheet.h"
#include "RichTextBridge.h"
#include "SingleLineTextView.h"
#include "TagObjectInterface.h"
#include "TagPasteboard.h"

#include "message/TextFixtures.h"

#include "AlertPresenter.h"
#include "ImageTag.h"
#include "TypedArchiver.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace TextFixtures;

namespace {

const QChar Replacement(0xFFFC);

class RecordingDelegate : public TagDelegate {
public:
    bool editConditionTag(ConditionTag *tag) override
    {
        conditions.append(tag);
        return true;
    }
    bool editImageTag(ImageTag *) override { return true; }
    QList<ConditionTag *> conditions;
};

class RecordingPresenter : public AlertPresenter {
public:
    RecordingPresenter() { AlertPresenter::setCurrent(this); }
    ~RecordingPresenter() override { AlertPresenter::setCurrent(nullptr); }
    void runAlertPanel(const QString &title, const QString &) override { panels.append(title); }
    void beginAlertSheet(const QString &title, const QString &, QWidget *) override { panels.append(title); }
    void showErrorReport(const QString &text, QWidget *) override { reports.append(text); }
    QStringList panels;
    QStringList reports;
};

void select(QTextEdit &view, int from, int to)
{
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    view.setTextCursor(cursor);
}

void putOnClipboard(QMimeData *data)
{
    QGuiApplication::clipboard()->setMimeData(data);
}

// Where the view has laid out the character at the index: its left edge and width.
std::pair<qreal, qreal> characterSpan(const QTextEdit &view, int index)
{
    QTextCursor cursor(view.document());
    cursor.setPosition(index);
    const qreal left = view.cursorRect(cursor).x();
    cursor.setPosition(index + 1);
    return {left, view.cursorRect(cursor).x() - left};
}

} // namespace

TEST(TagTextViews, CopyAndPasteKeepTagsAsNewObjects)
{
    BodyTextView source;
    auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    name->setAttributes(colored(font(QStringLiteral("Serif"), 14), RgbaColor{1, 0, 0, 1}));
    auto condition = std::make_shared<ConditionTag>(QStringLiteral("If"),
                                                    QList<ConditionRule>{rule("Name", 2, "x", RichText("yes"))});
    RichText text = withTag(QStringLiteral("Dear "), name, QStringLiteral("! "));
    DoInsertTagInAttributedString(condition, text, text.length());
    source.setAttributedString(text);
    // The tag changed after it was inserted: the copy must hold what is shown.
    condition->setDataArray({rule("Name", 3, "z", RichText("no"))});

    select(source, 0, text.length());
    source.copy();
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->formats(), (QStringList{TagPasteboard::MimeType, QStringLiteral("text/plain")}));
    EXPECT_EQ(copied->text(), QStringLiteral("Dear <Name>! <If>"));

    BodyTextView target;
    RecordingDelegate delegate;
    target.setDelegate(&delegate);
    target.setAttributedString(RichText(QStringLiteral("[]")));
    select(target, 1, 1);
    target.paste();
    const RichText pasted = target.attributedString();
    EXPECT_EQ(pasted.string(), QStringLiteral("[") + text.string() + QStringLiteral("]"));
    EXPECT_TRUE(pasted.attributedSubstring(TextRange{1, text.length()}) == text);
    const QList<SimpleTagRef> tags = AttributedTagString::tags(pasted);
    ASSERT_EQ(tags.size(), 2);
    EXPECT_NE(tags[0], name);
    EXPECT_EQ(tags[0]->tagName(), QStringLiteral("Name"));
    EXPECT_EQ(tags[0]->attributes(), name->attributes());
    EXPECT_EQ(tags[0]->delegate(), &delegate);
    const auto pastedCondition = std::dynamic_pointer_cast<ConditionTag>(tags[1]);
    ASSERT_TRUE(pastedCondition);
    EXPECT_NE(pastedCondition, condition);
    EXPECT_EQ(pastedCondition->dataArray().value(0).content, QStringLiteral("z"));

    // An empty selection copies nothing.
    putOnClipboard(new QMimeData);
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    select(source, 3, 3);
    source.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

TEST(TagTextViews, PasteReadsOurFormatPlainTextOrTheTextOfRichFormats)
{
    BodyTextView view;
    // Another program's rich text alone gives its text, as typed: no looks,
    // no pictures, nothing of what it refers to.
    auto *html = new QMimeData;
    html->setHtml(QStringLiteral("<b>bold</b><img src=\"file:///etc/passwd\"> <a href=\"x:y\">link</a>"));
    putOnClipboard(html);
    view.paste();
    EXPECT_EQ(view.attributedString().string(), QStringLiteral("bold link"));
    EXPECT_FALSE(view.attributedString().attributesAtIndex(0).contains(TextAttributeName::Link));
    EXPECT_FALSE(view.attributedString().attributesAtIndex(0).value(TextAttributeName::Font).value<FontDescriptor>().bold);
    view.clear();
    auto *rtf = new QMimeData;
    rtf->setData(QStringLiteral("text/rtf"),
                 "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}\\f0\\b Gr\\'fc\\'dfe\\b0\\par \\u8364?x}");
    putOnClipboard(rtf);
    view.paste();
    EXPECT_EQ(view.attributedString().string(), QStringLiteral("Gr\u00fc\u00dfe\n\u20acx"));
    view.clear();
    auto *both = new QMimeData;
    both->setHtml(QStringLiteral("<b>bold</b>"));
    both->setText(QStringLiteral("bold"));
    putOnClipboard(both);
    view.paste();
    EXPECT_TRUE(view.attributedString() == RichText(QStringLiteral("bold")));

    // Broken or foreign data under our format: the plain text beside it.
    for (const QByteArray &data : {QByteArray("CVTA\x01\xff\xff garbage"),
                                   TypedArchiver::archivedDataWithRootObject(QStringLiteral("not a text"))}) {
        view.clear();
        auto *broken = new QMimeData;
        broken->setData(TagPasteboard::MimeType, data);
        broken->setText(QStringLiteral("plain"));
        putOnClipboard(broken);
        view.paste();
        EXPECT_EQ(view.attributedString().string(), QStringLiteral("plain"));
    }

    // Pasting makes only the pasted tags anew: a tag changed since it was
    // inserted keeps its change.
    auto condition = std::make_shared<ConditionTag>(QStringLiteral("If"), QList<ConditionRule>{});
    view.setAttributedString(withTag(QString(), condition));
    condition->setDataArray({rule("Name", 0, "a", RichText("b"))});
    select(view, 1, 1);
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    view.paste();
    const QList<SimpleTagRef> tags = AttributedTagString::tags(view.attributedString());
    ASSERT_EQ(tags.size(), 1);
    EXPECT_EQ(tags[0], condition);
    EXPECT_EQ(condition->dataArray().size(), 1);
}

TEST(TagTextViews, SubjectDropsTypedLineBreaksAndTabsOnly)
{
    SingleLineTextView subject;
    QTest::keyClicks(&subject, QStringLiteral("ab"));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Backtab})
        QTest::keyClick(&subject, key);
    QTest::keyClick(&subject, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(&subject, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClicks(&subject, QStringLiteral("c"));
    EXPECT_EQ(subject.attributedString().string(), QStringLiteral("abc"));

    // Only typed text is filtered.
    QGuiApplication::clipboard()->setText(QStringLiteral("d\ne"));
    subject.paste();
    EXPECT_EQ(subject.attributedString().string(), QStringLiteral("abcd\ne"));

    // Typing after a tag types text, not another tag.
    subject.setAttributedString(RichText(QStringLiteral("a"), font(QStringLiteral("Serif"), 20)));
    subject.moveCursor(QTextCursor::End);
    subject.insertTag(std::make_shared<SimpleTag>(QStringLiteral("Name")));
    QTest::keyClicks(&subject, QStringLiteral("x"));
    const RichText typed = subject.attributedString();
    EXPECT_EQ(typed.string(), QStringLiteral("a") + Replacement + QStringLiteral("x"));
    EXPECT_EQ(AttributedTagString::tags(typed).size(), 1);
    EXPECT_EQ(typed.attributesAtIndex(2), font(QStringLiteral("Serif"), 20));
}

TEST(TagTextViews, TagsTakeTheSizeOfTheirCellFrame)
{
    BodyTextView view;
    view.resize(600, 200);
    view.show();
    auto name = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    view.insertTag(name);
    ASSERT_TRUE(name->font());
    EXPECT_EQ(*name->font(), view.viewFont());

    QTemporaryDir folder;
    const QString picture = folder.filePath(QStringLiteral("p.png"));
    ASSERT_TRUE(QImage(20, 10, QImage::Format_RGB32).save(picture));
    auto image = std::make_shared<ImageTag>(picture);
    image->setScaling(1.5f);
    view.insertTag(image);
    view.insertTag(std::make_shared<ImageTag>(folder.filePath(QStringLiteral("missing.png"))));

    const QFontMetricsF metrics(RichTextBridge::qFont(*name->font()));
    EXPECT_NEAR(characterSpan(view, 0).second, metrics.horizontalAdvance(QStringLiteral("Name")) + 16, 1.0);
    EXPECT_NEAR(characterSpan(view, 1).second, 20 * 1.5 + 10, 0.5);
    EXPECT_NEAR(characterSpan(view, 2).second, 10, 0.5);
    EXPECT_GE(view.cursorRect().height(), 15);

    // A renamed tag is laid out anew once the view reloads its tags.
    const qreal before = characterSpan(view, 0).second;
    view.tagNameChanged(QStringLiteral("Name"), QStringLiteral("Name of the recipient"));
    view.reloadTagData();
    EXPECT_NEAR(characterSpan(view, 0).second - before,
                metrics.horizontalAdvance(QStringLiteral("Name of the recipient")) -
                    metrics.horizontalAdvance(QStringLiteral("Name")),
                1.0);
}

TEST(TagTextViews, ClickingAConditionTagAsksTheDelegate)
{
    BodyTextView view;
    view.resize(600, 200);
    view.show();
    RecordingDelegate delegate;
    auto condition = std::make_shared<ConditionTag>(QStringLiteral("If"), QList<ConditionRule>{});
    auto field = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    condition->setDelegate(&delegate);
    field->setDelegate(&delegate);
    RichText text = withTag(QStringLiteral("ab "), condition, QStringLiteral(" "));
    DoInsertTagInAttributedString(field, text, text.length());
    view.setAttributedString(text);

    const auto clickAt = [&](int index) {
        const auto [left, width] = characterSpan(view, index);
        QTextCursor cursor(view.document());
        cursor.setPosition(index);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          QPoint(int(left + width * 0.75), view.cursorRect(cursor).center().y()));
    };
    clickAt(3);
    ASSERT_EQ(delegate.conditions.size(), 1);
    EXPECT_EQ(delegate.conditions[0], condition.get());
    clickAt(1);
    clickAt(5);
    EXPECT_EQ(delegate.conditions.size(), 1);
}

TEST(TagTextViews, FontChangesReachTheTagsInTheSelection)
{
    BodyTextView view;
    auto tag = std::make_shared<SimpleTag>(QStringLiteral("Name"));
    tag->setAttribute(TextAttributeName::Underline, 1);
    RichText text = withTag(QStringLiteral("ab"), tag, QStringLiteral("c"));
    text.addAttribute(TextAttributeName::Underline, 1, TextRange{0, 2});
    view.setAttributedString(text);

    select(view, 0, 4);
    view.underline();
    EXPECT_FALSE(tag->attributes()->contains(TextAttributeName::Underline));
    EXPECT_FALSE(view.attributedString().attributesAtIndex(0).contains(TextAttributeName::Underline));
    select(view, 0, 4);
    view.underline();
    EXPECT_EQ(tag->attributes()->value(TextAttributeName::Underline), QVariant(1));
    EXPECT_EQ(view.attributedString().attributesAtIndex(3).value(TextAttributeName::Underline), QVariant(1));

    TagTextView::FontPanelChange bigger;
    bigger.convertFont = [](FontDescriptor font) {
        font.pointSize = 30;
        return font;
    };
    select(view, 1, 3);
    view.changeFont(bigger);
    EXPECT_EQ(tag->font()->pointSize, 30);
    const QVariant changed = view.attributedString().attributesAtIndex(1).value(TextAttributeName::Font);
    EXPECT_EQ(changed.value<FontDescriptor>().pointSize, 30);
    EXPECT_FALSE(view.attributedString().attributesAtIndex(0).contains(TextAttributeName::Font));
    EXPECT_EQ(AttributedTagString::tags(view.attributedString()).value(0), tag);

    view.changeColor(RgbaColor{0, 0, 1, 1});
    EXPECT_EQ(tag->attributes()->value(TextAttributeName::Color).value<RgbaColor>(), (RgbaColor{0, 0, 1, 1}));

    // Turning rich text off and on gives every tag the view's font.
    view.useTagTextStorage();
    view.setRichText(true);
    EXPECT_EQ(tag->font()->pointSize, 30);
    view.setRichText(false);
    EXPECT_EQ(*tag->font(), view.viewFont());
}

TEST(TagTextViews, LinkSheetChecksTheAddress)
{
    RecordingPresenter presenter;
    BodyTextView view;
    view.show();
    view.setAttributedString(RichText(QStringLiteral("see here and there")));
    const auto linkAt = [&](int index) {
        return view.attributedString().attributesAtIndex(index).value(TextAttributeName::Link);
    };

    select(view, 4, 8);
    view.setLink();
    QPointer<LinkSheet> sheet = view.linkEditSheet();
    ASSERT_TRUE(sheet);
    view.textLinkURL()->setText(QStringLiteral("exa mple.com"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_EQ(presenter.panels.size(), 1);
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());

    view.textLinkURL()->setText(QStringLiteral("example.com/a"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }));
    EXPECT_EQ(linkAt(4), QVariant(QStringLiteral("http://example.com/a")));
    EXPECT_EQ(linkAt(7), QVariant(QStringLiteral("http://example.com/a")));
    EXPECT_FALSE(linkAt(3).isValid());
    EXPECT_FALSE(linkAt(8).isValid());

    select(view, 0, 18);
    view.setLink();
    sheet = view.linkEditSheet();
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }));
    EXPECT_FALSE(linkAt(0).isValid());

    view.removeLink();
    EXPECT_FALSE(linkAt(4).isValid());
    EXPECT_TRUE(presenter.reports.isEmpty());

    view.setRichText(false);
    view.setLink();
    EXPECT_FALSE(view.linkEditSheet());
}

TEST(TagTextViews, ListStylesNumberTheSelectedLines)
{
    BodyTextView view;
    QSignalSpy edited(&view, &BodyTextView::documentEdited);
    view.setAttributedString(RichText(QStringLiteral("one\ntwo\nthree")));
    select(view, 1, 5);
    view.setListStyle(6);
    RichText text = view.attributedString();
    EXPECT_EQ(text.string(), QStringLiteral("\t1.\tone\n\t2.\ttwo\nthree"));
    for (const int index : {0, 5, 9, 14}) {
        const QVariant style = text.attributesAtIndex(index).value(TextAttributeName::ParagraphStyle);
        EXPECT_EQ(style.value<ParagraphStyle>().textLists, QList<TextList>{TextList{QStringLiteral("{decimal}.")}})
            << index;
    }
    EXPECT_FALSE(text.attributesAtIndex(17).contains(TextAttributeName::ParagraphStyle));

    select(view, 0, text.length());
    view.setListStyle(0);
    EXPECT_EQ(view.attributedString().string(), QStringLiteral("one\ntwo\nthree"));
    view.setListStyle(99);
    EXPECT_EQ(view.attributedString().string(), QStringLiteral("one\ntwo\nthree"));
    EXPECT_EQ(edited.count(), 3);
}
