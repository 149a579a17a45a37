#include "platform/statdl/DownloadStatistics.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <new>

#include "platform/config/ConfigFile.h"
#include "platform/config/MultiSectionConfigFile.h"
#include "platform/statdl/TimedCommand.h"
#include "platform/sys/System.h"
#include "platform/util/ConfigurationBase.h"
#include "platform/util/NumberText.h"
#include "platform/util/SmartBuffer.h"

namespace {

const char kSettingsFile[] = "auto-down-stat.conf";
// The temporary file as the command sees it: its descriptor 3.
const char kPassedPath[] = "/proc/self/fd/3";
static_assert(TimedCommand::kPassedFd == 3, "kPassedPath names the passed descriptor");

// "download_timeout": whole seconds.
unsigned ParseTimeout(const char* text) {
    int64_t seconds;
    return NumberText::Whole(text, 1, 86400, &seconds) ? static_cast<unsigned>(seconds)
                                                       : DownloadStatistics::kDefaultTimeout;
}

std::string Substitute(const std::string& command, const std::string& path) {
    std::string out;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command[i] == '%' && i + 1 < command.size() && command[i + 1] == 'f') {
            out += path;
            ++i;
        } else {
            out += command[i];
        }
    }
    return out;
}

}  // namespace

DownloadStatistics::DownloadStatistics() = default;

void DownloadStatistics::Fail(const std::string& what) {
    mFailure = what;
    syslog(LOG_WARNING, "statistics download: %s", what.c_str());
}

DownloadStatistics::~DownloadStatistics() {
    if (mFd >= 0)
        System::Default().Close(mFd);
}

int DownloadStatistics::StartDownloadStatistics(Configuration::MultiSectionConfigFile* file) {
    if (!file) {
        Fail("nothing collected");
        return 0;
    }
    std::string command;
    unsigned timeout = kDefaultTimeout;
    if (!ReadSettings(&command, &timeout))
        return 0;
    if (!WriteCollected(*file))
        return 0;
    int status = 0;
    std::string said;
    const TimedCommand::Outcome outcome =
        TimedCommand::Run(Substitute(command, kPassedPath), timeout, &status, mFd, &said);
    System::Default().Close(mFd);
    mFd = -1;
    // What the command wrote to its standard error tells why; the command
    // itself is not told, as it may carry the collector's credentials.
    const std::string why = said.empty() ? "" : ": " + said;
    switch (outcome) {
        case TimedCommand::kExited:
            if (status == 0)
                return 1;
            if (status > 128)
                Fail("download_cmd ended by signal " + std::to_string(status - 128) + why);
            else
                Fail("download_cmd ended with status " + std::to_string(status) + why);
            return 0;
        case TimedCommand::kKilledAtTimeout:
            Fail("download_cmd killed after " + std::to_string(timeout) + " s" + why);
            return 0;
        case TimedCommand::kCannotStart:
            break;
    }
    Fail("cannot run download_cmd");
    return 0;
}

bool DownloadStatistics::ReadSettings(std::string* command, unsigned* timeout) {
    const std::string path = ConfigurationBase::Directory() + kSettingsFile;
    try {
        Configuration::SettingsFile settings(path.c_str(), true);
        SmartBuffer value(4096);
        // A command line is taken as it stands: its backslashes, quotes and
        // "#" are the shell's to read.
        if (!settings.GetRawEntry("download_cmd", value.GetBuffer(), value.GetSize()) ||
            !*value.GetBuffer()) {
            Fail("no download_cmd in " + path);
            return false;
        }
        *command = value.GetBuffer();
        if (settings.GetEntry("download_timeout", value.GetBuffer(), value.GetSize()))
            *timeout = ParseTimeout(value.GetBuffer());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        Fail(e.what());
        return false;
    }
    return true;
}

bool DownloadStatistics::WriteCollected(const Configuration::MultiSectionConfigFile& file) {
    System& sys = System::Default();
    const char* dir = getenv("TMPDIR");
    std::string name;
    int fd = -1;
    // Created exclusively, never through a link: the directory is shared.
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        timespec now = {};
        sys.ClockGettime(CLOCK_MONOTONIC, &now);
        name = std::string(dir && *dir ? dir : "/tmp") + "/down_stat." + std::to_string(getpid()) +
               "." + std::to_string(now.tv_nsec ^ attempt);
        fd = sys.Open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        Fail("cannot create " + name + ": " + std::strerror(errno));
        return false;
    }
    // Nameless from the start: no stop of the daemon, however abrupt, can
    // leave the file behind. The command reads it through its descriptor.
    sys.Unlink(name.c_str());
    mFd = fd;
    bool ok = true;
    file.WriteText(
        [&](const std::string& piece) { ok = ok && sys.WriteAll(fd, piece.data(), piece.size()); },
        64 * 1024);
    if (!ok)
        Fail("cannot write " + name + ": " + std::strerror(errno));
    return ok;
}
