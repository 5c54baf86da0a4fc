#include "MailHandler_smtp.h"

#include "Keychain.h"
#include "MailHelper.h"
#include "MailMessage.h"
#include "PasswordPrompter.h"
#include "Settings.h"
#include "Values.h"

#include <chrono>
#include <climits>

namespace {

// Shared by every SMTP handler of the process; two documents may send at once.
std::atomic<int> delayMailCount{0};

// A pause longer than this is taken as this long (cancel() still ends it):
// a time typed as "1e30" must not overflow the clock.
constexpr double LongestPauseSeconds = 7 * 24 * 3600.0;
constexpr std::chrono::milliseconds PauseStep{100};

bool isEmptyValue(const QVariantMap &account, const QString &key)
{
    return account.value(key).toString().isEmpty();
}

} // namespace

bool MailHandler_smtp::CancellableCallback::lineReaderHandleEvent(LineReader &reader, int event)
{
    if (m_cancelled.load())
        return false;
    SmtpProgressDelegate *callback = outer.load();
    return !callback || callback->lineReaderHandleEvent(reader, event);
}

bool MailHandler_smtp::CancellableCallback::sentBytesInfo(int sent, int total)
{
    if (m_cancelled.load())
        return false;
    SmtpProgressDelegate *callback = outer.load();
    return !callback || callback->sentBytesInfo(sent, total);
}

MailHandler_smtp::MailHandler_smtp()
{
    m_smtpMail.setTimeout(TimeoutSeconds);
    m_smtpMail.setProgressCallback(&m_callback);
}

MailHandler_smtp::~MailHandler_smtp() = default;

bool MailHandler_smtp::checkAccountData(const QVariantMap &account)
{
    if (isEmptyValue(account, AccountKeys::MailFromAddress) || isEmptyValue(account, AccountKeys::SmtpServer)
        || isEmptyValue(account, AccountKeys::SmtpPort))
        return false;
    return intValue(account.value(AccountKeys::SmtpAuthType)) <= 0 || !isEmptyValue(account, AccountKeys::SmtpLogin);
}

void MailHandler_smtp::setConnectionData(const QVariantMap &account)
{
    m_connectionData = account;
    m_useSendDelay = intValue(account.value(AccountKeys::DelayEnabled)) != 0;
    m_maxMailsBeforeDelay = intValue(account.value(AccountKeys::DelayMails));
    m_delayTime = doubleValue(account.value(AccountKeys::DelayTime));
}

std::optional<QVariantMap> MailHandler_smtp::setup(QObject *parentWindow, const std::optional<QVariantMap> &settings)
{
    std::optional<QString> password = knownPassword(settings);
    if (needsPassword() && !password) {
        password = askForPassword(parentWindow);
        if (!password)
            return std::nullopt;
    }
    return keepPassword(password);
}

void MailHandler_smtp::beginSetup(QObject *parentWindow, const std::optional<QVariantMap> &settings, SetupDone done)
{
    const std::optional<QString> password = knownPassword(settings);
    if (!needsPassword() || password) {
        done(keepPassword(password));
        return;
    }
    const std::shared_ptr<PasswordPrompter> prompter = m_prompter ? m_prompter : PasswordPrompter::defaultPrompter();
    if (!prompter) {
        done(std::nullopt);
        return;
    }
    m_takeBackPrompt = prompter->beginAsking(
        parentWindow, m_connectionData.value(AccountKeys::SmtpServer).toString(),
        m_connectionData.value(AccountKeys::SmtpLogin).toString(),
        [this, done = std::move(done)](const std::optional<QString> &answer) {
            m_takeBackPrompt = nullptr;
            if (!answer)
                done(std::nullopt);
            else
                // Callers tell "refused" from "empty" by presence alone.
                done(keepPassword(answer->isNull() ? QStringLiteral("") : *answer));
        });
}

void MailHandler_smtp::cancelSetup()
{
    if (const PasswordPrompter::TakeBack takeBack = std::exchange(m_takeBackPrompt, nullptr))
        takeBack();
}

std::optional<QString> MailHandler_smtp::knownPassword(const std::optional<QVariantMap> &settings) const
{
    if (settings) {
        const auto given = settings->find(PasswordKey);
        if (given != settings->end() && !given->isNull())
            return given->toString();
    }
    if (!needsPassword())
        return std::nullopt;
    const QString stored =
        Keychain::getKeychainPasswordForServer(m_connectionData.value(AccountKeys::SmtpServer).toString(),
                                               m_connectionData.value(AccountKeys::SmtpLogin).toString());
    // A stored empty password is still a password.
    if (stored.isNull())
        return std::nullopt;
    return stored;
}

bool MailHandler_smtp::needsPassword() const
{
    return intValue(m_connectionData.value(AccountKeys::SmtpAuthType)) > 0;
}

QVariantMap MailHandler_smtp::keepPassword(const std::optional<QString> &password)
{
    m_password = password;
    QVariantMap result;
    if (password)
        result.insert(PasswordKey, *password);
    return result;
}

std::optional<QString> MailHandler_smtp::askForPassword(QObject *parentWindow)
{
    const std::shared_ptr<PasswordPrompter> prompter = m_prompter ? m_prompter : PasswordPrompter::defaultPrompter();
    if (!prompter)
        return std::nullopt;
    std::optional<QString> answer = prompter->askForPassword(parentWindow, m_connectionData.value(AccountKeys::SmtpServer).toString(),
                                                                       m_connectionData.value(AccountKeys::SmtpLogin).toString());
    // Callers tell "refused" from "empty" by presence alone.
    if (answer && answer->isNull())
        answer = QStringLiteral("");
    return answer;
}

QString MailHandler_smtp::newMessageID()
{
    return MailHelper::createMessageID(QStringLiteral("Corvantiline"),
                                       m_connectionData.value(AccountKeys::SmtpServer).toString());
}

void MailHandler_smtp::setProgressCallback(SmtpProgressDelegate *callback)
{
    m_callback.outer.store(callback);
}

SmtpProgressDelegate *MailHandler_smtp::progressCallback() const
{
    return m_callback.outer.load();
}

int MailHandler_smtp::connect()
{
    if (m_cancelled.load())
        return Cancelled;
    const auto text = [this](const QString &key) { return m_connectionData.value(key).toString(); };
    const auto isOn = [this](const QString &key) {
        return m_connectionData.contains(key) && intValue(m_connectionData.value(key)) != 0;
    };
    m_smtpMail.setServer(text(AccountKeys::SmtpServer));
    m_smtpMail.setPort(text(AccountKeys::SmtpPort));
    m_smtpMail.setLogin(text(AccountKeys::SmtpLogin));
    if (m_password)
        m_smtpMail.setPassword(*m_password);
    m_smtpMail.setAuthentication(intValue(m_connectionData.value(AccountKeys::SmtpAuthType)));
    // TLS from the first byte wins over STARTTLS when both are on.
    if (isOn(AccountKeys::UseSSL))
        m_smtpMail.setEncryption(1);
    else if (isOn(AccountKeys::UseTLS))
        m_smtpMail.setEncryption(2);
    else
        m_smtpMail.setEncryption(0);
    return m_smtpMail.connect();
}

int MailHandler_smtp::disconnect()
{
    return m_smtpMail.disconnect();
}

bool MailHandler_smtp::sleepOutPause(double seconds)
{
    using namespace std::chrono;
    // A monotonic clock: a wall-clock change must not stretch or skip the pause.
    const auto end = steady_clock::now()
        + duration_cast<steady_clock::duration>(
                         duration<double>(seconds > 0.0 ? std::min(seconds, LongestPauseSeconds) : 0.0)); // also NaN
    std::unique_lock lock(m_pauseMutex);
    for (;;) {
        // The engine's stop reaches a pause through its callback and, for a
        // stop after the current message, through the delegate: the pause
        // comes before the next message. Both are asked at every step.
        lock.unlock();
        const bool goOn = m_callback.sentBytesInfo(0, 0) && (!delegate() || delegate()->keepsSending());
        lock.lock();
        if (!goOn)
            return false;
        const auto now = steady_clock::now();
        if (now >= end)
            return true;
        if (m_pauseWake.wait_until(lock, std::min(end, now + PauseStep), [this] { return m_cancelled.load(); }))
            return false;
    }
}

int MailHandler_smtp::sendMessage(const MailMessage &message)
{
    m_mayHaveDelivered = false;
    if (m_cancelled.load())
        return Cancelled;
    // Another message, even one not begun with beginMessage, is not bound
    // by the time left to an earlier one (the reconnect after a pause
    // included); a retry of the same message is.
    if (message.messageID() != m_deadlineMessageID) {
        m_messageDeadline.reset();
        m_deadlineMessageID = message.messageID();
        m_smtpMail.setDeadline(std::nullopt);
    }
    if (m_useSendDelay) {
        int count = delayMailCount.load();
        // Only one of two runs that reach the limit together takes the pause.
        while (count >= m_maxMailsBeforeDelay && !delayMailCount.compare_exchange_weak(count, 0))
            ;
        if (count >= m_maxMailsBeforeDelay) {
            const auto started = std::chrono::steady_clock::now();
            disconnect();
            const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            if (!sleepOutPause(m_delayTime - spent))
                return Cancelled;
            if (const int result = connect())
                return result;
        }
    }
    // Saturates: a wrapped count would never reach the limit again.
    int count = delayMailCount.load();
    while (count < INT_MAX && !delayMailCount.compare_exchange_weak(count, count + 1))
        ;
    // RFC 5321 4.5.3.2 times each command: a server that answers each one
    // in time is served however long the whole transaction takes. A reply
    // that did not come in time has had its wait: the retry, reconnect
    // included, gets only the allowance, so the message ends about one
    // time-out after that command.
    const int result = m_smtpMail.sendMailMessage(message);
    m_mayHaveDelivered = result != 0 && m_smtpMail.lastSendMayHaveDelivered();
    if (result != 0 && !m_messageDeadline && m_smtpMail.lastFailureTimedOut()) {
        m_messageDeadline = std::chrono::steady_clock::now() + m_reconnectAllowance;
        m_smtpMail.setDeadline(m_messageDeadline);
    }
    return result;
}

QString MailHandler_smtp::getErrorDesc(int result)
{
    return m_smtpMail.getErrorDesc(result);
}

void MailHandler_smtp::beginMessage()
{
    m_messageDeadline.reset();
    m_smtpMail.setDeadline(std::nullopt);
}

bool MailHandler_smtp::mayRetryLastFailure() const
{
    return !m_smtpMail.lastFailureIsPermanent()
        && (!m_messageDeadline || std::chrono::steady_clock::now() < *m_messageDeadline);
}

void MailHandler_smtp::setTimeouts(int seconds, std::chrono::milliseconds reconnectAllowance)
{
    m_reconnectAllowance = reconnectAllowance;
    m_smtpMail.setTimeout(seconds);
}

void MailHandler_smtp::cancel()
{
    {
        const std::lock_guard lock(m_pauseMutex);
        m_cancelled.store(true);
    }
    m_pauseWake.notify_all();
}

int MailHandler_smtp::delayMailCounter()
{
    return delayMailCount.load();
}

void MailHandler_smtp::setDelayMailCounter(int value)
{
    delayMailCount.store(value);
}
