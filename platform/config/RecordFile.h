#pragma once

#include "platform/config/MultiSectionFile.h"

namespace Configuration {

// The recorder's record files, its databases and the statistics file: the
// delimiters it passes to the library ("{" opens a section, "}" closes it,
// KEY=VALUE entries, "#" comments), and the classes that pass them.
struct RecordDelimiters {
    static constexpr const char* kBegin = "{\n";
    static constexpr const char* kEnd = "}\n";
    static constexpr const char* kSeparator = "=";
    static constexpr const char* kComment = "#";
};

// A record file on storage, opened as the recorder opens a database
// (SECTION_NAME null) or the statistics file ("section"). See
// MultiSectionFile for what it promises.
class RecordFile : public MultiSectionFile {
public:
    explicit RecordFile(const char* path, const char* sectionName = nullptr)
        : MultiSectionFile(path, true, false, false, sectionName, RecordDelimiters::kBegin,
                           RecordDelimiters::kEnd, RecordDelimiters::kSeparator,
                           RecordDelimiters::kComment) {}
};

// Records in memory only, in the same text format.
class RecordSections : public MultiSectionConfigFile {
public:
    RecordSections()
        : MultiSectionConfigFile(RecordDelimiters::kBegin, RecordDelimiters::kEnd,
                                 RecordDelimiters::kSeparator, RecordDelimiters::kComment) {}
};

}  // namespace Configuration
