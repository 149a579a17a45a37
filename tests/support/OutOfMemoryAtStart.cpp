// Preloaded into cdrd (LD_PRELOAD) to play a device that runs out of memory
// as the daemon starts: from the second look-up of KELT_PATH, which the
// manager makes while it loads its settings (the first is the log stream's,
// for its size limit), every operator new throws std::bad_alloc. The daemon
// itself is unchanged; this is the memory limit.
#include <cstdlib>
#include <cstring>
#include <new>

extern char** environ;

namespace {
bool gExhausted = false;
int gLookups = 0;
}  // namespace

extern "C" char* getenv(const char* name) {
    const size_t length = std::strlen(name);
    if (std::strcmp(name, "KELT_PATH") == 0 && ++gLookups == 2)
        gExhausted = true;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, name, length) == 0 && (*e)[length] == '=')
            return *e + length + 1;
    }
    return nullptr;
}

void* operator new(std::size_t size) {
    if (gExhausted)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return operator new(size);
}
