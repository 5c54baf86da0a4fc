#include "DNSEntry.h"

#include <cstring>

namespace {
// DNS type codes (RFC 1035 3.2.2).
constexpr uint32_t TypeA = 1;
constexpr uint32_t TypeNS = 2;
constexpr uint32_t TypeCNAME = 5;
constexpr uint32_t TypeMX = 15;

// The parser fills these fields with zero-terminated text; strnlen keeps a
// hand-made answer without the terminator from being read past its end.
QString fieldText(const char *text, size_t capacity)
{
    return QString::fromLatin1(text, qsizetype(::strnlen(text, capacity)));
}
} // namespace

DNSEntry::Kind DNSEntry::type() const
{
    switch (m_answer.rrType) {
    case TypeMX:
        return MXKind;
    case TypeNS:
        return NSKind;
    case TypeCNAME:
        return CNAMEKind;
    default:
        return OtherKind;
    }
}

QString DNSEntry::name() const
{
    return fieldText(m_answer.name, sizeof m_answer.name);
}

QString DNSEntry::rdataAsAddress() const
{
    if (m_answer.rrType == TypeA) {
        if (m_answer.dataLength != 4)
            return QString();
        const unsigned char *a = m_answer.data;
        return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
    }
    return fieldText(reinterpret_cast<const char *>(m_answer.data), sizeof m_answer.data);
}
