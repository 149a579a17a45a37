#pragma once

#include <string>
#include <vector>

#include "platform/util/Problem.h"

namespace Configuration {
class ConfigFile;
}

// The device's general paths, as far as the call detail recorder uses them:
// the names of its three record databases, from
// B"sysconfig/general_paths.conf" (B: ConfigurationBase), keys CDR_STATED_DB,
// CDR_MISSED_DB and CDR_FAILED_DB, read as ConfigFile reads settings. A
// missing file or key gives an empty name; GetProblems lists the lines that
// are no entry. GetInstance returns null only when the file exists and the
// system cannot read it.
//
// Set* changes a name in memory; Commit writes the file durably (creating
// it and its directory, keeping its other lines and comments) and throws
// Configuration::FileError when that fails.
//
// A process-wide singleton: GetInstance makes it (reading the file when LOAD
// is true) or returns the one that exists; CloseInstance deletes it. Not
// thread-safe.
class GeneralPaths {
public:
    static GeneralPaths* GetInstance(bool load);
    static void CloseInstance();

    std::string GetCDRStatedDb() const { return mNames[0]; }
    std::string GetCDRMissedDb() const { return mNames[1]; }
    std::string GetCDRFailedDb() const { return mNames[2]; }
    void SetCDRStatedDb(const std::string& name) { mNames[0] = name; }
    void SetCDRMissedDb(const std::string& name) { mNames[1] = name; }
    void SetCDRFailedDb(const std::string& name) { mNames[2] = name; }
    int Commit();
    const std::vector<Problem>& GetProblems() const { return mProblems; }

    // The name a database gets when its key is empty, by index (0 stated,
    // 1 missed, 2 failed).
    static const char* DefaultName(int index);
    // Where the database NAME lives: a bare name in the configuration base's
    // "telephony/", a name with a slash or backslash anywhere as it stands.
    static std::string DatabasePath(const std::string& name);

private:
    GeneralPaths() = default;
    bool Load();
    static std::string Path();

    std::string mNames[3];
    std::vector<Problem> mProblems;
    static GeneralPaths* mpInstance;
};
