#include "platform/config/DurableFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/config/FileError.h"
#include "platform/config/TrustedDirectory.h"

namespace Configuration {

namespace {

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// Closes FD unless released; keeps errno of the failure being reported.
class FdCloser {
public:
    FdCloser(System& fs, int fd) : mFs(fs), mFd(fd) {}
    ~FdCloser() {
        if (mFd >= 0) {
            int saved = errno;
            mFs.Close(mFd);
            errno = saved;
        }
    }
    int Release() {
        int fd = mFd;
        mFd = -1;
        return fd;
    }
    int Fd() const { return mFd; }

private:
    System& mFs;
    int mFd;
};

void SyncDirectory(System& fs, const std::string& dir, const std::string& path) {
    int fd = fs.Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        throw FileError(path, ErrnoText("cannot open directory for sync"));
    FdCloser closer(fs, fd);
    if (fs.Fsync(fd) != 0)
        throw FileError(path, ErrnoText("directory sync failed"));
}

// mkdir -p of DIR, syncing each parent that gains an entry so the new
// directories survive a power loss together with the file. Made 0755 less
// the file-creation mask: never writable by group or others (see
// TrustedDirectory).
void MakeParents(System& fs, const std::string& dir, const std::string& path) {
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        std::string part = dir.substr(0, pos);
        if (fs.Mkdir(part.c_str(), 0755) == 0) {
            SyncDirectory(fs, DirectoryOf(part), path);
        } else if (errno != EEXIST) {
            throw FileError(path, ErrnoText(("cannot create directory " + part).c_str()));
        }
    }
}

}  // namespace

void DurableFile::CheckPath(const std::string& path) {
    System& fs = System::Default();
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        struct stat st;
        if (fs.Lstat(part.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return;  // made later, and checked again then
            throw FileError(path, ErrnoText(("cannot examine " + part).c_str()));
        }
        if (S_ISLNK(st.st_mode))
            throw FileError(path, part + " is a link, not followed");
        if (end == std::string::npos)
            return;
        if (!S_ISDIR(st.st_mode))
            throw FileError(path, part + " is not a directory");
        // The file's own directory is judged where a file is written in it.
        if (path.find('/', end + 1) == std::string::npos)
            continue;
        if (st.st_uid != 0 && st.st_uid != geteuid())
            throw FileError(path, part + " is a directory owned by another user");
        if ((st.st_mode & S_IWOTH) && !TrustedDirectory::Sticky(st))
            throw FileError(path, part + " is a directory others may write");
    }
}

int DurableFile::OpenDirectory(const std::string& path) {
    System& fs = System::Default();
    const std::string dir = DirectoryOf(path);
    CheckPath(path);
    int fd = fs.Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0 && errno == ENOENT) {
        MakeParents(fs, dir, path);
        CheckPath(path);  // what another made meanwhile is not taken
        fd = fs.Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    }
    if (fd < 0)
        throw FileError(path, ErrnoText(("cannot open directory " + dir).c_str()));
    FdCloser closer(fs, fd);
    struct stat st;
    if (fs.Fstat(fd, &st) != 0)
        throw FileError(path, ErrnoText(("cannot examine directory " + dir).c_str()));
    if (const char* why = TrustedDirectory::Check(st))
        throw FileError(path, std::string(why) + ": " + dir + " is not written in");
    return closer.Release();
}

namespace {

// Mode 0666 less the file-creation mask: the mask decides who may read.
int CreateTemporary(System& fs, const std::string& tmp, const std::string& path) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = fs.Open(tmp.c_str(), flags, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            break;
        fs.Unlink(tmp.c_str());  // left by a crash, or a planted symlink: never followed
    }
    throw FileError(path, ErrnoText("cannot create temporary file"));
}

}  // namespace

namespace {

void RefuseEmpty(const std::string& path) {
    // An empty name would otherwise mean the working directory's ".tmp".
    if (path.empty())
        throw FileError(path, "empty file path");
}

// Reads straight into the buffer: a record file is read whole, and copying
// it through a bounce buffer costs as much as parsing it. Only a regular
// file is read: a device or a FIFO could block or never end.
template <class Buffer>
bool ReadWhole(System& fs, const std::string& path, Buffer* contents, int flags = 0) {
    RefuseEmpty(path);
    contents->resize(0);
    // Non-blocking: a FIFO at the path must not hold the reader.
    int fd = fs.Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags, 0);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        throw FileError(path, ErrnoText("cannot open"));
    }
    FdCloser closer(fs, fd);
    struct stat st;
    if (fs.Fstat(fd, &st) != 0)
        throw FileError(path, ErrnoText("cannot examine"));
    if (S_ISDIR(st.st_mode))
        errno = EISDIR;
    if (!S_ISREG(st.st_mode))
        throw FileError(path,
                        S_ISDIR(st.st_mode) ? ErrnoText("cannot read") : "not a regular file");
    size_t size = static_cast<size_t>(st.st_size);
    contents->resize(size + 1);  // one spare byte shows the end without a second read when exact
    size_t have = 0;
    for (;;) {
        if (have == contents->size())
            contents->resize(contents->size() * 2 + 4096);
        ssize_t n = fs.Read(fd, contents->data() + have, contents->size() - have);
        if (n > 0) {
            have += static_cast<size_t>(n);
        } else if (n == 0) {
            contents->resize(have);
            return true;
        } else if (errno != EINTR) {
            throw FileError(path, ErrnoText("cannot read"));
        }
    }
}

}  // namespace

bool DurableFile::ReadOwn(const std::string& path, std::string* contents) {
    CheckPath(path);
    return ReadWhole(System::Default(), path, contents, O_NOFOLLOW);
}

bool DurableFile::ReadOwn(const std::string& path, FileBuffer* contents) {
    CheckPath(path);
    return ReadWhole(System::Default(), path, contents, O_NOFOLLOW);
}

bool DurableFile::Read(const std::string& path, std::string* contents) {
    return ReadWhole(System::Default(), path, contents);
}

bool DurableFile::Read(const std::string& path, FileBuffer* contents) {
    return ReadWhole(System::Default(), path, contents);
}

void DurableFile::Replace(const std::string& path, const std::string& contents) {
    Replace(path, [&contents](const Emit& emit) { emit(contents.data(), contents.size()); });
}

void DurableFile::Replace(const std::string& path, const Producer& produce) {
    System& fs = System::Default();
    ReplaceWith(path, [&](int fd) {
        produce([&](const char* data, size_t size) {
            if (!fs.WriteAll(fd, data, size))
                throw FileError(path, ErrnoText("write failed"));
        });
    });
}

void DurableFile::ReplaceFromPieces(const std::string& path, const PiecesProducer& produce) {
    System& fs = System::Default();
    ReplaceWith(path, [&](int fd) {
        produce([&](const struct iovec* pieces, int count) {
            if (!fs.WriteAll(fd, pieces, count))
                throw FileError(path, ErrnoText("write failed"));
        });
    });
}

void DurableFile::ReplaceWith(const std::string& path, const std::function<void(int fd)>& write) {
    System& fs = System::Default();
    RefuseEmpty(path);
    FdCloser directory(fs, OpenDirectory(path));
    const std::string tmp = path + ".tmp";
    int fd = CreateTemporary(fs, tmp, path);
    try {
        FdCloser closer(fs, fd);
        write(fd);
        if (fs.Fsync(fd) != 0)
            throw FileError(path, ErrnoText("sync failed"));
        // A close error can report a lost write on some file systems.
        if (fs.Close(closer.Release()) != 0)
            throw FileError(path, ErrnoText("close failed"));
        if (fs.Rename(tmp.c_str(), path.c_str()) != 0)
            throw FileError(path, ErrnoText("rename failed"));
    } catch (...) {
        int saved = errno;
        fs.Unlink(tmp.c_str());
        errno = saved;
        throw;
    }
    // The new file is in place; only its directory entry may still be volatile.
    if (fs.Fsync(directory.Fd()) != 0)
        throw FileError(path, ErrnoText("directory sync failed"));
}

void DurableFile::SyncDirectoriesOf(const std::string& path) {
    System& fs = System::Default();
    for (std::string dir = DirectoryOf(path);; dir = DirectoryOf(dir)) {
        SyncDirectory(fs, dir, path);
        if (dir == "/" || dir == ".")
            break;
    }
}

bool DurableFile::MoveAside(const std::string& path, const std::string& aside) {
    System& fs = System::Default();
    RefuseEmpty(path);
    if (fs.Rename(path.c_str(), aside.c_str()) != 0) {
        if (errno == ENOENT)
            return false;
        throw FileError(path, ErrnoText(("cannot move aside to " + aside).c_str()));
    }
    SyncDirectory(fs, DirectoryOf(path), path);
    return true;
}

void DurableFile::KeepAside(const std::string& path, const std::string& aside) {
    System& fs = System::Default();
    RefuseEmpty(path);
    if (fs.Unlink(aside.c_str()) != 0 && errno != ENOENT)
        throw FileError(aside, ErrnoText("cannot replace"));
    if (fs.Link(path.c_str(), aside.c_str()) != 0)
        throw FileError(path, ErrnoText(("cannot keep as " + aside).c_str()));
    SyncDirectory(fs, DirectoryOf(path), path);
}

}  // namespace Configuration
