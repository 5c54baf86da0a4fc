#pragma once

#include <QByteArray>
#include <QString>

// Where Keychain keeps its secrets: the desktop's Secret Service, or a store
// in memory for tests. Secrets are bytes; Keychain decides their encoding.
struct KeychainReadResult
{
    enum class Status { Found, Missing, Failed };
    Status status = Status::Missing;
    QByteArray secret;
    QString error;  // set when Failed
};

class KeychainBackend
{
public:
    virtual ~KeychainBackend() = default;

    // Adds the item or replaces the secret of the item with this key. False,
    // with the reason in *error when given, when nothing was stored.
    [[nodiscard]] virtual bool writeSecret(const QString &key, const QByteArray &secret, QString *error) = 0;
    [[nodiscard]] virtual KeychainReadResult readSecret(const QString &key) = 0;
};
