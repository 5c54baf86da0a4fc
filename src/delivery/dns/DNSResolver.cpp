#include "DNSResolver.h"

#include <QUrl>

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cstring>
#include <vector>

struct DNSResolver::State {
    struct __res_state res;
    bool open = false;
    bool overrideServer = false;
    struct sockaddr_in server;
};

namespace {

int queryType(int kind)
{
    switch (kind) {
    case DNSResolver::QueryMX:
        return ns_t_mx;
    case DNSResolver::QueryCNAME:
        return ns_t_cname;
    case DNSResolver::QueryANY:
        return ns_t_any;
    default:
        return ns_t_a;
    }
}

// The name as the wire needs it: ASCII as it stands, international names in
// their ACE form (RFC 5890), since the DNS holds no other.
QByteArray queryName(const QString &name)
{
    bool ascii = true;
    for (const QChar c : name) {
        if (c.unicode() > 0x7E || c.unicode() <= 0x20) {
            ascii = false;
            break;
        }
    }
    return ascii ? name.toLatin1() : QUrl::toAce(name);
}

} // namespace

DNSResolver::DNSResolver() : m_state(std::make_unique<State>())
{
    std::memset(&m_state->res, 0, sizeof m_state->res);
    std::memset(&m_state->server, 0, sizeof m_state->server);
}

DNSResolver::~DNSResolver()
{
    close();
}

int DNSResolver::open()
{
    // A second open without a close would leak the configuration the first one read.
    close();
    std::memset(&m_state->res, 0, sizeof m_state->res);
    // A state whose initialisation failed holds no socket numbers yet, so it
    // must not reach res_nclose (which would close descriptor 0).
    if (res_ninit(&m_state->res) != 0)
        return -1;
    m_state->open = true;
    if (m_state->overrideServer) {
        m_state->res.nsaddr_list[0] = m_state->server;
        m_state->res.nscount = 1;
    }
    return 0;
}

void DNSResolver::close()
{
    if (!m_state->open)
        return;
    res_nclose(&m_state->res);
    m_state->open = false;
}

std::unique_ptr<DNSRecord> DNSResolver::resolveName(const QString &name, int kind)
{
    m_lastFailure = Failure::Other;
    if (!m_state->open)
        return nullptr;
    const QByteArray wireName = queryName(name);
    if (wireName.isEmpty())
        return nullptr;

    // On the heap: 64 KiB is a lot for the stack of a send run's worker thread.
    std::vector<unsigned char> answer(AnswerBufferSize);
    const int length = res_nquery(&m_state->res, wireName.constData(), ns_c_in, queryType(kind),
                                  answer.data(), AnswerBufferSize);
    if (length < 0) {
        switch (m_state->res.res_h_errno) {
        case HOST_NOT_FOUND:
            m_lastFailure = Failure::NoSuchName;
            break;
        case NO_DATA:
            m_lastFailure = Failure::NoRecords;
            break;
        default:
            break;
        }
        return nullptr;
    }
    m_lastFailure = Failure::None;
    // The returned length is that of the whole response, which may be longer than the buffer.
    return std::make_unique<DNSRecord>(answer.data(), qMin(length, AnswerBufferSize));
}

bool DNSResolver::setNameServer(const QString &address, quint16 port)
{
    struct sockaddr_in server;
    std::memset(&server, 0, sizeof server);
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    if (inet_pton(AF_INET, address.toLatin1().constData(), &server.sin_addr) != 1)
        return false;
    m_state->server = server;
    m_state->overrideServer = true;
    if (m_state->open) {
        m_state->res.nsaddr_list[0] = server;
        m_state->res.nscount = 1;
    }
    return true;
}
