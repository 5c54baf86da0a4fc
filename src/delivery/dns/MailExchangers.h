#pragma once

#include <QList>
#include <QString>

class DNSRecord;
class DNSResolver;

struct MailExchanger {
    quint32 preference = 0;
    // Empty for a null MX (RFC 7505): the domain takes no mail.
    QString host;
};

// The MX records of answer that belong to domain (or to a name it is an
// alias of, through the answer's CNAME records), in the order RFC 5321 5.1
// has them tried: lowest preference first, equal ones in answer order.
// Names compare without regard to case, as DNS names do.
[[nodiscard]] QList<MailExchanger> mailExchangersForDomain(const DNSRecord &answer, const QString &domain);

// The host that mail for address goes to: the domain after the last "@",
// its most preferred exchanger, or the domain itself when it exists with an
// address but without MX records (the implicit MX of RFC 5321 5.1). A null
// string when there is none: no domain, lookup failed, or a null MX.
[[nodiscard]] QString mailHostForAddress(DNSResolver &resolver, const QString &address);
