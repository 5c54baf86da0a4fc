// How long the SMTP account verifier takes to a verdict when the ports it
// tries first do not answer as they should, with the working pair last:
//   tarpit  listeners that never accept (their queue is full, so the
//           connect is never answered, as with dropped packets)
//   drop    servers that accept and close at once
//   slow    servers that answer every line after 9.9 s, and refuse EHLO
//   slowok  servers that answer every line after 9.9 s, and would work
// Each scenario runs with the verifier's limits (15 s an attempt, 60 s in
// all) and, with --unbounded, as the verifier worked before them: only the
// client's 10 s for each reply. Also: how soon Cancel ends the sheet and
// the worker, and the longest wait of the main thread's event loop.
//
// Usage: verifier_bench [tarpit|drop|slow|slowok|cancel ...] [--unbounded]
// Everything runs on loopback; no root needed.

#include "VerifierRun.h"

#include "../tests/delivery/FakeSmtpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int BadPorts = 5; // the account's own and four fallbacks; the fifth fallback works

struct Bad {
    std::vector<std::unique_ptr<StalledListener>> tarpits;
    std::vector<std::unique_ptr<FakeSmtpServer>> servers;
    QList<quint16> ports;
};

Bad badPorts(const QString &kind)
{
    Bad bad;
    for (int i = 0; i < BadPorts; ++i) {
        if (kind == "tarpit") {
            bad.tarpits.push_back(std::make_unique<StalledListener>());
            bad.ports.append(bad.tarpits.back()->port());
        } else if (kind == "drop") {
            bad.servers.push_back(std::make_unique<FakeSmtpServer>(SmtpScript().close()));
            bad.ports.append(bad.servers.back()->port());
        } else if (kind == "slow") {
            bad.servers.push_back(std::make_unique<FakeSmtpServer>(
                SmtpScript().pause(9900).send("220 slow.test ESMTP\r\n").readLine().pause(9900)
                    .send("502 5.5.1 not now\r\n")));
            bad.ports.append(bad.servers.back()->port());
        } else {
            bad.servers.push_back(std::make_unique<FakeSmtpServer>(
                SmtpScript().pause(9900).send("220 slow.test ESMTP\r\n").readLine().pause(9900)
                    .send("250-slow.test\r\n250 8BITMIME\r\n").readLine().pause(9900).send("250 ok\r\n")));
            bad.ports.append(bad.servers.back()->port());
        }
    }
    return bad;
}

VerifierSettings accountOn(quint16 port)
{
    VerifierSettings settings;
    settings.senderAddress = "bench@test.example";
    settings.host = "127.0.0.1";
    settings.port = QString::number(port);
    return settings;
}

struct Outcome {
    VerifierResult result;
    qint64 elapsedMs = 0;
    qint64 longestStallMs = 0;
};

// Runs one verification to its result while a timer measures how long the
// event loop goes without turning.
Outcome run(const VerifierSettings &settings, const QList<VerifierCandidate> &fallbacks, const VerifierLimits &limits)
{
    Outcome outcome;
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        outcome.longestStallMs = std::max(outcome.longestStallMs, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(10);
    bool done = false;
    const auto verification = VerifierRun::start(settings, fallbacks, limits, [&](const VerifierResult &result) {
        outcome.result = result;
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    outcome.elapsedMs = clock.elapsed();
    VerifierRun::cancelAndJoinAll();
    return outcome;
}

const char *kindName(VerifierResult::Kind kind)
{
    return kind == VerifierResult::Correct ? "correct" : kind == VerifierResult::Fixed ? "fixed" : "wrong";
}

void scenario(const QString &kind, bool unbounded)
{
    const Bad bad = badPorts(kind);
    FakeSmtpServer working;
    QList<VerifierCandidate> fallbacks;
    for (int i = 1; i < BadPorts; ++i)
        fallbacks.append({QString::number(bad.ports[i]), 0});
    fallbacks.append({QString::number(working.port()), 0});
    VerifierLimits limits;
    if (unbounded) {
        limits.attempt = std::chrono::hours(1);
        limits.total = std::chrono::hours(1);
    }
    const Outcome outcome = run(accountOn(bad.ports[0]), fallbacks, limits);
    std::printf("%-7s %-10s verdict %-7s after %2d attempts in %6.1f s; longest event-loop wait %lld ms\n",
                qPrintable(kind), unbounded ? "unbounded" : "bounded", kindName(outcome.result.kind),
                outcome.result.attempts, outcome.elapsedMs / 1000.0, static_cast<long long>(outcome.longestStallMs));
    std::fflush(stdout);
}

// Cancel one second into an attempt on a tarpit: when the sheet may close
// (at once: cancel() only marks the run) and when the worker has ended.
void cancelLatency()
{
    const Bad bad = badPorts("tarpit");
    qint64 worst = 0;
    qint64 worstSettle = 0;
    for (int round = 0; round < 5; ++round) {
        bool handled = false;
        const auto verification = VerifierRun::start(accountOn(bad.ports[0]), {}, {},
                                                     [&](const VerifierResult &) { handled = true; });
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QElapsedTimer clock;
        clock.start();
        verification->cancel();
        worstSettle = std::max(worstSettle, clock.nsecsElapsed() / 1000);
        VerifierRun::cancelAndJoinAll();
        worst = std::max(worst, clock.elapsed());
        if (handled)
            std::printf("cancel: a result was handled after Cancel\n");
    }
    std::printf("cancel  sheet free after %lld us; worker ended within %lld ms (worst of 5)\n",
                static_cast<long long>(worstSettle), static_cast<long long>(worst));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList scenarios;
    bool unbounded = false;
    for (const QString &argument : app.arguments().mid(1)) {
        if (argument == "--unbounded")
            unbounded = true;
        else
            scenarios.append(argument);
    }
    if (scenarios.isEmpty())
        scenarios = {"drop", "tarpit", "slow", "cancel"};
    for (const QString &name : scenarios) {
        if (name == "cancel")
            cancelLatency();
        else if (name == "tarpit" || name == "drop" || name == "slow" || name == "slowok")
            scenario(name, unbounded);
        else
            std::fprintf(stderr, "unknown scenario %s\n", qPrintable(name));
    }
    return 0;
}
