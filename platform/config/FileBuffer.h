#pragma once

#include <cstddef>
#include <string_view>

namespace Configuration {

// A byte buffer in pages of its own (an anonymous mapping), for reading a
// whole record file. When it goes, its memory goes back to the system at
// once; a heap buffer of a file's size would leave a hole that the records
// allocated after it keep from being returned, and a daemon would hold that
// much more for its life.
//
// Owns its mapping; not copyable. Resize throws std::bad_alloc when the
// system has no memory. Not thread-safe.
class FileBuffer {
public:
    FileBuffer() = default;
    ~FileBuffer();
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // Keeps the first min(old, new) bytes.
    void resize(size_t size);
    char* data() { return mpData; }
    size_t size() const { return mSize; }
    std::string_view View() const { return std::string_view(mpData, mSize); }

private:
    char* mpData = nullptr;
    size_t mSize = 0;
    size_t mCapacity = 0;
};

}  // namespace Configuration
