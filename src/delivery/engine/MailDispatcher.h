#pragma once

// One send run: a worker thread walks the recipients, builds one
// personalised message per eligible row and hands it to the delivery
// handler that the account selects. Every step is reported to the delegate
// on the main thread, and the worker waits until the report is handled.
//
// The worker reads only a snapshot taken on the main thread when the run
// starts (SendJob); the document may be stamped and redrawn meanwhile.
// After an error the controller may skip the row and resume; a resumed run
// starts on the same dispatcher once the failed run has ended. A message
// whose answer was lost after it had gone out whole is reported as one
// that may have been delivered: done with, never sent again, and counted
// neither as sent nor as failed.

#include "MailDispatchFilter.h"
#include "MailDispatcherStatus.h"
#include "MailHandler.h"

#include "Attachment.h"
#include "MessageSnapshot.h"
#include "SmtpProgressDelegate.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class AttachmentManager;
class Database;
class MailAttachmentCache;
class MailMessage;
class MessageTab;

// Everything a worker run reads, immutable once taken.
struct SendJob {
    MessageSnapshotRef message;
    // Copies of their own, so the attachment editor cannot reach them.
    QList<std::shared_ptr<const Attachment>> attachments;
    std::shared_ptr<const RecipientRows> recipients;

    // Main thread. Any source may be null.
    [[nodiscard]] static SendJob takeSnapshot(const MessageTab *message, const Database *database,
                                              const AttachmentManager *attachments);
};

class MailDispatcherDelegate {
public:
    virtual ~MailDispatcherDelegate() = default;
    // Main thread; the copy belongs to the receiver.
    virtual void updateProgress(std::unique_ptr<MailDispatcherStatus> status) = 0;
};

class MailDispatcher final : public std::enable_shared_from_this<MailDispatcher>,
                             public SmtpProgressDelegate,
                             public MailHandlerDelegate {
public:
    enum ErrorCode {
        ErrorAborted = 1,
        ErrorSendFailed = 2,
        ErrorConnectFailed = 3,
        ErrorException = 4,
        ErrorAttachmentAbort = 5,
        ErrorAttachmentSkip = 6,
    };
    using HandlerFactory = std::function<std::unique_ptr<MailHandler>(const QVariantMap &account)>;

    // The worker keeps the dispatcher alive until its thread ends, so the
    // owner may let it go at any time, a report included.
    [[nodiscard]] static std::shared_ptr<MailDispatcher> create();
    ~MailDispatcher() override;
    Q_DISABLE_COPY_MOVE(MailDispatcher)

    // Configuration, main thread, before send. The document's parts are
    // not retained; they are copied into the job when the first run starts,
    // unless a job was given.
    void setDelegate(MailDispatcherDelegate *delegate) { m_delegate.store(delegate); }
    void setDatabase(const Database *database) { m_database = database; }
    void setMessage(const MessageTab *messageTab) { m_messageTab = messageTab; }
    void setAttachmentManager(const AttachmentManager *manager) { m_attachmentManager = manager; }
    void setJob(SendJob job);
    void setPriority(int priority) { m_priority = priority; }
    void setAccountData(const QVariantMap &account) { m_accountData = account; }
    void setParentWindow(QObject *window) { m_parentWindow = window; }
    void setFilter(std::shared_ptr<const MailDispatchFilter> filter) { m_filter = std::move(filter); }
    // Blank entries are left out.
    void setBCCAddresses(const QStringList &addresses);
    // Where handlers come from; MailHandler::mailHandlerForAccount unless set.
    void setHandlerFactory(HandlerFactory factory) { m_handlerFactory = std::move(factory); }

    // Control, main thread.
    void send();
    // Stops after the current message; reports error 1 at once.
    void abort();
    // Cuts the transfer in progress, and takes back a password prompt the
    // run's set-up waits for; no report of its own.
    void abortNow();
    // After an error report: the failed row counts as done. Only forward,
    // and only for an error of a row.
    void skipMessage();
    // Clears the stops at once: a cancel that follows, even before the
    // resumed run has started, holds for it.
    void resumeSending();

    // Main thread, at quit: cuts every running dispatcher short, drops
    // their remaining reports and joins every worker thread.
    static void abortAndJoinAll();
    // The same for this dispatcher alone (its owner goes).
    void abortAndJoin();

    // Progress callbacks of the line streams, worker thread.
    [[nodiscard]] bool lineReaderHandleEvent(LineReader &reader, int event) override;
    [[nodiscard]] bool sentBytesInfo(int sent, int total) override;
    // The handler's question, worker thread.
    [[nodiscard]] bool keepsSending() const override;

    [[nodiscard]] MailDispatcherStatus status() const { return m_status; }
    [[nodiscard]] int lastRecipient() const;
    // Main thread: whether the run waits for its handler's set-up (a
    // password prompt, most of all).
    [[nodiscard]] bool isSettingUp() const { return m_pendingSetup != nullptr; }

private:
    struct PendingSetup;

    MailDispatcher() = default;

    // Cuts short and joins the workers of the dispatchers chosen.
    static void abortAndJoinWhere(const std::function<bool(const MailDispatcher *)> &which);
    void start(bool resume);
    void workerMain();
    void sendInCurrentThread();
    [[nodiscard]] std::unique_ptr<MailHandler> setUpHandlerOnMainThread();
    void sendRow(int row, MailHandler &handler, MailMessage &message, MailAttachmentCache &attachmentCache);
    [[nodiscard]] bool isEligible(int row) const;
    [[nodiscard]] int countMessagesToBeSent();
    [[nodiscard]] int getNextRecipientIndex(int last);
    [[nodiscard]] bool readContinueSending() const;
    // A failure that follows abortNow is the cut transfer, not an error.
    [[nodiscard]] bool isCancel(int result) const;
    // After a send: when the message may have been delivered (its answer
    // lost, unreadable or cut short), reports so, and the row is done with.
    [[nodiscard]] bool settleUncertainDelivery(int row, int result, MailHandler &handler);

    // Sets the fields and takes the copy under the lock, delivers after.
    void report(const std::function<void()> &setFields);
    void reportProgress();
    void reportError(int code, const QString &text);
    void reportDone();
    void deliver(std::unique_ptr<MailDispatcherStatus> copy);
    // The error fields; the caller holds the lock.
    void setErrorFieldsLocked(int code, const QString &text);

    std::atomic<MailDispatcherDelegate *> m_delegate = nullptr;
    const Database *m_database = nullptr;
    const MessageTab *m_messageTab = nullptr;
    const AttachmentManager *m_attachmentManager = nullptr;
    QObject *m_parentWindow = nullptr;
    std::optional<SendJob> m_job;
    std::shared_ptr<const MailDispatchFilter> m_filter;
    QVariantMap m_accountData;
    QStringList m_bccAddresses;
    int m_priority = 3;
    HandlerFactory m_handlerFactory;

    // Worker only: the range is fixed by the first walk.
    quint64 m_rangeLocation = 0;
    quint64 m_rangeLength = 0;
    bool m_useRecipientRange = false;
    // Worker only: the handler's connection lost an answer and is renewed
    // before the next message.
    bool m_renewConnection = false;

    MailDispatcherStatus m_status;
    std::atomic<int> m_currentRecipient = 0;
    std::atomic<bool> m_abortImmediately = false;
    std::atomic<qint64> m_lastProgressUpdate = 0;
    std::atomic<bool> m_quitting = false;
    // Main thread: the set-up the worker waits for, while it waits.
    std::shared_ptr<PendingSetup> m_pendingSetup;

    // Guards what follows, and makes each report's field changes and its
    // copy one step. Never held while a report or a handler's set-up runs.
    mutable std::mutex m_lock;
    bool m_continueSending = true;
    int m_lastRecipient = -1;
    std::optional<QVariantMap> m_mailHandlerSetup;
    bool m_workerActive = false;
    bool m_restartPending = false;
};
