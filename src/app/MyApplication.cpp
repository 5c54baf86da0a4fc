#include "MyApplication.h"

#include "ActionGuard.h"
#include "AppDelegate.h"
#include "Document.h"
#include "DocumentController.h"
#include "MailDispatcher.h"
#include "Settings.h"
#include "SettingsWindow.h"
#include "VerifierRun.h"
#include "UserDefaults.h"

#include <QMainWindow>
#include <QPointer>

namespace {

// Written by the project window when the application quits.
const QString ShowProjectOnStartupKey = QStringLiteral("showProjectOnStartup");

QPointer<AppDelegate> &delegateSlot()
{
    static QPointer<AppDelegate> delegate;
    return delegate;
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

    const QVariant showProject = UserDefaults::standardUserDefaults().objectForKey(ShowProjectOnStartupKey);
    if (showProject.isValid() && !UserDefaults::standardUserDefaults().boolForKey(ShowProjectOnStartupKey))
        return;
    showProjectWindow();
}

void MyApplication::finishLaunching(const QStringList &files)
{
    awakeFromNib();
    DocumentController &controller = DocumentController::sharedDocumentController();
    if (!files.isEmpty())
        controller.openFiles(files);
    else if (delegate()->applicationShouldOpenUntitledFile())
        controller.openUntitledDocument(true);
    delegate()->applicationDidFinishLaunching();
}

AppDelegate *MyApplication::delegate()
{
    return delegateSlot().data();
}

void MyApplication::showProjectWindow()
{
    // The project window does not exist yet; until it does there is nothing
    // to bring to the front.
}

bool MyApplication::prepareQuit()
{
    // Closing stores the preferences; when they cannot be written the
    // window stays, and so does the application.
    if (!SettingsWindow::closeOpenWindow())
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
        // Leaving the loop closes every window, and a document window that
        // is closed asks about its changes: the user has answered already.
        DocumentController &controller = DocumentController::sharedDocumentController();
        const QList<Document *> documents = controller.documents();
        for (Document *document : documents)
            controller.removeDocument(document);
    });
    if (quit)
        QCoreApplication::quit();
}
