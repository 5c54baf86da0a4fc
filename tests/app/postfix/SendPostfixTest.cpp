// Sending from the window through a real Postfix on loopback (started around
// this program by run-postfix-test.sh), each delivered file read back with
// Python's email package: the whole road from the send button, and
// per-recipient attachments with blind copies.

#include "../SendTestSupport.h"

#include "../../delivery/postfix/DeliveredMail.h"
#include "../../foundation_ui/RecordingAlertPresenter.h"

#include "BodyTextView.h"
#include "CheckSheet.h"
#include "ConditionEditor.h"
#include "DocumentWindow.h"
#include "FileChooser.h"
#include "LinkSheet.h"
#include "MessageTabWidget.h"
#include "PreviewPageBuilder.h"
#include "SendMailsWindow.h"

#include "AttributedTagString.h"
#include "AttachmentManager.h"
#include "ConditionTag.h"
#include "SimpleTag.h"
#include "SmartAttachment.h"
#include "StaticAttachment.h"
#include "TemplateManager.h"
#include "TestSupport.h"
#include "UserDefaults.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

QString marker()
{
    return QStringLiteral("run-%1").arg(QRandomGenerator::global()->generate64(), 0, 16);
}

// Answers the picture panel with one file.
class OneFileChooser : public FileChooser {
public:
    explicit OneFileChooser(QString path) : m_path(std::move(path)) { FileChooser::setCurrent(this); }
    ~OneFileChooser() override { FileChooser::setCurrent(nullptr); }
    void chooseFile(QWidget *, const QString &, const QStringList &, Done done) override { done(m_path); }

private:
    QString m_path;
};

class SendPostfixTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings::setWriteLogFile(false);
        Settings::setMaxErrorsWhileSending(0);
        document.showWindows();
        Settings::setAccountArray({smtpAccount(qEnvironmentVariableIntValue("CORV_SMTP_PLAIN_PORT"))});
        Settings::setLastSelectedAccount(0);
        handler = document.sendUIHandler();
    }
    void TearDown() override { handler->abortAndWait(); }

    // A new message of the form (the options menu's item: 1 formatted, 2 raw
    // HTML), formatted text in the font of new messages, its body focused in
    // the message tab, as an author starts one.
    BodyTextView *newMessage(int form = 1)
    {
        Settings::setDefaultMessageFont(FontDescriptor{QStringLiteral("Sans Serif"), 12});
        fillTable(document.database(), {{"ann@test.example", "Ann"}});
        document.database().postUpdatedNotification();
        document.documentWindow()->tabView()->setCurrentIndex(1);
        QApplication::setActiveWindow(document.window());
        EXPECT_TRUE(QTest::qWaitForWindowActive(document.window()));
        MessageTabWidget *tab = document.messageTabWidget();
        tab->optionAction(form)->trigger();
        BodyTextView *body = tab->bodyView();
        QTest::mouseClick(body->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_TRUE(QTest::qWaitFor([body] { return body->hasFocus(); }));
        return body;
    }
    QAction *formatItem(const QString &name) const { return document.window()->findChild<QAction *>(name); }

    struct Sent {
        QString plain;
        QString page;
        QString preview; // the page the preview hands its web view
        QJsonObject htmlPart;
    };
    // The message typed so far, sent to the one recipient and read back;
    // picture sources left out.
    Sent sendTypedMessage()
    {
        const QString tag = marker();
        document.messageTab().setSubjectText(RichText(tag));
        document.messageTabWidget()->commitEdits();
        const auto withoutSources = [](QString html) {
            return html.replace(QRegularExpression(QStringLiteral("src=\"[^\"]*\"")), QStringLiteral("src=\"\""));
        };
        Sent sent;
        sent.preview = withoutSources(
            PreviewPageBuilder::build(document.database(), document.messageTab(), document.attachmentManager(), 0).html);
        handler->setAccountNo(0);
        handler->setAccountData(*Settings::dataForAccount(0));
        handler->sendNow(1);
        EXPECT_TRUE(waitForRunEnd(*handler, 60000));
        const QList<QJsonObject> messages = delivered(tag, 1, 300);
        EXPECT_EQ(messages.size(), 1);
        for (const QJsonValue &part : messages.value(0)["parts"].toArray()) {
            if (part["type"] == "text/plain")
                sent.plain = part["content"].toString().trimmed();
            else if (part["type"] == "text/html")
                sent.htmlPart = part.toObject();
        }
        sent.page = withoutSources(sent.htmlPart["content"].toString().trimmed());
        return sent;
    }

    RecordingAlertPresenter alerts;
    MyDocument document;
    SendMailsUIHandler *handler = nullptr;
};

TEST_F(SendPostfixTest, TheSendButtonSendsToTheOneEligibleRowAndStampsItAlone)
{
    const QString tag = marker();
    fillTable(document.database(), {{"inactive@test.example", "Ina", false},
                                     {"no address", "Nad"},
                                     {"reader@test.example", "Rea"}});
    document.database().postUpdatedNotification();
    document.messageTab().setSubjectText(RichText(tag));
    document.messageTab().setBodyText(RichText(QStringLiteral("Hello")));
    UserDefaults::standardUserDefaults().removeObjectForKey(QStringLiteral("show_AskSendMessages"));

    document.documentWindow()->sendButton()->click();
    SendMailsWindow *sheet = handler->sendWindow();
    ASSERT_TRUE(sheet);
    ASSERT_EQ(sheet->priorityInput()->currentIndex(), 2);
    sheet->okClicked();
    auto *confirmation = document.window()->findChild<CheckSheet *>();
    ASSERT_TRUE(confirmation);
    confirmation->buttonWithTag(1)->click();
    ASSERT_TRUE(handler->isSending());
    ASSERT_TRUE(waitForRunEnd(*handler, 60000));

    const QList<QJsonObject> messages = delivered(tag, 1, 300);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(deliveredTo(messages), QStringList{"reader@test.example"});
    for (const QJsonValue &header : messages.front()["headers"].toArray())
        EXPECT_NE(header.toString().toLower(), "x-priority") << "priority 3 sends no priority header";
    EXPECT_EQ(logPlainText(*document.logTab()),
              "-- Log start --\n\nSent mail to ( 3 ) reader@test.example\n\nDone.\n");
    EXPECT_FALSE(document.database().lastSentDate(0).isValid());
    EXPECT_FALSE(document.database().lastSentDate(1).isValid());
    EXPECT_TRUE(document.database().lastSentDate(2).isValid());
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.front().title, "Sending finished");
}

TEST_F(SendPostfixTest, ARecipientsFileNeverComesFromOutsideItsFolderAndBlindCopiesGoAlong)
{
    const QString tag = marker();
    QTemporaryDir folder;
    QFile own(folder.filePath("own.txt"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write("the recipient's own file");
    own.close();
    auto perRecipient = std::make_shared<SmartAttachment>();
    perRecipient->setRootFilePath(folder.path());
    RichText name;
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(QStringLiteral("first name")), name, 0);
    perRecipient->setFileName(name);
    perRecipient->setNotFoundAction(SmartAttachment::SkipAttachment);
    document.attachmentManager().addAttachment(perRecipient);
    fillTable(document.database(), {{"owner@test.example", "own.txt"}, {"intruder@test.example", "../../etc/passwd"}});
    document.messageTab().setSubjectText(RichText(tag));
    document.messageTab().setBodyText(RichText(QStringLiteral("Hello")));

    handler->setAccountNo(0);
    handler->setAccountData(*Settings::dataForAccount(0));
    handler->setPriority(3);
    handler->setBccAddressString(QStringLiteral("copy1@test.example, ,copy2@test.example"));
    handler->sendNow(1);
    ASSERT_TRUE(waitForRunEnd(*handler, 60000));

    // Two messages, each to its recipient and the two copies.
    const QList<QJsonObject> messages = delivered(tag, 6, 300);
    EXPECT_EQ(deliveredTo(messages),
              (QStringList{"copy1@test.example", "copy1@test.example", "copy2@test.example", "copy2@test.example",
                           "intruder@test.example", "owner@test.example"}));
    for (const QJsonObject &message : messages) {
        QStringList files;
        for (const QJsonValue &part : message["parts"].toArray()) {
            if (!part["filename"].isNull())
                files.append(part["filename"].toString());
        }
        if (message["to"].toString().contains("owner"))
            EXPECT_EQ(files, QStringList{"own.txt"});
        else
            EXPECT_TRUE(files.isEmpty()) << "nothing from outside the folder";
        EXPECT_FALSE(message["headers"].toArray().contains(QJsonValue("Bcc")));
    }
}

TEST_F(SendPostfixTest, RawHtmlSendsConditionResultsAsWrittenAndAReadablePlainPart)
{
    // The author writes a condition's result as HTML; only the recipient's
    // values in it are text. With no plain part written, the plain
    // alternative is what a reader of the page sees.
    const QString tag = marker();
    fillTable(document.database(), {{"ann@test.example", "Ann & <Co>"}, {"bob@test.example", "Bob"}});
    const QString field = document.database().fieldNames().value(1);
    RichText result(QStringLiteral("<b>Berlin readers:</b> "));
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(field), result, result.length());
    const auto condition = std::make_shared<ConditionTag>(
        QStringLiteral("Greeting"), QList<ConditionRule>{{field, ConditionRule::Contains, QStringLiteral("Ann"), result}});
    RichText html(QStringLiteral("<p>Hello </p><div></div><script>track()</script>"
                                 "<a href=\"http://example.com/offer\">Our&nbsp;offer</a>"));
    DoInsertTagInAttributedString(std::make_shared<SimpleTag>(field), html, 9);
    DoInsertTagInAttributedString(condition, html, 19);
    document.messageTab().setMode(MessageTab::Mode::RawHTML);
    document.messageTab().setBodyText(html);
    document.messageTab().setSubjectText(RichText(tag));

    handler->setAccountNo(0);
    handler->setAccountData(*Settings::dataForAccount(0));
    handler->sendNow(1);
    ASSERT_TRUE(waitForRunEnd(*handler, 60000));

    const QList<QJsonObject> messages = delivered(tag, 2, 300);
    ASSERT_EQ(messages.size(), 2);
    for (const QJsonObject &message : messages) {
        const bool ann = message["to"].toString().contains("ann");
        SCOPED_TRACE(ann ? "Ann" : "Bob");
        QStringList types;
        QString plain;
        QString page;
        for (const QJsonValue &part : message["parts"].toArray()) {
            types << part["type"].toString();
            (part["type"] == "text/plain" ? plain : page) = part["content"].toString().trimmed();
        }
        EXPECT_EQ(types, (QStringList{"text/plain", "text/html"}));
        EXPECT_EQ(page.toStdString(),
                  ann ? "<p>Hello Ann &amp; &lt;Co&gt;</p><div><b>Berlin readers:</b> Ann &amp; &lt;Co&gt;</div>"
                        "<script>track()</script><a href=\"http://example.com/offer\">Our&nbsp;offer</a>"
                      : "<p>Hello Bob</p><div></div><script>track()</script>"
                        "<a href=\"http://example.com/offer\">Our&nbsp;offer</a>");
        EXPECT_EQ(plain.toStdString(), ann ? "Hello Ann & <Co>\n\nBerlin readers: Ann & <Co>\nOur offer <http://example.com/offer>"
                                           : "Hello Bob\n\nOur offer <http://example.com/offer>");
    }
}

TEST_F(SendPostfixTest, AFormattedMessageKeepsEveryLineBreakAndTheFontItWasTypedIn)
{
    // Typed as an author types, into a new formatted message in the font of
    // new messages: tags at the ends of lines, text right after a tag, and
    // lists ended with List > None and with Return on their empty item.
    // Every line break reaches both parts and the preview, and the page
    // shows the text in the font the author saw, named so that a reader
    // without that font takes one of its kind.
    const FontOfNewMessagesKept keptFont;
    QTemporaryDir folder;
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(folder.filePath("dot.png")));
    OneFileChooser chooser(folder.filePath("dot.png"));

    BodyTextView *body = newMessage();
    MessageTabWidget *tab = document.messageTabWidget();
    const auto type = [body](const QString &text) { QTest::keyClicks(body, text); };
    const auto newLine = [body] { QTest::keyClick(body, Qt::Key_Return); };
    // The caret comes to the end as a user brings it there.
    const auto lineAfterTag = [&](const QString &text) {
        QTest::keyClick(body, Qt::Key_End, Qt::ControlModifier);
        newLine();
        type(text);
    };
    const auto insertName = [tab] {
        tab->willBeSelected();
        tab->fieldMenuButton()->menu()->actions().value(1)->trigger();
    };
    const auto listItem = [&](int item) {
        formatItem(QStringLiteral("formatList%1").arg(item))->trigger();
        QTest::keyClick(body, Qt::Key_End, Qt::ControlModifier);
    };

    type("Line one");
    newLine();
    type("Before picture ");
    tab->specialAction(2)->trigger();
    lineAfterTag("After picture");
    newLine();
    type("Dear ");
    insertName();
    lineAfterTag("After field");
    newLine();
    tab->specialAction(1)->trigger();
    ConditionEditor *editor = tab->conditionEditor();
    ASSERT_TRUE(editor);
    editor->model().setConditionName("Greeting");
    editor->model().addRule();
    editor->model().setActiveRow(0);
    editor->model().chooseField(document.database().fieldNames().value(1));
    editor->model().editContent("Ann");
    editor->model().editResult(RichText("Hi Ann"));
    editor->accept();
    lineAfterTag("After condition");
    newLine();
    type("No. ");
    tab->specialAction(3)->trigger();
    lineAfterTag("After number, ");
    insertName();
    type("!");
    newLine();
    type("Item");
    listItem(1);
    newLine();
    listItem(0);
    type("After list");
    newLine();
    type("Other item");
    listItem(1);
    newLine();
    newLine();
    type("After other list");
    const auto [plain, page, preview, htmlPart] = sendTypedMessage();

    EXPECT_EQ(plain.toStdString(), "Line one\nBefore picture \nAfter picture\nDear Ann\nAfter field\nHi Ann\n"
                                   "After condition\nNo. 1\nAfter number, Ann!\n\t\u2022\tItem\nAfter list\n"
                                   "\t\u2022\tOther item\nAfter other list");
    const std::string sans12 = R"(<font face="sans-serif" size="3" style="font-size:12pt">)";
    EXPECT_EQ(page.toStdString(),
              "<html><body bgcolor=\"FFFFFF\"><font face=\"sans-serif\" size=\"3\" style=\"font-size:12pt\">"
              "Line one<br>\nBefore picture <img src=\"\" style=\"margin: 0px;\" width=\"4\" height=\"4\"><br>\n"
              "After picture<br>\nDear Ann<br>\nAfter field<br>\nHi Ann<br>\nAfter condition<br>\nNo. 1<br>\n"
              "After number, Ann!</font><ul style=\"list-style-type:disc\"><li><div>" + sans12 + "Item</font></div></li>"
              "</ul><div>" + sans12 + "After list</font></div><ul style=\"list-style-type:disc\"><li><div>" + sans12
                  + "Other item</font></div></li></ul>" + sans12 + "After other list</font></body></html>");
    EXPECT_TRUE(preview.contains(page)) << preview.toStdString();
}

TEST_F(SendPostfixTest, ListsReachTheMailAsTheAuthorMadeThem)
{
    // A list started on an empty line and ended with Return on its empty
    // item; a numbered list made over typed lines that hold a bold and
    // bigger word, a field tag, a link and a coloured word. Both are lists
    // in the mail, their markup well nested (mime_check.py reads every
    // page back strictly), and the line after each follows it as in the
    // editor.
    const FontOfNewMessagesKept keptFont;
    BodyTextView *body = newMessage();
    MessageTabWidget *tab = document.messageTabWidget();
    const auto type = [body](const QString &text) { QTest::keyClicks(body, text); };
    const auto newLine = [body] { QTest::keyClick(body, Qt::Key_Return); };
    const auto select = [body](const QString &text) {
        const qsizetype at = body->toPlainText().indexOf(text);
        QTextCursor cursor = body->textCursor();
        cursor.setPosition(int(at));
        cursor.setPosition(int(at + text.size()), QTextCursor::KeepAnchor);
        body->setTextCursor(cursor);
    };
    const auto toEnd = [body] { QTest::keyClick(body, Qt::Key_End, Qt::ControlModifier); };

    type("Our offers:");
    newLine();
    formatItem("formatList1")->trigger();
    type("first item");
    newLine();
    type("second item");
    newLine();
    newLine();
    type("After the list");
    newLine();
    type("Steps:");
    newLine();
    type("Open the box");
    newLine();
    type("Read the manual");
    newLine();
    type("Call ");
    tab->willBeSelected();
    tab->fieldMenuButton()->menu()->actions().value(1)->trigger();
    newLine();
    type("Visit us");
    newLine();
    type("Thanks");
    select(QStringLiteral("Open the box\nRead the manual\nCall \uFFFC\nVisit us"));
    formatItem("formatList6")->trigger();
    select(QStringLiteral("manual"));
    formatItem("formatBold")->trigger();
    formatItem("formatBigger")->trigger();
    select(QStringLiteral("us"));
    formatItem("formatLink")->trigger();
    auto *linkSheet = document.window()->findChild<LinkSheet *>();
    ASSERT_TRUE(linkSheet);
    linkSheet->textLinkURL()->setText(QStringLiteral("example.org"));
    linkSheet->okButton()->click();
    select(QStringLiteral("Visit"));
    formatItem("formatColours")->trigger();
    auto *colours = document.window()->findChild<QColorDialog *>();
    ASSERT_TRUE(colours);
    colours->setCurrentColor(Qt::red);
    colours->accept();
    toEnd();
    const auto [plain, page, preview, htmlPart] = sendTypedMessage();

    EXPECT_EQ(plain.toStdString(), "Our offers:\n\t\u2022\tfirst item\n\t\u2022\tsecond item\nAfter the list\nSteps:\n"
                                   "\t1.\tOpen the box\n\t2.\tRead the manual\n\t3.\tCall Ann\n\t4.\tVisit us\nThanks");
    const std::string sans12 = R"(<font face="sans-serif" size="3" style="font-size:12pt">)";
    const std::string sans13 = R"(<font face="sans-serif" size="4" style="font-size:13pt">)";
    EXPECT_EQ(page.toStdString(),
              "<html><body bgcolor=\"FFFFFF\">" + sans12 + "Our offers:</font><ul style=\"list-style-type:disc\">"
                  "<li><div>" + sans12 + "first item</font></div></li><li><div>" + sans12 + "second item</font></div></li>"
                  "</ul>" + sans12 + "After the list<br>\nSteps:</font><ol style=\"list-style-type:decimal\">"
                  "<li><div>" + sans12 + "Open the box</font></div></li>"
                  "<li><div>" + sans12 + "Read the </font>" + sans13 + "<b>manual</b></font></div></li>"
                  "<li><div>" + sans12 + "Call Ann</font></div></li>"
                  "<li><div><font face=\"sans-serif\" size=\"3\" style=\"font-size:12pt\" color=\"FF0000\">Visit</font>"
              + sans12 + " <a href=\"http://example.org\">us</a></font></div></li></ol>" + sans12
              + "Thanks</font></body></html>");
    EXPECT_TRUE(preview.contains(page)) << preview.toStdString();
}

TEST_F(SendPostfixTest, PagesTemplatesAndTextFilesSayTheCharsetTheyAreIn)
{
    // A page as an HTML editor writes it, a shipped template (both declare
    // UTF-8), and a UTF-8 text file beside the page.
    const QString text = u"€ 10 für Jürgen"_qs;
    QTemporaryDir folder;
    QFile notes(folder.filePath("notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write(text.toUtf8() + '\n');
    notes.close();
    document.attachmentManager().addAttachment(std::make_shared<StaticAttachment>(notes.fileName()));
    TemplateManager::loadTemplates();
    fillTable(document.database(), {{"reader@test.example", "Rea"}});
    handler->setAccountNo(0);
    handler->setAccountData(*Settings::dataForAccount(0));

    struct Form {
        const char *name;
        MessageTab::Mode mode;
        QString body;
        QString templateName;
    };
    const Form forms[] = {
        {"raw HTML", MessageTab::Mode::RawHTML,
         "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Offer</title></head>\n<body><p>" + text
             + "</p></body></html>\n",
         {}},
        {"template", MessageTab::Mode::Template, text, QStringLiteral("Simple Letter")},
    };
    for (const Form &form : forms) {
        SCOPED_TRACE(form.name);
        const QString tag = marker();
        document.messageTab().setMode(form.mode, form.templateName);
        document.messageTab().setBodyText(RichText(form.body));
        document.messageTab().setSubjectText(RichText(tag));
        handler->sendNow(1);
        ASSERT_TRUE(waitForRunEnd(*handler, 60000));

        const QList<QJsonObject> messages = delivered(tag, 1);
        ASSERT_EQ(messages.size(), 1);
        bool sawPage = false;
        for (const QJsonValue &part : messages.front()["parts"].toArray()) {
            if (part["type"] == "text/html") {
                sawPage = true;
                EXPECT_EQ(part["charset"].toString().toStdString(), "utf-8");
                EXPECT_EQ(part["declaredCharsets"].toArray(), QJsonArray{"utf-8"});
                EXPECT_TRUE(part["text"].toString().contains(text)) << part["content"].toString().toStdString();
            } else if (part["filename"] == "notes.txt") {
                EXPECT_EQ(part["charset"].toString().toStdString(), "utf-8");
                EXPECT_EQ(part["content"].toString().toStdString(), (text + '\n').toStdString());
            }
        }
        EXPECT_TRUE(sawPage);
    }
    TemplateManager::defaultManager().clearTemplateList();
}

TEST_F(SendPostfixTest, APageSaysTheCharsetAsAReaderReadsItsDeclarations)
{
    // A declaration after an attribute value that holds "<meta": a reader's
    // parser takes the value for text and the declaration for what it says.
    // The page, typed in raw HTML with the Japanese text coming from an
    // input method, goes out in UTF-8 and must say so.
    const FontOfNewMessagesKept keptFont;
    const QString japanese = u"日本語のお知らせ"_qs;
    const char *const declarations[] = {
        R"(<meta title='<meta x="' charset=iso-8859-1 y='"'>)",
        R"(<meta title='<meta x="' http-equiv="Content-Type" content="text/html; charset=iso-8859-1" y='"'>)",
    };
    for (const char *declaration : declarations) {
        SCOPED_TRACE(declaration);
        BodyTextView *body = newMessage(2);
        body->selectAll();
        QTest::keyClick(body, Qt::Key_Delete);
        QTest::keyClicks(body, QString::fromLatin1(declaration) + "<p>");
        QInputMethodEvent input;
        input.setCommitString(japanese);
        QApplication::sendEvent(body, &input);
        QTest::keyClicks(body, "</p>");
        const auto [plain, page, preview, htmlPart] = sendTypedMessage();

        EXPECT_EQ(plain.toStdString(), japanese.toStdString());
        EXPECT_TRUE(page.contains(japanese)) << page.toStdString();
        EXPECT_EQ(htmlPart["charset"].toString().toStdString(), "utf-8");
        EXPECT_EQ(htmlPart["declaredCharsets"].toArray(), QJsonArray{"UTF-8"}) << page.toStdString();
    }
}

} // namespace
