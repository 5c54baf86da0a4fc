// The program: the application object, the process-wide hooks, the launch.

#include "ActionGuard.h"
#include "AppException.h"
#include "ApplicationMenus.h"
#include "AskPasswordView.h"
#include "DocumentController.h"
#include "IgnoreSigpipe.h"
#include "Localizer.h"
#include "MailDispatcher.h"
#include "MyApplication.h"
#include "MyDocument.h"
#include "PasswordPrompter.h"
#include "VerifierRun.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unistd.h>

namespace {

// Reached only by an exception outside every guard (another thread, a
// destructor, start-up before the event loop): say what it was, then end.
[[noreturn]] void logTerminate()
{
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const AppException &exception) {
            std::fprintf(stderr, "corvantiline: uncaught exception %s: %s\n", qUtf8Printable(exception.name()),
                         qUtf8Printable(exception.errorDescription()));
        } catch (const std::exception &exception) {
            std::fprintf(stderr, "corvantiline: uncaught exception: %s\n", exception.what());
        } catch (...) {
            std::fprintf(stderr, "corvantiline: uncaught exception of unknown kind\n");
        }
    } else {
        std::fprintf(stderr, "corvantiline: terminated without an exception\n%s\n",
                     qUtf8Printable(AppException::captureBacktrace()));
    }
    std::fflush(stderr);
    std::abort();
}

} // namespace

int main(int argc, char **argv)
{
    std::set_terminate(logTerminate);
    App::ignoreSigpipe();
    // The preview's web engine shares the application's graphics contexts;
    // as root its sandbox cannot start and has to be left out.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);

    MyApplication application(argc, argv);
    Localizer::install();
    PasswordPrompter::setDefault(std::make_shared<QtPasswordPrompter>(&ApplicationMenus::furnishSheet));
    DocumentController::sharedDocumentController().setDocumentFactory([] { return new MyDocument; });

    // Qt has taken its own options out; what is left names files to open.
    const QStringList files = application.arguments().mid(1);
    QTimer::singleShot(0, &application, [files] { ActionGuard::run([&] { MyApplication::finishLaunching(files); }); });

    const int result = application.exec();
    // Quitting by closing the last window skips the quit command's review.
    MailDispatcher::abortAndJoinAll();
    VerifierRun::cancelAndJoinAll();
    PasswordPrompter::setDefault(nullptr);
    return result;
}
