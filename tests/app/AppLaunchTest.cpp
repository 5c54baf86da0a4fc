#include <gtest/gtest.h>

#include "../foundation_ui/RecordingAlertPresenter.h"
#include "AppDelegate.h"
#include "AppTestDocuments.h"
#include "DatabaseManager.h"
#include "MyApplication.h"
#include "MyDocument.h"
#include "ProjectWindow.h"
#include "ProjectWindowController.h"
#include "Settings.h"
#include "TemplateManager.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Each launch starts from its own preferences file, as a first start would.
class AppLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UserDefaults::setStandardFile(dir.filePath("prefs.ini"));
        TemplateManager::defaultManager().clearTemplateList();
        // The one project window outlives each launch; a launch starts with it closed.
        if (ProjectWindowController *project = ProjectWindowController::existingInstance())
            project->window()->hide();
    }
    void TearDown() override { UserDefaults::setStandardFile(UserDefaults::defaultStandardFilePath()); }

    static QList<QWidget *> visibleWindows()
    {
        QList<QWidget *> shown;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->isVisible())
                shown.append(widget);
        return shown;
    }

    QTemporaryDir dir;
    RecordingAlertPresenter alerts;
    ControllerFakes fakes;
    DocumentController &controller = ControllerFakes::controller();
};

TEST_F(AppLaunchTest, firstStartOpensOneUntitledDocumentAndTheProjectWindowAndSaysNothing)
{
    MyApplication::finishLaunching({});
    ASSERT_NE(MyApplication::delegate(), nullptr);
    ASSERT_EQ(controller.documents().size(), 1);
    EXPECT_TRUE(controller.documents()[0]->fileName().isEmpty());
    ASSERT_NE(ProjectWindowController::existingInstance(), nullptr);
    const QList<QWidget *> expected{ProjectWindowController::existingInstance()->window(),
                                    controller.documents()[0]->window()};
    const QList<QWidget *> shown = visibleWindows();
    EXPECT_EQ(QSet<QWidget *>(expected.cbegin(), expected.cend()), QSet<QWidget *>(shown.cbegin(), shown.cend()));
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_FALSE(TemplateManager::defaultManager().templateNames().isEmpty()) << "templates loaded at the end";
}

TEST_F(AppLaunchTest, thePreferencesCanKeepTheUntitledDocumentAndTheProjectWindowAway)
{
    UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("showProjectOnStartup"));
    Settings::setNewDocOnLaunch(false);
    MyApplication::finishLaunching({});
    EXPECT_TRUE(controller.documents().isEmpty());
    EXPECT_TRUE(visibleWindows().isEmpty());
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_FALSE(TemplateManager::defaultManager().templateNames().isEmpty());
}

TEST_F(AppLaunchTest, fileArgumentsOpenInsteadOfTheUntitledDocument)
{
    QFile file(dir.filePath("a.quorv2"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("FAKE a");
    file.close();
    MyApplication::finishLaunching({file.fileName(), dir.filePath("missing.quorv2")});
    ASSERT_EQ(controller.documents().size(), 1);
    EXPECT_EQ(controller.documents()[0]->fileName(), file.fileName());
    EXPECT_EQ(fakes.panels.errors.size(), 1) << "the missing file is reported";
}

TEST_F(AppLaunchTest, theRegistryOpensItsFilesAsProjectsOrAsNewProjectsWithTheirRecipients)
{
    controller.setDocumentFactory([] { return new MyDocument; });
    const QString file = dir.filePath("Members.quorv2");
    {
        MyDocument saved;
        saved.database().addField("E-Mail");
        saved.database().addEntryWithData(-1, {"ann@example.org"});
        QString error;
        ASSERT_TRUE(saved.writeToFile(file, &error)) << error.toStdString();
    }
    MyApplication::setUpTableRegistry();
    DatabaseManager &registry = DatabaseManager::sharedInstance();
    registry.addDatabaseFile(file);
    ASSERT_TRUE(registry.openNewDocForDatabase(0));
    ASSERT_EQ(controller.documents().size(), 1);
    auto *fresh = qobject_cast<MyDocument *>(controller.documents()[0]);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->fileName().isEmpty()) << "a new project";
    EXPECT_EQ(fresh->database().entryValue(0, "0"), "ann@example.org");
    ASSERT_TRUE(registry.openEditorForDatabase(0));
    ASSERT_EQ(controller.documents().size(), 2);
    EXPECT_EQ(controller.documents()[1]->fileName(), file);
    registry.removeDatabaseFile(0);
}

TEST_F(AppLaunchTest, quittingStopsTheRunsThenReviewsTheDocuments)
{
    ASSERT_TRUE(controller.newDocument());
    FakeDocument *document = fakes.document(0);
    document->sending = true;
    EXPECT_TRUE(MyApplication::prepareQuit());
    EXPECT_EQ(fakes.log, QStringList{"prepareToQuit " + document->displayName()});

    document->edit("FAKE");
    EXPECT_FALSE(MyApplication::prepareQuit()) << "the user kept the document";
}

TEST_F(AppLaunchTest, quitAsksOnceAboutEachEditedDocumentAndThenLeaves)
{
    // Real document windows: they ask themselves when they are closed.
    controller.setDocumentFactory([] { return new MyDocument; });
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(controller.newDocument());
    const QList<Document *> documents = controller.documents();
    documents[0]->updateChangeCount(Document::ChangeDone);
    documents[2]->updateChangeCount(Document::ChangeDone);
    const QStringList asked{"ask " + documents[0]->displayName(), "ask " + documents[2]->displayName()};
    fakes.panels.choices = {DocumentPanels::DontSave, DocumentPanels::DontSave};

    // A quit that a second question cancelled would never leave the loop.
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(10000);
    QTimer::singleShot(0, qApp, [] { MyApplication::terminate(); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(fakes.log, asked);
    EXPECT_TRUE(controller.documents().isEmpty());
}

// Throws from its event handler, as a faulty widget would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("handler failed"));
        return QObject::event(event);
    }
};

TEST(AppEvents, anExceptionFromAnEventHandlerIsReportedNotFatal)
{
    RecordingAlertPresenter alerts;
    ThrowingObject object;
    QEvent user(QEvent::User);
    EXPECT_FALSE(MyApplication::notifyGuarded(*qApp, &object, &user));
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown[0].kind, RecordingAlertPresenter::Report);
    EXPECT_TRUE(alerts.shown[0].text.contains("handler failed"));
}

} // namespace
