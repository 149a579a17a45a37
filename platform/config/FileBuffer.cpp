#include "platform/config/FileBuffer.h"
#include "platform/sys/System.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace Configuration {

FileBuffer::~FileBuffer() {
    if (mpData)
        System::Default().Munmap(mpData, mCapacity);
}

void FileBuffer::resize(size_t size) {
    if (size > mCapacity) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t capacity = (size + page - 1) / page * page;
        // Populated at once: the whole buffer is about to be written, and one
        // call is cheaper than a page fault per page.
        void* grown = System::Default().Mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (grown == MAP_FAILED)
            throw std::bad_alloc();
        if (mpData) {
            std::memcpy(grown, mpData, mSize);
            System::Default().Munmap(mpData, mCapacity);
        }
        mpData = static_cast<char*>(grown);
        mCapacity = capacity;
    }
    mSize = size;
}

}  // namespace Configuration
