// How soon a send run from the document window ends when its server has
// stopped reading in the middle of a message (the socket buffers full), as
// the user ends it:
//   stop         the progress sheet's cancel button pressed twice, timed
//                from the second press to the run's end in the window (its
//                last report handled, the log's done line written);
//   quit         Quit (MyApplication::prepareQuit) answered "Stop and Quit"
//                and "Don't Save", timed to its return: the run has ended,
//                its reports are recorded and the document was asked about;
//   prompt-quit  Quit while the run's password prompt is open, the same.
// The window is on the offscreen platform; the server is
// makeStalledSmtpServer() of the delivery tests, on loopback; each run
// sends a 6 MB message. Beside stop_now_bench, which times the same stops
// at the engine. The target is 200 ms.
//
// Usage: quit_window_bench [stop|quit|prompt-quit ...] [--runs N]   (all, 10 runs)
// Prints every run's time, then "RESULT <kind> <runs> <median ms> <max ms>".

#include "DocumentController.h"
#include "MyApplication.h"
#include "MyDocument.h"
#include "SendMailsProgressWindow.h"
#include "SendMailsUIHandler.h"

#include "AlertPresenter.h"
#include "AskPasswordView.h"
#include "Database.h"
#include "Keychain.h"
#include "KeychainMemoryBackend.h"
#include "Localizer.h"
#include "MailDispatcher.h"

#include "PasswordPrompter.h"
#include "Settings.h"

#include "BenchProcess.h"
#include "OffscreenApplication.h"

#include "../tests/delivery/FakeSmtpServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <chrono>
#include <cstdio>

namespace {

using BenchProcess::handleEventsUntil;

using Clock = std::chrono::steady_clock;

constexpr int MessageBytes = 6 << 20;

// The user's answers: stop sending, do not save.
class QuitAnswers : public DocumentPanels {
public:
    QString openFile(QWidget *) override { return {}; }
    QString saveFile(QWidget *, const QString &) override { return {}; }
    SaveChoice askSaveChanges(QWidget *, const QString &) override { return DontSave; }
    bool askRevertChanges(QWidget *, const QString &) override { return false; }
    bool askStopSendingForQuit(QWidget *, const QString &) override { return true; }
    void showError(QWidget *, const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
};

// No alert may wait for a click.
class SilentAlerts : public AlertPresenter {
public:
    void runAlertPanel(const QString &, const QString &) override {}
    void beginAlertSheet(const QString &, const QString &, QWidget *) override {}
    void showErrorReport(const QString &text, QWidget *) override
    {
        std::fprintf(stderr, "error report: %s\n", qPrintable(text));
    }
};

AskPasswordView *openPrompt()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *prompt = qobject_cast<AskPasswordView *>(widget); prompt && prompt->isVisible())
            return prompt;
    }
    return nullptr;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One run ended as `kind` says, in milliseconds; negative when it failed.
double endedRun(const QString &kind, quint16 port)
{
    DocumentController &controller = DocumentController::sharedDocumentController();
    auto *document = qobject_cast<MyDocument *>(controller.openUntitledDocument(true));
    const QString line = QString(70, u'x') + u'\n';
    document->messageTab().setSubjectText(RichText(QStringLiteral("Hello")));
    document->messageTab().setBodyText(RichText(line.repeated(MessageBytes / 71)));
    Database &table = document->database();
    table.setEntryArray(QList<QVariantMap>{{{QStringLiteral("0"), QStringLiteral("ann@a.test")}}});
    table.setAddressFieldNo(0);
    const bool prompt = kind == QLatin1String("prompt-quit");
    const QVariantMap account{{AccountKeys::AccountType, AccountTypes::Smtp},
                              {AccountKeys::AccountName, QStringLiteral("stalled")},
                              {AccountKeys::MailFromAddress, QStringLiteral("me@a.test")},
                              {AccountKeys::SmtpServer, QStringLiteral("127.0.0.1")},
                              {AccountKeys::SmtpPort, QString::number(port)},
                              {AccountKeys::SmtpLogin, QStringLiteral("me")},
                              {AccountKeys::SmtpAuthType, prompt ? QStringLiteral("1") : QStringLiteral("0")}};
    Settings::setAccountArray({account});
    SendMailsUIHandler *handler = document->sendUIHandler();
    handler->setAccountNo(0);
    handler->setAccountData(account);
    handler->sendNow(1);

    double ms = -1;
    if (prompt) {
        if (handleEventsUntil([] { return openPrompt() != nullptr; })) {
            const auto quit = Clock::now();
            if (MyApplication::prepareQuit() && !handler->isSending() && !openPrompt())
                ms = msSince(quit);
        }
    } else {
        // Stalled: part of the message written, and no more for 200 ms.
        double written = 0;
        QElapsedTimer still;
        still.start();
        const bool stalled = handleEventsUntil([&] {
            if (!handler->run())
                return false;
            const double now = handler->run()->dispatcher->status().mailCompletition();
            if (now != written || now == 0) {
                written = now;
                still.restart();
            }
            return still.elapsed() >= 200 && handler->progressWindow();
        });
        if (stalled && kind == QLatin1String("quit")) {
            const auto quit = Clock::now();
            if (MyApplication::prepareQuit() && !handler->isSending())
                ms = msSince(quit);
        } else if (stalled) {
            handler->progressWindow()->cancelButton()->click();
            const auto pressed = Clock::now();
            handler->progressWindow()->cancelButton()->click();
            if (handleEventsUntil([&] { return !handler->isSending(); }))
                ms = msSince(pressed);
        }
    }
    controller.removeDocument(document);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    OffscreenApplication app(argc, argv);
    Localizer::install();
    Settings::setWriteLogFile(false);
    Keychain::setBackend(std::make_shared<KeychainMemoryBackend>());
    PasswordPrompter::setDefault(std::make_shared<QtPasswordPrompter>());
    QuitAnswers answers;
    SilentAlerts alerts;
    AlertPresenter::setCurrent(&alerts);
    DocumentController &controller = DocumentController::sharedDocumentController();
    controller.setPanels(&answers);
    controller.setDocumentFactory([] { return new MyDocument; });

    // One server for all runs: each connection is held until its client goes.
    const std::unique_ptr<FakeSmtpServer> server = makeStalledSmtpServer();
    const int result = BenchProcess::timeRuns(
        app.arguments().mid(1), {QStringLiteral("stop"), QStringLiteral("quit"), QStringLiteral("prompt-quit")},
        [&](const QString &kind) { return endedRun(kind, server->port()); });
    MailDispatcher::abortAndJoinAll();
    controller.setPanels(nullptr);
    controller.setDocumentFactory({});
    AlertPresenter::setCurrent(nullptr);
    PasswordPrompter::setDefault(nullptr);
    return result;
}
