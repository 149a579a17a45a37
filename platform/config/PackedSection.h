#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Configuration {

// The entries of one section, kept as the lines of text that a save writes
// ("key=value\n", escaped by TextFormat), in a single heap block. Saving
// copies the block as it stands, and a record costs its text and the 16
// bytes of this object: no node or string per entry. The caller encodes and
// decodes the lines (MultiSectionConfigFile with its TextFormat).
//
// Owns its block; movable, not copyable. Text() stays valid until the section
// is next changed. Not thread-safe.
class PackedSection {
public:
    PackedSection() = default;
    ~PackedSection();
    PackedSection(PackedSection&& other) noexcept;
    PackedSection& operator=(PackedSection&& other) noexcept;
    PackedSection(const PackedSection&) = delete;
    PackedSection& operator=(const PackedSection&) = delete;

    // LINE is one encoded entry, ending in "\n".
    void AppendLine(std::string_view line);
    // Replaces the LENGTH bytes at AT, a whole line, by LINE.
    void ReplaceLine(size_t at, size_t length, std::string_view line);
    // Every line, in order.
    std::string_view Text() const { return std::string_view(mpData, mSize); }

    size_t PackedBytes() const { return mSize; }
    // An independent copy in a block of the text's size rounded up to a
    // multiple of GRANULE bytes.
    PackedSection Clone(size_t granule = 1) const;
    // Removes every entry but keeps the block for use again.
    void Clear() { mSize = 0; }
    size_t Capacity() const { return mCapacity; }
    // Copies OTHER's entries into this block, which must hold OTHER's bytes.
    void CopyFrom(const PackedSection& other);

private:
    void Reserve(size_t needed);
    void Splice(size_t at, size_t removed, std::string_view inserted);

    char* mpData = nullptr;
    uint32_t mSize = 0;
    uint32_t mCapacity = 0;
};

}  // namespace Configuration
