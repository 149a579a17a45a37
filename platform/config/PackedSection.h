#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Configuration {

// The entries of one section, packed into a single heap block:
// for each entry, varint key length, key bytes, varint value length, value
// bytes. A section of typical records costs its text plus a few bytes of
// bookkeeping, instead of a node and two strings per entry.
//
// Owns its block; movable, not copyable. Views returned by Find or handed to
// ForEach stay valid until the section is next changed. Not thread-safe.
class PackedSection {
public:
    PackedSection() = default;
    ~PackedSection();
    PackedSection(PackedSection&& other) noexcept;
    PackedSection& operator=(PackedSection&& other) noexcept;
    PackedSection(const PackedSection&) = delete;
    PackedSection& operator=(const PackedSection&) = delete;

    void Append(std::string_view key, std::string_view value);
    // Replaces the value of the first entry named KEY, or appends the entry.
    void Set(std::string_view key, std::string_view value);
    // The value of the first entry named KEY.
    bool Find(std::string_view key, std::string_view* value) const;

    template <class Visitor>  // Visitor(std::string_view key, std::string_view value)
    void ForEach(Visitor&& visit) const {
        for (size_t pos = 0; pos < mSize;) {
            std::string_view key = Field(&pos);
            std::string_view value = Field(&pos);
            visit(key, value);
        }
    }

    size_t EntryCount() const;
    size_t PackedBytes() const { return mSize; }
    // An independent copy in a block of the packed size rounded up to a
    // multiple of GRANULE bytes.
    PackedSection Clone(size_t granule = 1) const;
    // Removes every entry but keeps the block for use again.
    void Clear() { mSize = 0; }
    size_t Capacity() const { return mCapacity; }
    // Copies OTHER's entries into this block, which must hold OTHER's bytes.
    void CopyFrom(const PackedSection& other);

private:
    std::string_view Field(size_t* pos) const;
    void Reserve(size_t needed);
    void Splice(size_t at, size_t removed, std::string_view inserted);

    char* mpData = nullptr;
    uint32_t mSize = 0;
    uint32_t mCapacity = 0;
};

}  // namespace Configuration
