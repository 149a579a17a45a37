#pragma once

#include <pthread.h>

// Threads and the process's own command line.
class Thread {
public:
    using Routine = unsigned long (*)(void*);

    // Runs ROUTINE(ARG) on a new thread with STACK_SIZE bytes of stack (0: the
    // default). Returns the thread's id, or 0 when it could not be started.
    // The thread is joinable: Join it, or let it run until the process ends.
    static unsigned long BeginThread(Routine routine, void* arg, unsigned long stackSize);
    // Waits for a thread started by BeginThread to end.
    static void Join(unsigned long id);

    // Writes a NUL-terminated text of at most SIZE bytes into BUFFER, from
    // /proc/self. PROGRAM_ONLY: the program itself, as the real path of the
    // executable when RESOLVED, else as started (argv[0]). Otherwise the
    // arguments after the program, separated by single blanks, each in double
    // quotes when QUOTED. Returns false (and an empty text) when /proc cannot
    // be read.
    static bool GetCommandLine(char* buffer, unsigned int size, bool programOnly, bool quoted,
                               bool resolved);
};
