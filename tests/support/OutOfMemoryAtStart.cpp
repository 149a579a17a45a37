// Preloaded into a program (LD_PRELOAD) to play a device that runs out of
// memory as it starts: from the look-up of KELT_PATH that $OOM_AT_LOOKUP
// counts (default the second), every operator new throws std::bad_alloc.
// cdrd looks it up for its instance lock, then for the log stream's size
// limit, then while it loads its settings. The program itself is unchanged;
// this is the memory limit.
#include <cstdlib>
#include <cstring>
#include <new>

extern char** environ;

namespace {
bool gExhausted = false;
int gLookups = 0;

char* Find(const char* name) {
    const size_t length = std::strlen(name);
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, name, length) == 0 && (*e)[length] == '=')
            return *e + length + 1;
    }
    return nullptr;
}

}  // namespace

extern "C" char* getenv(const char* name) {
    const char* at = Find("OOM_AT_LOOKUP");
    if (std::strcmp(name, "KELT_PATH") == 0 && ++gLookups == (at ? std::atoi(at) : 2))
        gExhausted = true;
    return Find(name);
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
