#pragma once

// Says, once per quit and before any window closes, that the application is
// about to end: the windows that remember whether they were shown store it
// then. The Quit command says it once the user has agreed to quit; a quit
// by closing the last window says it as the event loop ends.
//
// Main thread only.

#include <QObject>

class ApplicationTermination : public QObject {
    Q_OBJECT
public:
    [[nodiscard]] static ApplicationTermination &instance();

    // Says it, unless this quit has said it already.
    void notifyWillTerminate();

signals:
    void willTerminate();

private:
    ApplicationTermination();

    bool m_notified = false;
};
