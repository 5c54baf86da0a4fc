#pragma once

#include <QApplication>
#include <QStringList>

class AppDelegate;

// The application object: start-up, the commands that belong to no
// document, and the last net for exceptions thrown by event handlers.
//
// The start-up steps are class operations so that they run the same under
// any application object (tests have a plain QApplication).
class MyApplication : public QApplication {
    Q_OBJECT
public:
    MyApplication(int &argc, char **argv);
    ~MyApplication() override;

    bool notify(QObject *receiver, QEvent *event) override;
    // What notify() does: delivers the event through the application's own
    // handling; whatever a handler throws is reported, never passed on.
    static bool notifyGuarded(QApplication &application, QObject *receiver, QEvent *event) noexcept;

    // Registers the defaults, installs the delegate and shows the project
    // window unless the preferences say not to.
    static void awakeFromNib();
    // The whole launch: awakeFromNib, then the files as documents (or, with
    // none, an untitled document when the delegate wants one), then the
    // delegate's launch-finished step.
    static void finishLaunching(const QStringList &files);
    [[nodiscard]] static AppDelegate *delegate();

    // Brings the project window to the front.
    static void showProjectWindow();
    // Project files are opened for the table registry the application's way.
    static void setUpTableRegistry();
    // Everything of quitting but leaving the event loop: false when the user
    // kept a document open or one may not close.
    static bool prepareQuit();
    // The Quit command: prepareQuit, then out of the event loop.
    static void terminate();

public slots:
    void showSettings();
    // The project window, where the stored tables are managed.
    void showDatabaseManager();
    // The registry's list of table files.
    void showDatabaseManagerWindow();
    void quitApplication();
};
