#pragma once

#include "DNSEntry.h"
#include "DNSHeader.h"

#include <vector>

// A DNS response as the resolver returned it, and the records of its answer
// section. The bytes come from the network: the parser checks every length
// and offset against them and drops what it cannot read whole.
class DNSRecord {
public:
    // Copies length bytes of answer and parses them.
    DNSRecord(const unsigned char *answer, int length);

    // Reads the header and the answer section again from the stored bytes.
    void parseAnswer();

    // The first entry of the given kind (DNSEntry::Kind), in answer order, or nullptr.
    [[nodiscard]] const DNSEntry *entryOfType(int kind) const;

    [[nodiscard]] const DNSHeader &header() const { return m_header; }
    [[nodiscard]] const std::vector<DNSEntry> &entries() const { return m_entries; }
    [[nodiscard]] const std::vector<unsigned char> &dnsAnswer() const { return m_dnsAnswer; }
    [[nodiscard]] int dnsAnswerLength() const { return m_dnsAnswerLength; }

private:
    // Exactly the bytes given, so a checker sees any read past them.
    std::vector<unsigned char> m_dnsAnswer;
    int m_dnsAnswerLength = 0;
    std::vector<DNSEntry> m_entries;
    DNSHeader m_header;
};
