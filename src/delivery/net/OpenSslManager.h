#pragma once

#include "AppObject.h"
#include "SingletonHolder.h"

#include <memory>
#include <mutex>
#include <string>

using SSL_CTX = struct ssl_ctx_st;
using BIO_METHOD = struct bio_method_st;

namespace App {

struct ContextRelease {
    void operator()(SSL_CTX *context) const;
};
using ContextReference = std::unique_ptr<SSL_CTX, ContextRelease>;

// The TLS client context shared by every TLS stream, reached through
// SingletonHolder<OpenSslManager>. Peers are verified against the system's
// trust store (SSL_CERT_FILE and SSL_CERT_DIR name another one). The store
// is read when the context is made; a context is made anew only when those
// two variables changed since, so that tests can trust a certificate of
// their own. Connections keep the context they started with.
class OpenSslManager {
public:
    class NoContextException : public App::Exception {
    public:
        const char *what() const noexcept override { return "App::OpenSslManager::NoContextException"; }
    };

    OpenSslManager();
    ~OpenSslManager();

    OpenSslManager(const OpenSslManager &) = delete;
    OpenSslManager &operator=(const OpenSslManager &) = delete;

    // The current context, with a reference of its own; throws
    // NoContextException when it cannot be made.
    [[nodiscard]] ContextReference clientContext();
    // Socket I/O for TLS that never raises SIGPIPE (see the .cpp).
    [[nodiscard]] const BIO_METHOD *socketMethod() const { return m_socketMethod; }

private:
    std::mutex m_mutex;
    SSL_CTX *m_context = nullptr;
    std::string m_trustKey; // the trust-store variables m_context was made with
    BIO_METHOD *m_socketMethod = nullptr;
};

} // namespace App
