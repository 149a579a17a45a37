#pragma once

#include <string>
#include <vector>

#include "platform/config/FileSystem.h"
#include "platform/config/TextFormat.h"

namespace Configuration {

// A flat file of KEY SEPARATOR VALUE lines with comments (a settings file).
//
// Construction loads PATH: no file gives no entries; a file that cannot be
// read or is damaged (a line that is neither blank, comment nor entry)
// throws FileError naming the path and the line. When a key appears more than
// once the last one counts, as a shell reading the file would see it.
// SetEntry and Save keep every other line as it was, comments included; Save
// is durable and atomic (see DurableFile) and throws FileError on failure.
//
// The three flags and Save's arguments are accepted for the device library's
// signature and have no effect here. FS is the seam for system calls (null:
// the real ones); it must outlive the object. Not thread-safe.
class ConfigFile {
public:
    ConfigFile(const char* path, bool option1, bool option2, bool option3, const char* separator,
               const char* comment, FileSystem* fs = nullptr);

    // Copies the value, cut to SIZE - 1 bytes, and a NUL into BUFFER;
    // nonzero when KEY is found.
    int GetEntry(const char* key, char* buffer, size_t size) const;
    // Sets KEY to VALUE in memory, adding the entry at the end when missing.
    int SetEntry(const char* key, const char* value);
    int Save(bool option, void* reserved);

private:
    struct Line {
        std::string text;  // as read; empty for an entry set since
        bool isEntry;
        std::string key;
        std::string value;
    };
    const Line* Find(const char* key) const;

    std::string mPath;
    FileSystem* mpFs;
    TextFormat mFormat;
    std::vector<Line> mLines;
};

}  // namespace Configuration
