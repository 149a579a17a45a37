#pragma once

#include <string>

#include "platform/config/MultiSectionConfigFile.h"
#include "platform/sys/System.h"

namespace Configuration {

// A multi-section file on storage: the sections of MultiSectionConfigFile,
// loaded from PATH at construction and written back by Save.
//
// Construction loads the file: no file gives no sections; an empty path or a
// file the system cannot read throws FileError naming the path and the
// system's error. The text itself is read leniently (see ReadText): what it
// had to repair is in Notes(). Save replaces the file durably and atomically
// (see DurableFile); when it throws, the file on storage is the old one and
// the sections in memory are kept, so a later Save can write them.
//
// The three flags, SECTION_NAME and Save's arguments are accepted for the
// device library's signature and have no effect here. FS is the seam for
// system calls (null: the real ones); it must outlive the object.
// Not thread-safe.
class MultiSectionFile : public MultiSectionConfigFile {
public:
    MultiSectionFile(const char* path, bool option1, bool option2, bool option3,
                     const char* sectionName, const char* sectionBegin, const char* sectionEnd,
                     const char* separator, const char* comment);

    int Save(bool option, void* reserved);

    const std::string& GetPath() const { return mPath; }

private:
    std::string mPath;
};

}  // namespace Configuration
