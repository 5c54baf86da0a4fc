#pragma once

#include <QString>

#include <memory>

class KeychainBackend;

// The password of each SMTP account, kept out of the preferences in the
// user's keychain: one item per SMTP server and login. By default the
// keychain is the desktop's Secret Service; tests put in a store of their own.
// Callable from any thread; the Secret Service is asked on the main thread.
class Keychain
{
public:
    Keychain() = delete;

    // Stores the password for the pair, replacing one stored before. False,
    // with the reason in *error when given, when nothing was stored: the
    // keychain refused, or the server or login is empty.
    [[nodiscard]] static bool setKeychainServer(const QString &server, const QString &login,
                                                const QString &password, QString *error = nullptr);
    // The stored password; a null string when the server or login is empty,
    // no item exists or the keychain cannot be read. A stored empty password
    // reads as an empty string that is not null.
    [[nodiscard]] static QString getKeychainPasswordForServer(const QString &server, const QString &login);

    // The keychain used from now on; nullptr goes back to the Secret Service.
    static void setBackend(std::shared_ptr<KeychainBackend> backend);
    [[nodiscard]] static std::shared_ptr<KeychainBackend> backend();

    // Name of the pair's item within the application's service.
    [[nodiscard]] static QString itemKey(const QString &server, const QString &login);
};
