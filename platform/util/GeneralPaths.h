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
// SetName changes a name in memory; Commit writes the file durably (creating
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

    // The name of database DB (0 stated, 1 missed, 2 failed) as the file
    // gives it; "" when it gives none.
    const std::string& GetName(int db) const { return mNames[db]; }
    void SetName(int db, const std::string& name) { mNames[db] = name; }
    // Where database DB lives: its name, or its default name, as a path.
    std::string GetPath(int db) const {
        return DatabasePath(mNames[db].empty() ? DefaultName(db) : mNames[db]);
    }
    int Commit();
    const std::vector<Problem>& GetProblems() const { return mProblems; }

    // The name a database gets when its key is empty, by index (0 stated,
    // 1 missed, 2 failed).
    static const char* DefaultName(int index);
    // Where the database NAME lives: a bare name in the configuration base's
    // "telephony/", a name with a slash or backslash anywhere as it stands.
    static std::string DatabasePath(const std::string& name);
    // The file the names are read from.
    static std::string Path();

private:
    GeneralPaths() = default;
    bool Load();

    std::string mNames[3];
    std::vector<Problem> mProblems;
    static GeneralPaths* mpInstance;
};
