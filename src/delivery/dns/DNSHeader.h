#pragma once

#include <cstdint>

// The fixed 12-byte header of a DNS message (RFC 1035 4.1.1), in host order.
struct DNSHeader {
    int32_t packetID = 0;
    uint8_t isResponse = 0;
    int32_t questionCount = 0;
    int32_t answerCount = 0;
    int32_t nsCount = 0;
    int32_t addCount = 0;
};
