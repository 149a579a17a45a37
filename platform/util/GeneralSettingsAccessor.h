#pragma once

#include <cstdint>

// The device's general settings, as far as the call detail recorder reads
// them, from B"sysconfig/general_settings.conf" (B: ConfigurationBase).
//
// | key                        | default |
// | CDR_ENABLE                 | 1       |
// | CDR_STATED_MAX             | 1000    |
// | CDR_MISSED_MAX             | 1000    |
// | CDR_FAILED_MAX             | 1000    |
// | CDR_STATED_SAVE_INTERVAL   | 10      |
// | CDR_MISSED_SAVE_INTERVAL   | 10      |
// | CDR_FAILED_SAVE_INTERVAL   | 10      |
//
// Values are unsigned decimal numbers below 2^32. A missing file or key gives
// the default. A file that cannot be read or parsed, or a value that is not
// such a number, makes GetInstance return null.
//
// A process-wide singleton: GetInstance makes it (reading the file when LOAD
// is true) or returns the one that exists; CloseInstance deletes it. Not
// thread-safe.
class GeneralSettingsAccessor {
public:
    static GeneralSettingsAccessor* GetInstance(bool load);
    static void CloseInstance();

    uint32_t GetCDREnable() const { return mValues[0]; }
    uint32_t GetCDRStatedMax() const { return mValues[1]; }
    uint32_t GetCDRMissedMax() const { return mValues[2]; }
    uint32_t GetCDRFailedMax() const { return mValues[3]; }
    uint32_t GetCDRStatedSaveInterval() const { return mValues[4]; }
    uint32_t GetCDRMissedSaveInterval() const { return mValues[5]; }
    uint32_t GetCDRFailedSaveInterval() const { return mValues[6]; }

private:
    GeneralSettingsAccessor();
    bool Load();

    uint32_t mValues[7];
    static GeneralSettingsAccessor* mpInstance;
};
