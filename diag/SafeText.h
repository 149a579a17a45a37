#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/util/DecimalText.h"

// Text built in a caller's buffer with nothing but copies and arithmetic:
// no locale, no allocation, so it may be used in a signal handler, where
// snprintf is not among the safe calls. Text beyond the buffer is cut; the
// buffer always ends with a NUL.
class SafeText {
public:
    SafeText(char* buffer, size_t size) : mBuffer(buffer), mSize(size) { mBuffer[0] = '\0'; }

    SafeText& operator<<(const char* text) {
        while (text && *text && mLength + 1 < mSize) mBuffer[mLength++] = *text++;
        mBuffer[mLength] = '\0';
        return *this;
    }
    // VALUE in decimal, at least WIDTH digits (zero-padded).
    SafeText& Number(int64_t value, int width = 1) {
        char text[DecimalText::kMaxText];
        DecimalText::Write(value, text, width);
        return *this << text;
    }
    // VALUE in lowercase hexadecimal after "0x", as printf's %#x writes it
    // (0 is "0").
    SafeText& Hex(uintptr_t value) {
        char text[2 + 2 * sizeof value + 1];
        char* p = text + sizeof text - 1;
        *p = '\0';
        do {
            *--p = "0123456789abcdef"[value % 16];
            value /= 16;
        } while (value > 0);
        if (p[0] != '0' || p[1] != '\0') {
            *--p = 'x';
            *--p = '0';
        }
        return *this << p;
    }
    size_t Length() const { return mLength; }

private:
    char* mBuffer;
    size_t mSize;
    size_t mLength = 0;
};
