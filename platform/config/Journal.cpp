#include "platform/config/Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>

#include <cerrno>
#include <utility>

#include "platform/config/BigEndian.h"
#include "platform/config/DurableFile.h"
#include "platform/config/FileError.h"

namespace Configuration {

namespace {

// CRC-32 of IEEE 802.3 (as zlib), by a table made at first use.
uint32_t Crc32(std::string_view data) {
    static const auto table = [] {
        struct Table {
            uint32_t entries[256];
        } t;
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t.entries[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) crc = table.entries[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

using BigEndian::GetU32;
using BigEndian::PutU32;

}  // namespace

Journal::Journal(std::string path) : mPath(std::move(path)) {}

Journal::~Journal() {
    Close();
}

void Journal::Close() {
    if (mFd >= 0)
        System::Default().Close(mFd);
    mFd = -1;
}

Journal::Contents Journal::Read() {
    Contents contents;
    std::string text;
    struct stat st;
    mSize = 0;
    mTail = false;
    if (System::Default().Lstat(mPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        mRead = mDamaged = true;
        contents.damage = "not a regular file";
        return contents;
    }
    // Known only once read: a journal that cannot be read is not cut short.
    mRead = !DurableFile::ReadOwn(mPath, &text);
    mDamaged = false;
    if (mRead)
        return contents;
    size_t at = 0;
    while (at < text.size()) {
        const size_t left = text.size() - at;
        const uint32_t length = left >= 8 ? GetU32(text.data() + at) : 0;
        // Zeros where a frame should start: a power cut extended the file
        // but its blocks were never written. Only zeros may follow.
        if (left < 8 || length == 0) {
            if (text.find_first_not_of('\0', at) == std::string::npos || left < 8) {
                contents.tornTail = true;
                break;
            }
        }
        if (length > kMaxPayload || length == 0) {
            contents.damage = "frame at byte " + std::to_string(at) + " has an impossible length";
            break;
        }
        if (left - 8 < length) {
            contents.tornTail = true;  // the last frame, cut short
            break;
        }
        std::string_view payload(text.data() + at + 8, length);
        if (Crc32(payload) != GetU32(text.data() + at + 4)) {
            if (at + 8 + length == text.size()) {
                contents.tornTail = true;  // the last frame, its bytes partly written
                break;
            }
            contents.damage = "frame at byte " + std::to_string(at) + " fails its checksum";
            break;
        }
        contents.frames.emplace_back(payload);
        at += 8 + length;
    }
    mSize = static_cast<off_t>(at);
    mTail = at < text.size();
    mDamaged = !contents.damage.empty();
    mRead = true;
    // What a crashed writer left may not be on storage yet: the next Sync
    // makes it so, before anyone counts on it.
    mPending = !contents.frames.empty();
    return contents;
}

void Journal::Open() {
    if (mFd >= 0)
        return;
    if (!mRead)
        Read();
    if (mDamaged)
        MoveAside();  // kept for a person: what follows the damage must not be cut off
    const int dir = DurableFile::OpenDirectory(mPath);
    // Non-blocking: a FIFO planted at the path must not hold the recorder.
    mFd = System::Default().Open(
        mPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st;
    const bool ok = mFd >= 0 && System::Default().Fstat(mFd, &st) == 0;
    const bool regular = ok && S_ISREG(st.st_mode);
    const int saved = errno;
    // A new journal must not vanish with its directory entry: sync that once.
    if (regular)
        System::Default().Fsync(dir);
    System::Default().Close(dir);
    errno = saved;
    if (!regular) {
        Close();
        throw FileError(mPath, ok ? "cannot open journal: not a regular file"
                                  : ErrnoText("cannot open journal"));
    }
    // What the last Read found whole stays; anything after it goes before
    // the first append.
    mTail = mTail || st.st_size > mSize;
}

void Journal::Append(std::string_view payload) {
    if (payload.empty() || payload.size() > kMaxPayload)
        throw FileError(mPath, "journal frame of " + std::to_string(payload.size()) + " bytes");
    Open();
    char header[8];
    PutU32(header, static_cast<uint32_t>(payload.size()));
    PutU32(header + 4, Crc32(payload));
    const struct iovec pieces[2] = {{header, sizeof header},
                                    {const_cast<char*>(payload.data()), payload.size()}};
    // A torn end, or a failed append, is cut off again, so that frames
    // written later do not follow broken bytes; until that has worked,
    // nothing is appended. The cut reaches the disk with the next sync.
    if (mTail) {
        if (System::Default().Ftruncate(mFd, mSize) != 0)
            throw FileError(mPath, ErrnoText("journal append failed"));
        mTail = false;
    }
    if (!System::Default().WriteAll(mFd, pieces, 2)) {
        const int saved = errno;
        mTail = System::Default().Ftruncate(mFd, mSize) != 0;
        errno = saved;
        throw FileError(mPath, ErrnoText("journal append failed"));
    }
    mSize += static_cast<off_t>(sizeof header + payload.size());
    mPending = true;
}

void Journal::Sync() {
    if (!mPending)
        return;
    Open();
    // Never retried into a success: the pages may be gone from the cache.
    mPending = false;
    if (System::Default().Fdatasync(mFd) != 0)
        throw FileError(mPath, ErrnoText("journal sync failed"));
}

void Journal::Reset() {
    if (mFd < 0 && mRead && mSize == 0 && !mTail)
        return;  // nothing in it, and nothing written since
    Open();
    mPending = false;
    // Not synced: a journal that comes back after a crash holds only what
    // the saved file holds already, which the replay skips.
    if (System::Default().Ftruncate(mFd, 0) != 0)
        throw FileError(mPath, ErrnoText("cannot empty journal"));
    mSize = 0;
    mTail = false;
}

void Journal::MoveAside() {
    Close();
    mPending = mTail = mDamaged = false;
    mSize = 0;
    mRead = true;  // what is at the path from now on is new
    DurableFile::MoveAside(mPath, mPath + ".damaged");
}

void Journal::Remove() {
    Close();
    mPending = mTail = mDamaged = false;
    mSize = 0;
    mRead = true;
    if (System::Default().Unlink(mPath.c_str()) != 0 && errno != ENOENT)
        throw FileError(mPath, ErrnoText("cannot remove journal"));
}

}  // namespace Configuration
