#include "ProjectWindowController.h"

#include "ProjectWindow.h"

#include "ApplicationTermination.h"
#include "DatabaseManager.h"
#include "DocumentController.h"
#include "UserDefaults.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

ProjectWindowController *&sharedSlot()
{
    static ProjectWindowController *instance = nullptr;
    return instance;
}

} // namespace

ProjectWindowController &ProjectWindowController::sharedInstance()
{
    if (!sharedSlot()) {
        sharedSlot() = new ProjectWindowController(DatabaseManager::sharedInstance(),
                                                   UserDefaults::standardUserDefaults());
        connect(&ApplicationTermination::instance(), &ApplicationTermination::willTerminate, sharedSlot(),
                &ProjectWindowController::appWillTerminate);
    }
    return *sharedSlot();
}

ProjectWindowController *ProjectWindowController::existingInstance()
{
    return sharedSlot();
}

void ProjectWindowController::releaseSharedInstance()
{
    delete sharedSlot();
    sharedSlot() = nullptr;
}

ProjectWindowController::ProjectWindowController(DatabaseManager &registry, UserDefaults &defaults, QObject *parent)
    : QObject(parent), m_registry(registry), m_defaults(defaults), m_frame(defaults, FramePrefix, ShowOnStartupKey)
{
}

ProjectWindowController::~ProjectWindowController()
{
    delete m_window.data();
}

ProjectWindow *ProjectWindowController::window()
{
    if (!m_window) {
        m_window = new ProjectWindow(m_registry, m_defaults);
        windowDidLoad();
    }
    return m_window;
}

void ProjectWindowController::windowDidLoad()
{
    QList<QRect> screens;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        screens.append(primary->availableGeometry());
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            screens.append(screen->availableGeometry());
    }
    // Wayland lets no client place its windows.
    const bool positionsHonoured = !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
    const RememberedWindowFrame::Placement placement = m_frame.placement(screens, positionsHonoured);
    switch (placement.kind) {
    case RememberedWindowFrame::Placement::Keep:
        break;
    case RememberedWindowFrame::Placement::Size:
        m_window->resize(placement.frame.size());
        break;
    case RememberedWindowFrame::Placement::Frame:
    case RememberedWindowFrame::Placement::Centred:
        m_window->setGeometry(placement.frame);
        break;
    }
}

void ProjectWindowController::showWindow()
{
    ProjectWindow *shown = window();
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void ProjectWindowController::appWillTerminate()
{
    const bool visible = m_window && m_window->isVisible();
    m_frame.store(visible, visible ? QRectF(m_window->geometry()) : QRectF());
}

void ProjectWindowController::createNewMail()
{
    DocumentController::sharedDocumentController().openUntitledDocument(true);
}
