#include "platform/util/SettingText.h"

#include <strings.h>

#include "platform/config/ConfigFile.h"
#include "platform/util/NumberText.h"

const char* SettingText::ParseUnsigned(const char* text, uint32_t* value) {
    int64_t v;
    if (!NumberText::Whole(text, 0, INT64_MAX, &v))
        return "not an unsigned decimal number";
    if (v > int64_t{UINT32_MAX})
        return "number above 4294967295";
    *value = static_cast<uint32_t>(v);
    return nullptr;
}

const char* SettingText::ParseSwitch(const char* text, uint32_t* value) {
    for (const char* on : {"yes", "true", "on"}) {
        if (strcasecmp(text, on) == 0) {
            *value = 1;
            return nullptr;
        }
    }
    for (const char* off : {"no", "false", "off"}) {
        if (strcasecmp(text, off) == 0) {
            *value = 0;
            return nullptr;
        }
    }
    return ParseUnsigned(text, value) ? "neither a number nor yes/no, true/false, on/off" : nullptr;
}

std::vector<Problem> SettingText::LineProblems(const Configuration::ConfigFile& file) {
    std::vector<Problem> problems;
    for (const auto& note : file.Notes().Kept())
        problems.push_back(Problem{file.GetPath(), note.mLine, "", "", note.mWhat});
    return problems;
}
