#include "download/DownloadSettings.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <string>

#include "platform/config/ConfigFile.h"
#include "platform/util/ConfigurationBase.h"
#include "platform/util/SmartBuffer.h"

bool DownloadSettings::ReadAutoDownload(int32_t* on) {
    const std::string path = ConfigurationBase::Directory() + "sysconfig/rc.conf";
    std::unique_ptr<Configuration::ConfigFile> rc(
        new Configuration::ConfigFile(path.c_str(), false, false, false, "=", "#", nullptr));
    SmartBuffer value;
    if (!rc->GetEntry("START_AUTO_DOWNLOAD_STAT", value.GetBuffer(), value.GetSize()))
        return false;
    *on = std::strcmp(value.GetBuffer(), "true") == 0 ? 1 : 0;
    return true;
}

bool DownloadSettings::ReadDownloadCount(int32_t* count) {
    const std::string path = ConfigurationBase::Directory() + "auto-down-stat.conf";
    std::unique_ptr<Configuration::ConfigFile> settings(
        new Configuration::ConfigFile(path.c_str(), true, false, false, "=", "#", nullptr));
    SmartBuffer value;
    if (!settings->GetEntry("download_cnt", value.GetBuffer(), value.GetSize()))
        return false;
    *count = ParseCount(value.GetBuffer());
    return true;
}

int32_t DownloadSettings::ParseCount(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    int64_t n = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        n = n * 10 + (*text - '0');
        if (n > INT32_MAX + int64_t{1})
            n = INT32_MAX + int64_t{1};  // saturate; keeps the sum from overflowing
    }
    if (negative)
        return static_cast<int32_t>(-n);
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}
