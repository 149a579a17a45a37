#pragma once
// A file system in memory that knows, beside what reads see, what a power
// cut would leave. Each file keeps its data as of its last sync and the
// writes and truncations since, in order; each directory keeps its entries
// as of its last sync, and the creates, links, renames and unlinks not yet
// synced are kept in one list, in order. CrashStates() builds the states a
// cut can leave on a Linux file system that commits metadata in order:
//  - nothing that was not synced, and everything (a kill, not a cut);
//  - the unsynced entry changes up to any point of their order, the rest
//    undone;
//  - one file's unsynced writes up to any one of them, which is dropped,
//    torn at a 512-byte sector, or kept as zeros where it extended the file
//    (the size reached the disk, the blocks did not).
// The crash-state explorer runs the recorder on it through the System
// seam, the power-cut test through FUSE. Paths are absolute within the
// tree. Not thread-safe.
#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

class PowerCutFs {
public:
    // A whole tree: each path with its contents; a directory's path ends in '/'.
    using Tree = std::map<std::string, std::string>;

    PowerCutFs() { Load({}); }
    // Replaces everything by TREE, all of it synced.
    void Load(const Tree& tree);
    Tree Now() const;
    std::vector<Tree> CrashStates() const;
    // Calls that changed what a cut leaves so far: the operation boundaries.
    size_t Changes() const { return mChanges; }

    // The calls on files and directories, as their POSIX namesakes but on
    // inode numbers where those take a descriptor: -errno on failure.
    int Lookup(const std::string& path) const;
    // O_CREAT, O_EXCL, O_TRUNC and O_DIRECTORY count; the inode.
    int Open(const std::string& path, int flags, mode_t mode);
    ssize_t Read(int ino, char* buf, size_t size, off_t offset) const;
    ssize_t Write(int ino, const char* buf, size_t size, off_t offset);
    int Truncate(int ino, off_t size);
    int Sync(int ino);
    int Stat(int ino, struct stat* st) const;
    int Chmod(int ino, mode_t mode);
    int Mkdir(const std::string& path, mode_t mode);
    int Unlink(const std::string& path, bool directory = false);
    int Rename(const std::string& from, const std::string& to);
    int Link(const std::string& from, const std::string& to);
    std::vector<std::string> List(int ino) const;
    // True when the file at PATH has nothing that a cut would lose.
    bool Synced(const std::string& path) const;

private:
    struct DataOp {
        off_t at;           // a write's offset, or a truncation's size
        std::string bytes;  // a write's bytes; a truncation has none
        bool truncate;
    };
    struct Change {
        int dir;
        std::string name;
        int ino;  // -1: the name goes
    };
    struct Inode {
        bool dir = false;
        mode_t mode = 0;
        std::string data, synced;
        std::vector<DataOp> pending;
        std::map<std::string, int> entries, syncedEntries;
    };
    // How one file's pending writes are cut: the first KEEP whole, then the
    // next one as HOW says.
    enum How { kWhole, kDropped, kTornEarly, kTornLate, kZeros };
    struct FileCut {
        int ino = -1;
        size_t keep = 0;
        How how = kDropped;
    };

    // The parent directory's inode and the last name of PATH, or -errno.
    int Parent(const std::string& path, std::string* name) const;
    int NewInode(bool dir, mode_t mode);
    void Apply(const std::vector<Change>& changes);
    // The state that keeps the first META entry changes, DATA_ALL (every
    // file's writes) or none, except for the file CUT says.
    Tree State(size_t meta, bool dataAll, const FileCut& cut) const;
    static void Replay(std::string* data, const DataOp& op, How how);

    std::vector<Inode> mInodes;              // 0 unused, 1 the root
    std::vector<std::vector<Change>> mMeta;  // unsynced entry changes, each one call's
    size_t mChanges = 0;
};

}  // namespace testing_support
