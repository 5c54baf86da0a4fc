#pragma once

#include "AppObject.h"
#include "SingletonHolder.h"

using SSL_CTX = struct ssl_ctx_st;
using BIO_METHOD = struct bio_method_st;

namespace App {

// The process's one TLS client context, shared by every TLS stream. Reached
// through SingletonHolder<OpenSslManager>.
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

    [[nodiscard]] SSL_CTX *context() const { return m_context; }
    // Socket I/O for TLS that never raises SIGPIPE (see the .cpp).
    [[nodiscard]] const BIO_METHOD *socketMethod() const { return m_socketMethod; }

private:
    SSL_CTX *m_context = nullptr;
    BIO_METHOD *m_socketMethod = nullptr;
};

} // namespace App
