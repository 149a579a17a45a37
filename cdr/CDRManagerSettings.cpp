// CDRManager: loading the database settings and paths.
#include <exception>
#include <string>
#include <type_traits>

#include "cdr/CDRManager.h"
#include "platform/util/GeneralPaths.h"
#include "platform/util/GeneralSettingsAccessor.h"

namespace {

const char kSettingsFile[] = "sysconfig/general_settings.conf";
const char kPathsFile[] = "sysconfig/general_paths.conf";

// A bad value costs only its key: the value in force stays.
void TakeSettings(const GeneralSettingsAccessor& settings, CDRSettings* to) {
    using Key = GeneralSettingsAccessor::Key;
    auto copy = [&settings](Key key, auto* field) {
        if (!settings.IsBad(key))
            *field = static_cast<std::remove_pointer_t<decltype(field)>>(settings.Get(key));
    };
    copy(GeneralSettingsAccessor::kCDREnable, &to->mCDREnabled);
    copy(GeneralSettingsAccessor::kStatedMax, &to->mStatedMaxRecords);
    copy(GeneralSettingsAccessor::kMissedMax, &to->mMissedMaxRecords);
    copy(GeneralSettingsAccessor::kFailedMax, &to->mFailedMaxRecords);
    copy(GeneralSettingsAccessor::kStatedSaveInterval, &to->mStatedSaveInterval);
    copy(GeneralSettingsAccessor::kMissedSaveInterval, &to->mMissedSaveInterval);
    copy(GeneralSettingsAccessor::kFailedSaveInterval, &to->mFailedSaveInterval);
}

// A database without a name gets its default name, stored in the file so
// that the web side shows it too. Throws when that cannot be stored.
void TakePaths(GeneralPaths& paths, CDRSettings* to) {
    bool named = false;
    for (int db = 0; db < 3; ++db) {
        if (paths.GetName(db).empty()) {
            paths.SetName(db, GeneralPaths::DefaultName(db));
            named = true;
        }
    }
    if (named)
        paths.Commit();
    to->mStatedFile = paths.GetPath(0);
    to->mMissedFile = paths.GetPath(1);
    to->mFailedFile = paths.GetPath(2);
}

}  // namespace

bool CDRManager::GetCDRData() {
    GeneralSettingsAccessor* settings = nullptr;
    GeneralPaths* paths = nullptr;
    try {
        settings = GeneralSettingsAccessor::GetInstance(true);
        if (!settings) {
            TRACEX("GetCDRData: failed to load general settings accessor.\n");
            return false;
        }
        paths = GeneralPaths::GetInstance(true);
        if (!paths) {
            TRACEX("GetCDRData: failed to load general paths accessor.\n");
            GeneralSettingsAccessor::CloseInstance();
            return false;
        }
        TakeSettings(*settings, &mSettings);
        NoteSettings("GetCDRData", kSettingsFile, settings->GetProblems());
        NoteSettings("GetCDRData", kPathsFile, paths->GetProblems());
        TakePaths(*paths, &mSettings);
        GeneralSettingsAccessor::CloseInstance();
        GeneralPaths::CloseInstance();
    } catch (const std::exception& e) {
        TRACEX("GetCDRData: failed to load, reason - %s.\n", e.what());
        if (settings)
            GeneralSettingsAccessor::CloseInstance();
        if (paths)
            GeneralPaths::CloseInstance();
        return false;
    }
    TRACEX(
        "GetCDRData:\n stated - %s[%u/%u]\n missed - %s[%u/%u]\n failed - %s[%u/%u]\n",
        mSettings.mStatedFile.c_str(), mSettings.mStatedMaxRecords, mSettings.mStatedSaveInterval,
        mSettings.mMissedFile.c_str(), mSettings.mMissedMaxRecords, mSettings.mMissedSaveInterval,
        mSettings.mFailedFile.c_str(), mSettings.mFailedMaxRecords, mSettings.mFailedSaveInterval);
    return true;
}

void CDRManager::NoteSettings(const char* operation, const std::string& name,
                              const std::vector<Problem>& problems) {
    for (const Problem& problem : problems)
        TRACEX("%s: %s.\n", operation, problem.Describe().c_str());
    mHealth.SettingsRead(name, problems);
}
