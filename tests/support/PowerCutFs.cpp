#include "tests/support/PowerCutFs.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace testing_support {

namespace {
const size_t kSector = 512;
}

void PowerCutFs::Load(const Tree& tree) {
    mInodes.assign(2, Inode());
    mInodes[1].dir = true;
    mInodes[1].mode = 0755;
    for (const auto& [path, contents] : tree) {
        for (size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            Mkdir(path.substr(0, slash), 0755);  // EEXIST for those made before
        if (path.back() != '/')
            Write(Open(path, O_CREAT | O_WRONLY, 0644), contents.data(), contents.size(), 0);
    }
    for (Inode& inode : mInodes) {
        inode.synced = inode.data;
        inode.pending.clear();
        inode.syncedEntries = inode.entries;
    }
    mMeta.clear();
}

std::vector<PowerCutFs::Tree> PowerCutFs::CrashStates() const {
    std::vector<Tree> states;
    for (size_t meta = 0; meta <= mMeta.size(); ++meta)
        for (bool data : {false, true}) states.push_back(State(meta, data, {}));
    for (size_t ino = 1; ino < mInodes.size(); ++ino) {
        size_t size = mInodes[ino].synced.size();
        const std::vector<DataOp>& ops = mInodes[ino].pending;
        for (size_t keep = 0; keep < ops.size(); ++keep) {
            const DataOp& op = ops[keep];
            const size_t at = static_cast<size_t>(op.at), end = at + op.bytes.size();
            const Cut cut = {static_cast<int>(ino), keep, kDropped};
            states.push_back(State(mMeta.size(), true, cut));
            if (!op.truncate && (at / kSector + 1) * kSector < end)
                states.push_back(State(mMeta.size(), true, {cut.ino, keep, kTorn}));
            if (!op.truncate && end > size)
                states.push_back(State(mMeta.size(), true, {cut.ino, keep, kZeros}));
            size = op.truncate ? at : std::max(size, end);
        }
    }
    return states;
}

void PowerCutFs::Replay(std::string* data, const DataOp& op, How how) {
    const size_t at = static_cast<size_t>(op.at), old = data->size();
    if (op.truncate) {
        data->resize(at, '\0');
        return;
    }
    const size_t length = how == kTorn ? (at / kSector + 1) * kSector - at : op.bytes.size();
    if (old < at + length)
        data->resize(at + length, '\0');
    // Zeros: the blocks past the old end were never written.
    const size_t written = how == kZeros ? std::min(length, old > at ? old - at : 0) : length;
    data->replace(at, written, op.bytes, 0, written);
}

PowerCutFs::Tree PowerCutFs::State(size_t meta, bool data, const Cut& cut) const {
    std::vector<std::map<std::string, int>> entries(mInodes.size());
    for (size_t ino = 1; ino < mInodes.size(); ++ino) entries[ino] = mInodes[ino].syncedEntries;
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
            std::string& text = tree[path + name] = data ? inode.data : inode.synced;
            if (ino != cut.ino)
                continue;
            text = inode.synced;
            for (size_t k = 0; k < cut.keep; ++k) Replay(&text, inode.pending[k], kWhole);
            if (cut.how != kDropped)
                Replay(&text, inode.pending[cut.keep], cut.how);
        }
    }
    return tree;
}

bool PowerCutFs::Synced(const std::string& path) const {
    const int ino = Lookup(path);
    if (ino < 0)
        return true;
    // A write waits unless a later truncation cut it off.
    off_t cut = std::numeric_limits<off_t>::max();
    const std::vector<DataOp>& ops = mInodes[ino].pending;
    for (auto op = ops.rbegin(); op != ops.rend(); ++op) {
        if (op->at >= cut)
            continue;
        if (!op->truncate)
            return false;
        cut = op->at;
    }
    return true;
}

int PowerCutFs::Lookup(const std::string& path) const {
    int ino = 1;
    for (size_t at = 0, end; at < path.size(); at = end + 1) {
        end = std::min(path.find('/', at), path.size());
        if (end == at)
            continue;
        if (!mInodes[ino].dir)
            return -ENOTDIR;
        const auto found = mInodes[ino].entries.find(path.substr(at, end - at));
        if (found == mInodes[ino].entries.end())
            return -ENOENT;
        ino = found->second;
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

int PowerCutFs::Enter(const std::string& path, bool dir, mode_t mode) {
    std::string name;
    const int parent = Parent(path, &name);
    if (parent < 0)
        return parent;
    if (mInodes[parent].entries.count(name))
        return -EEXIST;
    mInodes.emplace_back();
    mInodes.back().dir = dir;
    mInodes.back().mode = mode & 07777;
    const int ino = static_cast<int>(mInodes.size() - 1);
    Apply({{parent, name, ino}});
    return ino;
}

void PowerCutFs::Apply(std::vector<Change> changes) {
    for (const Change& c : changes) {
        if (c.ino < 0)
            mInodes[c.dir].entries.erase(c.name);
        else
            mInodes[c.dir].entries[c.name] = c.ino;
    }
    mMeta.push_back(std::move(changes));
    ++mChanges;
}

void PowerCutFs::Apply(int ino, DataOp op) {
    Replay(&mInodes[ino].data, op, kWhole);
    mInodes[ino].pending.push_back(std::move(op));
    ++mChanges;
}

int PowerCutFs::Open(const std::string& path, int flags, mode_t mode) {
    const int ino = Lookup(path);
    if (ino == -ENOENT && (flags & O_CREAT))
        return Enter(path, false, mode);
    if (ino < 0)
        return ino;
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
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
    const size_t at = std::min(static_cast<size_t>(offset), data.size());
    const size_t n = std::min(size, data.size() - at);
    std::memcpy(buf, data.data() + at, n);
    return mInodes[ino].dir ? -EISDIR : static_cast<ssize_t>(n);
}

ssize_t PowerCutFs::Write(int ino, const char* buf, size_t size, off_t offset) {
    if (mInodes[ino].dir)
        return -EISDIR;
    if (size > 0)
        Apply(ino, {offset, std::string(buf, size), false});
    return static_cast<ssize_t>(size);
}

int PowerCutFs::Truncate(int ino, off_t size) {
    if (mInodes[ino].dir)
        return -EISDIR;
    Apply(ino, {size, std::string(), true});
    return 0;
}

int PowerCutFs::Sync(int ino) {
    ++mChanges;
    Inode& inode = mInodes[ino];
    inode.synced = inode.data;
    inode.pending.clear();
    // A directory's entry changes reach the disk; those of others wait.
    for (std::vector<Change>& call : mMeta)
        call.erase(std::remove_if(call.begin(), call.end(),
                                  [&](const Change& c) {
                                      if (c.dir != ino)
                                          return false;
                                      if (c.ino < 0)
                                          inode.syncedEntries.erase(c.name);
                                      else
                                          inode.syncedEntries[c.name] = c.ino;
                                      return true;
                                  }),
                   call.end());
    mMeta.erase(std::remove_if(mMeta.begin(), mMeta.end(),
                               [](const std::vector<Change>& call) { return call.empty(); }),
                mMeta.end());
    return 0;
}

int PowerCutFs::Stat(int ino, struct stat* st) const {
    const Inode& inode = mInodes[ino];
    std::memset(st, 0, sizeof *st);
    st->st_ino = static_cast<ino_t>(ino);
    st->st_mode = (inode.dir ? S_IFDIR : S_IFREG) | inode.mode;
    st->st_nlink = 1;
    // Asked once: the explorer stats millions of times, and under the
    // emulator each call to the system is dear.
    static const uid_t kUser = geteuid();
    static const gid_t kGroup = getegid();
    st->st_uid = kUser;
    st->st_gid = kGroup;
    st->st_size = static_cast<off_t>(inode.data.size());
    return 0;
}

int PowerCutFs::Mkdir(const std::string& path, mode_t mode) {
    return Enter(path, true, mode);
}

int PowerCutFs::Rename(const std::string& from, const std::string& to) {
    std::string fromName, toName;
    const int ino = Lookup(from), fromDir = Parent(from, &fromName), toDir = Parent(to, &toName);
    for (int result : {ino, fromDir, toDir})
        if (result < 0)
            return result;
    const int target = Lookup(to);
    if (target == ino)
        return 0;
    if (mInodes[ino].dir || (target > 0 && mInodes[target].dir))
        return -EISDIR;  // no directory is moved here
    Apply({{toDir, toName, ino}, {fromDir, fromName, -1}});
    return 0;
}

int PowerCutFs::Unlink(const std::string& path) {
    std::string name;
    const int ino = Lookup(path), dir = Parent(path, &name);
    for (int result : {ino, dir})
        if (result < 0)
            return result;
    if (mInodes[ino].dir)
        return -EISDIR;
    Apply({{dir, name, -1}});
    return 0;
}

std::vector<std::string> PowerCutFs::List(int ino) const {
    std::vector<std::string> names;
    for (const auto& entry : mInodes[ino].entries) names.push_back(entry.first);
    return names;
}

}  // namespace testing_support
