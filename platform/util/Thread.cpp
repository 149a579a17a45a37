#include "platform/util/Thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/sys/System.h"

namespace {

struct Start {
    Thread::Routine routine;
    void* arg;
};

void* Trampoline(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.routine(start.arg);
    return nullptr;
}

// Appends TEXT to BUFFER within SIZE, always terminated.
void Append(char* buffer, unsigned int size, size_t* used, const char* text, size_t n) {
    size_t room = size - 1 - *used;
    if (n > room)
        n = room;
    std::memcpy(buffer + *used, text, n);
    *used += n;
    buffer[*used] = '\0';
}

}  // namespace

unsigned long Thread::BeginThread(Routine routine, void* arg, unsigned long stackSize) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stackSize)
        pthread_attr_setstacksize(&attr, stackSize);
    pthread_t id;
    Start* start = new Start{routine, arg};
    int rc = pthread_create(&id, &attr, Trampoline, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        return 0;
    }
    return static_cast<unsigned long>(id);
}

void Thread::Join(unsigned long id) {
    pthread_join(static_cast<pthread_t>(id), nullptr);
}

bool Thread::GetCommandLine(char* buffer, unsigned int size, bool programOnly, bool quoted,
                            bool resolved) {
    if (!buffer || size == 0)
        return false;
    buffer[0] = '\0';
    if (programOnly && resolved) {
        ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
        if (n < 0)
            return false;
        buffer[n] = '\0';
        return true;
    }
    System& sys = System::Default();
    const int fd = sys.Open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    char raw[4096];
    const ssize_t n = sys.Read(fd, raw, sizeof raw - 1);
    sys.Close(fd);
    if (n <= 0)
        return false;
    raw[n] = '\0';
    size_t used = 0;
    // cmdline: each argument NUL-terminated; the first is the program.
    const char* p = raw;
    const char* end = raw + n;
    if (programOnly) {
        Append(buffer, size, &used, p, std::strlen(p));
        return true;
    }
    p += std::strlen(p) + 1;
    bool first = true;
    for (; p < end; p += std::strlen(p) + 1) {
        if (!first)
            Append(buffer, size, &used, " ", 1);
        first = false;
        if (quoted)
            Append(buffer, size, &used, "\"", 1);
        Append(buffer, size, &used, p, std::strlen(p));
        if (quoted)
            Append(buffer, size, &used, "\"", 1);
    }
    return true;
}
