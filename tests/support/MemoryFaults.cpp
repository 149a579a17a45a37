// Preloaded into a program (LD_PRELOAD) to play a device's memory faults;
// the program itself is unchanged.
//  - Out of memory as it starts: from the look-up of $OOM_LOOKUP_OF
//    (default KELT_PATH) that $OOM_AT_LOOKUP counts (1 for the first),
//    every operator new fails: it calls the program's new handler, or
//    throws std::bad_alloc when there is none. cdrd looks KELT_PATH up for
//    its instance lock, then for the log stream's size limit, then while it
//    loads its settings. With $OOM_IN_MALLOC set, malloc fails from then on
//    too, for a program with its own operator new (cdrweb).
//  - A fault inside the allocator: with $FAULT_IN_MALLOC set, the first
//    malloc after a SIGUSR2 faults while it holds the allocator's lock, as
//    a heap damaged by a wild write makes it do. Whatever then takes the
//    heap (backtrace_symbols, a stream's buffer) waits for ever.
#include <pthread.h>
#include <signal.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

extern char** environ;
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {
bool gExhausted = false;
bool gMallocFails = false;  // with gExhausted
int gLookups = 0;
pthread_mutex_t gLock = PTHREAD_MUTEX_INITIALIZER;
volatile sig_atomic_t gArmed = 0;

char* Find(const char* name) {
    const size_t length = std::strlen(name);
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, name, length) == 0 && (*e)[length] == '=')
            return *e + length + 1;
    }
    return nullptr;
}

__attribute__((constructor)) void ArmOnSignal() {
    gMallocFails = Find("OOM_IN_MALLOC");
    if (Find("FAULT_IN_MALLOC"))
        signal(SIGUSR2, [](int) { gArmed = 1; });
}

// CALL under the allocator's lock, which a fault leaves held.
template <class Call>
auto Locked(Call call) {
    pthread_mutex_lock(&gLock);
    if (gArmed) {
        int* volatile wild = reinterpret_cast<int*>(uintptr_t{16});
        *wild = 1;
    }
    auto result = call();
    pthread_mutex_unlock(&gLock);
    return result;
}

}  // namespace

extern "C" void* malloc(size_t size) {
    return Locked([&] { return gExhausted && gMallocFails ? nullptr : __libc_malloc(size); });
}
extern "C" void* calloc(size_t count, size_t size) {
    return Locked([&] { return __libc_calloc(count, size); });
}
extern "C" void* realloc(void* p, size_t size) {
    return Locked([&] { return __libc_realloc(p, size); });
}
extern "C" void free(void* p) {
    Locked([&] {
        __libc_free(p);
        return 0;
    });
}

extern "C" char* getenv(const char* name) {
    const char* at = Find("OOM_AT_LOOKUP");
    const char* of = Find("OOM_LOOKUP_OF");
    if (at && std::strcmp(name, of ? of : "KELT_PATH") == 0 && ++gLookups == std::atoi(at))
        gExhausted = true;
    return Find(name);
}

// As the library's own: a program's new handler is called before anything throws.
void* operator new(std::size_t size) {
    for (;;) {
        if (void* p = gExhausted ? nullptr : std::malloc(size ? size : 1))
            return p;
        const std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t size) {
    return operator new(size);
}
