#include "ApplicationTermination.h"

#include <QCoreApplication>

ApplicationTermination &ApplicationTermination::instance()
{
    // Never destroyed: observers may go before or after the application object.
    static auto *shared = new ApplicationTermination;
    return *shared;
}

ApplicationTermination::ApplicationTermination()
{
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        notifyWillTerminate();
        // A later event loop (a test's next launch) quits anew.
        m_notified = false;
    });
}

void ApplicationTermination::notifyWillTerminate()
{
    if (m_notified)
        return;
    m_notified = true;
    emit willTerminate();
}
