// CDRManager: loading the database settings and paths.
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <type_traits>

#include "cdr/CDRManager.h"
#include "platform/util/GeneralPaths.h"
#include "platform/util/GeneralSettingsAccessor.h"

namespace {

const char kSettingsFile[] = "sysconfig/general_settings.conf";
const char kPathsFile[] = "sysconfig/general_paths.conf";

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
        // A bad value costs only its key: the value in force stays.
        using Key = GeneralSettingsAccessor::Key;
        auto copy = [settings](Key key, auto* field) {
            if (!settings->IsBad(key))
                *field = static_cast<std::remove_pointer_t<decltype(field)>>(settings->Get(key));
        };
        copy(GeneralSettingsAccessor::kCDREnable, &mSettings.mCDREnabled);
        copy(GeneralSettingsAccessor::kStatedMax, &mSettings.mStatedMaxRecords);
        copy(GeneralSettingsAccessor::kMissedMax, &mSettings.mMissedMaxRecords);
        copy(GeneralSettingsAccessor::kFailedMax, &mSettings.mFailedMaxRecords);
        copy(GeneralSettingsAccessor::kStatedSaveInterval, &mSettings.mStatedSaveInterval);
        copy(GeneralSettingsAccessor::kMissedSaveInterval, &mSettings.mMissedSaveInterval);
        copy(GeneralSettingsAccessor::kFailedSaveInterval, &mSettings.mFailedSaveInterval);
        NoteSettings("GetCDRData", kSettingsFile, settings->GetProblems());
        NoteSettings("GetCDRData", kPathsFile, paths->GetProblems());

        std::string name = paths->GetCDRStatedDb();
        if (name.empty()) {
            name = GeneralPaths::DefaultName(0);
            paths->SetCDRStatedDb(name);
            paths->Commit();
        }
        mSettings.mStatedFile = GeneralPaths::DatabasePath(name);

        name = paths->GetCDRMissedDb();
        if (name.empty()) {
            name = GeneralPaths::DefaultName(1);
            paths->SetCDRMissedDb(name);
            paths->Commit();
        }
        mSettings.mMissedFile = GeneralPaths::DatabasePath(name);

        name = paths->GetCDRFailedDb();
        if (name.empty()) {
            name = GeneralPaths::DefaultName(2);
            paths->SetCDRFailedDb(name);
            paths->Commit();
        }
        mSettings.mFailedFile = GeneralPaths::DatabasePath(name);

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
