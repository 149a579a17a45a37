#pragma once

#include <cstddef>

// An owned, zero-filled character buffer of a fixed size.
//
// The buffer lives as long as the object; GetBuffer() always points at
// GetSize() writable bytes. Not copyable; movable is not needed.
class SmartBuffer {
public:
    static constexpr size_t kDefaultSize = 256;

    explicit SmartBuffer(size_t size = kDefaultSize);
    ~SmartBuffer();
    SmartBuffer(const SmartBuffer&) = delete;
    SmartBuffer& operator=(const SmartBuffer&) = delete;

    char* GetBuffer() { return mpBuffer; }
    const char* GetBuffer() const { return mpBuffer; }
    size_t GetSize() const { return mSize; }

private:
    char* mpBuffer;
    size_t mSize;
};
