#include "platform/config/PackedSection.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace Configuration {

namespace {

size_t VarintSize(size_t n) {
    size_t bytes = 1;
    while (n >= 0x80) {
        n >>= 7;
        ++bytes;
    }
    return bytes;
}

char* PutVarint(char* p, size_t n) {
    while (n >= 0x80) {
        *p++ = static_cast<char>((n & 0x7F) | 0x80);
        n >>= 7;
    }
    *p++ = static_cast<char>(n);
    return p;
}

std::string Encode(std::string_view key, std::string_view value) {
    std::string out(VarintSize(key.size()) + key.size() + VarintSize(value.size()) + value.size(),
                    '\0');
    char* p = PutVarint(&out[0], key.size());
    std::memcpy(p, key.data(), key.size());
    p = PutVarint(p + key.size(), value.size());
    std::memcpy(p, value.data(), value.size());
    return out;
}

}  // namespace

PackedSection::~PackedSection() {
    std::free(mpData);
}

PackedSection::PackedSection(PackedSection&& other) noexcept
    : mpData(std::exchange(other.mpData, nullptr)),
      mSize(std::exchange(other.mSize, 0)),
      mCapacity(std::exchange(other.mCapacity, 0)) {}

PackedSection& PackedSection::operator=(PackedSection&& other) noexcept {
    if (this != &other) {
        std::free(mpData);
        mpData = std::exchange(other.mpData, nullptr);
        mSize = std::exchange(other.mSize, 0);
        mCapacity = std::exchange(other.mCapacity, 0);
    }
    return *this;
}

std::string_view PackedSection::Field(size_t* pos) const {
    size_t n = 0;
    for (int shift = 0;; shift += 7) {
        // Only Splice writes the block, always with whole varint-framed fields.
        assert(*pos < mSize);
        unsigned char b = static_cast<unsigned char>(mpData[(*pos)++]);
        n |= static_cast<size_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    assert(n <= mSize - *pos);
    std::string_view field(mpData + *pos, n);
    *pos += n;
    return field;
}

void PackedSection::Reserve(size_t needed) {
    if (needed <= mCapacity)
        return;
    if (needed > std::numeric_limits<uint32_t>::max())
        throw std::length_error("section too large");
    size_t capacity = mCapacity ? mCapacity : 512;
    while (capacity < needed) capacity *= 2;
    if (capacity > std::numeric_limits<uint32_t>::max())
        capacity = needed;
    void* grown = std::realloc(mpData, capacity);
    if (!grown)
        throw std::bad_alloc();
    mpData = static_cast<char*>(grown);
    mCapacity = static_cast<uint32_t>(capacity);
}

void PackedSection::Splice(size_t at, size_t removed, std::string_view inserted) {
    assert(at + removed <= mSize);
    const size_t newSize = mSize - removed + inserted.size();
    Reserve(newSize);
    std::memmove(mpData + at + inserted.size(), mpData + at + removed, mSize - at - removed);
    if (!inserted.empty())
        std::memcpy(mpData + at, inserted.data(), inserted.size());
    mSize = static_cast<uint32_t>(newSize);
}

void PackedSection::Append(std::string_view key, std::string_view value) {
    const size_t need =
        mSize + VarintSize(key.size()) + key.size() + VarintSize(value.size()) + value.size();
    if (need > std::numeric_limits<uint32_t>::max())
        throw std::length_error("section too large");
    Reserve(need);
    char* p = PutVarint(mpData + mSize, key.size());
    if (!key.empty())
        std::memcpy(p, key.data(), key.size());
    p = PutVarint(p + key.size(), value.size());
    if (!value.empty())
        std::memcpy(p, value.data(), value.size());
    mSize = static_cast<uint32_t>(p + value.size() - mpData);
}

void PackedSection::Set(std::string_view key, std::string_view value) {
    for (size_t pos = 0; pos < mSize;) {
        const size_t start = pos;
        std::string_view k = Field(&pos);
        Field(&pos);
        if (k == key) {
            Splice(start, pos - start, Encode(key, value));
            return;
        }
    }
    Append(key, value);
}

bool PackedSection::Find(std::string_view key, std::string_view* value) const {
    for (size_t pos = 0; pos < mSize;) {
        std::string_view k = Field(&pos);
        std::string_view v = Field(&pos);
        if (k == key) {
            *value = v;
            return true;
        }
    }
    return false;
}

size_t PackedSection::EntryCount() const {
    size_t count = 0;
    ForEach([&count](std::string_view, std::string_view) { ++count; });
    return count;
}

PackedSection PackedSection::Clone(size_t granule) const {
    PackedSection copy;
    if (mSize > 0) {
        const size_t capacity = (mSize + granule - 1) / granule * granule;
        copy.mpData = static_cast<char*>(std::malloc(capacity));
        if (!copy.mpData)
            throw std::bad_alloc();
        std::memcpy(copy.mpData, mpData, mSize);
        copy.mSize = mSize;
        copy.mCapacity = static_cast<uint32_t>(capacity);
    }
    return copy;
}

void PackedSection::CopyFrom(const PackedSection& other) {
    assert(other.mSize <= mCapacity);  // the caller picks a block that fits
    if (other.mSize > 0)
        std::memcpy(mpData, other.mpData, other.mSize);
    mSize = other.mSize;
}

}  // namespace Configuration
