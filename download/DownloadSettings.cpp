#include "download/DownloadSettings.h"

#include <cstring>
#include <memory>

#include "platform/config/ConfigFile.h"
#include "platform/util/ConfigurationBase.h"
#include "platform/util/NumberText.h"
#include "platform/util/SettingText.h"
#include "platform/util/SmartBuffer.h"

namespace {

// Looks KEY up in FILE into VALUE, noting in PROBLEMS FILE's stray lines
// and the keys that look meant as one of KNOWN (all other keys, in a file
// of the recorder's OWN).
bool Lookup(const Configuration::ConfigFile& file, const char* key, SmartBuffer& value,
            std::vector<Problem>* problems, const std::vector<const char*>& known, bool own) {
    if (problems) {
        *problems = SettingText::LineProblems(file);
        for (Problem& p : SettingText::UnknownKeys(file, known, own))
            problems->push_back(std::move(p));
    }
    return file.GetEntry(key, value.GetBuffer(), value.GetSize());
}

void Note(std::vector<Problem>* problems, const Configuration::ConfigFile& file, const char* key,
          const char* found, const char* what) {
    if (problems)
        problems->push_back(Problem{file.GetPath(), file.GetEntryLine(key), key, found, what});
}

}  // namespace

std::string DownloadSettings::AutoDownloadPath() {
    return ConfigurationBase::Directory() + "sysconfig/rc.conf";
}

std::string DownloadSettings::DownloadCountPath() {
    return ConfigurationBase::Directory() + "auto-down-stat.conf";
}

bool DownloadSettings::ReadAutoDownload(int32_t* on, std::vector<Problem>* problems) {
    const std::string path = AutoDownloadPath();
    std::unique_ptr<Configuration::ConfigFile> rc(
        new Configuration::SettingsFile(path.c_str(), false));
    SmartBuffer value;
    if (!Lookup(*rc, "START_AUTO_DOWNLOAD_STAT", value, problems, {"START_AUTO_DOWNLOAD_STAT"},
                false))
        return false;
    const char* text = value.GetBuffer();
    *on = std::strcmp(text, "true") == 0 ? 1 : 0;
    uint32_t meant = 0;
    if (!*on && !SettingText::ParseSwitch(text, &meant) && meant)
        Note(problems, *rc, "START_AUTO_DOWNLOAD_STAT", text,
             "only \"true\" turns the download on; read as off");
    return true;
}

bool DownloadSettings::ReadDownloadCount(int32_t* count, std::vector<Problem>* problems) {
    const std::string path = DownloadCountPath();
    std::unique_ptr<Configuration::ConfigFile> settings(
        new Configuration::SettingsFile(path.c_str(), true));
    SmartBuffer value;
    const bool found = Lookup(*settings, "download_cnt", value, problems,
                              {"download_cnt", "download_cmd", "download_timeout"}, true);
    if (problems && !settings->Found())
        *problems = SettingText::Missing(*settings);
    if (!found)
        return false;
    const char* text = value.GetBuffer();
    *count = NumberText::LeadingSigned32(text);
    const char* digits = text;
    if (*digits == '-' || *digits == '+')
        ++digits;  // one sign
    if (!*digits || std::strspn(digits, "0123456789") != std::strlen(digits))
        Note(problems, *settings, "download_cnt", text,
             ("not a whole number; read as " + std::to_string(*count)).c_str());
    return true;
}
