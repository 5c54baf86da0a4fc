#pragma once

#include <QString>
#include <QtGlobal>

#include <mutex>

// The state of a send run. The engine keeps one, written by its worker
// thread and (on abort) by the main thread; each report carries a copy that
// belongs to its receiver alone. Every accessor is atomic by itself; a copy
// reads the fields one at a time, so it is no snapshot of them all.
class MailDispatcherStatus {
public:
    // MayHaveBeenDelivered: the whole message went out, but the server's
    // answer to it was lost, unreadable or cut short by the user. The row
    // is done with (never sent again) without counting as sent or failed;
    // errorInfo says why, currentMessage and currentRecipient say which.
    enum State { Progress = 0, Done = 1, Error = 2, MailSent = 3, MayHaveBeenDelivered = 4 };

    MailDispatcherStatus() = default;
    // The copy gets a lock of its own.
    MailDispatcherStatus(const MailDispatcherStatus &other);
    MailDispatcherStatus &operator=(const MailDispatcherStatus &other);

    void setState(qint32 state);
    [[nodiscard]] qint32 state() const;
    void setMessageCount(qint32 count);
    [[nodiscard]] qint32 messageCount() const;
    void setCurrentMessage(qint32 row);
    [[nodiscard]] qint32 currentMessage() const;
    void setMailCompletition(double completion);
    [[nodiscard]] double mailCompletition() const;
    // A null address throws AppException (invalid argument) and keeps the previous one.
    void setCurrentRecipient(const QString &address);
    [[nodiscard]] QString currentRecipient() const;
    void setErrorCode(qint32 code);
    [[nodiscard]] qint32 errorCode() const;
    // The text of the last error report, or of the last message that may
    // have been delivered. A null text keeps the previous one, so an error
    // report without a text shows the last one.
    void setErrorInfo(const QString &info);
    [[nodiscard]] QString errorInfo() const;
    void setSentMailsCounter(qint32 count);
    [[nodiscard]] qint32 sentMailsCounter() const;

private:
    template <typename T>
    [[nodiscard]] T load(const T &field) const
    {
        const std::lock_guard guard(m_lock);
        return field;
    }
    template <typename T>
    void store(T &field, T value)
    {
        const std::lock_guard guard(m_lock);
        field = value;
    }
    void assignFrom(const MailDispatcherStatus &other);
    void storeString(QString &field, const QString &value);

    qint32 m_state = 0;
    qint32 m_messageCount = 0;
    qint32 m_currentMessage = 0;
    double m_mailCompletition = 0.0;
    QString m_currentRecipient = QStringLiteral("");
    qint32 m_errorCode = 0;
    QString m_errorInfo = QStringLiteral("");
    qint32 m_sentMailsCounter = 0;
    mutable std::mutex m_lock;
};
