// What cdrweb takes from the shared C++ library otherwise: memory for new
// and delete, and the library's reports of a broken precondition (a string
// made too long or from null, a position past the end). With these here,
// and std::string's members made in the program (see CMakeLists.txt), cdrweb
// loads no C++ library at all: the dynamic loader's work on it was most of
// a page view's instructions.
//
// The code is built without exceptions, so each of these ends the request
// (see CxxRuntime.h).
#include "tools/web/CxxRuntime.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/sys/System.h"

namespace {

bool gHeadWritten = false;

[[noreturn]] void Fail(const char* why) {
    static const char kFailed[] =
        "Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\ncdrweb failed: ";
    // After the head, the rows written so far end on a line of their own.
    static const char kCutShort[] = "\"The download is cut short: cdrweb failed: ";
    struct iovec pieces[3] = {{const_cast<char*>(kFailed), sizeof kFailed - 1},
                              {const_cast<char*>(why), strlen(why)},
                              {const_cast<char*>("\n"), 1}};
    if (gHeadWritten) {
        pieces[0] = {const_cast<char*>(kCutShort), sizeof kCutShort - 1};
        pieces[2] = {const_cast<char*>("\"\r\n"), 3};
    }
    System::Default().WriteAll(STDOUT_FILENO, pieces, 3);
    _exit(1);
}

}  // namespace

void CxxRuntime::HeadWritten() {
    gHeadWritten = true;
}

void* operator new(size_t size) {
    // An array too large to count comes as SIZE_MAX: no object is that large.
    void* memory = size <= PTRDIFF_MAX ? malloc(size ? size : 1) : nullptr;
    if (!memory)
        Fail("out of memory");
    return memory;
}

void* operator new[](size_t size) {
    return operator new(size);
}

void operator delete(void* memory) noexcept {
    free(memory);
}

void operator delete[](void* memory) noexcept {
    free(memory);
}

void operator delete(void* memory, size_t) noexcept {
    free(memory);
}

void operator delete[](void* memory, size_t) noexcept {
    free(memory);
}

// The library's own hooks (bits/functexcept.h) for what would have thrown.
namespace std {

void __throw_bad_alloc() {
    Fail("out of memory");
}

void __throw_bad_array_new_length() {
    Fail("out of memory");
}

void __throw_length_error(const char*) {
    Fail("an internal error");
}

void __throw_logic_error(const char*) {
    Fail("an internal error");
}

void __throw_out_of_range_fmt(const char*, ...) {
    Fail("an internal error");
}

}  // namespace std
