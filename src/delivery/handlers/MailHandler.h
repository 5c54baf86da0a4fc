#pragma once

// The one interface through which a send run delivers a message, whatever
// the account: an SMTP server, each recipient's mail exchanger, the local
// mail system, or nowhere (a dry run). Results: 0 success, 16 cut by the
// progress callback (a user's abort, not an error), anything else a
// failure that getErrorDesc describes.
//
// Calling order of one worker run: mailHandlerForAccount (which calls
// setConnectionData), setup (main thread), setDelegate,
// setProgressCallback, connect, then per message beginMessage, newMessageID
// and sendMessage (after a failure lastFailureMayHaveDelivered and
// getErrorDesc; when it answers true the message is not sent again, and
// disconnect and connect come before the next message; else, when
// mayRetryLastFailure, disconnect, connect, sendMessage once more), and at
// the end disconnect.

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class MailMessage;
class SmtpProgressDelegate;

// What a handler may ask of the engine that runs it.
class MailHandlerDelegate {
public:
    virtual ~MailHandlerDelegate() = default;
    // Any thread. False once the run is to end after the message in hand:
    // a wait before the next message (a pause) ends at once.
    [[nodiscard]] virtual bool keepsSending() const { return true; }
};

class MailHandler {
public:
    static constexpr int Cancelled = 16;

    virtual ~MailHandler() = default;

    // A new handler for the account's "accountType" ("dummy", "smtp",
    // "localserver", "applemail", compared exactly), given the whole
    // account; null for any other type or none.
    [[nodiscard]] static std::unique_ptr<MailHandler> mailHandlerForAccount(const QVariantMap &account);
    // Whether the account holds what its handler needs; "dummy" and unknown types: false.
    [[nodiscard]] static bool checkAccountData(const QVariantMap &account);

    virtual void setConnectionData(const QVariantMap &account) { (void)account; }
    // Main thread, before the run: may ask the user (the parent window is
    // where a prompt opens). The settings the run needs, or nothing when
    // the user refused.
    [[nodiscard]] virtual std::optional<QVariantMap> setup(QObject *parentWindow,
                                                           const std::optional<QVariantMap> &settings);
    using SetupDone = std::function<void(std::optional<QVariantMap>)>;
    // Main thread: the set-up of a run, which never holds the main thread
    // while the user is asked: done is called once with what setup would
    // return, perhaps before this returns. The handler must live until then.
    virtual void beginSetup(QObject *parentWindow, const std::optional<QVariantMap> &settings, SetupDone done)
    {
        done(setup(parentWindow, settings));
    }
    // Main thread: takes back the question that beginSetup waits for, whose
    // done then comes at once, as a refusal.
    virtual void cancelSetup() {}
    [[nodiscard]] virtual QString newMessageID() { return QStringLiteral("the message id"); }
    virtual void setProgressCallback(SmtpProgressDelegate *callback) { (void)callback; }
    [[nodiscard]] virtual SmtpProgressDelegate *progressCallback() const { return nullptr; }
    void setDelegate(MailHandlerDelegate *delegate) { m_delegate = delegate; }
    [[nodiscard]] MailHandlerDelegate *delegate() const { return m_delegate; }

    [[nodiscard]] virtual int connect() { return 0; }
    virtual int disconnect() { return 0; }
    [[nodiscard]] virtual int sendMessage(const MailMessage &message) { (void)message; return 0; }
    [[nodiscard]] virtual QString getErrorDesc(int result) { (void)result; return QStringLiteral(""); }
    // After a failed sendMessage, a cut included: whether the message may
    // have reached the server all the same (all of it was written, the
    // answer was lost, unreadable or not awaited). Such a message is never
    // sent again: it could arrive twice.
    [[nodiscard]] virtual bool lastFailureMayHaveDelivered() const { return false; }
    // A new message: a time limit that the handler keeps for one message
    // (its first try and the one after a failure together) starts anew.
    virtual void beginMessage() {}
    // After a failed sendMessage: whether sending the message once more, on
    // a fresh connection, may succeed. Not after a permanent refusal (RFC
    // 5321 4.2.1: a 5yz reply, or a message that cannot be sent at all),
    // nor once the time for the message has run out.
    [[nodiscard]] virtual bool mayRetryLastFailure() const { return true; }
    // Any thread: cuts a pause or a wait of the transfer in progress, which
    // then returns Cancelled; the handler is not used for sending again.
    virtual void cancel() {}

private:
    MailHandlerDelegate *m_delegate = nullptr;
};
