#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/util/Problem.h"

// The two settings that switch and pace the automatic statistics download,
// read from the configuration base directory B ($KELT_PATH, or
// /etc/kelt-conf/, taken from the environment again for each file):
//   B"sysconfig/rc.conf"     START_AUTO_DOWNLOAD_STAT: exactly "true" is on,
//                            any other value off
//   B"auto-down-stat.conf"   download_cnt: a signed decimal count, read
//                            as NumberText::LeadingSigned32 reads it
// Each Read opens its file, looks the key up and closes the file. A missing
// file or key leaves *OUT as it was and returns false. A file the system
// cannot read throws the configuration library's std::exception. PROBLEMS,
// when given, receives the lines of the file that are no entry and a value
// that reads other than it looks ("yes" reads as off). Stateless.
class DownloadSettings {
public:
    // *ON becomes 1 or 0.
    static bool ReadAutoDownload(int32_t* on, std::vector<Problem>* problems = nullptr);
    static bool ReadDownloadCount(int32_t* count, std::vector<Problem>* problems = nullptr);

    static std::string AutoDownloadPath();
    static std::string DownloadCountPath();
};
