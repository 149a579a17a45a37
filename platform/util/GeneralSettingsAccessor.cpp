#include "platform/util/GeneralSettingsAccessor.h"

#include <exception>
#include <string>

#include "platform/config/ConfigFile.h"
#include "platform/util/ConfigurationBase.h"

GeneralSettingsAccessor* GeneralSettingsAccessor::mpInstance = nullptr;

namespace {

const char* const kKeys[7] = {"CDR_ENABLE",
                              "CDR_STATED_MAX",
                              "CDR_MISSED_MAX",
                              "CDR_FAILED_MAX",
                              "CDR_STATED_SAVE_INTERVAL",
                              "CDR_MISSED_SAVE_INTERVAL",
                              "CDR_FAILED_SAVE_INTERVAL"};
const uint32_t kDefaults[7] = {1, 1000, 1000, 1000, 10, 10, 10};

bool ParseUnsigned(const char* text, uint32_t* value) {
    uint64_t v = 0;
    if (!*text)
        return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > 0xFFFFFFFFu)
            return false;
    }
    *value = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

GeneralSettingsAccessor::GeneralSettingsAccessor() {
    for (int i = 0; i < 7; ++i) mValues[i] = kDefaults[i];
}

bool GeneralSettingsAccessor::Load() {
    const std::string path = ConfigurationBase::Directory() + "sysconfig/general_settings.conf";
    try {
        Configuration::ConfigFile file(path.c_str(), false, false, false, "=", "#", nullptr);
        char value[64];
        for (int i = 0; i < 7; ++i)
            if (file.GetEntry(kKeys[i], value, sizeof value) && !ParseUnsigned(value, &mValues[i]))
                return false;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

GeneralSettingsAccessor* GeneralSettingsAccessor::GetInstance(bool load) {
    if (!mpInstance) {
        GeneralSettingsAccessor* made = new GeneralSettingsAccessor;
        if (load && !made->Load()) {
            delete made;
            return nullptr;
        }
        mpInstance = made;
    }
    return mpInstance;
}

void GeneralSettingsAccessor::CloseInstance() {
    delete mpInstance;
    mpInstance = nullptr;
}
