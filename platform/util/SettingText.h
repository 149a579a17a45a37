#pragma once

#include <cstdint>
#include <vector>

#include "platform/util/Problem.h"

namespace Configuration {
class ConfigFile;
}

// The value forms of the device's settings files, and the problems a
// settings file's lines can have. Stateless.
class SettingText {
public:
    // Unsigned decimal below 2^32, digits only. Null when *VALUE was set,
    // else what is wrong (and *VALUE is unchanged).
    static const char* ParseUnsigned(const char* text, uint32_t* value);
    // A number as above (nonzero: on), or yes/no, true/false, on/off in any case.
    static const char* ParseSwitch(const char* text, uint32_t* value);
    // The lines of FILE that are no KEY=VALUE entry, as problems.
    static std::vector<Problem> LineProblems(const Configuration::ConfigFile& file);
    // The keys of FILE that are none of KNOWN but look meant as one, as
    // problems naming the nearest known key. In a file of the recorder's
    // own (OURS) every other key is such; in one it shares with the rest of
    // the device, a key with the recorder's prefix "CDR_", or one a typing
    // slip away (two edits at most) from a known key.
    static std::vector<Problem> UnknownKeys(const Configuration::ConfigFile& file,
                                            const std::vector<const char*>& known, bool ours);
    // FILE as a problem when it was not there: settings were looked for at
    // its path and their defaults used. Names a KELT_PATH without its final
    // "/" as the likely cause.
    static std::vector<Problem> Missing(const Configuration::ConfigFile& file);
};
