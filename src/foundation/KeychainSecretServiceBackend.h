#pragma once

#include "KeychainBackend.h"

#include <chrono>

// Secrets in the desktop's Secret Service (gnome-keyring, KWallet) through
// QtKeychain: one item per key under the service name. The calls wait for
// the answer; see the .cpp for how.
class KeychainSecretServiceBackend final : public KeychainBackend
{
public:
    explicit KeychainSecretServiceBackend(const QString &service,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(30));

    [[nodiscard]] bool writeSecret(const QString &key, const QByteArray &secret, QString *error) override;
    [[nodiscard]] KeychainReadResult readSecret(const QString &key) override;

private:
    const QString m_service;
    const std::chrono::milliseconds m_timeout;
};
