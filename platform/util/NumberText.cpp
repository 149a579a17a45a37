#include "platform/util/NumberText.h"

#include <cctype>
#include <cstring>

namespace {

// Reads an optional sign and the digits at *TEXT, up to END; the magnitude
// stops at UINT64_MAX / 10 and above. Returns the number of digits.
int Scan(const char** text, const char* end, bool* negative, uint64_t* magnitude) {
    const char* p = *text;
    *negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        *negative = *p++ == '-';
    int digits = 0;
    uint64_t m = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits)
        m = m > UINT64_MAX / 10 - 10 ? UINT64_MAX / 10 : m * 10 + static_cast<uint64_t>(*p - '0');
    *magnitude = m;
    *text = p;
    return digits;
}

const char* SkipBlanks(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    return text;
}

}  // namespace

bool NumberText::Whole(const char* text, int64_t min, int64_t max, int64_t* value) {
    return Whole(std::string_view(text), min, max, value);
}

bool NumberText::Whole(std::string_view text, int64_t min, int64_t max, int64_t* value) {
    bool negative;
    uint64_t magnitude;
    const char* p = text.data();
    const char* const end = p + text.size();
    if (Scan(&p, end, &negative, &magnitude) == 0 || p != end || magnitude > uint64_t{INT64_MAX})
        return false;
    const int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < min || v > max || (negative && min >= 0))
        return false;
    *value = v;
    return true;
}

uint32_t NumberText::LeadingUnsigned32(const char* text) {
    bool negative;
    uint64_t magnitude;
    const char* p = SkipBlanks(text);
    Scan(&p, p + std::strlen(p), &negative, &magnitude);
    const uint32_t v = magnitude > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(magnitude);
    return negative && magnitude <= UINT32_MAX ? 0u - v : v;
}

int32_t NumberText::LeadingSigned32(const char* text) {
    bool negative;
    uint64_t magnitude;
    const char* p = SkipBlanks(text);
    Scan(&p, p + std::strlen(p), &negative, &magnitude);
    if (negative)
        return magnitude > uint64_t{INT32_MAX} + 1
                   ? INT32_MIN
                   : static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    return magnitude > uint64_t{INT32_MAX} ? INT32_MAX : static_cast<int32_t>(magnitude);
}
