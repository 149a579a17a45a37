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
};
