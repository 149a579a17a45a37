#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sys/System.h"

namespace Configuration {

// What was done to a file since it was last saved whole, kept in a second
// file so that a crash or a power cut loses none of it: an append-only
// sequence of frames, each a 4-byte length, a CRC-32 and the caller's
// payload (lengths big-endian).
//
// Append adds a frame with one write and does not wait for the storage;
// Sync makes every frame appended so far durable with one fdatasync. Read
// gives the intact frames in order: a frame cut short at the end of the file
// (a power cut during its append, or blocks of zeros where the file grew but
// its data never reached the disk) is left out, and any other damage ends
// the reading there and is named, so the caller can move the file aside.
// Anything at the path that is not a regular file is damage too. Reset
// empties the journal once the file it serves has been saved. A failed
// append leaves the journal as it was before it.
//
// The journal is opened at the first Append, created 0666 less the
// file-creation mask in a trusted directory (see DurableFile::OpenDirectory)
// without following a link. Appending starts right after the last whole
// frame: a torn end is cut off first, so that new frames never follow
// broken bytes; a journal not Read before is read then, and moved aside
// when damaged. Errors throw FileError naming the path and the system's
// error. The journal is only one process's: two writers would interleave.
// FS is the seam for system calls (null: the real ones); it must outlive the
// object. Not thread-safe.
class Journal {
public:
    explicit Journal(std::string path);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    struct Contents {
        std::vector<std::string> frames;
        bool tornTail = false;  // a frame cut short at the end was left out
        std::string damage;     // not empty: why the frames after the last one could not be read
    };
    // Reads the journal from storage; no file gives no frames.
    Contents Read();

    void Append(std::string_view payload);
    // Makes what was appended, or found by Read, durable; does nothing
    // when there is nothing.
    void Sync();
    bool Pending() const { return mPending; }
    void Reset();
    // The file goes: moved aside as PATH.damaged, or removed.
    void MoveAside();
    void Remove();

    const std::string& Path() const { return mPath; }
    // The largest payload Append takes; Read calls a longer frame damage.
    static constexpr size_t kMaxPayload = 1 << 20;

private:
    void Open();
    void Close();

    std::string mPath;
    int mFd = -1;
    off_t mSize = 0;        // bytes of whole frames in the file
    bool mRead = false;     // mSize is known: Read, Reset or a new file told it
    bool mDamaged = false;  // the last Read found damage: moved aside before any append
    bool mTail = false;     // bytes follow the whole frames: cut off before the next append
    bool mPending = false;
};

}  // namespace Configuration
