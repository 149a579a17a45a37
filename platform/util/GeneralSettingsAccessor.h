#pragma once

#include <cstdint>
#include <vector>

#include "platform/util/Problem.h"

// The device's general settings, as far as the call detail recorder reads
// them, from B"sysconfig/general_settings.conf" (B: ConfigurationBase).
//
// | key                        | default | value                         |
// | CDR_ENABLE                 | 1       | switch                        |
// | CDR_STATED_MAX             | 1000    | number                        |
// | CDR_MISSED_MAX             | 1000    | number                        |
// | CDR_FAILED_MAX             | 1000    | number                        |
// | CDR_STATED_SAVE_INTERVAL   | 10      | number                        |
// | CDR_MISSED_SAVE_INTERVAL   | 10      | number                        |
// | CDR_FAILED_SAVE_INTERVAL   | 10      | number                        |
// | CDR_LOG_MAX_KB             | 256     | number, at least 1            |
// | CDR_JOURNAL                | 0       | switch                        |
//
// A number is unsigned decimal below 2^32; a switch is such a number
// (nonzero: on) or yes/no, true/false, on/off in any case. The file is read
// as ConfigFile reads settings (a trailing " # comment", quotes). A missing
// file or key gives the default. A bad value costs only its key: it reads as
// the default, IsBad tells so, and GetProblems says where and why, as does a
// line that is no entry. GetInstance returns null only when the file exists
// and the system cannot read it.
//
// A process-wide singleton: GetInstance makes it (reading the file when LOAD
// is true) or returns the one that exists; CloseInstance deletes it. Not
// thread-safe.
class GeneralSettingsAccessor {
public:
    enum Key {
        kCDREnable,
        kStatedMax,
        kMissedMax,
        kFailedMax,
        kStatedSaveInterval,
        kMissedSaveInterval,
        kFailedSaveInterval,
        kLogMaxKb,
        kJournal,
        kKeyCount
    };

    static GeneralSettingsAccessor* GetInstance(bool load);
    static void CloseInstance();
    // KEY's value from a reading of the file of its own, leaving the
    // singleton alone: the default when the file cannot be read.
    static uint32_t ReadOnce(Key key);

    uint32_t Get(Key key) const { return mValues[key]; }
    bool IsBad(Key key) const { return mBad[key]; }
    const std::vector<Problem>& GetProblems() const { return mProblems; }

private:
    GeneralSettingsAccessor();
    bool Load();

    uint32_t mValues[kKeyCount];
    bool mBad[kKeyCount] = {};
    std::vector<Problem> mProblems;
    static GeneralSettingsAccessor* mpInstance;
};
