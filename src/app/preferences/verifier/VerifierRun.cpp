#include "VerifierRun.h"

#include "SMTPMail.h"
#include "SMTP_Session.h"
#include "SocketStreams.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

using Clock = std::chrono::steady_clock;

struct VerifierRun::Shared {
    Shared(const VerifierSettings &settings, QList<VerifierCandidate> attempts, const VerifierLimits &limits)
        : settings(settings), attempts(std::move(attempts)), limits(limits)
    {
    }

    const VerifierSettings settings;
    const QList<VerifierCandidate> attempts;
    const VerifierLimits limits;
    // Set once before the worker starts; the worker only copies it into
    // the call that carries the result over.
    std::weak_ptr<VerifierRun> owner;

    std::atomic<bool> cancelled{false};
    std::atomic<bool> ended{false};
    std::mutex resultMutex;
    std::optional<VerifierResult> result; // under resultMutex
};

namespace {

// Qt's event queue, which carries the result over, is hidden from a race
// detector: the worker holds this lock while it posts, and the main thread
// passes through it before it reads anything the worker made.
std::mutex &postingOrder()
{
    static std::mutex mutex;
    return mutex;
}

struct Worker {
    std::shared_ptr<VerifierRun::Shared> shared;
    std::thread thread;
};

// Main thread only.
std::list<Worker> &workers()
{
    static std::list<Worker> list;
    return list;
}

void joinEnded()
{
    auto &list = workers();
    for (auto it = list.begin(); it != list.end();) {
        if (it->shared->ended.load()) {
            it->thread.join();
            it = list.erase(it);
        } else {
            ++it;
        }
    }
}

// Stops the SMTP client's waits when the user cancels or the attempt's
// time is up: the line reader asks after every slice of its wait.
class AttemptDelegate final : public SmtpProgressDelegate {
public:
    AttemptDelegate(const std::atomic<bool> &cancelled, Clock::time_point deadline)
        : m_cancelled(cancelled), m_deadline(deadline)
    {
    }

    bool lineReaderHandleEvent(LineReader &, int) override { return goOn(); }
    bool sentBytesInfo(int, int) override { return goOn(); }
    [[nodiscard]] bool timedOut() const { return m_timedOut; }

private:
    bool goOn()
    {
        if (m_cancelled.load())
            return false;
        if (Clock::now() >= m_deadline)
            m_timedOut = true;
        return !m_timedOut;
    }

    const std::atomic<bool> &m_cancelled;
    const Clock::time_point m_deadline;
    bool m_timedOut = false;
};

struct Attempt {
    int result = 0;
    AttemptFacts facts;
    QString errorText;
    QString demand; // the server's words when it asked for STARTTLS first
};

// The first line of the last reply, short and printable: it is shown.
QString replyLine(const SMTP_Session &session)
{
    constexpr qsizetype MaxLength = 200;
    QString line = QString::fromUtf8(session.lastReply).section(QStringLiteral("\r\n"), 0, 0);
    line.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    return line.left(MaxLength);
}

Attempt runAttempt(const VerifierRun::Shared &shared, const VerifierCandidate &candidate, Clock::time_point deadline)
{
    const VerifierSettings &settings = shared.settings;
    AttemptDelegate delegate(shared.cancelled, deadline);
    SMTPMail mail;
    mail.setProgressCallback(&delegate);
    mail.setServer(settings.host);
    mail.setPort(candidate.port);
    const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now()) + std::chrono::seconds(1);
    const auto reply = std::chrono::duration_cast<std::chrono::seconds>(shared.limits.replyTimeout);
    mail.setTimeout(int(std::max<qint64>(1, std::min(left, reply).count())));
    mail.setEncryption(candidate.encryption);
    mail.setAuthentication(settings.authType);
    if (settings.authenticates()) {
        mail.setLogin(settings.login);
        mail.setPassword(settings.password);
    }
    Attempt attempt;
    attempt.result = mail.connect();
    if (attempt.result == 0) {
        attempt.facts.authenticated = (mail.session().auth_mechanisms
                                       & (SMTP_Session::AuthPlain | SMTP_Session::AuthLogin)) != 0;
        attempt.result = mail.sendTestFrom(settings.senderAddress);
    }
    attempt.facts.timedOut = delegate.timedOut();
    attempt.facts.certificateRejected = VerifierPolicy::isCertificateFailure(mail.session());
    if (attempt.result != 0 && candidate.encryption == 0) {
        const QString line = replyLine(mail.session());
        attempt.facts.encryptionDemanded = VerifierPolicy::demandsStartTls(mail.session().lastReplyCode, line);
        if (attempt.facts.encryptionDemanded)
            attempt.demand = line;
    }
    attempt.errorText = mail.getErrorDesc(attempt.result);
    mail.disconnect();
    return attempt;
}

// The worker: nothing but the shared state.
void verify(const std::shared_ptr<VerifierRun::Shared> &shared)
{
    const VerifierSettings &settings = shared->settings;
    const Clock::time_point end = Clock::now() + shared->limits.total;
    VerifierResult result;
    result.why = VerifierResult::OutOfTime;
    bool decided = false;
    // A name that does not resolve fails every pair alike; one look-up tells.
    if (!SocketStreams::hostWithName(settings.host)) {
        result.why = VerifierResult::HostNotFound;
        decided = true;
    }
    bool firstFailure = true;
    QList<VerifierCandidate> attempts = shared->attempts;
    for (qsizetype i = 0; !decided && i < attempts.size(); ++i) {
        if (shared->cancelled.load())
            return;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            break;
        const VerifierCandidate candidate = attempts[i];
        const Attempt attempt = runAttempt(*shared, candidate, std::min(now + shared->limits.attempt, end));
        ++result.attempts;
        if (shared->cancelled.load())
            return;
        switch (VerifierPolicy::judge(attempt.result, settings.authenticates(), attempt.facts)) {
        case VerifierPolicy::Step::Works:
            result.kind = i == 0 ? VerifierResult::Correct : VerifierResult::Fixed;
            result.working = candidate;
            result.why = VerifierResult::NoWhy;
            result.reason.clear();
            decided = true;
            break;
        case VerifierPolicy::Step::Stop:
            result.why = VerifierResult::SmtpFailure;
            result.reason = attempt.errorText;
            decided = true;
            break;
        case VerifierPolicy::Step::TryNext:
            if (attempt.facts.encryptionDemanded) {
                VerifierPolicy::tryStartTlsNext(attempts, i);
                if (result.demand.isEmpty())
                    result.demand = attempt.demand;
            }
            // The account's own pair tells the user most when none works.
            if (firstFailure) {
                firstFailure = false;
                if (attempt.facts.encryptionDemanded) {
                    result.why = VerifierResult::EncryptionDemanded;
                } else if (attempt.result == 0) {
                    result.why = VerifierResult::NoAuthentication;
                } else if (!attempt.facts.timedOut) {
                    result.why = VerifierResult::SmtpFailure;
                    result.reason = attempt.errorText;
                }
            }
            break;
        }
    }
    {
        const std::lock_guard lock(shared->resultMutex);
        shared->result = result;
    }
    const std::weak_ptr<VerifierRun> owner = shared->owner;
    const std::lock_guard posting(postingOrder());
    QMetaObject::invokeMethod(QCoreApplication::instance(), [owner] {
        { const std::lock_guard order(postingOrder()); }
        if (const std::shared_ptr<VerifierRun> run = owner.lock())
            run->deliver();
    }, Qt::QueuedConnection);
}

} // namespace

std::shared_ptr<VerifierRun> VerifierRun::start(const VerifierSettings &settings,
                                                const QList<VerifierCandidate> &fallbacks,
                                                const VerifierLimits &limits, ResultHandler onResult)
{
    joinEnded();
    std::shared_ptr<VerifierRun> run(new VerifierRun);
    run->m_onResult = std::move(onResult);
    run->m_shared = std::make_shared<Shared>(settings, VerifierPolicy::attempts(settings, fallbacks), limits);
    run->m_shared->owner = run;
    std::shared_ptr<Shared> shared = run->m_shared;
    std::thread thread([shared] {
        verify(shared);
        shared->ended.store(true);
    });
    workers().push_back({std::move(shared), std::move(thread)});
    return run;
}

VerifierRun::~VerifierRun()
{
    if (m_shared)
        m_shared->cancelled.store(true);
}

void VerifierRun::cancel()
{
    m_settled = true;
    m_shared->cancelled.store(true);
}

bool VerifierRun::hasResult() const
{
    const std::lock_guard lock(m_shared->resultMutex);
    return m_shared->result.has_value();
}

void VerifierRun::deliver()
{
    std::optional<VerifierResult> result;
    {
        const std::lock_guard lock(m_shared->resultMutex);
        result = m_shared->result;
    }
    if (m_settled || !result)
        return;
    m_settled = true;
    joinEnded();
    const ResultHandler handler = m_onResult;
    handler(*result);
}

void VerifierRun::cancelAndJoinAll()
{
    auto &list = workers();
    for (Worker &worker : list)
        worker.shared->cancelled.store(true);
    for (Worker &worker : list)
        worker.thread.join();
    list.clear();
}

int VerifierRun::workerCount()
{
    return int(workers().size());
}
