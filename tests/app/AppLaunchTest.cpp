#include <gtest/gtest.h>

#include "../foundation_ui/RecordingAlertPresenter.h"
#include "AppDelegate.h"
#include "AppTestDocuments.h"
#include "DocAssistant.h"
#include "DatabaseManager.h"
#include "MyApplication.h"
#include "MyDocument.h"
#include "ProjectWindow.h"
#include "ProjectWindowController.h"
#include "Settings.h"
#include "SettingsWindow.h"
#include "AlertPresenter.h"
#include "Alerts.h"
#include "TemplateManager.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QFile>
#include <QSet>
#include <QTest>
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

TEST_F(AppLaunchTest, thePreferencesCanKeepTheUntitledDocumentAndTheProjectWindowAwayButNeverBoth)
{
    // The project window closed last is stored as hidden; with no new
    // project either, nothing would show while the program runs on.
    UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("showProjectOnStartup"));
    Settings::setNewDocOnLaunch(false);
    MyApplication::finishLaunching({});
    EXPECT_TRUE(controller.documents().isEmpty());
    ASSERT_NE(ProjectWindowController::existingInstance(), nullptr);
    EXPECT_EQ(visibleWindows(), QList<QWidget *>{ProjectWindowController::existingInstance()->window()});
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_FALSE(TemplateManager::defaultManager().templateNames().isEmpty());

    // A new project is window enough.
    ProjectWindowController::existingInstance()->window()->hide();
    Settings::setNewDocOnLaunch(true);
    MyApplication::finishLaunching({});
    ASSERT_EQ(controller.documents().size(), 1);
    EXPECT_EQ(visibleWindows(), QList<QWidget *>{controller.documents()[0]->window()});
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
    EXPECT_FALSE(MyApplication::prepareQuit()) << "the user went on sending";
    EXPECT_TRUE(document->sending);
    fakes.panels.stopAnswers = {true};
    EXPECT_TRUE(MyApplication::prepareQuit());
    const QString stop = "stop? " + document->displayName();
    EXPECT_EQ(fakes.log, (QStringList{stop, stop, "prepareToQuit " + document->displayName()}));

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

TEST_F(AppLaunchTest, quitRemembersTheProjectWindowAsItWasWhenQuittingBegan)
{
    Settings::setNewDocOnLaunch(false);
    MyApplication::finishLaunching({});
    ProjectWindow *project = ProjectWindowController::existingInstance()->window();
    UserDefaults &defaults = UserDefaults::standardUserDefaults();
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "shown" : "closed");
        ProjectWindowController::sharedInstance().showWindow();
        project->setGeometry(QRect(70, 90, 700 + int(shown), 500));
        // A document keeps the program running while the project window is closed.
        ASSERT_TRUE(controller.newDocument());
        if (!shown)
            project->close();
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        stuck.start(10000);
        QTimer::singleShot(0, qApp, [] { MyApplication::terminate(); });
        ASSERT_EQ(QCoreApplication::exec(), 0);
        EXPECT_EQ(defaults.boolForKey(ProjectWindowController::ShowOnStartupKey), shown);
        EXPECT_EQ(defaults.integerForKey("ProjectWindow_width"), 701) << "the frame it had when it was last shown";
    }
}

TEST_F(AppLaunchTest, aNewProjectShowsTheAssistantWhileThePreferenceSaysSo)
{
    controller.setDocumentFactory([] { return new MyDocument; });
    const QString saved = dir.filePath("Saved.quorv2");
    {
        MyDocument document;
        QString error;
        ASSERT_TRUE(document.writeToFile(saved, &error)) << error.toStdString();
    }
    const auto assistantShown = [this](int index) {
        auto *document = qobject_cast<MyDocument *>(controller.documents().value(index));
        return document && document->docAssistant() && document->docAssistant()->isVisible();
    };
    // Fresh preferences: the new project at launch offers it.
    MyApplication::finishLaunching({});
    ASSERT_EQ(controller.documents().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return assistantShown(0); }, 5000));
    auto *first = qobject_cast<MyDocument *>(controller.documents()[0]);
    EXPECT_EQ(first->docAssistant()->parentWidget(), first->window());

    // Nor for a project read from a file, nor once the user said no.
    controller.openDocumentWithContentsOfFile(saved, true);
    Settings::setDisplayDocAssistant(false);
    ASSERT_TRUE(controller.newDocument());
    ASSERT_EQ(controller.documents().size(), 3);
    QCoreApplication::processEvents();
    EXPECT_FALSE(assistantShown(1));
    EXPECT_FALSE(assistantShown(2));
    Settings::setDisplayDocAssistant(true);
    ASSERT_TRUE(controller.newDocument());
    EXPECT_TRUE(QTest::qWaitFor([&] { return assistantShown(3); }, 5000));
}

// Runs the steps in the event loop, one per turn, and tells after how many
// of them the program asked to end by itself (-1: it never did).
int stepsBeforeTheEnd(const QList<std::function<void()>> &steps)
{
    struct QuitWatch : QObject {
        int done = 0;
        int endedAfter = -1;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (watched == qApp && event->type() == QEvent::Quit && endedAfter < 0)
                endedAfter = done;
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    std::function<void(int)> run = [&](int index) {
        if (index >= steps.size())
            return;
        steps[index]();
        watch.done = index + 1;
        QTimer::singleShot(0, qApp, [&run, index] { run(index + 1); });
    };
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(10000);
    QTimer::singleShot(0, qApp, [&run] { run(0); });
    QCoreApplication::exec();
    qApp->removeEventFilter(&watch);
    return watch.endedAfter;
}

TEST_F(AppLaunchTest, closingTheLastWindowEndsTheProgramAndNoEarlier)
{
    controller.setDocumentFactory([] { return new MyDocument; });
    Settings::setNewDocOnLaunch(false);
    MyApplication::finishLaunching({});
    ProjectWindow *project = ProjectWindowController::existingInstance()->window();
    const auto document = [this](int index) { return controller.documents().value(index)->window(); };
    const auto close = [](const std::function<QWidget *()> &window) {
        return [window] { window()->close(); };
    };
    const auto projectWindow = [project] { return static_cast<QWidget *>(project); };
    const auto settings = [] { return static_cast<QWidget *>(SettingsWindow::openWindow()); };

    const struct {
        const char *what;
        int documents;
        bool preferences;
        bool sheet; // an alert on the first document
        QList<std::function<void()>> steps;
        int endedAfter;
    } rows[] = {
        {"the project window alone", 0, false, false, {close(projectWindow)}, 1},
        {"a document beside the project window", 1, false, false,
         {close([&] { return document(0); }), close(projectWindow)}, 2},
        {"two documents, the project window hidden", 2, false, false,
         {close(projectWindow), close([&] { return document(1); }), close([&] { return document(0); })}, 3},
        {"a document and the preferences, the project window hidden", 1, true, false,
         {close(projectWindow), close([&] { return document(0); }), close(settings)}, 3},
        {"the preferences alone", 0, true, false, {close(projectWindow), close(settings)}, 2},
        {"a document with a sheet on it", 1, false, true,
         {close(projectWindow), [this] { controller.closeDocument(controller.documents().value(0)); }}, 2},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        ProjectWindowController::sharedInstance().showWindow();
        for (int i = 0; i < row.documents; ++i)
            ASSERT_TRUE(controller.newDocument());
        if (row.preferences)
            Settings::showSettings(nullptr);
        if (row.sheet)
            AlertPresenter::setCurrent(nullptr), DoDisplayAlertSheet("A", "B", document(0));
        EXPECT_EQ(stepsBeforeTheEnd(row.steps), row.endedAfter);
        AlertPresenter::setCurrent(&alerts);
        for (Document *left : controller.documents())
            controller.removeDocument(left);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
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
