#pragma once

#include <cstdint>
#include <string>

// Unsigned 32-bit numbers as four bytes, most significant first, whatever
// the host's byte order: the journal's frames and the queue protocol keep
// them so. Stateless.
namespace BigEndian {

inline void PutU32(char* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(v >> (24 - 8 * i));
}

inline void AppendU32(std::string* out, uint32_t v) {
    char bytes[4];
    PutU32(bytes, v);
    out->append(bytes, 4);
}

// IN must hold four bytes.
inline uint32_t GetU32(const void* in) {
    const unsigned char* bytes = static_cast<const unsigned char*>(in);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | bytes[i];
    return v;
}

}  // namespace BigEndian
