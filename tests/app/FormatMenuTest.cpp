// The Format menu and the format bar of the document window, as a user meets
// them: they act on the text that has the focus (also in a sheet), only where
// it holds formatted text, each change one step Ctrl+Z takes back.

#include "AttachmentEditor.h"
#include "BodyTextView.h"
#include "ConditionEditor.h"
#include "DatabaseTab.h"
#include "DocumentWindow.h"
#include "FilesTab.h"
#include "LinkSheet.h"
#include "MessageTabFixture.h"
#include "SingleLineTextView.h"
#include "message/TextFixtures.h"

#include "AttributedTagString.h"

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFontComboBox>
#include <QFontDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace TextFixtures;

namespace {

FontDescriptor fontAt(const RichText &text, int index)
{
    return text.attributesAtIndex(index).value(TextAttributeName::Font).value<FontDescriptor>();
}

FontDescriptor tagFont(const SimpleTagRef &tag)
{
    return tag->attributes().value_or(TextAttributes()).value(TextAttributeName::Font).value<FontDescriptor>();
}

void select(QTextEdit *view, int from, int to)
{
    QTextCursor cursor = view->textCursor();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
}

QString screenshotPath(const QString &name)
{
    QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/app");
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

class FormatMenuTest : public MessageTabFixture {
protected:
    void SetUp() override
    {
        MessageTabFixture::SetUp();
        document->documentWindow()->tabView()->setCurrentIndex(1);
    }

    QAction *item(const char *name) const { return document->window()->findChild<QAction *>(QLatin1String(name)); }
    template <typename T>
    T *control(const char *name) const
    {
        return document->window()->findChild<T *>(QLatin1String(name));
    }
    // The panel the last command opened.
    template <typename T>
    T *openPanel() const
    {
        for (T *panel : document->window()->findChildren<T *>()) {
            if (panel->isVisible())
                return panel;
        }
        return nullptr;
    }

    // A formatted message whose body is shown with the focus in it.
    void formattedBody(const RichText &text)
    {
        tab->setOption(1);
        document->messageTab().setBodyText(text);
        focus(tab->bodyView());
        document->updateChangeCount(Document::ChangeCleared);
    }
};

} // namespace

TEST_F(FormatMenuTest, KeysFormatTextAndTagsAsOneUndoStepEach)
{
    struct Case {
        Qt::Key key;
        std::function<bool(const TextAttributes &)> on;
    };
    const Case cases[] = {
        {Qt::Key_B, [](const TextAttributes &a) { return a.value(TextAttributeName::Font).value<FontDescriptor>().bold; }},
        {Qt::Key_I,
         [](const TextAttributes &a) { return a.value(TextAttributeName::Font).value<FontDescriptor>().italic; }},
        {Qt::Key_U, [](const TextAttributes &a) { return a.value(TextAttributeName::Underline).toInt() != 0; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QKeySequence(c.key).toString().toStdString());
        auto tag = std::make_shared<SimpleTag>("Name");
        tag->setFont(FontDescriptor{"DejaVu Sans", 12, false, false});
        RichText text(QStringLiteral("Dear "), font("DejaVu Sans", 12));
        DoInsertTagInAttributedString(tag, text, text.length());
        text.append(RichText(QStringLiteral(" friend"), font("DejaVu Sans", 12)));
        formattedBody(text);
        const auto looks = tag->attributes();
        tab->bodyView()->selectAll();

        QTest::keyClick(tab->bodyView(), c.key, Qt::ControlModifier);
        EXPECT_TRUE(c.on(body().attributesAtIndex(0)));
        EXPECT_TRUE(c.on(body().attributesAtIndex(text.length() - 1)));
        EXPECT_TRUE(c.on(tag->attributes().value_or(TextAttributes())));
        EXPECT_TRUE(document->isDocumentEdited());

        undo();
        EXPECT_FALSE(c.on(body().attributesAtIndex(0)));
        EXPECT_EQ(tag->attributes(), looks);
        redo();
        EXPECT_TRUE(c.on(body().attributesAtIndex(0)));
        EXPECT_TRUE(c.on(tag->attributes().value_or(TextAttributes())));
        // Pressed again, the selection goes back as it was.
        tab->bodyView()->selectAll();
        QTest::keyClick(tab->bodyView(), c.key, Qt::ControlModifier);
        EXPECT_FALSE(c.on(body().attributesAtIndex(0)));
        EXPECT_FALSE(c.on(tag->attributes().value_or(TextAttributes())));
    }
}

TEST_F(FormatMenuTest, MenuFollowsTheFocusedTextAndTheForm)
{
    QAction *bold = item("formatBold");
    QAction *link = item("formatLink");
    QAction *list = item("formatList1");
    QAction *background = item("formatBackground");
    auto *bar = control<QWidget>("formatBar");
    ASSERT_TRUE(bold && link && list && background && bar);
    const auto enabled = [&] {
        return std::vector<bool>{bold->isEnabled(), link->isEnabled(), list->isEnabled(), background->isEnabled()};
    };

    // A new message is plain text: nothing to format, no bar.
    focus(tab->bodyView());
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
    EXPECT_FALSE(bar->isVisible());

    tab->setOption(1);
    focus(tab->bodyView());
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(bar->isVisible());
    // The subject takes fonts, not links, lists or the body's background.
    focus(tab->subjectView());
    EXPECT_EQ(enabled(), (std::vector<bool>{true, false, false, false}));
    QTest::keyClicks(tab->subjectView(), QStringLiteral("Hello"));
    tab->subjectView()->selectAll();
    QTest::keyClick(tab->subjectView(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(fontAt(tab->subjectView()->attributedString(), 0).bold);

    // Another control of the window has nothing to format.
    document->documentWindow()->tabView()->setCurrentIndex(0);
    focus(document->databaseTab()->tableView());
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
    document->documentWindow()->tabView()->setCurrentIndex(1);
    focus(tab->bodyView());
    EXPECT_TRUE(bold->isEnabled());

    // The raw HTML source is plain text again; a template holds formatted text.
    tab->setOption(2);
    focus(tab->bodyView());
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
    EXPECT_FALSE(bar->isVisible());
    tab->templateSelectorChosenTemplateName(QStringLiteral("Any Frame"));
    focus(tab->bodyView());
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(bar->isVisible());
}

TEST_F(FormatMenuTest, PanelsListsLinksAndBackgroundAreOneStepEach)
{
    auto tag = std::make_shared<SimpleTag>("Name");
    RichText text(QStringLiteral("one\ntwo "), font("DejaVu Sans", 12));
    DoInsertTagInAttributedString(tag, text, text.length());
    formattedBody(text);
    const int end = text.length() - 1;
    tab->bodyView()->selectAll();

    // Fonts...: the font panel's font, on text and tag alike.
    ASSERT_TRUE(item("formatFonts"));
    item("formatFonts")->trigger();
    auto *fontPanel = openPanel<QFontDialog>();
    ASSERT_TRUE(fontPanel);
    QFont serif(QStringLiteral("DejaVu Serif"), 20);
    serif.setItalic(true);
    fontPanel->setCurrentFont(serif);
    fontPanel->accept();
    for (const FontDescriptor &font : {fontAt(body(), 0), fontAt(body(), end), tagFont(tag)}) {
        EXPECT_EQ(font.family, "DejaVu Serif");
        EXPECT_EQ(font.pointSize, 20);
        EXPECT_TRUE(font.italic);
    }
    EXPECT_TRUE(document->isDocumentEdited());
    undo();
    EXPECT_EQ(fontAt(body(), 0), (FontDescriptor{"DejaVu Sans", 12, false, false}));
    EXPECT_FALSE(tag->attributes().has_value());
    redo();
    tab->bodyView()->selectAll();

    item("formatBigger")->trigger();
    EXPECT_EQ(fontAt(body(), 0).pointSize, 21);
    EXPECT_EQ(tagFont(tag).pointSize, 21);
    item("formatSmaller")->trigger();
    item("formatSmaller")->trigger();
    EXPECT_EQ(fontAt(body(), end).pointSize, 19);

    // Colours...
    item("formatColours")->trigger();
    auto *colorPanel = openPanel<QColorDialog>();
    ASSERT_TRUE(colorPanel);
    colorPanel->setCurrentColor(Qt::red);
    colorPanel->accept();
    const RgbaColor red{1, 0, 0, 1};
    EXPECT_EQ(body().attributesAtIndex(0).value(TextAttributeName::Color).value<RgbaColor>(), red);
    EXPECT_EQ(tag->attributes()->value(TextAttributeName::Color).value<RgbaColor>(), red);

    // List ▸ a numbered list, over the selected lines.
    item("formatList6")->trigger();
    EXPECT_EQ(body().string().left(15), QStringLiteral("\t1.\tone\n\t2.\ttwo"));
    undo();
    EXPECT_EQ(body().string().left(7), QStringLiteral("one\ntwo"));

    // Link... asks for the address; Remove Link takes it off.
    select(tab->bodyView(), 0, 3);
    item("formatLink")->trigger();
    auto *linkSheet = openPanel<LinkSheet>();
    ASSERT_TRUE(linkSheet);
    linkSheet->textLinkURL()->setText(QStringLiteral("example.org"));
    linkSheet->okButton()->click();
    EXPECT_EQ(body().attributesAtIndex(0).value(TextAttributeName::Link), QVariant("http://example.org"));
    EXPECT_FALSE(body().attributesAtIndex(3).contains(TextAttributeName::Link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->bodyView()->hasFocus(); }));
    item("formatRemoveLink")->trigger();
    EXPECT_FALSE(body().attributesAtIndex(0).contains(TextAttributeName::Link));

    // The body's background: shown, stored, one step of the body's history.
    document->updateChangeCount(Document::ChangeCleared);
    item("formatBackground")->trigger();
    auto *backgroundPanel = openPanel<QColorDialog>();
    ASSERT_TRUE(backgroundPanel);
    backgroundPanel->setCurrentColor(QColor(255, 255, 0));
    backgroundPanel->accept();
    const RgbaColor yellow{1, 1, 0, 1};
    EXPECT_EQ(document->messageTab().backgroundColor(), yellow);
    EXPECT_EQ(tab->bodyView()->palette().color(QPalette::Base), QColor(255, 255, 0));
    EXPECT_EQ(document->messageTab().fileData().value("Body Background Color").value<RgbaColor>(), yellow);
    EXPECT_TRUE(document->isDocumentEdited());
    undo();
    EXPECT_EQ(tab->bodyView()->palette().color(QPalette::Base), QColor(Qt::white));
    redo();
    EXPECT_EQ(document->messageTab().backgroundColor(), yellow);
}

TEST_F(FormatMenuTest, BarShowsTheCaretAndActsOnTheSelection)
{
    auto tag = std::make_shared<SimpleTag>("Name");
    tag->setFont(FontDescriptor{"DejaVu Sans", 12, false, false});
    RichText text(QStringLiteral("plain "), font("DejaVu Sans", 12));
    text.append(RichText(QStringLiteral("strong "), font("DejaVu Sans", 12, true)));
    DoInsertTagInAttributedString(tag, text, text.length());
    formattedBody(text);
    auto *bold = control<QToolButton>("formatBoldButton");
    auto *family = control<QFontComboBox>("formatFamily");
    auto *size = control<QComboBox>("formatSize");
    ASSERT_TRUE(bold && family && size);

    select(tab->bodyView(), 9, 9);
    EXPECT_TRUE(bold->isChecked());
    select(tab->bodyView(), 2, 2);
    EXPECT_FALSE(bold->isChecked());
    EXPECT_EQ(family->currentFont().family(), "DejaVu Sans");
    EXPECT_EQ(size->currentText(), "12");

    select(tab->bodyView(), 0, 6);
    family->setCurrentFont(QFont(QStringLiteral("DejaVu Serif")));
    emit family->activated(family->currentIndex());
    EXPECT_EQ(fontAt(body(), 0).family, "DejaVu Serif");
    EXPECT_EQ(fontAt(body(), 6).family, "DejaVu Sans");
    EXPECT_TRUE(tab->bodyView()->hasFocus());
    focus(size);
    size->lineEdit()->setText(QStringLiteral("18"));
    QTest::keyClick(size->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(fontAt(body(), 5).pointSize, 18);
    EXPECT_EQ(fontAt(body(), 6).pointSize, 12);
    // Sizes typed with the keys and confirmed with Return, offered or not.
    for (const double typed : {15.5, 24.0}) {
        focus(size);
        size->lineEdit()->selectAll();
        QTest::keyClicks(size->lineEdit(), QString::number(typed));
        QTest::keyClick(size->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(fontAt(body(), 5).pointSize, typed);
        EXPECT_EQ(fontAt(body(), 6).pointSize, 12);
        EXPECT_TRUE(tab->bodyView()->hasFocus());
    }
    undo();
    EXPECT_EQ(fontAt(body(), 5).pointSize, 15.5) << "one step for one size";
    select(tab->bodyView(), 0, 6);
    QTest::mouseClick(bold, Qt::LeftButton);
    EXPECT_TRUE(fontAt(body(), 0).bold);
    EXPECT_TRUE(bold->isChecked());
    undo();
    EXPECT_FALSE(fontAt(body(), 0).bold);
    EXPECT_FALSE(bold->isChecked());

    // The bar over formatted text with the tag selected.
    select(tab->bodyView(), text.length() - 1, text.length());
    EXPECT_FALSE(bold->isChecked());
    const QString file = screenshotPath(QStringLiteral("format-bar.png"));
    ASSERT_TRUE(document->window()->grab().save(file));
    EXPECT_FALSE(QImage(file).isNull());
}

TEST_F(FormatMenuTest, SheetsTextsTakeTheFormatInTheirSheets)
{
    tab->setOption(1);
    focus(tab->bodyView());
    tab->insertSpecialField(1);
    ConditionEditor *editor = tab->conditionEditor();
    ASSERT_TRUE(editor);
    editor->findChild<QPushButton *>("addButton")->click();
    editor->findChild<QTableView *>("rulesTable")->selectRow(0);
    auto *result = editor->findChild<TagTextView *>("resultTextView");
    ASSERT_TRUE(result);
    focus(result);
    QTest::keyClicks(result, QStringLiteral("Berlin readers"));
    result->selectAll();
    QTest::keyClick(result, Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(fontAt(result->attributedString(), 0).bold);
    EXPECT_TRUE(fontAt(editor->model().rules().value(0).result, 0).bold);

    // The window's menu bar is out of reach: the text's own menu offers Format.
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup)
            return;
        for (const QAction *action : popup->actions())
            offered << action->text();
        popup->close();
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4), result->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(result, &menuKey);
    auto *format = control<QMenu>("menuFormat");
    ASSERT_TRUE(format);
    EXPECT_TRUE(offered.contains(format->title())) << offered.join(", ").toStdString();
    editor->reject();

    // The same in the attachment editor's file name.
    document->documentWindow()->tabView()->setCurrentIndex(2);
    document->documentWindow()->filesTab()->doAddPersonalizedFile();
    auto *attachmentEditor = openPanel<AttachmentEditor>();
    ASSERT_TRUE(attachmentEditor);
    focus(attachmentEditor->fileNameField());
    QTest::keyClicks(attachmentEditor->fileNameField(), QStringLiteral("report.pdf"));
    attachmentEditor->fileNameField()->selectAll();
    QTest::keyClick(attachmentEditor->fileNameField(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(fontAt(attachmentEditor->fileNameField()->attributedString(), 0).italic);
    attachmentEditor->cancelClicked();
}

TEST_F(FormatMenuTest, FieldNamesWithAmpersandShowLiterally)
{
    document->database().addField(QStringLiteral("R&D"));
    focus(tab->bodyView());
    // Qt shows an item's text the way its icon text strips it.
    const auto shown = [](const QMenu *menu, const QString &text) -> QAction * {
        for (QAction *action : menu->actions()) {
            if (action->iconText() == text)
                return action;
        }
        return nullptr;
    };
    tab->willBeSelected();
    QAction *field = shown(tab->fieldMenuButton()->menu(), QStringLiteral("R&D"));
    ASSERT_TRUE(field);
    field->trigger();
    EXPECT_EQ(AttributedTagString::textTagString(body()), "<R&D>");

    tab->insertSpecialField(1);
    ConditionEditor *editor = tab->conditionEditor();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(shown(editor->findChild<QToolButton *>("insertFieldMenu")->menu(), QStringLiteral("R&D")));
    editor->reject();
}

TEST_F(FormatMenuTest, ScreenshotOfTheFormatMenuOpen)
{
    tab->setOption(1);
    document->messageTab().setBodyText(RichText(QStringLiteral("Dear all,\nthe garden opens on Sunday.")));
    focus(tab->bodyView());
    auto *menu = control<QMenu>("menuFormat");
    ASSERT_TRUE(menu);
    auto *window = static_cast<QMainWindow *>(document->window());
    window->menuBar()->setActiveAction(menu->menuAction());
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    // With its Font submenu open: the items the keys reach.
    QMenu *fonts = menu->actions().value(0)->menu();
    ASSERT_TRUE(fonts);
    menu->setActiveAction(fonts->menuAction());
    QTest::keyClick(menu, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([fonts] { return fonts->isVisible(); }));
    QPixmap shot = window->grab();
    {
        QPainter painter(&shot);
        for (QMenu *open : {menu, fonts})
            painter.drawPixmap(open->pos() - window->mapToGlobal(QPoint(0, 0)), open->grab());
    }
    fonts->close();
    const QString file = screenshotPath(QStringLiteral("format-menu.png"));
    ASSERT_TRUE(shot.save(file));
    EXPECT_FALSE(QImage(file).isNull());

    // Its Text submenu: the alignments, the caret's checked.
    QMenu *text = control<QMenu>("menuFormatText");
    ASSERT_TRUE(text);
    menu->setActiveAction(text->menuAction());
    QTest::keyClick(menu, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([text] { return text->isVisible(); }));
    shot = window->grab();
    {
        QPainter painter(&shot);
        for (QMenu *open : {menu, text})
            painter.drawPixmap(open->pos() - window->mapToGlobal(QPoint(0, 0)), open->grab());
    }
    text->close();
    menu->close();
    const QString textFile = screenshotPath(QStringLiteral("format-menu-text.png"));
    ASSERT_TRUE(shot.save(textFile));
    EXPECT_FALSE(QImage(textFile).isNull());
}

TEST_F(FormatMenuTest, BodyShowsTheStoredBackground)
{
    QTemporaryDir dir;
    const RgbaColor lavender{0.9f, 0.9f, 1.0f, 1.0f};
    tab->setOption(1);
    document->messageTab().setBackgroundColor(lavender);
    const QString file = dir.filePath("background.quorv2");
    QString error;
    ASSERT_TRUE(document->writeToFile(file, &error)) << error.toStdString();

    MyDocument reopened;
    ASSERT_TRUE(reopened.readFromFile(file, {}, &error)) << error.toStdString();
    reopened.showWindows();
    EXPECT_EQ(reopened.messageTabWidget()->bodyView()->palette().color(QPalette::Base),
              QColor::fromRgbF(0.9f, 0.9f, 1.0f));
    // Plain text is shown on white, as it is sent.
    reopened.messageTabWidget()->setOption(3);
    EXPECT_EQ(reopened.messageTabWidget()->bodyView()->palette().color(QPalette::Base), QColor(Qt::white));
}
