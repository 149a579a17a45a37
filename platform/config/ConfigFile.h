#pragma once

#include <string>
#include <vector>

#include "platform/config/ReadNotes.h"
#include "platform/config/TextFormat.h"
#include "platform/sys/System.h"

namespace Configuration {

// A flat file of KEY SEPARATOR VALUE lines with comments (a settings file).
//
// Construction loads PATH: no file gives no entries; an empty path or a file
// the system cannot read throws FileError. The text is read leniently, as a
// shell reading the file would (see TextFormat): a line that is no entry is
// skipped and noted in Notes(), and when a key appears more than once the
// last one counts. SetEntry and Save keep every other line as it was,
// comments and skipped lines included; Save is durable and atomic (see
// DurableFile) and throws FileError on failure.
//
// The three flags and Save's arguments are accepted for the device library's
// signature and have no effect here. FS is the seam for system calls (null:
// the real ones); it must outlive the object. Not thread-safe.
class ConfigFile {
public:
    ConfigFile(const char* path, bool option1, bool option2, bool option3, const char* separator,
               const char* comment);

    // Copies the value, cut to SIZE - 1 bytes, and a NUL into BUFFER;
    // nonzero when KEY is found.
    int GetEntry(const char* key, char* buffer, size_t size) const;
    // The same with the value's text as it stands on its line, for a command
    // line: no escape, quote or comment is looked at (see TextFormat::RawValue).
    int GetRawEntry(const char* key, char* buffer, size_t size) const;
    // The line KEY's value was read from, counted from 1; 0 when not read
    // from the file.
    unsigned GetEntryLine(const char* key) const;
    // Sets KEY to VALUE in memory, adding the entry at the end when missing.
    int SetEntry(const char* key, const char* value);
    int Save(bool option, void* reserved);

    const std::string& GetPath() const { return mPath; }
    const ReadNotes& Notes() const { return mNotes; }
    // Whether the file was there to read.
    bool Found() const { return mFound; }
    // The keys of the entries read from the file, each once, in their order.
    std::vector<std::string> Keys() const;

private:
    struct Line {
        std::string text;  // as read; empty for an entry set since
        bool isEntry;
        std::string key;
        std::string value;
        unsigned number;  // in the file; 0 for an entry set since
    };
    const Line* Find(const char* key) const;
    static int Copy(const std::string& value, char* buffer, size_t size);

    std::string mPath;
    TextFormat mFormat;
    std::vector<Line> mLines;
    ReadNotes mNotes;
    bool mFound = false;
};

// A settings file as the recorder and the device's libraries open it:
// KEY=VALUE lines and "#" comments. OPTION1 is the device library's first
// flag, passed on as each caller's settings give it.
class SettingsFile : public ConfigFile {
public:
    SettingsFile(const char* path, bool option1)
        : ConfigFile(path, option1, false, false, "=", "#") {}
};

}  // namespace Configuration
