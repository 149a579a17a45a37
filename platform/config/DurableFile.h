#pragma once

#include <functional>
#include <string>

#include "platform/config/FileBuffer.h"
#include "platform/sys/System.h"

namespace Configuration {

// Whole-file reads and crash-safe whole-file replacement.
//
// Replace writes PATH.tmp (created exclusively, never through a symlink),
// fsyncs it, renames it over PATH and fsyncs the directory, creating missing
// parent directories on the way. A crash at any instant leaves the old or the
// new file whole. On any failure it removes the temporary file and throws
// FileError with the strerror text; a failed fsync is never retried into a
// success. A stale PATH.tmp from an earlier crash is removed first. Only one
// writer per path is assumed. Stateless; callable from any thread.
class DurableFile {
public:
    // Reads all of PATH into *contents. Returns false when no file exists;
    // throws FileError when it exists but cannot be read or is not a regular
    // file (nothing at the path can block the reader). Every operation
    // here throws FileError for an empty PATH: no file has that name.
    static bool Read(const std::string& path, std::string* contents);
    // The same into pages of their own, for files as large as record files.
    static bool Read(const std::string& path, FileBuffer* contents);
    // Read for the recorder's own files: the way to PATH is checked
    // (CheckPath) and the file itself is not followed when it is a link.
    static bool ReadOwn(const std::string& path, std::string* contents);
    static bool ReadOwn(const std::string& path, FileBuffer* contents);

    static void Replace(const std::string& path, const std::string& contents);

    // The same, with the contents made piece by piece: PRODUCE is called once
    // and hands each piece to the Emit it is given, so that a large file
    // needs no buffer of its size. An exception from PRODUCE fails the save.
    using Emit = std::function<void(const char* data, size_t size)>;
    using Producer = std::function<void(const Emit& emit)>;
    static void Replace(const std::string& path, const Producer& produce);

    // The same with the pieces handed over as batches of at most kMaxPieces
    // buffers, written with writev: a file made of many small pieces in
    // memory needs neither a copy into one buffer nor a call per piece.
    static constexpr int kMaxPieces = System::kMaxPieces;
    using EmitPieces = std::function<void(const struct iovec* pieces, int count)>;
    using PiecesProducer = std::function<void(const EmitPieces& emit)>;
    static void ReplaceFromPieces(const std::string& path, const PiecesProducer& produce);

    // Opens the directory of PATH, made when missing, for its fsync, and
    // refuses one that is not trusted (see TrustedDirectory) or whose path
    // is not (CheckPath). Returns the descriptor; throws FileError.
    static int OpenDirectory(const std::string& path);

    // Throws FileError unless the way to PATH can lead nowhere else, as far
    // as it exists: no part of it is a link, and each directory above the
    // file's own is root's or this user's, and may be written by others only
    // when it is root's with the sticky bit (as /tmp; there no one may move
    // another's entry). So no one else can make the recorder read, write or
    // remove a file elsewhere. For the recorder's own files, not for
    // settings, which an administrator may link.
    static void CheckPath(const std::string& path);

    // Moves the file at PATH to ASIDE (replacing an older ASIDE) and syncs
    // the directory. False when there is no PATH; throws FileError when it
    // cannot be moved.
    static bool MoveAside(const std::string& path, const std::string& aside);
    // Syncs the directory of PATH and each one above it, up to the root:
    // what a crash cut off before a save's directory sync, or before a new
    // directory's parent was synced, is there for good. Throws FileError.
    static void SyncDirectoriesOf(const std::string& path);
    // Gives the file now at PATH the second name ASIDE (replacing an older
    // ASIDE), so that it outlives the saves that replace PATH. Throws
    // FileError when that cannot be done.
    static void KeepAside(const std::string& path, const std::string& aside);

private:
    // Everything around the writing: the temporary file, its sync, the
    // rename and the directory's sync. WRITE writes the contents to the fd.
    static void ReplaceWith(const std::string& path, const std::function<void(int fd)>& write);
};

}  // namespace Configuration
