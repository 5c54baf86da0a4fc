#include "MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// Qt's event queue, which carries the work over, is hidden from a race
// detector too: the poster holds this lock while it posts, and the work
// passes through it before it touches anything the poster made.
std::mutex &postingOrder()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

bool MainThread::isMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void MainThread::invokeAndWait(const std::function<void()> &work)
{
    if (isMainThread()) {
        work();
        return;
    }
    // Our own hand-off rather than a blocking queued call: its mutex makes
    // what the main thread did visible to the waiting thread in a way
    // ThreadSanitizer follows (Qt's own wait is not instrumented).
    struct HandOff {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };
    auto handOff = std::make_shared<HandOff>();
    std::unique_lock posting(postingOrder());
    QMetaObject::invokeMethod(QCoreApplication::instance(), [handOff, &work] {
        { const std::lock_guard order(postingOrder()); }
        // The waiting thread must be released even when the work throws;
        // the exception itself goes on to the main thread's guard.
        struct Release {
            HandOff &handOff;
            ~Release()
            {
                const std::lock_guard lock(handOff.mutex);
                handOff.done = true;
                handOff.finished.notify_one();
            }
        } release{*handOff};
        work();
    }, Qt::QueuedConnection);
    posting.unlock();
    std::unique_lock lock(handOff->mutex);
    handOff->finished.wait(lock, [&] { return handOff->done; });
}
