#pragma once

#include <cstdint>

// An IPv4 address and its dotted-decimal text.
//
// The address is taken as a 32-bit number whose most significant byte is the
// first part of the text: 0x0A000001 is "10.0.0.1", on any host byte order.
// Only the low 32 bits of the assigned value are used. Not thread-safe: the
// text returned by DottedDecimal() is owned by the object and stays valid
// until the next assignment or the object's destruction.
class SockAddr {
public:
    SockAddr();

    SockAddr& operator=(unsigned long address);

    uint32_t Address() const { return mAddress; }
    const char* DottedDecimal() const { return mText; }

private:
    uint32_t mAddress;
    char mText[16];  // "255.255.255.255" and its NUL
};
