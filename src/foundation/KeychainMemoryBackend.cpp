#include "KeychainMemoryBackend.h"

bool KeychainMemoryBackend::writeSecret(const QString &key, const QByteArray &secret, QString *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_failure.isEmpty()) {
        if (error)
            *error = m_failure;
        return false;
    }
    m_items.insert(key, secret);
    return true;
}

KeychainReadResult KeychainMemoryBackend::readSecret(const QString &key)
{
    std::lock_guard lock(m_mutex);
    KeychainReadResult result;
    if (!m_failure.isEmpty()) {
        result.status = KeychainReadResult::Status::Failed;
        result.error = m_failure;
    } else if (const auto found = m_items.constFind(key); found != m_items.cend()) {
        result.status = KeychainReadResult::Status::Found;
        result.secret = *found;
    }
    return result;
}

void KeychainMemoryBackend::setFailure(const QString &reason)
{
    std::lock_guard lock(m_mutex);
    m_failure = reason;
}

int KeychainMemoryBackend::itemCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_items.size());
}
