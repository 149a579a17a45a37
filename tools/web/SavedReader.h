#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

// The page's reader of the saved files while cdrd is down: "cdrctl
// serve-saved", which answers the status and read commands from the files
// as cdrd would from memory. So cdrweb itself carries no reader of record
// files, and the files are read by the code that reads them everywhere else.
//
// The program is $CDRWEB_CDRCTL, or the installed cdrctl. It runs as the
// page does, with one end of a socket pair as its standard input and
// nothing else of the page's open. The destructor ends it (it only reads,
// so a kill loses nothing) and waits for it. One object per request.
class SavedReader {
public:
    SavedReader() = default;
    ~SavedReader();
    SavedReader(const SavedReader&) = delete;
    SavedReader& operator=(const SavedReader&) = delete;

    // Starts the reader of the databases that KINDS selects (bits 1, 2, 4);
    // returns the page's end of the socket, owned by the caller, or -1 with
    // *ERROR.
    int Start(uint8_t kinds, std::string* error);
    // The program started, for messages.
    static const char* Program();

private:
    // In the child: becomes PROGRAM with FD as its standard input, or
    // writes the errno of the failure to FAILED. Returns never.
    [[noreturn]] static void BecomeReader(const char* program, const char* kinds, int fd,
                                          int failed);

    pid_t mPid = -1;
};
