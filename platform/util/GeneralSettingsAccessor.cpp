#include "platform/util/GeneralSettingsAccessor.h"

#include <exception>
#include <memory>
#include <string>

#include "platform/config/ConfigFile.h"
#include "platform/util/ConfigurationBase.h"
#include "platform/util/SettingText.h"

GeneralSettingsAccessor* GeneralSettingsAccessor::mpInstance = nullptr;

namespace {

struct KeyInfo {
    const char* name;
    uint32_t fallback;
    bool isSwitch;
    uint32_t least;
};
const KeyInfo kKeys[GeneralSettingsAccessor::kKeyCount] = {
    {"CDR_ENABLE", 1, true, 0},
    {"CDR_STATED_MAX", 1000, false, 0},
    {"CDR_MISSED_MAX", 1000, false, 0},
    {"CDR_FAILED_MAX", 1000, false, 0},
    {"CDR_STATED_SAVE_INTERVAL", 10, false, 0},
    {"CDR_MISSED_SAVE_INTERVAL", 10, false, 0},
    {"CDR_FAILED_SAVE_INTERVAL", 10, false, 0},
    {"CDR_LOG_MAX_KB", 256, false, 1},
    {"CDR_JOURNAL", 0, true, 0},
};

}  // namespace

GeneralSettingsAccessor::GeneralSettingsAccessor() {
    for (int i = 0; i < kKeyCount; ++i) mValues[i] = kKeys[i].fallback;
}

bool GeneralSettingsAccessor::Load() {
    const std::string path = ConfigurationBase::Directory() + "sysconfig/general_settings.conf";
    try {
        Configuration::SettingsFile file(path.c_str(), false);
        mProblems = SettingText::Missing(file);
        for (Problem& p : SettingText::LineProblems(file)) mProblems.push_back(std::move(p));
        std::vector<const char*> known;
        for (const KeyInfo& key : kKeys) known.push_back(key.name);
        for (Problem& p : SettingText::UnknownKeys(file, known, false))
            mProblems.push_back(std::move(p));
        char value[64];
        for (int i = 0; i < kKeyCount; ++i) {
            const KeyInfo& key = kKeys[i];
            if (!file.GetEntry(key.name, value, sizeof value))
                continue;
            const char* why;
            if (key.isSwitch)
                why = SettingText::ParseSwitch(value, &mValues[i]);
            else
                why = SettingText::ParseUnsigned(value, &mValues[i]);
            if (!why && mValues[i] < key.least)
                why = "below the least value";
            if (why) {
                mBad[i] = true;
                mValues[i] = key.fallback;
                mProblems.push_back(Problem{path, file.GetEntryLine(key.name), key.name, value,
                                            std::string(why) + "; ignored"});
            }
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

GeneralSettingsAccessor* GeneralSettingsAccessor::GetInstance(bool load) {
    if (!mpInstance) {
        // Held until kept: a Load that throws must not leak it.
        std::unique_ptr<GeneralSettingsAccessor> made(new GeneralSettingsAccessor);
        if (load && !made->Load())
            return nullptr;
        mpInstance = made.release();
    }
    return mpInstance;
}

uint32_t GeneralSettingsAccessor::ReadOnce(Key key) {
    GeneralSettingsAccessor once;
    once.Load();  // on failure the defaults stay
    return once.Get(key);
}

void GeneralSettingsAccessor::CloseInstance() {
    delete mpInstance;
    mpInstance = nullptr;
}
