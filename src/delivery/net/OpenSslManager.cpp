#include "OpenSslManager.h"

#include <openssl/bio.h>
#include <openssl/ssl.h>

#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

namespace App {

namespace {

// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE when
// the peer has gone and would end the application in the middle of a send
// run. The application ignores SIGPIPE (ignoreSigpipe), but this code must
// not depend on it, so TLS goes through this small BIO that uses
// send(MSG_NOSIGNAL) instead. It never closes the descriptor: the plain
// connection owns it.
struct SocketBioState {
    int fd = -1;
    bool atEof = false;
};

SocketBioState *stateOf(BIO *bio)
{
    return static_cast<SocketBioState *>(BIO_get_data(bio));
}

int socketBioCreate(BIO *bio)
{
    BIO_set_data(bio, new SocketBioState);
    BIO_set_init(bio, 1);
    return 1;
}

int socketBioDestroy(BIO *bio)
{
    if (!bio)
        return 0;
    delete stateOf(bio);
    BIO_set_data(bio, nullptr);
    return 1;
}

int socketBioWrite(BIO *bio, const char *data, int length)
{
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do
        n = ::send(stateOf(bio)->fd, data, size_t(length), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_write(bio);
    return int(n);
}

int socketBioRead(BIO *bio, char *data, int length)
{
    BIO_clear_retry_flags(bio);
    SocketBioState *state = stateOf(bio);
    ssize_t n;
    do
        n = ::recv(state->fd, data, size_t(length), 0);
    while (n < 0 && errno == EINTR);
    if (n == 0 && length > 0)
        state->atEof = true; // lets OpenSSL tell a truncated stream from a pause
    else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    return int(n);
}

long socketBioCtrl(BIO *bio, int command, long number, void *pointer)
{
    SocketBioState *state = stateOf(bio);
    switch (command) {
    case BIO_C_SET_FD:
        state->fd = *static_cast<int *>(pointer);
        state->atEof = false;
        return 1;
    case BIO_C_GET_FD:
        if (pointer)
            *static_cast<int *>(pointer) = state->fd;
        return state->fd;
    case BIO_CTRL_EOF:
        return state->atEof ? 1 : 0;
    case BIO_CTRL_FLUSH:
    case BIO_CTRL_DUP:
        return 1;
    default:
        (void)number;
        return 0;
    }
}

// SSL_CTX_set_default_verify_paths reads these two when the store is loaded.
std::string trustStoreKey()
{
    std::string key;
    for (const char *name : {"SSL_CERT_FILE", "SSL_CERT_DIR"}) {
        const char *value = std::getenv(name);
        key += value ? "=" + std::string(value) : std::string("-");
        key += '\n';
    }
    return key;
}

SSL_CTX *makeClientContext()
{
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (!context)
        return nullptr;
    // The peer must prove who it is: an unverified server could read the
    // account's password and every message sent.
    if (SSL_CTX_set_default_verify_paths(context) != 1) {
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // Non-blocking writes: a record that could not be sent completely is
    // finished by the next write, which the line writer makes from a moved
    // pointer into its buffer; and a write returns as soon as part of the
    // data went out, so progress is counted per piece.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return context;
}

} // namespace

void ContextRelease::operator()(SSL_CTX *context) const
{
    SSL_CTX_free(context);
}

OpenSslManager::OpenSslManager()
{
    // The OpenSSL 3 form of loading the error strings and initialising the library.
    if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) != 1)
        throw NoContextException();
    m_trustKey = trustStoreKey();
    m_context = makeClientContext();
    if (!m_context)
        throw NoContextException();

    m_socketMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                  "corvantiline socket");
    if (!m_socketMethod || !BIO_meth_set_write(m_socketMethod, socketBioWrite)
        || !BIO_meth_set_read(m_socketMethod, socketBioRead) || !BIO_meth_set_ctrl(m_socketMethod, socketBioCtrl)
        || !BIO_meth_set_create(m_socketMethod, socketBioCreate)
        || !BIO_meth_set_destroy(m_socketMethod, socketBioDestroy)) {
        BIO_meth_free(m_socketMethod);
        SSL_CTX_free(m_context);
        throw NoContextException();
    }
}

OpenSslManager::~OpenSslManager()
{
    SSL_CTX_free(m_context);
    BIO_meth_free(m_socketMethod);
}

ContextReference OpenSslManager::clientContext()
{
    const std::lock_guard lock(m_mutex);
    std::string key = trustStoreKey();
    if (key != m_trustKey) {
        SSL_CTX *fresh = makeClientContext();
        if (!fresh)
            throw NoContextException();
        SSL_CTX_free(m_context);
        m_context = fresh;
        m_trustKey = std::move(key);
    }
    SSL_CTX_up_ref(m_context);
    return ContextReference(m_context);
}

} // namespace App
