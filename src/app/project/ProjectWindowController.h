#pragma once

// The one project window of the process: made on first use, its frame
// restored from the user defaults when it loads, and its visibility and
// frame stored when the application quits ("showProjectOnStartup",
// "ProjectWindow_width/height/posx/posy").
//
// Main thread only.

#include "RememberedWindowFrame.h"

#include <QObject>
#include <QPointer>

class DatabaseManager;
class ProjectWindow;
class UserDefaults;

class ProjectWindowController : public QObject {
    Q_OBJECT
public:
    static inline const QString ShowOnStartupKey = QStringLiteral("showProjectOnStartup");
    static inline const QString FramePrefix = QStringLiteral("ProjectWindow");

    // With the registry's sources and the standard user defaults; stores
    // the window's state when the application is about to quit.
    [[nodiscard]] static ProjectWindowController &sharedInstance();
    // Null until the first sharedInstance().
    [[nodiscard]] static ProjectWindowController *existingInstance();
    // Before the application object goes: widgets may not outlive it.
    static void releaseSharedInstance();

    ProjectWindowController(DatabaseManager &registry, UserDefaults &defaults, QObject *parent = nullptr);
    ~ProjectWindowController() override;

    // Loaded on first access; the remembered frame is applied then.
    [[nodiscard]] ProjectWindow *window();
    [[nodiscard]] bool isWindowLoaded() const { return m_window != nullptr; }
    // Shows the window and brings it to the front.
    void showWindow();
    void appWillTerminate();

    // A new untitled mail project with its default content.
    static void createNewMail();

private:
    void windowDidLoad();

    DatabaseManager &m_registry;
    UserDefaults &m_defaults;
    RememberedWindowFrame m_frame;
    QPointer<ProjectWindow> m_window;
};
