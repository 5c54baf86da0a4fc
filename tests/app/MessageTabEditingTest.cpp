// Editing the message from its tab: tags go where the caret was, a change
// of form or an import is one step Ctrl+Z takes back, conditions survive
// the project file, text files are read strictly.

#include "CellEditing.h"

#include "BodyTextView.h"
#include "ConditionEditor.h"
#include "DatabaseTab.h"
#include "DocumentWindow.h"
#include "FieldNamesEditor.h"
#include "FileChooser.h"
#include "HTMLConverter.h"
#include "ImageEditor.h"
#include "MessageTabFixture.h"
#include "RecipientTableModel.h"
#include "SingleLineTextView.h"
#include "TemplateSelector.h"
#include "message/TextFixtures.h"

#include "AlertPresenter.h"
#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "HTMLFileLinkTag.h"
#include "ImageTag.h"
#include "Settings.h"
#include "TemplateManager.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace TextFixtures;
using Mode = MessageTab::Mode;

namespace {

class ScriptedChooser : public FileChooser {
public:
    ScriptedChooser() { FileChooser::setCurrent(this); }
    ~ScriptedChooser() override { FileChooser::setCurrent(nullptr); }
    void chooseFile(QWidget *, const QString &, const QStringList &, Done done) override { done(answer); }
    QString answer;
};

class QuietAlerts : public AlertPresenter {
public:
    QuietAlerts() { AlertPresenter::setCurrent(this); }
    ~QuietAlerts() override { AlertPresenter::setCurrent(nullptr); }
    void runAlertPanel(const QString &title, const QString &) override { shown << title; }
    void beginAlertSheet(const QString &title, const QString &, QWidget *) override { shown << title; }
    void showErrorReport(const QString &text, QWidget *) override { shown << text; }
    QStringList shown;
};

class MessageTabEditingTest : public MessageTabFixture {
protected:
    void showTab(QWidget *page)
    {
        document->documentWindow()->tabView()->setCurrentWidget(page);
        QApplication::setActiveWindow(document->window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(document->window()));
    }

    // Through the recipient tab's field names sheet.
    void renameField(int position, const QString &name)
    {
        showTab(document->databaseTab());
        document->window()->findChild<QAction *>(QStringLiteral("actionEditFieldNames"))->trigger();
        FieldNamesEditor *sheet = document->window()->findChild<FieldNamesEditor *>();
        ASSERT_TRUE(sheet);
        auto *list = sheet->findChild<QTableView *>(QStringLiteral("tableView"));
        list->setCurrentIndex(list->model()->index(position, 1));
        typeIntoCurrentCell(list, name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return document->database().fieldNames().contains(name); }));
        sheet->accept();
        showTab(tab);
    }

    void editFirstRow(int column, const QString &value)
    {
        showTab(document->databaseTab());
        DatabaseTab *recipients = document->databaseTab();
        recipients->tableView()->setCurrentIndex(recipients->model()->index(0, column));
        typeIntoCurrentCell(recipients->tableView(), value);
        const QString columnID = recipients->model()->identifier(column);
        ASSERT_TRUE(QTest::qWaitFor([&] { return document->database().entryValue(0, columnID) == value; }));
        showTab(tab);
    }
};

} // namespace

TEST_F(MessageTabEditingTest, PulldownPutsTheTagWhereTheCaretWas)
{
    const QStringList fields = document->database().fieldNames();
    ASSERT_GE(fields.size(), 2);
    focus(tab->subjectView());
    // Picked with the keys from the real pull-down: the menu takes the focus
    // for as long as it is open.
    QTimer::singleShot(0, [] {
        QWidget *popup = QApplication::activePopupWidget();
        ASSERT_TRUE(popup);
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
    });
    QTest::mouseClick(tab->fieldMenuButton(), Qt::LeftButton);
    tab->commitEdits();
    EXPECT_EQ(AttributedTagString::textTagString(document->messageTab().subjectString()), "<" + fields[1] + ">");
    EXPECT_EQ(document->messageTab().bodyString().string(), "");
    EXPECT_TRUE(document->isDocumentEdited());

    // The menu follows the table's fields in their order; item 4 of the
    // special pull-down is no tag.
    document->database().addField("Town");
    tab->willBeSelected();
    QStringList listed;
    for (const QAction *action : tab->fieldMenuButton()->menu()->actions())
        listed << action->text();
    EXPECT_EQ(listed, document->database().fieldNames());
    focus(tab->bodyView());
    tab->insertSpecialField(4);
    tab->insertSpecialField(3);
    EXPECT_EQ(AttributedTagString::tags(body()).size(), 1);
    EXPECT_EQ(tab->specialAction(4)->isSeparator(), true);
}

TEST_F(MessageTabEditingTest, FormRoundTripKeepsBoldAndUndoesStepByStep)
{
    const FontOfNewMessagesKept keptFont;
    Settings::setDefaultMessageFont(FontDescriptor{"DejaVu Serif", 13.0, false, false});
    tab->setOption(1);
    RichText original(QStringLiteral("Bold"), font("DejaVu Sans", 14, true));
    original.append(RichText(QStringLiteral(" plain"), font("DejaVu Sans", 14)));
    // Tags keep their own looks too: one bold, one that never had any.
    auto boldTag = std::make_shared<SimpleTag>("Name");
    boldTag->setFont(FontDescriptor{"DejaVu Sans", 14, true, false});
    auto bareTag = std::make_shared<SimpleTag>("City");
    DoInsertTagInAttributedString(boldTag, original, original.length());
    DoInsertTagInAttributedString(bareTag, original, original.length());
    const auto boldLooks = boldTag->attributes();
    document->messageTab().setBodyText(original);
    focus(tab->bodyView());
    const auto boldAt0 = [this] {
        return body().attributesAtIndex(0).value(TextAttributeName::Font).value<FontDescriptor>().bold;
    };

    tab->setOption(3);
    EXPECT_EQ(document->messageTab().mode(), Mode::Plain);
    EXPECT_FALSE(tab->bodyView()->acceptRichText());
    EXPECT_TRUE(boldAt0());
    tab->setOption(1);
    EXPECT_EQ(document->messageTab().mode(), Mode::Formatted);
    EXPECT_TRUE(boldAt0());
    EXPECT_EQ(boldTag->font(), (FontDescriptor{"DejaVu Serif", 13, true, false}));
    EXPECT_FALSE(body().attributesAtIndex(5).value(TextAttributeName::Font).value<FontDescriptor>().bold);

    undo();
    EXPECT_EQ(document->messageTab().mode(), Mode::Plain);
    EXPECT_TRUE(boldAt0());
    EXPECT_TRUE(tab->optionAction(3)->isChecked());
    undo();
    EXPECT_EQ(document->messageTab().mode(), Mode::Formatted);
    EXPECT_EQ(body(), original);
    EXPECT_EQ(boldTag->attributes(), boldLooks);
    EXPECT_FALSE(bareTag->attributes().has_value());
    redo();
    EXPECT_EQ(document->messageTab().mode(), Mode::Plain);
    EXPECT_TRUE(document->isDocumentEdited());
}

TEST_F(MessageTabEditingTest, RenamesFromTheRecipientTabKeepWhatWasTypedAndItsHistory)
{
    // A field renamed, or a first-row value that names tags changed, while
    // the views hold text typed since the last save: the tags take the new
    // names where they stand, and nothing typed is lost, nor Ctrl+Z.
    QTemporaryDir dir;
    const struct {
        const char *form;
        int option;
        bool plainPartShown;
    } forms[] = {
        {"formatted", 1, false},
        {"plain", 3, false},
        {"raw HTML", 2, false},
        {"raw HTML with the plain part shown", 2, true},
    };
    for (const auto &f : forms) {
        SCOPED_TRACE(f.form);
        openDocument();
        document->database().addEntryWithData(-1, {"eve@x.org", "Greeting", "Ek"});
        document->databaseTab()->refreshData();
        const QString field = document->database().fieldNames().value(1);
        tab->setOption(f.option);
        if (f.plainPartShown)
            tab->modeButtonClicked(2);

        focus(tab->subjectView());
        QTest::keyClicks(tab->subjectView(), "Hello ");
        tab->insertField("Greeting");
        focus(tab->bodyView());
        QTest::keyClicks(tab->bodyView(), "Saved part. ");
        tab->insertField(field);
        QString error;
        ASSERT_TRUE(document->writeToFile(dir.filePath("typed.quorv2"), &error)) << error.toStdString();
        QTest::keyClicks(tab->bodyView(), "Typed after the save.");
        tab->insertField(field);
        focus(tab->subjectView());
        QTest::keyClick(tab->subjectView(), Qt::Key_End);
        QTest::keyClicks(tab->subjectView(), " now");

        const auto shown = [](const TagTextView *view) {
            return AttributedTagString::textTagString(view->attributedString()).toStdString();
        };
        renameField(1, "given name");
        EXPECT_EQ(shown(tab->bodyView()), "Saved part. <given name>Typed after the save.<given name>");
        EXPECT_EQ(shown(tab->subjectView()), "Hello <Greeting> now");
        focus(tab->bodyView());
        QTest::keyClick(tab->bodyView(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(tab->bodyView(), " And more.");
        editFirstRow(4, "Salutation");
        const std::string typedBody = "Saved part. <given name>Typed after the save.<given name> And more.";
        EXPECT_EQ(shown(tab->bodyView()), typedBody);
        EXPECT_EQ(shown(tab->subjectView()), "Hello <Salutation> now");

        // Ctrl+Z walks back through the typing to what was saved, renamed.
        focus(tab->bodyView());
        for (int press = 0; press < 6 && tab->bodyView()->toPlainText().contains("Typed"); ++press)
            undo();
        EXPECT_EQ(shown(tab->bodyView()), "Saved part. <given name>");
        for (int press = 0; press < 6 && !tab->bodyView()->toPlainText().contains("more"); ++press)
            redo();
        EXPECT_EQ(AttributedTagString::textTagString(body()).toStdString(), typedBody);
        EXPECT_EQ(document->messageTab().editHTMLPart(), f.option == 2 && !f.plainPartShown);
    }
}

TEST_F(MessageTabEditingTest, TextTypedAfterATagOrAnEndedListLooksLikeTheTextBeforeIt)
{
    // Qt hands a tag's format on to what is typed after it, a paragraph
    // break included, and clears what is typed next where Return ends a list.
    tab->setOption(1);
    const TextAttributes looks = font("DejaVu Serif", 15, true);
    document->messageTab().setBodyText(RichText(QStringLiteral("No. "), looks));
    BodyTextView *view = tab->bodyView();
    focus(view);
    const auto toEnd = [view] { QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier); };
    const auto list = [&](const char *name) {
        document->window()->findChild<QAction *>(QLatin1String(name))->trigger();
        toEnd();
    };
    toEnd();
    tab->specialAction(3)->trigger();
    QTest::keyClicks(view, "!");
    toEnd();
    tab->specialAction(3)->trigger();
    toEnd();
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClicks(view, "One");
    list("formatList1");
    QTest::keyClick(view, Qt::Key_Return);
    list("formatList0");
    QTest::keyClicks(view, "Two");
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClicks(view, "Three");
    list("formatList1");
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClicks(view, "End");

    const RichText text = body();
    ASSERT_EQ(text.string(), QStringLiteral("No. \uFFFC!\uFFFC\n\t\u2022\tOne\nTwo\n\t\u2022\tThree\nEnd"));
    for (int i = 0; i < text.length(); ++i) {
        const bool tag = text.string()[i] == QChar(0xFFFC);
        const TextAttributes attributes = text.attributesAtIndex(i);
        EXPECT_EQ(attributes.contains(TextAttributeName::Attachment), tag) << "character " << i;
        if (!tag) {
            EXPECT_TRUE(attributes.value(TextAttributeName::Font) == looks.value(TextAttributeName::Font))
                << "character " << i << " lost its looks";
        }
    }
    for (const int after : {15, 28}) {
        const auto style = text.attributesAtIndex(after).value(TextAttributeName::ParagraphStyle).value<ParagraphStyle>();
        EXPECT_TRUE(style.textLists.isEmpty()) << "the list has ended before " << after;
    }
}

TEST_F(MessageTabEditingTest, ReturnInAListItemStartsTheNextItemAndOnAnEmptyItemEndsTheList)
{
    // A list started on the empty line after a heading; a numbered list made
    // over typed lines, split in its middle (the items after it count on)
    // and ended in its middle. Each Return is one step Ctrl+Z takes back.
    tab->setOption(1);
    BodyTextView *view = tab->bodyView();
    focus(view);
    const auto type = [view](const char *text) { QTest::keyClicks(view, QLatin1String(text)); };
    const auto newLine = [view] { QTest::keyClick(view, Qt::Key_Return); };
    const auto bodyText = [this] { return body().string().toStdString(); };
    const auto caretAfter = [view](const QString &text) {
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(int(view->toPlainText().indexOf(text) + text.size()));
        view->setTextCursor(cursor);
    };
    // Whether the paragraph that holds the text's last character is listed.
    const auto listed = [this](const QString &line) {
        const RichText text = body();
        const auto style = text.attributesAtIndex(int(text.string().indexOf(line) + line.size() - 1))
                               .value(TextAttributeName::ParagraphStyle)
                               .value<ParagraphStyle>();
        return !style.textLists.isEmpty();
    };

    type("Our offers:");
    newLine();
    document->window()->findChild<QAction *>(QStringLiteral("formatList1"))->trigger();
    type("first item");
    newLine();
    type("second item");
    newLine();
    newLine();
    type("After the list");
    EXPECT_EQ(bodyText(), "Our offers:\n\t\u2022\tfirst item\n\t\u2022\tsecond item\nAfter the list");
    EXPECT_FALSE(listed(QStringLiteral("Our offers")));
    EXPECT_TRUE(listed(QStringLiteral("first item")));
    EXPECT_TRUE(listed(QStringLiteral("second item")));
    EXPECT_FALSE(listed(QStringLiteral("After the list")));

    document->messageTab().setBodyText(RichText(QStringLiteral("one\ntwo\nthree")));
    view->selectAll();
    document->window()->findChild<QAction *>(QStringLiteral("formatList6"))->trigger();
    const std::string numbered = "\t1.\tone\n\t2.\ttwo\n\t3.\tthree";
    ASSERT_EQ(bodyText(), numbered);
    caretAfter(QStringLiteral("one"));
    newLine();
    EXPECT_EQ(bodyText(), "\t1.\tone\n\t2.\t\n\t3.\ttwo\n\t4.\tthree");
    undo();
    EXPECT_EQ(bodyText(), numbered);
    redo();
    caretAfter(QStringLiteral("one\n\t2.\t"));
    newLine();
    EXPECT_EQ(bodyText(), "\t1.\tone\n\n\t1.\ttwo\n\t2.\tthree");
    EXPECT_FALSE(listed(QStringLiteral("\n\n")));
    undo();
    EXPECT_EQ(bodyText(), "\t1.\tone\n\t2.\t\n\t3.\ttwo\n\t4.\tthree");
}

TEST_F(MessageTabEditingTest, HtmlImportIsOneStepThatCtrlZTakesBack)
{
    ScriptedChooser chooser;
    QTemporaryDir dir;
    ASSERT_TRUE(writePng(dir.filePath("logo.png"), 4, 4));
    ASSERT_TRUE(writeFile(dir.filePath("page.html"), "<p>Hi /#+Name+#/</p><img src=\"logo.png\">"));
    tab->setOption(1);
    const RichText original(QStringLiteral("What was there"), font("DejaVu Sans", 12, false, true));
    document->messageTab().setBodyText(original);
    focus(tab->bodyView());

    chooser.answer = dir.filePath("page.html");
    tab->importMenuButton()->menu()->actions()[0]->trigger();
    HTMLConverter *sheet = tab->htmlConverter();
    ASSERT_TRUE(sheet);
    sheet->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(document->messageTab().mode(), Mode::RawHTML);
    EXPECT_TRUE(!tab->htmlModeButton()->isHidden() && tab->htmlModeButton()->isChecked());
    EXPECT_EQ(AttributedTagString::textTagString(body()), "<p>Hi <Name></p><img src=\"<logo.png>\">");
    EXPECT_EQ(document->messageTab().inlineAttachments(), QStringList{QFileInfo(dir.filePath("logo.png")).canonicalFilePath()});

    // The plain part and the source change places as one step too.
    tab->modeButtonClicked(2);
    EXPECT_EQ(body().string(), "");
    undo();
    EXPECT_EQ(AttributedTagString::textTagString(body()), "<p>Hi <Name></p><img src=\"<logo.png>\">");

    undo();
    EXPECT_EQ(document->messageTab().mode(), Mode::Formatted);
    EXPECT_EQ(body(), original);
    EXPECT_TRUE(tab->htmlModeButton()->isHidden());
}

TEST_F(MessageTabEditingTest, EditedConditionSurvivesSaveAndReopen)
{
    QTemporaryDir dir;
    const QString field = document->database().fieldNames().value(1);
    focus(tab->bodyView());
    tab->insertSpecialField(1);
    ConditionEditor *editor = tab->conditionEditor();
    ASSERT_TRUE(editor);
    editor->model().setConditionName("Greeting");
    editor->model().addRule();
    editor->model().setActiveRow(0);
    editor->model().chooseField(field);
    editor->model().editContent("Bern");
    editor->model().editResult(RichText("Grüezi"));
    editor->accept();

    const QList<SimpleTagRef> tags = AttributedTagString::tags(body());
    ASSERT_EQ(tags.size(), 1);
    auto *condition = dynamic_cast<ConditionTag *>(tags[0].get());
    ASSERT_TRUE(condition);
    // A click on the tag asks the tab, which opens the editor for it.
    EXPECT_TRUE(condition->trackMouse());
    ASSERT_TRUE(tab->conditionEditor());
    tab->conditionEditor()->model().setActiveRow(0);
    tab->conditionEditor()->model().editContent("Paris");
    tab->conditionEditor()->accept();

    const QString file = dir.filePath("conditions.quorv2");
    QString error;
    ASSERT_TRUE(document->writeToFile(file, &error)) << error.toStdString();
    MyDocument reopened;
    ASSERT_TRUE(reopened.readFromFile(file, {}, &error)) << error.toStdString();
    reopened.showWindows();
    const QList<SimpleTagRef> read = AttributedTagString::tags(reopened.messageTab().bodyString());
    ASSERT_EQ(read.size(), 1);
    const auto *back = dynamic_cast<const ConditionTag *>(read[0].get());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tagName(), "Greeting");
    ASSERT_EQ(back->dataArray().size(), 1);
    EXPECT_EQ(back->dataArray()[0].field, field);
    EXPECT_EQ(back->dataArray()[0].content, "Paris");
    EXPECT_EQ(back->dataArray()[0].result.string(), "Grüezi");
    // Read back, it is the reopened tab's to edit.
    EXPECT_EQ(back->delegate(), reopened.messageTabWidget());
}

TEST_F(MessageTabEditingTest, SpecialTagsFollowTheFormAndOpenTheirEditors)
{
    ScriptedChooser chooser;
    QTemporaryDir dir;
    ASSERT_TRUE(writePng(dir.filePath("p.png"), 8, 8));
    tab->setOption(3);
    EXPECT_FALSE(tab->specialAction(2)->isEnabled());
    EXPECT_FALSE(tab->specialAction(5)->isEnabled());
    tab->setOption(2);
    EXPECT_TRUE(tab->specialAction(5)->isEnabled());
    tab->setOption(1);
    EXPECT_TRUE(tab->specialAction(2)->isEnabled());
    EXPECT_FALSE(tab->specialAction(5)->isEnabled());

    focus(tab->bodyView());
    chooser.answer = dir.filePath("p.png");
    tab->insertSpecialField(2);
    const QList<SimpleTagRef> tags = AttributedTagString::tags(body());
    ASSERT_EQ(tags.size(), 1);
    EXPECT_TRUE(tags[0]->trackMouse());
    ASSERT_TRUE(tab->imageEditor());
    tab->imageEditor()->model().setScalingPercent(50);
    tab->imageEditor()->accept();
    EXPECT_FLOAT_EQ(std::static_pointer_cast<ImageTag>(tags[0])->scaling(), 0.5f);

    // A tag that is in neither view is not edited.
    ImageTag stranger(dir.filePath("p.png"));
    EXPECT_FALSE(tab->editImageTag(&stranger));

    // A template is chosen from the selector; cancelled, the form stays.
    ASSERT_TRUE(writeFile(dir.filePath("tpl/Plain Frame/index.html"), "<div>[[[message]]]</div>"));
    TemplateManager::defaultManager().addTemplatesAtPath(dir.filePath("tpl"));
    tab->setOption(4);
    ASSERT_TRUE(tab->templateSelector());
    tab->templateSelector()->reject();
    EXPECT_EQ(document->messageTab().mode(), Mode::Formatted);
    EXPECT_TRUE(tab->optionAction(1)->isChecked());
    tab->setOption(4);
    tab->templateSelectorChosenTemplateName("Plain Frame");
    EXPECT_EQ(document->messageTab().mode(), Mode::Template);
    EXPECT_EQ(document->messageTab().templateName(), "Plain Frame");
    undo();
    EXPECT_EQ(document->messageTab().mode(), Mode::Formatted);
    TemplateManager::defaultManager().clearTemplateList();
}

TEST_F(MessageTabEditingTest, TextImportIsStrictBoundedAndUndoable)
{
    QuietAlerts alerts;
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath("latin.txt"), "caf\xE9\r\nfin"));
    ASSERT_TRUE(writeFile(dir.filePath("utf8.txt"), "\xEF\xBB\xBF" "caf\xC3\xA9"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.txt")).constData(), 0600), 0);
    document->messageTab().setBodyText(RichText("Start "));
    focus(tab->bodyView());

    EXPECT_TRUE(tab->importTextFile(dir.filePath("latin.txt")));
    EXPECT_EQ(body().string(), QStringLiteral("Start caf\u00e9\nfin"));
    EXPECT_TRUE(tab->importTextFile(dir.filePath("utf8.txt")));
    EXPECT_EQ(body().string(), QStringLiteral("Start caf\u00e9\nfincaf\u00e9"));
    EXPECT_FALSE(tab->importTextFile(dir.filePath("pipe.txt")));
    EXPECT_FALSE(tab->importTextFile("/dev/zero"));
    EXPECT_EQ(alerts.shown.size(), 2);
    undo();
    undo();
    EXPECT_EQ(body().string(), "Start ");
    EXPECT_TRUE(document->isDocumentEdited());
}
