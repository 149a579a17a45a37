#pragma once

#include <cstdint>

// Decimal text of 32-bit numbers, the same characters that "%u" and "%ld"
// give, without the cost of a format string: the record writer formats some
// forty numbers per call. OUT must hold 12 bytes; the text ends with a NUL.
// Stateless; callable from any thread.
class DecimalText {
public:
    static void Unsigned(uint32_t value, char* out) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) *out++ = digits[--n];
        *out = '\0';
    }
    static void Signed(int32_t value, char* out) {
        if (value < 0) {
            *out++ = '-';
            // In unsigned arithmetic, so that the most negative value has a magnitude.
            Unsigned(0u - static_cast<uint32_t>(value), out);
        } else {
            Unsigned(static_cast<uint32_t>(value), out);
        }
    }
};
