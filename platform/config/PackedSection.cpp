#include "platform/config/PackedSection.h"

#include <cassert>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace Configuration {

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

void PackedSection::AppendLine(std::string_view line) {
    assert(!line.empty() && line.back() == '\n');  // whole lines keep the text a file body
    if (mSize + line.size() > std::numeric_limits<uint32_t>::max())
        throw std::length_error("section too large");
    Reserve(mSize + line.size());
    std::memcpy(mpData + mSize, line.data(), line.size());
    mSize += static_cast<uint32_t>(line.size());
}

void PackedSection::ReplaceLine(size_t at, size_t length, std::string_view line) {
    assert(!line.empty() && line.back() == '\n');
    Splice(at, length, line);
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
