#pragma once
// A file system in memory that knows, beside what reads see, what a power
// cut would leave. Each file keeps its data as of its last sync and the
// writes and truncations since, in order; each directory keeps its entries
// as of its last sync, and the entry changes not synced yet (creates,
// renames, unlinks) are kept in one list, in order. CrashStates()
// builds the states a cut can leave on a Linux file system that commits
// metadata in order:
//  - nothing that was not synced, or everything (a kill, not a cut);
//  - the unsynced entry changes up to any point of their order;
//  - one file's unsynced writes up to any one of them, which is dropped,
//    torn at a 512-byte sector, or left as zeros where it extended the file
//    (the size reached the disk, the blocks did not).
// The crash-state explorer runs the recorder on it through the System
// seam (ModelSystem), the power-cut test through FUSE (powercutfs). Paths
// are absolute within the tree. Not thread-safe.
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
    Tree Now() const { return State(mMeta.size(), true, {}); }
    std::vector<Tree> CrashStates() const;
    // Calls that changed what a cut leaves, so far: the operation boundaries.
    size_t Changes() const { return mChanges; }
    // True when nothing written to the file at PATH waits for a sync (but
    // what a later truncation cut off).
    bool Synced(const std::string& path) const;

    // The calls, as their POSIX namesakes but on inode numbers where those
    // take a descriptor; -errno on failure. Open takes O_CREAT, O_EXCL,
    // O_TRUNC and O_DIRECTORY, and gives the inode.
    int Lookup(const std::string& path) const;
    int Open(const std::string& path, int flags, mode_t mode);
    ssize_t Read(int ino, char* buf, size_t size, off_t offset) const;
    ssize_t Write(int ino, const char* buf, size_t size, off_t offset);
    int Truncate(int ino, off_t size);
    int Sync(int ino);
    int Stat(int ino, struct stat* st) const;
    int Mkdir(const std::string& path, mode_t mode);
    int Unlink(const std::string& path);  // a file
    int Rename(const std::string& from, const std::string& to);
    std::vector<std::string> List(int ino) const;

private:
    struct DataOp {
        off_t at;           // a write's offset, or a truncation's size
        std::string bytes;  // a write's bytes
        bool truncate;
    };
    struct Change {  // of one directory entry
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
    // One file's pending writes in a cut: the first KEEP whole, then the
    // next one as HOW says.
    enum How { kWhole, kDropped, kTorn, kZeros };
    struct Cut {
        int ino = -1;
        size_t keep = 0;
        How how = kWhole;
    };

    // The parent directory of PATH and its last name, or -errno.
    int Parent(const std::string& path, std::string* name) const;
    // Makes PATH the name of a new inode.
    int Enter(const std::string& path, bool dir, mode_t mode);
    void Apply(std::vector<Change> changes);
    void Apply(int ino, DataOp op);
    // The first META entry changes kept, every file's writes (DATA) or
    // none, but for the file CUT names.
    Tree State(size_t meta, bool data, const Cut& cut) const;
    static void Replay(std::string* data, const DataOp& op, How how);

    std::vector<Inode> mInodes;              // 0 unused, 1 the root
    std::vector<std::vector<Change>> mMeta;  // unsynced entry changes, by call
    size_t mChanges = 0;
};

}  // namespace testing_support
