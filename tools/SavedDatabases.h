#pragma once

#include <cstdint>
#include <memory>

#include "platform/config/RecordFile.h"
#include "platform/msg/RecordQuery.h"
#include "platform/msg/RecorderStatus.h"

// The record databases as their saved files hold them, for reading while
// cdrd is not running: cdrctl serve-saved answers the page's status and
// read commands from them, as cdrd would from memory (RecordSearch), so
// the page reads them the same way either way.
//
// Only reads: cdrd replaces a file whole when it saves, so a load sees the
// old file or the new one, and never waits for cdrd. A file that cannot be
// read is a problem in Status(), not an exception; only running out of
// memory throws. One object per thread.
class SavedDatabases {
public:
    // Reads the files of the databases that KINDS selects (bits 1, 2, 4), at
    // the paths cdrd builds from the general paths.
    void Load(uint8_t kinds);

    // What the status command answers: per database its name, its path ("" when
    // the general paths cannot be read), whether its file was read and its
    // records. A selected file that was not read is a problem whose file is
    // its path (or the general paths' file) and whose text says why.
    const RecorderStatus& Status() const { return mStatus; }

    // The page of QUERY as cdrd's read command answers it: as many records
    // as one answer holds.
    void Read(const RecordQuery& query, RecordPage* page) const;

private:
    void Refuse(const std::string& file, const std::string& why);

    RecorderStatus mStatus;
    std::unique_ptr<Configuration::RecordFile> mFiles[3];
};
