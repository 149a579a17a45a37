// powercutfs MOUNTPOINT: a FUSE file system in memory that keeps what a
// power cut would leave (see PowerCutFs), for running the real cdrd on it.
// It answers "mounted" on standard output once mounted, then takes commands
// on standard input, each answered with one line:
//   cut SEED   the power goes: the files become one of the states a cut
//              can leave (SEED chooses which), all of it synced
// At the end of its input it unmounts and ends. The kernel caches neither
// data nor attributes (direct I/O, no timeouts), so what is read after a
// cut is the cut state; record locks are the kernel's own. One thread
// serves the file system and one the commands, under one lock.
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "tests/support/PowerCutFs.h"

namespace {

testing_support::PowerCutFs gFs;
std::mutex gLock;
uint64_t gEpoch = 1;  // a cut starts a new one: handles from before it are stale

// A handle holds the epoch, whether it appends, and the inode.
int Inode(const fuse_file_info* fi) {
    return fi->fh >> 33 == gEpoch ? static_cast<int>(fi->fh & 0xFFFFFFFF) : -EIO;
}
int InodeOf(const char* path, const fuse_file_info* fi) {
    return fi && fi->fh ? Inode(fi) : gFs.Lookup(path);
}

// Runs CALL on the inode of PATH (or FI) under the lock.
template <class Call>
int OnInode(const char* path, const fuse_file_info* fi, Call&& call) {
    std::lock_guard<std::mutex> hold(gLock);
    const int ino = InodeOf(path, fi);
    return ino < 0 ? ino : static_cast<int>(call(ino));
}
template <class Call>
int Locked(Call&& call) {
    std::lock_guard<std::mutex> hold(gLock);
    return std::min(static_cast<int>(call()), 0);
}

int Open(const char* path, fuse_file_info* fi, int flags, mode_t mode) {
    std::lock_guard<std::mutex> hold(gLock);
    const int ino = gFs.Open(path, flags, mode);
    fi->fh = gEpoch << 33 | uint64_t{(flags & O_APPEND) != 0} << 32 | static_cast<uint32_t>(ino);
    fi->direct_io = 1;
    return std::min(ino, 0);
}

void Commands(fuse* fs) {
    std::string command;
    unsigned seed;
    while (std::cin >> command >> seed) {
        std::lock_guard<std::mutex> hold(gLock);
        const std::vector<testing_support::PowerCutFs::Tree> states = gFs.CrashStates();
        gFs.Load(states[seed % states.size()]);
        ++gEpoch;
        std::cout << "cut " << seed % states.size() << " of " << states.size() << std::endl;
    }
    fuse_exit(fs);
    fuse_unmount(fs);  // ends the loop's wait for the next request
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: powercutfs MOUNTPOINT\n");
        return 2;
    }
    fuse_operations ops = {};
    ops.getattr = [](const char* path, struct stat* st, fuse_file_info* fi) {
        return OnInode(path, fi, [&](int ino) {
            gFs.Stat(ino, st);
            st->st_ino += gEpoch << 20;  // never the number of a file from before a cut
            return 0;
        });
    };
    ops.readdir = [](const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                     fuse_readdir_flags) {
        return OnInode(path, nullptr, [&](int ino) {
            for (const std::string& name : gFs.List(ino))
                fill(buf, name.c_str(), nullptr, 0, fuse_fill_dir_flags{});
            return 0;
        });
    };
    ops.open = [](const char* path, fuse_file_info* fi) { return Open(path, fi, fi->flags, 0); };
    ops.create = [](const char* path, mode_t mode, fuse_file_info* fi) {
        return Open(path, fi, fi->flags | O_CREAT, mode);
    };
    ops.read = [](const char* path, char* buf, size_t size, off_t at, fuse_file_info* fi) {
        return OnInode(path, fi, [&](int ino) { return gFs.Read(ino, buf, size, at); });
    };
    ops.write = [](const char* path, const char* buf, size_t size, off_t at, fuse_file_info* fi) {
        return OnInode(path, fi, [&](int ino) {
            struct stat st;
            gFs.Stat(ino, &st);
            return gFs.Write(ino, buf, size, fi->fh >> 32 & 1 ? st.st_size : at);
        });
    };
    ops.truncate = [](const char* path, off_t size, fuse_file_info* fi) {
        return OnInode(path, fi, [&](int ino) { return gFs.Truncate(ino, size); });
    };
    ops.fsync = [](const char* path, int, fuse_file_info* fi) {
        return OnInode(path, fi, [](int ino) { return gFs.Sync(ino); });
    };
    ops.fsyncdir = [](const char* path, int, fuse_file_info*) {
        return OnInode(path, nullptr, [](int ino) { return gFs.Sync(ino); });
    };
    ops.chmod = [](const char*, mode_t, fuse_file_info*) { return 0; };
    ops.chown = [](const char*, uid_t, gid_t, fuse_file_info*) { return 0; };
    ops.utimens = [](const char*, const timespec*, fuse_file_info*) { return 0; };
    ops.mkdir = [](const char* path, mode_t mode) {
        return Locked([&] { return gFs.Mkdir(path, mode); });
    };
    ops.unlink = [](const char* path) { return Locked([&] { return gFs.Unlink(path); }); };
    ops.rename = [](const char* from, const char* to, unsigned int flags) {
        return flags ? -EINVAL : Locked([&] { return gFs.Rename(from, to); });
    };
    ops.init = [](fuse_conn_info*, fuse_config* cfg) -> void* {
        cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 0;
        cfg->direct_io = 1;
        cfg->hard_remove = 1;  // an open file that is unlinked goes, as on a disk
        cfg->use_ino = 1;
        return nullptr;
    };
    char* args[] = {argv[0], const_cast<char*>("-o"), const_cast<char*>("fsname=powercutfs")};
    fuse_args fargs = FUSE_ARGS_INIT(3, args);
    fuse* fs = fuse_new(&fargs, &ops, sizeof ops, nullptr);
    if (!fs || fuse_mount(fs, argv[1]) != 0) {
        fprintf(stderr, "powercutfs: cannot mount %s\n", argv[1]);
        return 1;
    }
    std::cout << "mounted" << std::endl;
    std::thread commands(Commands, fs);
    fuse_loop(fs);
    commands.join();
    fuse_destroy(fs);
    return 0;
}
