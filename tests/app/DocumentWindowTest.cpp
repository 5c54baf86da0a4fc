// The document window: its tabs and their wiring, the remembered size, the
// new-document assistant, printing the body, closing while a run goes on,
// reverting to the saved file, and a picture of the window.

#include "MyDocument.h"
#include "TestSupport.h"

#include "BodyTextView.h"
#include "DatabaseTab.h"
#include "DocAssistant.h"
#include "DocumentWindow.h"
#include "LogTab.h"
#include "MessageTabWidget.h"
#include "SendMailsUIHandler.h"
#include "SendTestSupport.h"

#include "Settings.h"
#include "UserDefaults.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QSize LoadedSize(760, 560);

UserDefaults &defaults()
{
    return UserDefaults::standardUserDefaults();
}

void forgetWindowSize()
{
    defaults().removeObjectForKey(WindowSizeKeys::LastWindowWidth);
    defaults().removeObjectForKey(WindowSizeKeys::LastWindowHeight);
    defaults().removeObjectForKey(SettingsKeys::RememberLastWindowSize);
}

QSize openedWindowSize()
{
    MyDocument document;
    document.showWindows();
    return document.window()->size();
}

} // namespace

TEST(DocumentWindowTest, TabsAreWiredInOrder)
{
    MyDocument document;
    document.showWindows();
    auto *window = document.documentWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->tabView()->widget(4), window->logTab());
    EXPECT_EQ(document.sendUIHandler()->messageTab(), &document.messageTab());

    // A new document's default fields, shown with the address column in brackets.
    QAbstractItemModel *model = document.databaseTab()->tableView()->model();
    EXPECT_EQ(model->headerData(3, Qt::Horizontal).toString(), "[ e-mail ]");

    // The observers listen to this document's table only.
    Database other;
    other.addField("elsewhere");
    document.database().changeFieldNameTo("town", "4");
    EXPECT_EQ(model->headerData(7, Qt::Horizontal).toString(), "town");
    document.database().addEmptyEntry(-1);
    document.database().postUpdatedNotification();
    EXPECT_EQ(model->rowCount(), 1);

    window->documentEdited();
    EXPECT_TRUE(document.isDocumentEdited());
}

TEST(DocumentWindowTest, RememberedSizeIsStoredAlwaysAndAppliedWhenAskedWithinTheScreen)
{
    forgetWindowSize();
    {
        MyDocument document;
        document.showWindows();
        EXPECT_EQ(document.window()->size(), LoadedSize);
        document.window()->resize(700, 500);
        EXPECT_EQ(defaults().integerForKey(WindowSizeKeys::LastWindowWidth), 700);
        EXPECT_EQ(defaults().integerForKey(WindowSizeKeys::LastWindowHeight), 500);
    }
    // Stored but not to be remembered.
    EXPECT_EQ(openedWindowSize(), LoadedSize);

    defaults().setBool(true, SettingsKeys::RememberLastWindowSize);
    EXPECT_EQ(openedWindowSize(), QSize(700, 500));

    defaults().removeObjectForKey(WindowSizeKeys::LastWindowHeight);
    EXPECT_EQ(openedWindowSize(), LoadedSize);

    // A size of nothing or beyond the screen is made to fit.
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    defaults().setInteger(0, WindowSizeKeys::LastWindowWidth);
    defaults().setInteger(-5, WindowSizeKeys::LastWindowHeight);
    EXPECT_EQ(openedWindowSize(), QSize(480, 320));
    defaults().setInteger(100000, WindowSizeKeys::LastWindowWidth);
    defaults().setInteger(qint64(1) << 40, WindowSizeKeys::LastWindowHeight);
    EXPECT_EQ(openedWindowSize(), screen);
    EXPECT_EQ(DocumentWindow::clampedSize({50, 9000}, {480, 320}, {400, 300}), QSize(400, 300));
    forgetWindowSize();
}

namespace {

class NoDelegate : public QObject {
};

} // namespace

TEST(DocumentWindowTest, AssistantStoresTheChoiceAndMakesDefaultsOnlyInAnEmptyTable)
{
    Settings::setDocAssistantDocType(2);
    MyDocument document;
    document.setCreateDefaultDoc(false);
    document.showWindows();
    ASSERT_EQ(document.database().fieldCount(), 0);

    document.displayDocAssistant(document.window());
    DocAssistant *assistant = document.docAssistant();
    ASSERT_TRUE(assistant);
    EXPECT_TRUE(assistant->isVisible());
    EXPECT_EQ(assistant->windowModality(), Qt::WindowModal);
    EXPECT_EQ(assistant->docType()->checkedId(), 2);
    EXPECT_FALSE(assistant->useAsDefaultCheckbox()->isChecked());
    assistant->docType()->button(1)->setChecked(true);
    assistant->useAsDefaultCheckbox()->setChecked(true);
    assistant->okClicked();
    EXPECT_FALSE(Settings::displayDocAssistant());
    EXPECT_EQ(Settings::docAssistantDocType(), 1);
    EXPECT_EQ(document.database().fieldNames(), QStringList({"e-mail", "first name", "last name"}));
    EXPECT_EQ(document.database().addressFieldNo(), 0);

    // A table with values in the default slots keeps its names.
    document.database().changeFieldNameTo("name", "0");
    document.database().addEntryWithData(-1, {"Ann"});
    document.database().setAddressFieldNo(5);
    document.displayDocAssistant(document.window());
    document.docAssistant()->okClicked();
    EXPECT_TRUE(Settings::displayDocAssistant());
    EXPECT_EQ(document.database().fieldNameAtIndex(0), "name");
    EXPECT_EQ(document.database().addressFieldNo(), 5);

    // A delegate that does not answer only gets the settings stored.
    NoDelegate other;
    auto *plain = new DocAssistant(document.window());
    plain->displayAssistantForWindow(document.window(), &other);
    EXPECT_EQ(plain->docType()->checkedId(), 1);
    plain->useAsDefaultCheckbox()->setChecked(true);
    plain->okClicked();
    EXPECT_FALSE(Settings::displayDocAssistant());
}

TEST(DocumentWindowTest, EmptyBodyPrintsAPage)
{
    QTemporaryDir dir;
    MyDocument document;
    document.showWindows();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("body.pdf"));
    document.printDocument(&printer);
    const QByteArray pdf = readWholeFile(dir.filePath("body.pdf"));
    EXPECT_TRUE(pdf.startsWith("%PDF")) << pdf.left(16).toStdString();
    EXPECT_TRUE(pdf.contains("/Type /Page"));
}

TEST(DocumentWindowTest, NoClosingWhileSending)
{
    MyDocument document;
    document.showWindows();
    document.messageTab().setSubjectText(RichText(QStringLiteral("Subject")));
    QString reason;
    EXPECT_TRUE(document.canClose(&reason));
    document.sendUIHandler()->sendViaDummy();
    EXPECT_FALSE(document.canClose(&reason));
    EXPECT_FALSE(reason.isEmpty());
    document.prepareToQuit();
    EXPECT_FALSE(document.sendUIHandler()->isSending());
    EXPECT_TRUE(document.canClose(&reason));
}

namespace {

QAction *menuItem(const MyDocument &document, const char *name)
{
    return document.window()->findChild<QAction *>(QLatin1String(name));
}

} // namespace

TEST(DocumentWindowTest, UndoAndRedoGoToTheFocusedTextElseToTheDocument)
{
    MyDocument document;
    document.showWindows();
    QWidget *window = document.window();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QAction *undo = menuItem(document, "actionUndo"), *redo = menuItem(document, "actionRedo");
    ASSERT_TRUE(undo && redo);
    document.documentWindow()->tabView()->setCurrentIndex(1);
    BodyTextView *body = document.messageTabWidget()->bodyView();
    QTableView *table = document.databaseTab()->tableView();

    body->setFocus();
    ASSERT_TRUE(body->hasFocus());
    EXPECT_FALSE(undo->isEnabled());
    QTest::keyClicks(body, "Hello");
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    undo->trigger();
    EXPECT_TRUE(body->toPlainText().isEmpty());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_EQ(body->toPlainText().toStdString(), "Hello");

    // Outside the text the document's own steps count, and only they.
    document.undoManager()->push(new QUndoCommand(QStringLiteral("step")));
    document.documentWindow()->tabView()->setCurrentIndex(0);
    table->setFocus();
    ASSERT_TRUE(table->hasFocus());
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    undo->trigger();
    EXPECT_EQ(document.undoManager()->index(), 0);
    EXPECT_EQ(body->toPlainText().toStdString(), "Hello");
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());

    // Back in the text, its own history again.
    document.documentWindow()->tabView()->setCurrentIndex(1);
    body->setFocus();
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
}

TEST(DocumentWindowTest, ItemsThatCannotActAreDisabled)
{
    QTemporaryDir dir;
    MyDocument document;
    document.showWindows();
    EXPECT_TRUE(menuItem(document, "actionSettings")->isEnabled());
    EXPECT_TRUE(menuItem(document, "actionProjectWindow")->isEnabled());
    EXPECT_TRUE(menuItem(document, "actionTableFiles")->isEnabled());
    QAction *revert = menuItem(document, "actionRevert");
    EXPECT_FALSE(revert->isEnabled()) << "never saved";
    QString error;
    ASSERT_TRUE(document.writeToFile(dir.filePath("saved.quorv2"), &error)) << error.toStdString();
    EXPECT_FALSE(revert->isEnabled()) << "no changes to revert";
    document.databaseTab()->addRecipient();
    EXPECT_TRUE(revert->isEnabled());
}

TEST(DocumentWindowTest, RevertAsksFirstAndOnlyItsRevertButtonDropsTheChanges)
{
    QTemporaryDir dir;
    MyDocument document;
    document.showWindows();
    QApplication::setActiveWindow(document.window());
    document.messageTab().setBodyText(RichText("Saved letter"));
    document.database().addEntryWithData(-1, {"ann@example.org", "Ann"});
    document.databaseTab()->refreshData();
    QString error;
    ASSERT_TRUE(document.writeToFile(dir.filePath("summer letter.quorv2"), &error)) << error.toStdString();

    // Changes in the body and in the table, each in its own history.
    BodyTextView *body = document.messageTabWidget()->bodyView();
    document.documentWindow()->tabView()->setCurrentIndex(1);
    body->setFocus();
    body->moveCursor(QTextCursor::End);
    QTest::keyClicks(body, " and more");
    document.databaseTab()->addRecipient();
    ASSERT_TRUE(document.isDocumentEdited());
    const auto state = [&] {
        return QStringList{body->toPlainText(), QString::number(document.database().entryCount()),
                           QString::number(document.undoManager()->count()),
                           QString::number(document.undoManager()->index()),
                           QString::number(body->document()->availableUndoSteps()),
                           QString::number(document.isDocumentEdited())}
            .join(" | ")
            .toStdString();
    };
    const std::string changed = state();
    ASSERT_EQ(changed.substr(0, 29), "Saved letter and more | 2 | 1");
    QAction *revert = menuItem(document, "actionRevert");
    ASSERT_TRUE(revert->isEnabled());

    struct Case {
        const char *name;
        std::function<void(QMessageBox *)> answer;
        bool reverts;
    };
    const QList<Case> cases{
        {"escape", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
        {"return", [](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }, false},
        {"cancel", clickButton("Cancel"), false},
        {"revert", clickButton("Revert"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const AskedQuestion asked =
            answerQuestion([revert] { revert->trigger(); }, c.answer, QStringLiteral("revert-question.png"));
        EXPECT_EQ(asked.text.toStdString(),
                  "Revert to the saved version of “summer letter.quorv2”? Your current changes will be lost.");
        EXPECT_EQ(asked.buttons.join(" | ").toStdString(), "Cancel | Revert");
        if (!c.reverts) {
            EXPECT_EQ(state(), changed);
        }
    }
    EXPECT_EQ(body->toPlainText().toStdString(), "Saved letter");
    EXPECT_EQ(document.database().entryCount(), 1);
    EXPECT_EQ(document.undoManager()->count(), 0);
    EXPECT_FALSE(document.isDocumentEdited());
    EXPECT_FALSE(revert->isEnabled());
}

TEST(DocumentWindowTest, ScreenshotOfTheWindow)
{
    MyDocument document;
    document.showWindows();
    document.database().addEntryWithData(-1, {"ann@example.org", "Ann"});
    document.databaseTab()->refreshData();
    document.messageTab().setSubjectText(RichText("Our summer letter"));
    document.messageTab().setBodyText(RichText("Dear all,\nthe garden opens on Sunday."));
    document.documentWindow()->tabView()->setCurrentIndex(1);
    QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/app");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = QDir(folder).filePath(QStringLiteral("document-window.png"));
    ASSERT_TRUE(document.window()->grab().save(file));
    const QImage image(file);
    EXPECT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), document.window()->size() * document.window()->devicePixelRatio());
}
