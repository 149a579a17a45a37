#pragma once

#include <cstddef>
#include <cstdint>

// Decimal text of whole numbers, the one writer of them: the characters
// that printf's "%llu" and "%lld" give, without a format string or a locale, so the record writer
// can format some forty numbers a call cheaply and the crash guard can use it in a signal handler.
// Stateless; callable from any thread and from a signal handler.
class DecimalText {
public:
    // Room for any 64-bit value, its sign and the NUL.
    static constexpr size_t kMaxText = 22;

    // VALUE with at least WIDTH digits (zero-padded after any sign; at most
    // 20) into OUT, which must hold kMaxText bytes, and a NUL; returns the
    // length.
    static size_t Write(int64_t value, char* out, int width = 1) {
        // In unsigned arithmetic, so that the most negative value has a magnitude.
        const uint64_t magnitude =
            value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        size_t length = 0;
        if (value < 0)
            out[length++] = '-';
        return length + WriteUnsigned(magnitude, out + length, width);
    }
    static size_t WriteUnsigned(uint64_t value, char* out, int width = 1) {
        char digits[20];
        int n = 0;
        // In 32-bit steps: on the 32-bit device a 64-bit division is a
        // library call, and most values fit in 32 bits. Above them, each
        // digit is a long division of HIGH:LOW by 10 in 16-bit pieces.
        uint32_t high = static_cast<uint32_t>(value >> 32), low = static_cast<uint32_t>(value);
        while (high != 0) {
            const uint32_t upper = ((high % 10) << 16) | (low >> 16);
            const uint32_t lower = ((upper % 10) << 16) | (low & 0xffff);
            digits[n++] = static_cast<char>('0' + lower % 10);
            high /= 10;
            low = ((upper / 10) << 16) | (lower / 10);
        }
        do {
            digits[n++] = static_cast<char>('0' + low % 10);
            low /= 10;
        } while ((low != 0 || n < width) && n < 20);
        for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
        out[n] = '\0';
        return static_cast<size_t>(n);
    }

    // The record writer's forms; OUT must hold 12 bytes.
    static void Unsigned(uint32_t value, char* out) { WriteUnsigned(value, out); }
    static void Signed(int32_t value, char* out) { Write(value, out); }
};
