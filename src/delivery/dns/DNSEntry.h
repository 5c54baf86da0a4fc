#pragma once

#include "DNSAnswer.h"

#include <QString>

// One parsed answer record, as the mail exchanger lookup sees it.
class DNSEntry {
public:
    // Record kinds, as `type` reports them and as the resolver's query kinds use them.
    enum Kind { OtherKind = 0, MXKind = 1, NSKind = 2, CNAMEKind = 3 };

    explicit DNSEntry(const DNSAnswer &answer) : m_answer(answer) {}

    [[nodiscard]] Kind type() const;
    // The owner name of the record.
    [[nodiscard]] QString name() const;
    // The target of an NS, CNAME or MX record, an A record's address in
    // dotted form, or an empty string.
    [[nodiscard]] QString rdataAsAddress() const;
    [[nodiscard]] const DNSAnswer &answer() const { return m_answer; }

private:
    DNSAnswer m_answer;
};
