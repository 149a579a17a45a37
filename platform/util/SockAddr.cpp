#include "platform/util/SockAddr.h"

SockAddr::SockAddr() {
    *this = 0;
}

SockAddr& SockAddr::operator=(unsigned long address) {
    mAddress = static_cast<uint32_t>(address);
    // Shifts, not a cast through memory, so the result is the same on both byte orders.
    char* out = mText;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned part = (mAddress >> shift) & 0xFFu;
        if (part >= 100)
            *out++ = static_cast<char>('0' + part / 100);
        if (part >= 10)
            *out++ = static_cast<char>('0' + part / 10 % 10);
        *out++ = static_cast<char>('0' + part % 10);
        if (shift)
            *out++ = '.';
    }
    *out = '\0';
    return *this;
}
