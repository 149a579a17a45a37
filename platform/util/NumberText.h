#pragma once

#include <cstdint>
#include <string_view>

// Decimal numbers in text, the one way the program reads them: blanks
// before the number only where a reading says so, an optional sign, then
// digits, counted in 64 bits that stop at their largest value, so a reading
// gives the same on the 32-bit device and on a 64-bit host. Stateless.
class NumberText {
public:
    // The whole of TEXT is one number within MIN and MAX ("+" allowed, "-"
    // only when MIN is negative; no blanks). False, *VALUE unchanged, else.
    static bool Whole(const char* text, int64_t min, int64_t max, int64_t* value);
    static bool Whole(std::string_view text, int64_t min, int64_t max, int64_t* value);

    // The number TEXT begins with, as the device's 32-bit strtoul reads it:
    // leading blanks and a sign accepted, reading stops at the first
    // non-digit, no digits give 0, beyond 2^32 - 1 gives 2^32 - 1, and a
    // minus negates modulo 2^32.
    static uint32_t LeadingUnsigned32(const char* text);
    // The same as a signed 32-bit count that stops at its limits.
    static int32_t LeadingSigned32(const char* text);
};
