#include "MailDispatcherStatus.h"

#include "AppException.h"

using Guard = std::lock_guard<std::mutex>;

MailDispatcherStatus::MailDispatcherStatus(const MailDispatcherStatus &other)
{
    assignFrom(other);
}

MailDispatcherStatus &MailDispatcherStatus::operator=(const MailDispatcherStatus &other)
{
    if (this != &other)
        assignFrom(other);
    return *this;
}

// Field by field through the getters and setters: never both locks at once,
// so two records copied into each other from two threads cannot deadlock.
void MailDispatcherStatus::assignFrom(const MailDispatcherStatus &other)
{
    setState(other.state());
    setMessageCount(other.messageCount());
    setCurrentMessage(other.currentMessage());
    setMailCompletition(other.mailCompletition());
    setCurrentRecipient(other.currentRecipient());
    setErrorCode(other.errorCode());
    setErrorInfo(other.errorInfo());
    setSentMailsCounter(other.sentMailsCounter());
}

// The old text is released after the lock, and only through Qt's inline
// reference counting, which the thread checker can follow (the out-of-line
// assignment in the Qt library it cannot).
void MailDispatcherStatus::storeString(QString &field, const QString &value)
{
    QString incoming(value);
    Guard guard(m_lock);
    field.swap(incoming);
}

void MailDispatcherStatus::setState(qint32 state)
{
    store(m_state, state);
}

qint32 MailDispatcherStatus::state() const
{
    return load(m_state);
}

void MailDispatcherStatus::setMessageCount(qint32 count)
{
    store(m_messageCount, count);
}

qint32 MailDispatcherStatus::messageCount() const
{
    return load(m_messageCount);
}

void MailDispatcherStatus::setCurrentMessage(qint32 row)
{
    store(m_currentMessage, row);
}

qint32 MailDispatcherStatus::currentMessage() const
{
    return load(m_currentMessage);
}

void MailDispatcherStatus::setMailCompletition(double completion)
{
    store(m_mailCompletition, completion);
}

double MailDispatcherStatus::mailCompletition() const
{
    return load(m_mailCompletition);
}

void MailDispatcherStatus::setCurrentRecipient(const QString &address)
{
    if (address.isNull())
        throw AppException(ExceptionNames::InvalidArgument, QStringLiteral("current recipient may not be nil"));
    storeString(m_currentRecipient, address);
}

QString MailDispatcherStatus::currentRecipient() const
{
    return load(m_currentRecipient);
}

void MailDispatcherStatus::setErrorCode(qint32 code)
{
    store(m_errorCode, code);
}

qint32 MailDispatcherStatus::errorCode() const
{
    return load(m_errorCode);
}

void MailDispatcherStatus::setErrorInfo(const QString &info)
{
    if (info.isNull())
        return;
    storeString(m_errorInfo, info);
}

QString MailDispatcherStatus::errorInfo() const
{
    return load(m_errorInfo);
}

void MailDispatcherStatus::setSentMailsCounter(qint32 count)
{
    store(m_sentMailsCounter, count);
}

qint32 MailDispatcherStatus::sentMailsCounter() const
{
    return load(m_sentMailsCounter);
}
