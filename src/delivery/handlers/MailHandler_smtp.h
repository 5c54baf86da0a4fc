#pragma once

#include "MailHandler.h"
#include "PasswordPrompter.h"
#include "SMTPMail.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

// Delivers through the account's SMTP server on one connection for the
// whole run. The password comes from the previous set-up of the run, the
// keychain or the user. With pausing on, the connection is dropped for
// "delayTime" seconds after every "delayMails" messages; the count of sent
// messages is one for the whole process, so runs that follow each other
// share it.
//
// Set up on the main thread, then used by one worker thread; cancel() may
// come from any thread.
class MailHandler_smtp final : public MailHandler {
public:
    // The key of the set-up dictionary that carries the password.
    static inline const QString PasswordKey = QStringLiteral("password");
    static constexpr int TimeoutSeconds = 45;
    // Each reply has the whole time-out from its command, however long the
    // message takes. Once a wait of a message ran out of that time, its one
    // retry, connecting anew included, must end within this.
    static constexpr std::chrono::milliseconds ReconnectAllowance{5000};

    MailHandler_smtp();
    ~MailHandler_smtp() override;
    Q_DISABLE_COPY_MOVE(MailHandler_smtp)

    [[nodiscard]] static bool checkAccountData(const QVariantMap &account);

    void setConnectionData(const QVariantMap &account) override;
    // Nothing when authentication is needed and the user refused the password.
    [[nodiscard]] std::optional<QVariantMap> setup(QObject *parentWindow,
                                                   const std::optional<QVariantMap> &settings) override;
    // The same without waiting on the main thread for the user's answer.
    void beginSetup(QObject *parentWindow, const std::optional<QVariantMap> &settings, SetupDone done) override;
    void cancelSetup() override;
    [[nodiscard]] std::optional<QString> askForPassword(QObject *parentWindow);
    // nullptr: the process's default prompt.
    void setPasswordPrompter(std::shared_ptr<PasswordPrompter> prompter) { m_prompter = std::move(prompter); }

    [[nodiscard]] QString newMessageID() override;
    void setProgressCallback(SmtpProgressDelegate *callback) override;
    [[nodiscard]] SmtpProgressDelegate *progressCallback() const override;
    [[nodiscard]] int connect() override;
    int disconnect() override;
    [[nodiscard]] int sendMessage(const MailMessage &message) override;
    [[nodiscard]] QString getErrorDesc(int result) override;
    // True when the whole message and its final "." went out but no answer
    // came that could be read.
    [[nodiscard]] bool lastFailureMayHaveDelivered() const override { return m_mayHaveDelivered; }
    void beginMessage() override;
    [[nodiscard]] bool mayRetryLastFailure() const override;
    void cancel() override;
    // Tests: the stages' time-out and the allowance for reconnecting.
    void setTimeouts(int seconds, std::chrono::milliseconds reconnectAllowance);

    [[nodiscard]] const SMTPMail &client() const { return m_smtpMail; }

    // Messages handed to any SMTP handler since the last pause.
    [[nodiscard]] static int delayMailCounter();
    // For tests: the count is otherwise reset only by a pause.
    static void setDelayMailCounter(int value);

private:
    // Stands between the client and the engine's callback so that cancel()
    // also stops every wait of the transfer.
    class CancellableCallback final : public SmtpProgressDelegate {
    public:
        explicit CancellableCallback(const std::atomic<bool> &cancelled) : m_cancelled(cancelled) {}
        bool lineReaderHandleEvent(LineReader &reader, int event) override;
        bool sentBytesInfo(int sent, int total) override;
        std::atomic<SmtpProgressDelegate *> outer{nullptr};

    private:
        const std::atomic<bool> &m_cancelled;
    };

    // What the run gave or the keychain holds; nothing when the user has
    // to be asked, or when no password is needed.
    [[nodiscard]] std::optional<QString> knownPassword(const std::optional<QVariantMap> &settings) const;
    [[nodiscard]] bool needsPassword() const;
    // Keeps the password for connecting and gives the run's set-up.
    QVariantMap keepPassword(const std::optional<QString> &password);

    // Steps of 100 ms, asking the progress callback at each. False when
    // cancel() or the callback cut it.
    [[nodiscard]] bool sleepOutPause(double seconds);

    std::atomic<bool> m_cancelled{false};
    std::mutex m_pauseMutex;
    std::condition_variable m_pauseWake;
    // Declared before the client: the client's last QUIT may still ask it.
    CancellableCallback m_callback{m_cancelled};
    SMTPMail m_smtpMail;
    QVariantMap m_connectionData;
    std::optional<QString> m_password;
    bool m_useSendDelay = false;
    int m_maxMailsBeforeDelay = 0;
    double m_delayTime = 0.0;
    std::shared_ptr<PasswordPrompter> m_prompter;
    PasswordPrompter::TakeBack m_takeBackPrompt;
    bool m_mayHaveDelivered = false;
    std::chrono::milliseconds m_reconnectAllowance = ReconnectAllowance;
    // When the current message's time runs out; none until one of its waits
    // ran out of time.
    std::optional<std::chrono::steady_clock::time_point> m_messageDeadline;
    QString m_deadlineMessageID;
};
