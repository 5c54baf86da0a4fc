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

// The hosts that mail for address may go to, for the domain after the last
// "@": its exchangers as mailExchangersForDomain orders them, null MX
// records left out, or the domain itself when it exists with an address but
// without MX records (the implicit MX of RFC 5321 5.1, preference 0). Empty
// when there is none: no domain, lookup failed, or only a null MX.
[[nodiscard]] QList<MailExchanger> mailHostsForAddress(DNSResolver &resolver, const QString &address);

// The first of mailHostsForAddress, or a null string.
[[nodiscard]] QString mailHostForAddress(DNSResolver &resolver, const QString &address);
