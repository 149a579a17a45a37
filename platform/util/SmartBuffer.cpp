#include "platform/util/SmartBuffer.h"

SmartBuffer::SmartBuffer(size_t size)
    // A zero size would leave callers no room for the terminating NUL.
    : mpBuffer(new char[size ? size : 1]()), mSize(size ? size : 1) {}

SmartBuffer::~SmartBuffer() {
    delete[] mpBuffer;
}
