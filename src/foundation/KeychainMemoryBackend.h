#pragma once

#include "KeychainBackend.h"

#include <QHash>

#include <mutex>

// Secrets in memory, for tests. Safe to use from any thread.
class KeychainMemoryBackend final : public KeychainBackend
{
public:
    [[nodiscard]] bool writeSecret(const QString &key, const QByteArray &secret, QString *error) override;
    [[nodiscard]] KeychainReadResult readSecret(const QString &key) override;

    // Makes every later store and read fail with this reason, as a locked or
    // absent keychain would; an empty reason lets them work again.
    void setFailure(const QString &reason);
    [[nodiscard]] int itemCount() const;

private:
    mutable std::mutex m_mutex;
    QHash<QString, QByteArray> m_items;
    QString m_failure;
};
