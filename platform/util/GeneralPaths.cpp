#include "platform/util/GeneralPaths.h"

#include <exception>
#include <memory>

#include "platform/config/ConfigFile.h"
#include "platform/util/ConfigurationBase.h"
#include "platform/util/SettingText.h"

GeneralPaths* GeneralPaths::mpInstance = nullptr;

namespace {
const char* const kKeys[3] = {"CDR_STATED_DB", "CDR_MISSED_DB", "CDR_FAILED_DB"};
}

const char* GeneralPaths::DefaultName(int index) {
    static const char* const kNames[3] = {"CDR_db", "missed_calls_db", "unsuccess_calls_db"};
    return kNames[index];
}

std::string GeneralPaths::DatabasePath(const std::string& name) {
    if (name.find_first_of("/\\") != std::string::npos)
        return name;
    return ConfigurationBase::Directory() + "telephony/" + name;
}

std::string GeneralPaths::Path() {
    return ConfigurationBase::Directory() + "sysconfig/general_paths.conf";
}

bool GeneralPaths::Load() {
    try {
        Configuration::SettingsFile file(Path().c_str(), true);
        mProblems = SettingText::LineProblems(file);
        for (Problem& p : SettingText::UnknownKeys(file, {kKeys, kKeys + 3}, false))
            mProblems.push_back(std::move(p));
        char value[1024];
        for (int i = 0; i < 3; ++i)
            if (file.GetEntry(kKeys[i], value, sizeof value))
                mNames[i] = value;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

int GeneralPaths::Commit() {
    // Read afresh, so lines that others changed since are kept.
    Configuration::SettingsFile file(Path().c_str(), true);
    for (int i = 0; i < 3; ++i) file.SetEntry(kKeys[i], mNames[i].c_str());
    return file.Save(true, nullptr);
}

GeneralPaths* GeneralPaths::GetInstance(bool load) {
    if (!mpInstance) {
        // Held until kept: a Load that throws must not leak it.
        std::unique_ptr<GeneralPaths> made(new GeneralPaths);
        if (load && !made->Load())
            return nullptr;
        mpInstance = made.release();
    }
    return mpInstance;
}

void GeneralPaths::CloseInstance() {
    delete mpInstance;
    mpInstance = nullptr;
}
