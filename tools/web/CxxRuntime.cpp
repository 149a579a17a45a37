// What cdrweb takes from the shared C++ library otherwise: memory for new
// and delete, and the library's reports of a broken precondition (a string
// made too long or from null, a position past the end). With these here,
// and std::string's members made in the program (see CMakeLists.txt), cdrweb
// loads no C++ library at all: the dynamic loader's work on it was most of
// a page view's instructions.
//
// The code is built without exceptions, so each of these ends the request:
// it writes a 500 answer that needs no memory and exits.
#include <sys/uio.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/sys/System.h"

namespace {

[[noreturn]] void Fail(const char* why) {
    static const char kFailed[] =
        "Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\ncdrweb failed: ";
    struct iovec pieces[3] = {{const_cast<char*>(kFailed), sizeof kFailed - 1},
                              {const_cast<char*>(why), strlen(why)},
                              {const_cast<char*>("\n"), 1}};
    System::Default().WriteAll(STDOUT_FILENO, pieces, 3);
    _exit(1);
}

}  // namespace

void* operator new(size_t size) {
    void* memory = malloc(size ? size : 1);
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
