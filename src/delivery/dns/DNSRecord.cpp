#include "DNSRecord.h"

#include <cstring>

namespace {

constexpr int HeaderLength = 12;
// Type, class, TTL and data length after a record's owner name.
constexpr int RecordFixedLength = 10;
// RFC 1035 3.1: a name takes at most 255 bytes on the wire.
constexpr int MaxNameWireLength = 255;
// Pointers may only go backwards, so a walk ends anyway; the bound keeps a
// hostile chain of many short hops from costing more than a real name could.
constexpr int MaxPointerJumps = 127;

constexpr uint32_t TypeA = 1;
constexpr uint32_t TypeNS = 2;
constexpr uint32_t TypeCNAME = 5;
constexpr uint32_t TypeMX = 15;

enum class NameResult {
    Ok,
    // Well formed, but holds bytes no host name has (controls, blanks, dots
    // inside a label, 8-bit): the record is dropped, the walk goes on.
    Unusable,
    // The name cannot be read: nothing after it can be found either.
    Malformed,
};

class Reader {
public:
    Reader(const unsigned char *bytes, int length) : m_bytes(bytes), m_length(length) {}

    [[nodiscard]] int length() const { return m_length; }
    [[nodiscard]] uint32_t get16(int pos) const
    {
        return uint32_t(m_bytes[pos]) << 8 | m_bytes[pos + 1];
    }
    [[nodiscard]] uint32_t get32(int pos) const { return get16(pos) << 16 | get16(pos + 2); }

    // Reads the name at pos into out (256 bytes, zero-terminated text, no
    // trailing dot). Until its first pointer the name must lie before
    // fieldEnd; a pointer must lead to before the part of the name that
    // holds it (RFC 1035 4.1.4: to a prior occurrence), which rules out loops.
    // nameEnd is where the record goes on after the name.
    NameResult readName(int pos, int fieldEnd, char *out, int *nameEnd) const
    {
        int cursor = pos;
        int segmentStart = pos;
        int limit = fieldEnd;
        int wireLength = 1; // the final zero byte
        int textLength = 0;
        int jumps = 0;
        bool usable = true;
        *nameEnd = -1;
        out[0] = '\0';
        for (;;) {
            if (cursor >= limit)
                return NameResult::Malformed;
            const unsigned labelLength = m_bytes[cursor];
            if ((labelLength & 0xC0) == 0xC0) {
                if (cursor + 1 >= limit)
                    return NameResult::Malformed;
                const int target = int(get16(cursor) & 0x3FFF);
                if (*nameEnd < 0)
                    *nameEnd = cursor + 2;
                if (target >= segmentStart || ++jumps > MaxPointerJumps)
                    return NameResult::Malformed;
                cursor = segmentStart = target;
                limit = m_length;
                continue;
            }
            // 0x40 and 0x80 are the extended and reserved label kinds (RFC 6891, 2673).
            if (labelLength & 0xC0)
                return NameResult::Malformed;
            if (labelLength == 0) {
                if (*nameEnd < 0)
                    *nameEnd = cursor + 1;
                break;
            }
            if (int(labelLength) >= limit - cursor)
                return NameResult::Malformed;
            wireLength += 1 + int(labelLength);
            if (wireLength > MaxNameWireLength)
                return NameResult::Malformed;
            if (textLength > 0)
                out[textLength++] = '.';
            for (unsigned i = 1; i <= labelLength; ++i) {
                const unsigned char c = m_bytes[cursor + int(i)];
                if (c <= ' ' || c >= 0x7F || c == '.')
                    usable = false;
                out[textLength++] = char(c);
            }
            cursor += 1 + int(labelLength);
        }
        out[textLength] = '\0';
        return usable ? NameResult::Ok : NameResult::Unusable;
    }

    // Steps over a question name without following its pointer.
    [[nodiscard]] int skipName(int pos) const
    {
        int cursor = pos;
        while (cursor < m_length) {
            const unsigned labelLength = m_bytes[cursor];
            if ((labelLength & 0xC0) == 0xC0)
                return cursor + 2 <= m_length ? cursor + 2 : -1;
            if (labelLength & 0xC0)
                return -1;
            if (labelLength == 0)
                return cursor + 1;
            cursor += 1 + int(labelLength);
            if (cursor - pos > MaxNameWireLength)
                return -1;
        }
        return -1;
    }

private:
    const unsigned char *m_bytes;
    int m_length;
};

} // namespace

DNSRecord::DNSRecord(const unsigned char *answer, int length)
{
    if (answer && length > 0)
        m_dnsAnswer.assign(answer, answer + length);
    m_dnsAnswerLength = int(m_dnsAnswer.size());
    parseAnswer();
}

void DNSRecord::parseAnswer()
{
    m_entries.clear();
    m_header = DNSHeader();
    const Reader in(m_dnsAnswer.data(), m_dnsAnswerLength);
    if (in.length() < HeaderLength)
        return;

    m_header.packetID = int32_t(in.get16(0));
    m_header.isResponse = (in.get16(2) & 0x8000) ? 1 : 0;
    m_header.questionCount = int32_t(in.get16(4));
    m_header.answerCount = int32_t(in.get16(6));
    m_header.nsCount = int32_t(in.get16(8));
    m_header.addCount = int32_t(in.get16(10));

    // The counts are the sender's claims: every step checks the bytes are there.
    int pos = HeaderLength;
    for (int i = 0; i < m_header.questionCount; ++i) {
        pos = in.skipName(pos);
        if (pos < 0 || in.length() - pos < 4)
            return;
        pos += 4;
    }

    for (int i = 0; i < m_header.answerCount; ++i) {
        DNSAnswer answer;
        int next = -1;
        const NameResult owner = in.readName(pos, in.length(), answer.name, &next);
        if (owner == NameResult::Malformed || in.length() - next < RecordFixedLength)
            return;
        pos = next;
        answer.rrType = in.get16(pos);
        answer.rrClass = in.get16(pos + 2);
        answer.rrTTL = in.get32(pos + 4);
        answer.dataLength = in.get16(pos + 8);
        pos += RecordFixedLength;
        const int dataEnd = pos + int(answer.dataLength);
        // A record cut short by a truncated response is not kept.
        if (dataEnd > in.length())
            return;

        bool keep = owner == NameResult::Ok;
        char *target = reinterpret_cast<char *>(answer.data);
        switch (answer.rrType) {
        case TypeA:
            if (answer.dataLength == 4)
                std::memcpy(answer.data, m_dnsAnswer.data() + pos, 4);
            break;
        case TypeNS:
        case TypeCNAME:
            keep = keep && in.readName(pos, dataEnd, target, &next) == NameResult::Ok;
            break;
        case TypeMX:
            keep = keep && answer.dataLength > 2
                && in.readName(pos + 2, dataEnd, target, &next) == NameResult::Ok;
            if (keep)
                answer.preference = in.get16(pos);
            break;
        default:
            break;
        }
        if (keep)
            m_entries.emplace_back(answer);
        pos = dataEnd;
    }
}

const DNSEntry *DNSRecord::entryOfType(int kind) const
{
    for (const DNSEntry &entry : m_entries) {
        if (entry.type() == kind)
            return &entry;
    }
    return nullptr;
}
