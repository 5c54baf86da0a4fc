#include "MyApplication.h"

#include "ActionGuard.h"
#include "AppDelegate.h"
#include "ApplicationTermination.h"
#include "DatabaseManager.h"
#include "DatabaseManagerWindow.h"
#include "Document.h"
#include "DocumentController.h"
#include "Localizer.h"
#include "MailDispatcher.h"
#include "MyDocument.h"
#include "PlainArrayDatabase.h"
#include "ProjectWindow.h"
#include "ProjectWindowController.h"
#include "Settings.h"
#include "SettingsWindow.h"
#include "VerifierRun.h"
#include "StoredTablesReporter.h"
#include "UserDefaults.h"

#include <QMainWindow>
#include <QPointer>

#include <algorithm>

namespace {

QPointer<AppDelegate> &delegateSlot()
{
    static QPointer<AppDelegate> delegate;
    return delegate;
}

QPointer<StoredTablesReporter> &reporterSlot()
{
    static QPointer<StoredTablesReporter> reporter;
    return reporter;
}

// Alerts about the stored tables go to the project window while it is shown.
QWidget *storedTablesWindow()
{
    ProjectWindowController *controller = ProjectWindowController::existingInstance();
    if (!controller || !controller->isWindowLoaded() || !controller->window()->isVisible())
        return nullptr;
    return controller->window();
}

bool projectOrDocumentWindowShown()
{
    if (storedTablesWindow())
        return true;
    const QList<Document *> documents = DocumentController::sharedDocumentController().documents();
    return std::any_of(documents.cbegin(), documents.cend(), [](const Document *document) {
        return document->window() && document->window()->isVisible();
    });
}

} // namespace

MyApplication::MyApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Corvantiline"));
    setApplicationDisplayName(QStringLiteral("Corvantiline"));
    setDesktopFileName(QStringLiteral("corvantiline"));
}

MyApplication::~MyApplication()
{
    // Document windows are widgets: they must go before the application does.
    DocumentController &controller = DocumentController::sharedDocumentController();
    const QList<Document *> documents = controller.documents();
    for (Document *document : documents) {
        controller.removeDocument(document);
        delete document;
    }
    delete delegateSlot().data();
    ProjectWindowController::releaseSharedInstance();
    DatabaseManagerWindow::releaseSharedInstance();
}

bool MyApplication::notify(QObject *receiver, QEvent *event)
{
    return notifyGuarded(*this, receiver, event);
}

bool MyApplication::notifyGuarded(QApplication &application, QObject *receiver, QEvent *event) noexcept
{
    bool handled = false;
    ActionGuard::run([&] { handled = application.QApplication::notify(receiver, event); });
    return handled;
}

void MyApplication::awakeFromNib()
{
    Settings::loadSettings();
    SettingsWindow::registerWithSettings();
    delete delegateSlot().data();
    delegateSlot() = new AppDelegate(QCoreApplication::instance());
    setUpTableRegistry();

    const QVariant showProject = UserDefaults::standardUserDefaults().objectForKey(ProjectWindowController::ShowOnStartupKey);
    if (!showProject.isValid() || UserDefaults::standardUserDefaults().boolForKey(ProjectWindowController::ShowOnStartupKey))
        showProjectWindow();
    reporterSlot()->reportStartupProblems();
}

void MyApplication::setUpTableRegistry()
{
    DatabaseManager &registry = DatabaseManager::sharedInstance();
    registry.setDocumentOpener([](const QString &path, bool newDocumentWithItsRecipients) {
        DocumentController &controller = DocumentController::sharedDocumentController();
        if (!newDocumentWithItsRecipients) {
            controller.openDocumentWithContentsOfFile(path, true);
            return;
        }
        Document *document = controller.openUntitledDocument(false);
        if (!document)
            return;
        auto *mail = qobject_cast<MyDocument *>(document);
        if (mail && !mail->loadDatabaseFromFile(path)) {
            controller.panels().showError(nullptr, Localizer::localizedString("Localized-App", "DOC_OPEN_FAILED"),
                                          Localizer::localizedString("Localized-Document", "DOC_NOT_A_FILE").arg(path));
        }
        document->showWindows();
    });
    if (!reporterSlot()) {
        reporterSlot() = new StoredTablesReporter(registry, storedTablesWindow, QCoreApplication::instance());
        // Quitting by closing the last window passes no review: written here, untold.
        connect(qApp, &QCoreApplication::aboutToQuit, reporterSlot(), [&registry] {
            if (const std::shared_ptr<PlainArrayDatabase> &store = registry.mainUserDatabase())
                store->saveUnsavedChanges();
        });
    }
}

void MyApplication::finishLaunching(const QStringList &files)
{
    awakeFromNib();
    DocumentController &controller = DocumentController::sharedDocumentController();
    if (!files.isEmpty())
        controller.openFiles(files);
    else if (delegate()->applicationShouldOpenUntitledFile())
        controller.openUntitledDocument(true);
    // No menu bar stays on this desktop when no window does: the program
    // would run on with nothing to reach it by, and each start would add one.
    if (!projectOrDocumentWindowShown())
        showProjectWindow();
    delegate()->applicationDidFinishLaunching();
}

AppDelegate *MyApplication::delegate()
{
    return delegateSlot().data();
}

void MyApplication::showProjectWindow()
{
    ProjectWindowController::sharedInstance().showWindow();
}

bool MyApplication::prepareQuit()
{
    // Closing stores the preferences; when they cannot be written the
    // window stays, and so does the application.
    if (!SettingsWindow::closeOpenWindow())
        return false;
    if (reporterSlot() && !reporterSlot()->saveBeforeQuit())
        return false;
    if (!DocumentController::sharedDocumentController().reviewUnsavedDocumentsForQuit())
        return false;
    MailDispatcher::abortAndJoinAll();
    VerifierRun::cancelAndJoinAll();
    return true;
}

void MyApplication::showSettings()
{
    ActionGuard::run([this] { Settings::showSettings(this); });
}

void MyApplication::showDatabaseManager()
{
    ActionGuard::run([] { showProjectWindow(); });
}

void MyApplication::showDatabaseManagerWindow()
{
    ActionGuard::run([] { DatabaseManagerWindow::sharedInstance().showWindow(); });
}

void MyApplication::quitApplication()
{
    terminate();
}

void MyApplication::terminate()
{
    bool quit = false;
    ActionGuard::run([&] {
        quit = prepareQuit();
        if (!quit)
            return;
        // Leaving the loop closes every window: what the windows remember
        // of themselves is taken as they are now. A document window that is
        // closed asks about its changes: the user has answered already.
        ApplicationTermination::instance().notifyWillTerminate();
        DocumentController &controller = DocumentController::sharedDocumentController();
        const QList<Document *> documents = controller.documents();
        for (Document *document : documents)
            controller.removeDocument(document);
    });
    if (quit)
        QCoreApplication::quit();
}
