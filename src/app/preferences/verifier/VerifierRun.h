#pragma once

// One verification of an SMTP account on a worker thread of its own: the
// account's pair first, then the fallbacks the policy allows, each attempt
// connecting, authenticating and asking the server to accept the sender
// (MAIL FROM; nothing is sent).
//
// The worker touches only the state it shares with this object (the
// settings, a cancel flag, the result under a lock); it never calls the
// keychain or a window. The result comes to the main thread through a
// queued call; there the first of result and cancel() wins, so a result
// that arrives after Cancel is dropped. cancel() returns at once: the
// worker sees it within one wait slice, or after a name lookup that cannot
// be cut short, and ends by itself. cancelAndJoinAll() waits for every
// worker (at quit).

#include "VerifierPolicy.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

struct VerifierLimits {
    // For each reply or write, as the verifier's SMTP client waits.
    std::chrono::milliseconds replyTimeout{std::chrono::seconds(10)};
    // One attempt, whatever the server answers and how slowly.
    std::chrono::milliseconds attempt{std::chrono::seconds(15)};
    // The whole verification.
    std::chrono::milliseconds total{std::chrono::seconds(60)};
};

struct VerifierResult {
    enum Kind {
        Correct, // the account's own settings work
        Fixed,   // another pair works: `working`
        Wrong,   // none works, or one failed in a way that ends the check: `reason`
    };
    enum Why { NoWhy, SmtpFailure, HostNotFound, OutOfTime, NoAuthentication, EncryptionDemanded };

    Kind kind = Wrong;
    VerifierCandidate working;
    Why why = NoWhy;
    QString reason; // the SMTP client's error text of the attempt that decided
    QString demand; // the server's reply that asked for STARTTLS first; empty when none did
    int attempts = 0;
};

class VerifierRun {
public:
    using ResultHandler = std::function<void(const VerifierResult &)>;

    // Main thread. The handler runs on the main thread once, unless cancel()
    // came first or the returned object is gone by then.
    [[nodiscard]] static std::shared_ptr<VerifierRun> start(const VerifierSettings &settings,
                                                            const QList<VerifierCandidate> &fallbacks,
                                                            const VerifierLimits &limits, ResultHandler onResult);
    ~VerifierRun();
    Q_DISABLE_COPY_MOVE(VerifierRun)

    // Main thread: no result is handled after this, and the worker stops.
    void cancel();
    // Main thread: a result was handled or the run was cancelled.
    [[nodiscard]] bool isSettled() const { return m_settled; }
    // Any thread: the worker has its result and has posted it.
    [[nodiscard]] bool hasResult() const;

    // Main thread: cancels every run and waits for all their workers.
    static void cancelAndJoinAll();
    // Workers not yet joined (ended or not).
    [[nodiscard]] static int workerCount();

    struct Shared;
    // Main thread: hands the worker's result to the handler, unless settled.
    void deliver();

private:
    VerifierRun() = default;

    std::shared_ptr<Shared> m_shared;
    ResultHandler m_onResult;
    bool m_settled = false;
};
