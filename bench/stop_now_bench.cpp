// How soon a send run stops when the server has stopped reading in the
// middle of a message (the socket buffers are full) and the user
//   stop    presses cancel twice (abort, then abortNow: "stop now"), timed
//           from the second press to the run's done report;
//   quit    quits (MailDispatcher::abortAndJoinAll), timed to its return.
// Engine level: MailDispatcher with an "smtp" account against
// makeStalledSmtpServer() of the delivery tests, on loopback, each run
// with a 6 MB message. The target is 200 ms.
//
// Usage: stop_now_bench [stop|quit ...] [--runs N]   (both, 10 runs)
// Prints every run's time, then "RESULT <kind> <runs> <median ms> <max ms>".

#include "Database.h"
#include "MailDispatcher.h"

#include "BenchProcess.h"

#include "../tests/delivery/FakeSmtpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>

namespace {

using BenchProcess::handleEventsUntil;

using Clock = std::chrono::steady_clock;

constexpr int MessageBytes = 6 << 20;

SendJob stalledJob()
{
    Database database;
    const QString mail = database.addField(QStringLiteral("Mail"));
    database.setAddressFieldNo(Database::columnIndexFromIdentifier(mail));
    database.addEntryWithDict(0, {{mail, QStringLiteral("ann@a.test")}});
    SendJob job;
    const QString line = QString(70, u'x') + u'\n';
    job.message = std::make_shared<const MessageSnapshot>(
        MessageMode::Plain, RichText(QStringLiteral("Hello")), RichText(line.repeated(MessageBytes / 71)), RichText(),
        RichText(), std::nullopt, QString());
    job.recipients = RecipientRows::fromDatabase(database);
    return job;
}

class DoneWatch : public MailDispatcherDelegate {
public:
    void updateProgress(std::unique_ptr<MailDispatcherStatus> status) override
    {
        if (status->state() == MailDispatcherStatus::Done)
            done = Clock::now();
    }
    std::optional<Clock::time_point> done;
};

// One run stopped as `kind` says, in milliseconds; negative when it failed.
double stoppedRun(const QString &kind, quint16 port, const SendJob &job)
{
    DoneWatch watch;
    auto dispatcher = MailDispatcher::create();
    dispatcher->setJob(job);
    dispatcher->setAccountData({{"accountType", "smtp"}, {"mailFromAddress", "me@a.test"},
                                {"smtpServer", "127.0.0.1"}, {"smtpPort", QString::number(port)},
                                {"smtpAuthType", "0"}});
    dispatcher->setDelegate(&watch);
    dispatcher->send();
    // Stalled: part of the message written, and no more for 200 ms.
    double written = 0;
    QElapsedTimer still;
    still.start();
    if (!handleEventsUntil([&] {
            const double now = dispatcher->status().mailCompletition();
            if (now != written || now == 0) {
                written = now;
                still.restart();
            }
            return still.elapsed() >= 200;
        }))
        return -1;
    if (kind == QLatin1String("quit")) {
        const auto pressed = Clock::now();
        MailDispatcher::abortAndJoinAll();
        return std::chrono::duration<double, std::milli>(Clock::now() - pressed).count();
    }
    dispatcher->abort();
    const auto pressed = Clock::now();
    dispatcher->abortNow();
    if (!handleEventsUntil([&] { return watch.done.has_value(); }))
        return -1;
    return std::chrono::duration<double, std::milli>(*watch.done - pressed).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const SendJob job = stalledJob();
    // One server for all runs: each connection is held until its client goes.
    const std::unique_ptr<FakeSmtpServer> server = makeStalledSmtpServer();
    return BenchProcess::timeRuns(app.arguments().mid(1), {QStringLiteral("stop"), QStringLiteral("quit")},
                                  [&](const QString &kind) { return stoppedRun(kind, server->port(), job); });
}
