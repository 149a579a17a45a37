#include "tests/support/PowerCutFs.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace testing_support {

namespace {
const off_t kSector = 512;
}

void PowerCutFs::Load(const Tree& tree) {
    mInodes.assign(2, Inode());
    mInodes[1].dir = true;
    mInodes[1].mode = 0755;
    mMeta.clear();
    for (const auto& [path, contents] : tree) {
        for (size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            Mkdir(path.substr(0, slash), 0755);  // EEXIST for those made before
        if (path.back() != '/') {
            const int ino = Open(path, O_CREAT | O_WRONLY, 0644);
            Write(ino, contents.data(), contents.size(), 0);
        }
    }
    for (Inode& inode : mInodes) {
        inode.synced = inode.data;
        inode.pending.clear();
        inode.syncedEntries = inode.entries;
    }
    mMeta.clear();
}

PowerCutFs::Tree PowerCutFs::Now() const {
    return State(mMeta.size(), true, FileCut());
}

std::vector<PowerCutFs::Tree> PowerCutFs::CrashStates() const {
    std::vector<Tree> states;
    for (size_t meta = 0; meta <= mMeta.size(); ++meta) {
        states.push_back(State(meta, false, FileCut()));
        states.push_back(State(meta, true, FileCut()));
    }
    for (size_t ino = 0; ino < mInodes.size(); ++ino) {
        const std::vector<DataOp>& ops = mInodes[ino].pending;
        size_t size = mInodes[ino].synced.size();
        for (size_t keep = 0; keep < ops.size(); ++keep) {
            const DataOp& op = ops[keep];
            const off_t end = op.at + static_cast<off_t>(op.bytes.size());
            const off_t first = (op.at / kSector + 1) * kSector,
                        last = (end - 1) / kSector * kSector;
            for (How how : {kDropped, kTornEarly, kTornLate, kZeros}) {
                const bool torn = !op.truncate && first < end;
                if ((how == kTornEarly && !torn) ||
                    (how == kTornLate && (!torn || last == first)) ||
                    (how == kZeros && (op.truncate || end <= static_cast<off_t>(size))))
                    continue;
                states.push_back(
                    State(mMeta.size(), true, FileCut{static_cast<int>(ino), keep, how}));
            }
            size =
                op.truncate ? static_cast<size_t>(op.at) : std::max(size, static_cast<size_t>(end));
        }
    }
    return states;
}

void PowerCutFs::Replay(std::string* data, const DataOp& op, How how) {
    if (op.truncate) {
        data->resize(static_cast<size_t>(op.at), '\0');
        return;
    }
    const size_t at = static_cast<size_t>(op.at), old = data->size();
    size_t length = op.bytes.size();
    if (how == kTornEarly)
        length = static_cast<size_t>((op.at / kSector + 1) * kSector - op.at);
    else if (how == kTornLate)
        length = static_cast<size_t>((op.at + static_cast<off_t>(length) - 1) / kSector * kSector -
                                     op.at);
    if (data->size() < at + length)
        data->resize(at + length, '\0');
    // Zeros: the blocks past the old end were never written.
    const size_t written = how == kZeros ? (old > at ? std::min(old - at, length) : 0) : length;
    data->replace(at, written, op.bytes, 0, written);
}

PowerCutFs::Tree PowerCutFs::State(size_t meta, bool dataAll, const FileCut& cut) const {
    std::map<int, std::map<std::string, int>> entries;
    for (size_t ino = 1; ino < mInodes.size(); ++ino)
        if (mInodes[ino].dir)
            entries[static_cast<int>(ino)] = mInodes[ino].syncedEntries;
    for (size_t i = 0; i < meta; ++i)
        for (const Change& c : mMeta[i]) {
            if (c.ino < 0)
                entries[c.dir].erase(c.name);
            else
                entries[c.dir][c.name] = c.ino;
        }
    Tree tree;
    std::vector<std::pair<int, std::string>> dirs = {{1, "/"}};
    while (!dirs.empty()) {
        const auto [dir, path] = dirs.back();
        dirs.pop_back();
        for (const auto& [name, ino] : entries[dir]) {
            const Inode& inode = mInodes[ino];
            if (inode.dir) {
                tree[path + name + "/"];
                dirs.emplace_back(ino, path + name + "/");
                continue;
            }
            std::string& data = tree[path + name];
            if (ino != cut.ino) {
                data = dataAll ? inode.data : inode.synced;
                continue;
            }
            data = inode.synced;
            for (size_t k = 0; k < cut.keep; ++k) Replay(&data, inode.pending[k], kWhole);
            if (cut.how != kDropped)
                Replay(&data, inode.pending[cut.keep], cut.how);
        }
    }
    return tree;
}

int PowerCutFs::Lookup(const std::string& path) const {
    int ino = 1;
    for (size_t at = 0; at < path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        if (end > at) {
            if (!mInodes[ino].dir)
                return -ENOTDIR;
            const auto found = mInodes[ino].entries.find(path.substr(at, end - at));
            if (found == mInodes[ino].entries.end())
                return -ENOENT;
            ino = found->second;
        }
        at = end + 1;
    }
    return ino;
}

int PowerCutFs::Parent(const std::string& path, std::string* name) const {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size())
        return -EINVAL;
    *name = path.substr(slash + 1);
    const int dir = Lookup(path.substr(0, slash));
    return dir < 0 || mInodes[dir].dir ? dir : -ENOTDIR;
}

int PowerCutFs::NewInode(bool dir, mode_t mode) {
    mInodes.emplace_back();
    mInodes.back().dir = dir;
    mInodes.back().mode = mode & 07777;
    return static_cast<int>(mInodes.size() - 1);
}

void PowerCutFs::Apply(const std::vector<Change>& changes) {
    for (const Change& c : changes) {
        if (c.ino < 0)
            mInodes[c.dir].entries.erase(c.name);
        else
            mInodes[c.dir].entries[c.name] = c.ino;
    }
    mMeta.push_back(changes);
    ++mChanges;
}

int PowerCutFs::Open(const std::string& path, int flags, mode_t mode) {
    int ino = Lookup(path);
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (ino == -ENOENT && (flags & O_CREAT)) {
        std::string name;
        const int dir = Parent(path, &name);
        if (dir < 0)
            return dir;
        ino = NewInode(false, mode);
        Apply({{dir, name, ino}});
        return ino;
    }
    if (ino < 0)
        return ino;
    if ((flags & O_CREAT) && (flags & O_EXCL))
        return -EEXIST;
    if ((flags & O_DIRECTORY) && !mInodes[ino].dir)
        return -ENOTDIR;
    if (mInodes[ino].dir && writing)
        return -EISDIR;
    if ((flags & O_TRUNC) && writing && !mInodes[ino].data.empty())
        Truncate(ino, 0);
    return ino;
}

ssize_t PowerCutFs::Read(int ino, char* buf, size_t size, off_t offset) const {
    const std::string& data = mInodes[ino].data;
    if (mInodes[ino].dir)
        return -EISDIR;
    if (static_cast<size_t>(offset) >= data.size())
        return 0;
    const size_t n = std::min(size, data.size() - static_cast<size_t>(offset));
    std::memcpy(buf, data.data() + offset, n);
    return static_cast<ssize_t>(n);
}

ssize_t PowerCutFs::Write(int ino, const char* buf, size_t size, off_t offset) {
    if (mInodes[ino].dir)
        return -EISDIR;
    if (size == 0)
        return 0;
    const DataOp op{offset, std::string(buf, size), false};
    Replay(&mInodes[ino].data, op, kWhole);
    mInodes[ino].pending.push_back(op);
    ++mChanges;
    return static_cast<ssize_t>(size);
}

int PowerCutFs::Truncate(int ino, off_t size) {
    if (mInodes[ino].dir)
        return -EISDIR;
    const DataOp op{size, std::string(), true};
    Replay(&mInodes[ino].data, op, kWhole);
    mInodes[ino].pending.push_back(op);
    ++mChanges;
    return 0;
}

int PowerCutFs::Sync(int ino) {
    ++mChanges;
    Inode& inode = mInodes[ino];
    if (!inode.dir) {
        inode.synced = inode.data;
        inode.pending.clear();
        return 0;
    }
    // The entry changes of this directory reach the disk; those of others wait.
    std::vector<std::vector<Change>> left;
    for (std::vector<Change>& call : mMeta) {
        std::vector<Change> rest;
        for (const Change& c : call) {
            if (c.dir != ino)
                rest.push_back(c);
            else if (c.ino < 0)
                inode.syncedEntries.erase(c.name);
            else
                inode.syncedEntries[c.name] = c.ino;
        }
        if (!rest.empty())
            left.push_back(std::move(rest));
    }
    mMeta = std::move(left);
    return 0;
}

int PowerCutFs::Stat(int ino, struct stat* st) const {
    const Inode& inode = mInodes[ino];
    std::memset(st, 0, sizeof *st);
    st->st_ino = static_cast<ino_t>(ino);
    st->st_mode = (inode.dir ? S_IFDIR : S_IFREG) | inode.mode;
    st->st_nlink = inode.dir ? 2 : 1;
    st->st_uid = geteuid();
    st->st_gid = getegid();
    st->st_size = static_cast<off_t>(inode.dir ? 4096 : inode.data.size());
    st->st_blksize = 4096;
    st->st_blocks = (st->st_size + 511) / 512;
    return 0;
}

int PowerCutFs::Chmod(int ino, mode_t mode) {
    mInodes[ino].mode = mode & 07777;
    return 0;
}

int PowerCutFs::Mkdir(const std::string& path, mode_t mode) {
    std::string name;
    const int dir = Parent(path, &name);
    if (dir < 0)
        return dir;
    if (mInodes[dir].entries.count(name))
        return -EEXIST;
    const int ino = NewInode(true, mode);
    Apply({{dir, name, ino}});
    return ino;
}

int PowerCutFs::Unlink(const std::string& path, bool directory) {
    std::string name;
    const int dir = Parent(path, &name), ino = Lookup(path);
    for (int result : {dir, ino})
        if (result < 0)
            return result;
    if (mInodes[ino].dir != directory)
        return directory ? -ENOTDIR : -EISDIR;
    if (directory && !mInodes[ino].entries.empty())
        return -ENOTEMPTY;
    Apply({{dir, name, -1}});
    return 0;
}

int PowerCutFs::Rename(const std::string& from, const std::string& to) {
    std::string fromName, toName;
    const int fromDir = Parent(from, &fromName), toDir = Parent(to, &toName), ino = Lookup(from);
    for (int result : {fromDir, toDir, ino})
        if (result < 0)
            return result;
    const int target = Lookup(to);
    if (target == ino)
        return 0;
    if (target > 0 && (mInodes[target].dir || mInodes[ino].dir))
        return -EISDIR;  // moving directories is not needed here
    Apply({{toDir, toName, ino}, {fromDir, fromName, -1}});
    return 0;
}

int PowerCutFs::Link(const std::string& from, const std::string& to) {
    std::string name;
    const int dir = Parent(to, &name), ino = Lookup(from);
    for (int result : {dir, ino})
        if (result < 0)
            return result;
    if (mInodes[ino].dir)
        return -EPERM;
    if (mInodes[dir].entries.count(name))
        return -EEXIST;
    Apply({{dir, name, ino}});
    return 0;
}

bool PowerCutFs::Synced(const std::string& path) const {
    const int ino = Lookup(path);
    return ino < 0 || mInodes[ino].pending.empty();
}

std::vector<std::string> PowerCutFs::List(int ino) const {
    std::vector<std::string> names;
    for (const auto& entry : mInodes[ino].entries) names.push_back(entry.first);
    return names;
}

}  // namespace testing_support
