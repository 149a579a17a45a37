#pragma once

#include <cstdint>

// The two settings that switch and pace the automatic statistics download,
// read from the configuration base directory B ($KELT_PATH, or
// /etc/kelt-conf/, taken from the environment again for each file):
//   B"sysconfig/rc.conf"     START_AUTO_DOWNLOAD_STAT: exactly "true" is on,
//                            any other value off
//   B"auto-down-stat.conf"   download_cnt: a signed decimal count
// Each Read opens its file, looks the key up and closes the file. A missing
// file or key leaves *OUT as it was and returns false. A file that cannot be
// read throws the configuration library's std::exception. Stateless.
class DownloadSettings {
public:
    // *ON becomes 1 or 0.
    static bool ReadAutoDownload(int32_t* on);
    static bool ReadDownloadCount(int32_t* count);

    // Leading white space and a sign accepted, reading stops at the first
    // non-digit, no digits give 0; beyond 32 bits it saturates.
    static int32_t ParseCount(const char* text);
};
