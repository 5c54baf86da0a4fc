#include "Keychain.h"

#include "KeychainSecretServiceBackend.h"

#include <QUrl>
#include <QtGlobal>

#include <mutex>

namespace {

std::mutex backendMutex;
std::shared_ptr<KeychainBackend> currentBackend;  // guarded by backendMutex

} // namespace

void Keychain::setBackend(std::shared_ptr<KeychainBackend> backend)
{
    std::lock_guard lock(backendMutex);
    currentBackend = std::move(backend);
}

std::shared_ptr<KeychainBackend> Keychain::backend()
{
    std::lock_guard lock(backendMutex);
    if (!currentBackend)
        currentBackend = std::make_shared<KeychainSecretServiceBackend>(QStringLiteral("Corvantiline"));
    return currentBackend;
}

// "smtp://" + login + "@" + server, the login percent-encoded (RFC 3986
// unreserved characters stay) so that it holds no "@": the first "@" then
// always ends the login, and no two pairs share a key even when a login is
// an address ("ann@example.org" on "smtp.example.org").
QString Keychain::itemKey(const QString &server, const QString &login)
{
    return QStringLiteral("smtp://") + QString::fromLatin1(QUrl::toPercentEncoding(login)) + u'@' + server;
}

bool Keychain::setKeychainServer(const QString &server, const QString &login, const QString &password,
                                 QString *error)
{
    if (server.isEmpty() || login.isEmpty()) {
        // Such an item could never be read back.
        if (error)
            *error = QStringLiteral("A password needs both a server and a login.");
        return false;
    }
    QString reason;
    if (backend()->writeSecret(itemKey(server, login), password.toUtf8(), &reason))
        return true;
    qWarning("Keychain: the password could not be stored: %s", qPrintable(reason));
    if (error)
        *error = reason;
    return false;
}

QString Keychain::getKeychainPasswordForServer(const QString &server, const QString &login)
{
    if (server.isEmpty() || login.isEmpty())
        return {};
    const KeychainReadResult result = backend()->readSecret(itemKey(server, login));
    switch (result.status) {
    case KeychainReadResult::Status::Found: {
        QString password = QString::fromUtf8(result.secret);
        // A stored empty password is still a stored one: callers take null
        // for "ask the user".
        if (password.isNull())
            password = QLatin1String("");
        return password;
    }
    case KeychainReadResult::Status::Failed:
        qWarning("Keychain: the password could not be read: %s", qPrintable(result.error));
        return {};
    case KeychainReadResult::Status::Missing:
        break;
    }
    return {};
}
