// Arbitrary bytes as a name server's response: the parser must stay within
// them, end every name walk, and keep only names that fit their fields.
#include "DNSRecord.h"
#include "MailExchangers.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65535)
        return 0;
    const DNSRecord record(data, int(size));
    if (record.dnsAnswerLength() != int(size) || record.entries().size() > size / 11)
        __builtin_trap();
    for (const DNSEntry &entry : record.entries()) {
        const DNSAnswer &answer = entry.answer();
        // A wire name of at most 255 bytes is at most 253 characters of text.
        if (::strnlen(answer.name, sizeof answer.name) > 253
            || ::strnlen(reinterpret_cast<const char *>(answer.data), sizeof answer.data) > 253)
            __builtin_trap();
        (void)entry.rdataAsAddress();
    }
    (void)record.entryOfType(DNSEntry::MXKind);
    (void)mailExchangersForDomain(record, QStringLiteral("alpha.test"));
    return 0;
}
