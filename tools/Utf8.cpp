#include "tools/Utf8.h"

size_t Utf8::Sequence(std::string_view text, uint32_t* cp) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t first = byte(0);
    size_t length = 0;
    uint32_t min = 0;
    if (first < 0x80) {
        *cp = first;
        return 1;
    }
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        min = 0x80;
        *cp = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        min = 0x800;
        *cp = first & 0x0F;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        min = 0x10000;
        *cp = first & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        *cp = (*cp << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = *cp >= 0xD800 && *cp <= 0xDFFF;
    if (*cp < min || *cp > 0x10FFFF || surrogate)
        return 0;
    return length;
}
