#pragma once

#include <cstdint>

// One resource record of an answer section. Names are dotted text ending in
// a zero byte; a wire name holds at most 255 bytes (RFC 1035 3.1), so its
// text always fits `name` and `data` with room to spare.
struct DNSAnswer {
    char name[256] = {};
    uint32_t rrType = 0;
    uint32_t rrClass = 0;
    uint32_t rrTTL = 0;
    uint32_t dataLength = 0;
    // A: the 4 address bytes; NS, CNAME: the target; MX: the exchange; else empty.
    unsigned char data[512] = {};
    // MX only: the exchange's preference, lower is tried first (RFC 5321 5.1).
    uint32_t preference = 0;
};
