#pragma once

#include <string>

namespace Configuration {
class MultiSectionConfigFile;
}

// One delivery of collected statistics to the operator's collector.
//
// StartDownloadStatistics writes the sections held in memory by the file
// object (saved or not) to a new temporary file in the record file format,
// and runs the collector command on it: "download_cmd" of
// B"auto-down-stat.conf" (B: $KELT_PATH, or /etc/kelt-conf/), run by
// /bin/sh -c with every "%f" replaced by the temporary file's path, for at
// most "download_timeout" seconds (1 to 86400, default 30) and killed when
// the time is up. The temporary file is created in $TMPDIR (default /tmp)
// and unlinked at once: the command gets it open as its descriptor 3, and
// "%f" is "/proc/self/fd/3", so it can be read but not moved, and no stop
// of the daemon can leave it behind. The file object is only read.
//
// The result is 1 when the command exited with status 0 in time, else 0:
// no file object (nothing collected to deliver), no command, a settings file
// that cannot be read, a temporary file that cannot be written, a command
// that fails or runs out of time. Each failure is reported to the system
// log, and kept for Failure: for a command that fails, its exit status or
// signal and the first line it wrote to its standard error. Only
// std::bad_alloc is thrown.
//
// One object serves one attempt. The call blocks its thread for at most the
// timeout plus the writing of the temporary file. Not thread-safe.
class DownloadStatistics {
public:
    DownloadStatistics();
    ~DownloadStatistics();
    DownloadStatistics(const DownloadStatistics&) = delete;
    DownloadStatistics& operator=(const DownloadStatistics&) = delete;

    int StartDownloadStatistics(Configuration::MultiSectionConfigFile* file);
    // Why the attempt failed; empty when it did not.
    const std::string& Failure() const { return mFailure; }

    // What a missing or unusable "download_timeout" gives.
    static constexpr unsigned kDefaultTimeout = 30;

private:
    bool ReadSettings(std::string* command, unsigned* timeout);
    bool WriteCollected(const Configuration::MultiSectionConfigFile& file);
    void Fail(const std::string& what);

    int mFd = -1;  // the temporary file while it is open
    std::string mFailure;
};
