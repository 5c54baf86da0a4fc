#pragma once

#include "DNSRecord.h"

#include <QString>
#include <QtGlobal>

#include <memory>

// DNS queries through the system resolver library, with a resolver state of
// its own, so each delivery handler can query from its own thread.
class DNSResolver {
public:
    // Query kinds of resolveName: MX, CNAME and ANY; any other value asks for A.
    enum QueryKind { QueryA = 0, QueryMX = 1, QueryCNAME = 3, QueryANY = 4 };

    // Why the last resolveName gave no record. NoRecords is "the name exists
    // but has no record of that type", the case RFC 5321 5.1 treats apart.
    enum class Failure { None, NoSuchName, NoRecords, Other };

    // The largest DNS message (a TCP response has a 16-bit length), so no
    // answer is ever cut off.
    static constexpr int AnswerBufferSize = 65536;

    DNSResolver();
    ~DNSResolver();
    Q_DISABLE_COPY_MOVE(DNSResolver)

    // Reads the system's resolver configuration afresh; 0 on success, -1 when it cannot.
    [[nodiscard]] int open();
    // Releases what open took; queries fail until the next open.
    void close();

    // Queries name (class IN) as a fully qualified name: the configured search
    // list is never applied, so a missing domain cannot be taken for a name
    // below a local one. nullptr when nothing was found; lastFailure says why.
    [[nodiscard]] std::unique_ptr<DNSRecord> resolveName(const QString &name, int kind);
    [[nodiscard]] Failure lastFailure() const { return m_lastFailure; }

    // Sends every query to this IPv4 server and port instead of the
    // configured ones, from now and after every open. False for an address
    // that is not IPv4.
    bool setNameServer(const QString &address, quint16 port);

private:
    struct State;
    std::unique_ptr<State> m_state;
    Failure m_lastFailure = Failure::None;
};
