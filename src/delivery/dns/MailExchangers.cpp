#include "MailExchangers.h"

#include "DNSRecord.h"
#include "DNSResolver.h"

#include <QSet>
#include <QUrl>

#include <algorithm>

namespace {

constexpr uint32_t TypeA = 1;

// The lower-case form of domain and of every name the answer makes it an
// alias of. DNS names are compared case-insensitively in ASCII only (RFC 4343).
QSet<QString> namesOf(const DNSRecord &answer, const QString &domain)
{
    QSet<QString> names{domain.toLower()};
    // A chain in any order needs at most one pass per record.
    for (size_t pass = 0; pass < answer.entries().size(); ++pass) {
        bool grown = false;
        for (const DNSEntry &entry : answer.entries()) {
            if (entry.type() == DNSEntry::CNAMEKind && names.contains(entry.name().toLower())) {
                const QString target = entry.rdataAsAddress().toLower();
                if (!target.isEmpty() && !names.contains(target)) {
                    names.insert(target);
                    grown = true;
                }
            }
        }
        if (!grown)
            break;
    }
    return names;
}

// The ASCII form of an address's domain, or a null string when it is none
// that could be looked up. An address literal ("[192.0.2.1]") is none: it
// names no domain to ask for an exchanger.
QString domainOfAddress(const QString &address)
{
    // The local part may itself hold a quoted "@" (RFC 5321 4.1.2).
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return QString();
    QString domain = address.mid(at + 1).trimmed();
    if (domain.endsWith(QLatin1Char('.')))
        domain.chop(1);
    if (domain.isEmpty())
        return QString();
    const QString ace = QString::fromLatin1(QUrl::toAce(domain));
    if (ace.isEmpty() || ace.size() > 253)
        return QString();
    for (const QChar c : ace) {
        const char16_t u = c.unicode();
        const bool letterOrDigit = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
        if (!letterOrDigit && u != '-' && u != '.' && u != '_')
            return QString();
    }
    return ace.toLower();
}

bool hasAddressRecord(const DNSRecord &answer, const QString &domain)
{
    const QSet<QString> names = namesOf(answer, domain);
    return std::any_of(answer.entries().begin(), answer.entries().end(), [&](const DNSEntry &entry) {
        return entry.answer().rrType == TypeA && entry.answer().dataLength == 4
            && names.contains(entry.name().toLower());
    });
}

} // namespace

QList<MailExchanger> mailExchangersForDomain(const DNSRecord &answer, const QString &domain)
{
    const QSet<QString> names = namesOf(answer, domain);
    QList<MailExchanger> exchangers;
    for (const DNSEntry &entry : answer.entries()) {
        if (entry.type() == DNSEntry::MXKind && names.contains(entry.name().toLower()))
            exchangers.append({entry.answer().preference, entry.rdataAsAddress()});
    }
    std::stable_sort(exchangers.begin(), exchangers.end(),
                     [](const MailExchanger &a, const MailExchanger &b) { return a.preference < b.preference; });
    return exchangers;
}

QList<MailExchanger> mailHostsForAddress(DNSResolver &resolver, const QString &address)
{
    const QString domain = domainOfAddress(address);
    if (domain.isNull())
        return {};

    bool noExchangers = false;
    if (const std::unique_ptr<DNSRecord> answer = resolver.resolveName(domain, DNSResolver::QueryMX)) {
        QList<MailExchanger> exchangers = mailExchangersForDomain(*answer, domain);
        // Only null MX records: the domain says it takes no mail.
        noExchangers = exchangers.isEmpty();
        exchangers.removeIf([](const MailExchanger &exchanger) { return exchanger.host.isEmpty(); });
        if (!noExchangers)
            return exchangers;
    } else {
        // A failed lookup (no such domain, server trouble) is no empty list:
        // only "exists, but no MX" allows the implicit MX.
        noExchangers = resolver.lastFailure() == DNSResolver::Failure::NoRecords;
    }
    if (!noExchangers)
        return {};

    const std::unique_ptr<DNSRecord> addresses = resolver.resolveName(domain, DNSResolver::QueryA);
    if (addresses && hasAddressRecord(*addresses, domain))
        return {{0, domain}};
    return {};
}

QString mailHostForAddress(DNSResolver &resolver, const QString &address)
{
    const QList<MailExchanger> hosts = mailHostsForAddress(resolver, address);
    return hosts.isEmpty() ? QString() : hosts.first().host;
}
