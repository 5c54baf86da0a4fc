#pragma once

// What the user must hear about the stored tables: what opening them found
// (another copy of the program holds them, an index rebuilt, a store that
// could not be opened), every write that failed (the change is kept in
// memory), and at quit, changes that still could not be written.
//
// Main thread only.

#include "NotificationCenter.h"

#include <QObject>
#include <QPointer>

#include <functional>

class DatabaseManager;
class QWidget;

class StoredTablesReporter : public QObject {
    Q_OBJECT
public:
    // The window alerts go to; null for an application-modal alert.
    using WindowProvider = std::function<QWidget *()>;

    StoredTablesReporter(DatabaseManager &registry, WindowProvider window, QObject *parent = nullptr);

    // Once, at launch: the start-up problems, if any, in one alert.
    void reportStartupProblems();
    // Before quitting: writes what is unsaved; when that fails, asks whether
    // to quit all the same. False: do not quit.
    [[nodiscard]] bool saveBeforeQuit();

private:
    void showWriteFailure();

    DatabaseManager &m_registry;
    WindowProvider m_window;
    bool m_failurePending = false;
    NotificationCenter::Observation m_writeFailures;
};
