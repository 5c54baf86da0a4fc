#pragma once

// The table files window: the registry's list of project files whose
// recipients serve as tables (the send sheet's test tables among them),
// with commands to add, remove, mark for test sends, open a file, and start
// a new mail project from one. Files dropped on the list are added. Its
// frame is remembered like the project window's
// ("DatabaseManagerWindow_width/height/posx/posy",
// "showDatabaseManagerOnStartup", which nothing reads).
//
// Main thread only.

#include "RememberedWindowFrame.h"

#include <QWidget>

#include <memory>

class DatabaseFileListModel;
class DatabaseManager;
class UserDefaults;

namespace Ui {
class DatabaseManagerWindow;
}

class DatabaseManagerWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString ShowOnStartupKey = QStringLiteral("showDatabaseManagerOnStartup");
    static inline const QString FramePrefix = QStringLiteral("DatabaseManagerWindow");

    [[nodiscard]] static DatabaseManagerWindow &sharedInstance();
    // Before the application object goes.
    static void releaseSharedInstance();

    DatabaseManagerWindow(DatabaseManager &registry, UserDefaults &defaults, QWidget *parent = nullptr);
    ~DatabaseManagerWindow() override;

    [[nodiscard]] Ui::DatabaseManagerWindow *ui() const { return m_ui.get(); }
    [[nodiscard]] DatabaseFileListModel *model() const { return m_model; }

    void showWindow();
    void appWillTerminate();

    // The commands; each acts on the selected files by path.
    void addDatabase();
    void removeDatabase();
    void useForTesting();
    void editOriginal();
    void newMail();
    void updateOptionsMenu();

private:
    [[nodiscard]] QStringList selectedPaths() const;
    void showAlreadyListed();

    std::unique_ptr<Ui::DatabaseManagerWindow> m_ui;
    DatabaseFileListModel *m_model;
    RememberedWindowFrame m_frame;
};
