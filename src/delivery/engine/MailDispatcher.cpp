#include "MailDispatcher.h"

#include "AppException.h"
#include "AttachmentManager.h"
#include "AttributedTagString.h"
#include "Codable.h"
#include "KeyedArchiver.h"
#include "KeyedUnarchiver.h"
#include "Localizer.h"
#include "MailMessage.h"
#include "MainThread.h"
#include "MessageTab.h"
#include "Personalizer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QtDebug>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <thread>
#include <vector>

namespace {

// The threads live here rather than in their dispatchers: a dispatcher may
// be destroyed on its own worker thread (when its owner let it go during a
// report), where it could not join itself.
struct WorkerRecord {
    std::thread thread;
    std::weak_ptr<MailDispatcher> engine;
    std::mutex mutex;
    std::condition_variable finishedCondition;
    bool finished = false;
};

struct WorkerRegistry {
    std::mutex mutex;
    std::vector<std::shared_ptr<WorkerRecord>> workers;
};

WorkerRegistry &registry()
{
    // Never destroyed: joinable threads must not meet a static destructor.
    static auto *instance = new WorkerRegistry;
    return *instance;
}

void joinFinishedWorkers()
{
    WorkerRegistry &reg = registry();
    const std::lock_guard guard(reg.mutex);
    std::erase_if(reg.workers, [](const std::shared_ptr<WorkerRecord> &record) {
        {
            const std::lock_guard recordGuard(record->mutex);
            if (!record->finished)
                return false;
        }
        record->thread.join();
        return true;
    });
}

qint64 nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

// Runs work on the main thread and waits; what it throws is thrown here,
// never into the event loop.
void runOnMainThread(const std::function<void()> &work)
{
    std::exception_ptr failure;
    MainThread::invokeAndWait([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}

// Overwrites the strings of a set-up (the password) that nothing else
// shares, then lets it go; shared ones are only let go.
void wipeSetup(std::optional<QVariantMap> &setup)
{
    if (!setup)
        return;
    QVariantMap map = std::move(*setup);
    setup.reset();
    while (!map.isEmpty()) {
        QVariant value = map.take(map.firstKey());
        if (value.metaType() != QMetaType::fromType<QString>())
            continue;
        QString text = value.toString();
        value = QVariant();
        if (!text.isDetached())
            continue;
        std::fill(text.begin(), text.end(), QChar());
        // Keeps the compiler from dropping the stores to memory about to be freed.
        asm volatile("" : : "r"(text.constData()) : "memory");
    }
}

std::shared_ptr<const Attachment> detachedCopy(const AttachmentRef &attachment)
{
    // The archive round trip makes an object that no editor holds.
    registerAttachmentCoders();
    const QVariant copy = KeyedUnarchiver::unarchiveObjectWithData(
        KeyedArchiver::archivedDataWithRootObject(codableVariant(attachment)));
    if (auto detached = codableCast<Attachment>(copy))
        return detached;
    return attachment;
}

} // namespace

// A handler's set-up as the worker waits for it: started on the main thread,
// answered there (at once, or when the user has answered a prompt).
struct MailDispatcher::PendingSetup {
    MailHandler *handler = nullptr; // main thread; alive until the answer
    std::mutex mutex;
    std::condition_variable answered;
    bool finished = false;
    std::optional<QVariantMap> settings;

    void finish(std::optional<QVariantMap> outcome)
    {
        {
            const std::lock_guard guard(mutex);
            settings = std::move(outcome);
            finished = true;
        }
        answered.notify_all();
    }
    [[nodiscard]] std::optional<QVariantMap> wait()
    {
        std::unique_lock lock(mutex);
        answered.wait(lock, [this] { return finished; });
        return std::move(settings);
    }
};

SendJob SendJob::takeSnapshot(const MessageTab *message, const Database *database,
                              const AttachmentManager *attachments)
{
    SendJob job;
    if (message)
        job.message = message->snapshot();
    if (database)
        job.recipients = RecipientRows::fromDatabase(*database);
    if (attachments) {
        for (const AttachmentRef &attachment : attachments->attachmentList()) {
            if (attachment)
                job.attachments.append(detachedCopy(attachment));
        }
    }
    return job;
}

std::shared_ptr<MailDispatcher> MailDispatcher::create()
{
    std::shared_ptr<MailDispatcher> dispatcher(new MailDispatcher);
    dispatcher->m_lastProgressUpdate = nowSeconds();
    return dispatcher;
}

MailDispatcher::~MailDispatcher()
{
    wipeSetup(m_mailHandlerSetup);
}

void MailDispatcher::setBCCAddresses(const QStringList &addresses)
{
    m_bccAddresses = addresses;
    m_bccAddresses.removeIf([](const QString &address) { return address.trimmed().isEmpty(); });
}

void MailDispatcher::setJob(SendJob job)
{
    m_job = std::move(job);
}

int MailDispatcher::lastRecipient() const
{
    const std::lock_guard guard(m_lock);
    return m_lastRecipient;
}

// ---- control (main thread)

void MailDispatcher::send()
{
    start(false);
}

void MailDispatcher::resumeSending()
{
    start(true);
}

void MailDispatcher::start(bool resume)
{
    joinFinishedWorkers();
    if (!m_job)
        m_job = SendJob::takeSnapshot(m_messageTab, m_database, m_attachmentManager);
    {
        const std::lock_guard guard(m_lock);
        if (m_quitting)
            return;
        // Here and not when the new run starts: a cancel that the main
        // thread handles after this call must hold for the resumed run.
        if (resume) {
            m_continueSending = true;
            m_abortImmediately = false;
        }
        // Resumed from inside a report of the run still going: that run
        // ends first, and its thread then starts the new one, so two runs
        // never share the handler, the message or the row walk.
        if (m_workerActive) {
            m_restartPending = true;
            return;
        }
        m_workerActive = true;
    }
    auto record = std::make_shared<WorkerRecord>();
    record->engine = weak_from_this();
    WorkerRegistry &reg = registry();
    const std::lock_guard guard(reg.mutex);
    record->thread = std::thread([self = shared_from_this(), record] {
        self->workerMain();
        {
            const std::lock_guard recordGuard(record->mutex);
            record->finished = true;
        }
        record->finishedCondition.notify_all();
    });
    reg.workers.push_back(std::move(record));
}

void MailDispatcher::abort()
{
    report([&] { setErrorFieldsLocked(ErrorAborted, QString()); });
}

void MailDispatcher::abortNow()
{
    {
        const std::lock_guard guard(m_lock);
        m_continueSending = false;
    }
    m_abortImmediately = true;
    // A prompt lives on the main thread; its answer, a refusal now, lets
    // the waiting worker end the run.
    if (MainThread::isMainThread() && m_pendingSetup) {
        if (MailHandler *handler = m_pendingSetup->handler)
            handler->cancelSetup();
    }
}

void MailDispatcher::skipMessage()
{
    const std::lock_guard guard(m_lock);
    // An error of no row (-1), or of a row already done, skips nothing:
    // going back would send the table again on resume.
    const int row = m_status.currentMessage();
    if (row <= m_lastRecipient || !m_job || !m_job->recipients || row >= m_job->recipients->entryCount())
        return;
    m_lastRecipient = row;
    m_status.setSentMailsCounter(m_status.sentMailsCounter() + 1);
}

void MailDispatcher::abortAndJoinAll()
{
    abortAndJoinWhere([](const MailDispatcher *) { return true; });
}

void MailDispatcher::abortAndJoin()
{
    abortAndJoinWhere([this](const MailDispatcher *engine) { return engine == this; });
}

void MailDispatcher::abortAndJoinWhere(const std::function<bool(const MailDispatcher *)> &which)
{
    std::vector<std::shared_ptr<WorkerRecord>> workers;
    {
        WorkerRegistry &reg = registry();
        const std::lock_guard guard(reg.mutex);
        // Ended workers whose dispatcher has gone are joined here as well.
        std::erase_if(reg.workers, [&](const std::shared_ptr<WorkerRecord> &record) {
            const auto engine = record->engine.lock();
            if (engine && !which(engine.get()))
                return false;
            workers.push_back(record);
            return true;
        });
    }
    for (const auto &record : workers) {
        if (const auto engine = record->engine.lock()) {
            engine->m_quitting = true;
            engine->abortNow();
        }
    }
    // A worker may be waiting for the main thread (a report, the set-up):
    // the events go on being handled until it has ended, and they find
    // their dispatcher quitting.
    const bool onMainThread = QCoreApplication::instance() && MainThread::isMainThread();
    for (const auto &record : workers) {
        std::unique_lock recordLock(record->mutex);
        while (!record->finished) {
            if (onMainThread) {
                recordLock.unlock();
                QCoreApplication::processEvents();
                recordLock.lock();
            }
            record->finishedCondition.wait_for(recordLock, std::chrono::milliseconds(5));
        }
        recordLock.unlock();
        record->thread.join();
    }
}

// ---- worker

void MailDispatcher::workerMain()
{
    for (;;) {
        sendInCurrentThread();
        const std::lock_guard guard(m_lock);
        if (m_restartPending && !m_quitting) {
            m_restartPending = false;
            continue;
        }
        m_restartPending = false;
        m_workerActive = false;
        return;
    }
}

std::unique_ptr<MailHandler> MailDispatcher::setUpHandlerOnMainThread()
{
    std::optional<QVariantMap> previous;
    {
        const std::lock_guard guard(m_lock);
        previous = m_mailHandlerSetup;
    }
    std::unique_ptr<MailHandler> handler;
    const auto pending = std::make_shared<PendingSetup>();
    // The set-up starts on the main thread and the worker waits for its
    // answer here, not the main thread in a loop of its own: a quit or a
    // close that comes while the user is asked for the password then finds
    // nothing of this run lower on the main thread's stack, and can take
    // the prompt back and wait for the run to end. Outside the lock, so
    // that the main thread can abort meanwhile.
    runOnMainThread([&] {
        // Stopped before it started: no prompt for a run that has ended.
        if (!m_quitting && !m_abortImmediately)
            handler = m_handlerFactory ? m_handlerFactory(m_accountData)
                                       : MailHandler::mailHandlerForAccount(m_accountData);
        if (!handler) {
            pending->finish(std::nullopt);
            return;
        }
        pending->handler = handler.get();
        m_pendingSetup = pending;
        const auto settle = [this, pending] {
            pending->handler = nullptr;
            if (m_pendingSetup == pending)
                m_pendingSetup.reset();
        };
        try {
            handler->beginSetup(m_parentWindow, previous, [settle, pending](std::optional<QVariantMap> settings) {
                settle();
                pending->finish(std::move(settings));
            });
        } catch (...) {
            // The handler goes with the failure, on the worker's stack: a
            // stop that came later would reach it through the set-up, and
            // the run would seem to be setting up for ever.
            settle();
            throw;
        }
    });
    std::optional<QVariantMap> settings = pending->wait();
    if (!settings)
        handler.reset();
    const std::lock_guard guard(m_lock);
    wipeSetup(m_mailHandlerSetup);
    m_mailHandlerSetup = std::move(settings);
    return handler;
}

void MailDispatcher::sendInCurrentThread()
{
    std::unique_ptr<MailHandler> handler;
    std::optional<MailMessage> message;
    m_renewConnection = false;
    // The files of this run, read and encoded once while they do not change.
    MailAttachmentCache attachmentCache;
    const auto failWith = [&](const QString &text) {
        handler.reset();
        message.reset();
        reportError(ErrorException, text);
    };
    // Errors of the set-up, the connect and the final disconnect belong to
    // no row: they say -1, so that skipping them skips nothing.
    const auto failBeforeRows = [&](const QString &text) {
        m_currentRecipient = -1;
        failWith(text);
    };
    try {
        handler = setUpHandlerOnMainThread();
        if (!handler) {
            m_currentRecipient = -1;
            reportError(ErrorAborted, QString());
        } else {
            handler->setDelegate(this);
            const int count = countMessagesToBeSent();
            message.emplace();
            message->setFrom(m_accountData.value(QStringLiteral("mailFromAddress")).toString());
            message->setPriority(m_priority);
            if (m_job->message && m_job->message->htmlPartAvailable()) {
                for (const QString &file : m_job->message->inlineAttachments())
                    message->addHTMLAttachment(file);
            }
            report([&] {
                m_status.setMessageCount(count);
                m_status.setState(MailDispatcherStatus::Progress);
                m_status.setCurrentMessage(m_currentRecipient);
            });
        }
    } catch (const AppException &e) {
        failBeforeRows(e.errorDescription());
    } catch (...) {
        failBeforeRows(QStringLiteral(""));
    }

    if (handler && message) {
        try {
            m_currentRecipient = -1;
            handler->setProgressCallback(this);
            const int result = handler->connect();
            if (result != 0) {
                if (isCancel(result)) {
                    const std::lock_guard guard(m_lock);
                    m_continueSending = false;
                } else {
                    reportError(ErrorConnectFailed, handler->getErrorDesc(result));
                }
            }
            m_currentRecipient = 0;
            bool go = readContinueSending();
            while (go && m_currentRecipient != -1) {
                const int row = getNextRecipientIndex(lastRecipient());
                m_currentRecipient = row;
                if (row != -1) {
                    sendRow(row, *handler, *message, attachmentCache);
                    go = readContinueSending();
                }
            }
            m_currentRecipient = -1;
            handler->disconnect();
        } catch (const AppException &e) {
            failWith(e.errorDescription());
        } catch (...) {
            failWith(QStringLiteral(""));
        }
    }
    handler.reset();
    message.reset();
    reportDone();
}

void MailDispatcher::sendRow(int row, MailHandler &handler, MailMessage &message, MailAttachmentCache &attachmentCache)
{
    const RecipientRows &rows = *m_job->recipients;
    const QString address = rows.addressForEntry(row);
    report([&] {
        m_status.setMailCompletition(0.0);
        m_status.setCurrentRecipient(address);
        m_status.setState(MailDispatcherStatus::Progress);
        m_status.setCurrentMessage(row);
    });

    Personalizer personalizer(rows.entries(), rows.mapping());
    personalizer.setAddressNumber(row);
    personalizer.setUseLocalPath(false);
    const QString messageID = handler.newMessageID();
    personalizer.setMessageId(messageID);

    QString plain;
    QString html;
    QString subject;
    if (const MessageSnapshot *snapshot = m_job->message.get()) {
        plain = snapshot->plainTextStringWithPersonalizer(personalizer);
        if (snapshot->htmlPartAvailable())
            html = snapshot->htmlTextStringWithFullPath(false, messageID, personalizer);
        subject = AttributedTagString::taglessString(
            personalizer.personalizeAttributedString(snapshot->subjectString()));
    }
    message.setTo(address);
    message.setSubject(subject);
    message.setMessageID(messageID);
    message.setBCC(m_bccAddresses);
    message.setPlainBody(plain);
    message.setFormattedBody(html);
    message.clearAttachments();

    for (const auto &attachment : m_job->attachments) {
        const AttachmentResolution resolution = attachment->resolve(&personalizer);
        switch (resolution.decision) {
        case AttachmentResolution::Decision::AbortSending:
        case AttachmentResolution::Decision::SkipMessage: {
            const QString text = QStringLiteral("%1 %2").arg(
                Localizer::localizedString("SendErrors", "Attachment missing"), resolution.filePath);
            reportError(resolution.decision == AttachmentResolution::Decision::AbortSending ? ErrorAttachmentAbort
                                                                                           : ErrorAttachmentSkip,
                        text);
            return;
        }
        case AttachmentResolution::Decision::SkipAttachment:
            break;
        case AttachmentResolution::Decision::Attach:
            message.addAttachment(attachmentCache.attachment(resolution.filePath));
            break;
        }
    }

    handler.beginMessage();
    if (m_renewConnection) {
        m_renewConnection = false;
        handler.disconnect();
        const int reconnect = handler.connect();
        if (isCancel(reconnect))
            return;
        if (reconnect != 0) {
            reportError(ErrorSendFailed, handler.getErrorDesc(reconnect));
            return;
        }
    }
    int result = handler.sendMessage(message);
    if (settleUncertainDelivery(row, result, handler) || isCancel(result))
        return;
    if (result != 0) {
        // One more try on a fresh connection, unless the server's answer was
        // final or the message's time is up; the first failure says most.
        const QString firstFailure = handler.getErrorDesc(result);
        if (handler.mayRetryLastFailure()) {
            handler.disconnect();
            const int reconnect = handler.connect();
            if (isCancel(reconnect))
                return;
            result = reconnect != 0 ? reconnect : handler.sendMessage(message);
            if (reconnect == 0 && (settleUncertainDelivery(row, result, handler) || isCancel(result)))
                return;
        }
        if (result != 0) {
            reportError(ErrorSendFailed, firstFailure);
            return;
        }
    }

    report([&] {
        m_lastRecipient = row;
        m_status.setSentMailsCounter(m_status.sentMailsCounter() + 1);
        m_status.setState(MailDispatcherStatus::MailSent);
        m_status.setCurrentMessage(row);
    });
    reportProgress();
}

bool MailDispatcher::settleUncertainDelivery(int row, int result, MailHandler &handler)
{
    // Asked first: a user's cut of the wait for the answer is no plain
    // cancel, the message had gone out.
    if (result == 0 || !handler.lastFailureMayHaveDelivered())
        return false;
    QString detail = handler.getErrorDesc(result);
    while (detail.startsWith(QLatin1Char('\n')))
        detail.remove(0, 1);
    const QString text = Localizer::localizedString("SendErrors", "May have been delivered")
        + (detail.isEmpty() ? QString() : QLatin1Char('\n') + detail);
    // Sending it again could deliver it twice; the connection that lost the
    // answer serves no further message.
    m_renewConnection = true;
    report([&] {
        m_lastRecipient = row;
        m_status.setErrorInfo(text);
        m_status.setState(MailDispatcherStatus::MayHaveBeenDelivered);
        m_status.setCurrentMessage(row);
    });
    reportProgress();
    return true;
}

bool MailDispatcher::isCancel(int result) const
{
    return result != 0 && (result == MailHandler::Cancelled || m_abortImmediately);
}

bool MailDispatcher::readContinueSending() const
{
    const std::lock_guard guard(m_lock);
    // A resume asked for while this run goes on (from inside its error
    // report) already set the flags for the next run: this one still ends.
    return m_continueSending && !m_restartPending;
}

bool MailDispatcher::isEligible(int row) const
{
    const RecipientRows &rows = *m_job->recipients;
    const QString address = rows.addressForEntry(row);
    if (address.isEmpty() || !address.contains(QLatin1Char('@')))
        return false;
    return !m_filter || m_filter->testForAddress(rows, row);
}

int MailDispatcher::countMessagesToBeSent()
{
    if (!m_job->recipients)
        return 0;
    if (!m_useRecipientRange) {
        m_rangeLocation = 0;
        m_rangeLength = quint64(m_job->recipients->entryCount());
    }
    int count = 0;
    for (quint64 row = m_rangeLocation; row < m_rangeLocation + m_rangeLength; ++row) {
        if (isEligible(int(row)))
            ++count;
    }
    return count;
}

int MailDispatcher::getNextRecipientIndex(int last)
{
    if (!m_job->recipients)
        return -1;
    if (!m_useRecipientRange) {
        m_rangeLocation = 0;
        m_rangeLength = quint64(m_job->recipients->entryCount());
        m_useRecipientRange = true;
    }
    const quint64 end = m_rangeLocation + m_rangeLength;
    for (quint64 row = std::max<qint64>(qint64(m_rangeLocation), qint64(last) + 1); row < end; ++row) {
        if (isEligible(int(row)))
            return int(row);
    }
    return -1;
}

// ---- questions of the handler and the line streams (worker)

bool MailDispatcher::keepsSending() const
{
    return readContinueSending();
}

bool MailDispatcher::lineReaderHandleEvent(LineReader &, int)
{
    return !m_abortImmediately;
}

bool MailDispatcher::sentBytesInfo(int sent, int total)
{
    m_status.setMailCompletition(total > 0 ? double(sent) / double(total) : 0.0);
    // At most one report per second: the writer calls this for every chunk.
    const qint64 now = nowSeconds();
    if (now - m_lastProgressUpdate > 0) {
        reportProgress();
        m_lastProgressUpdate = now;
    }
    return !m_abortImmediately;
}

// ---- reports

void MailDispatcher::report(const std::function<void()> &setFields)
{
    std::unique_ptr<MailDispatcherStatus> copy;
    {
        const std::lock_guard guard(m_lock);
        setFields();
        copy = std::make_unique<MailDispatcherStatus>(m_status);
    }
    deliver(std::move(copy));
}

void MailDispatcher::reportProgress()
{
    report([&] {
        m_status.setState(MailDispatcherStatus::Progress);
        m_status.setCurrentMessage(m_currentRecipient);
    });
}

void MailDispatcher::reportError(int code, const QString &text)
{
    report([&] { setErrorFieldsLocked(code, text); });
}

void MailDispatcher::reportDone()
{
    report([&] { m_status.setState(MailDispatcherStatus::Done); });
}

void MailDispatcher::setErrorFieldsLocked(int code, const QString &text)
{
    m_continueSending = false;
    m_status.setErrorCode(code);
    m_status.setErrorInfo(text);
    m_status.setCurrentMessage(m_currentRecipient);
    m_status.setState(MailDispatcherStatus::Error);
}

void MailDispatcher::deliver(std::unique_ptr<MailDispatcherStatus> copy)
{
    if (m_quitting)
        return;
    runOnMainThread([&] {
        // Looked up here: the delegate may have gone while the report waited.
        MailDispatcherDelegate *delegate = m_delegate.load();
        if (m_quitting || !delegate)
            return;
        try {
            delegate->updateProgress(std::move(copy));
        } catch (const AppException &e) {
            qWarning() << "send report failed:" << e.reason();
        } catch (const std::exception &e) {
            qWarning() << "send report failed:" << e.what();
        }
    });
}
