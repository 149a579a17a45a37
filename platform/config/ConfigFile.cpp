#include "platform/config/ConfigFile.h"

#include <cstring>

#include "platform/config/DurableFile.h"
#include "platform/config/FileError.h"

namespace Configuration {

ConfigFile::ConfigFile(const char* path, bool, bool, bool, const char* separator,
                       const char* comment, FileSystem* fs)
    : mPath(path ? path : ""),
      mpFs(fs ? fs : FileSystem::Default()),
      mFormat(nullptr, nullptr, separator, comment) {
    std::string text;
    if (!DurableFile::Read(*mpFs, mPath, &text))
        return;
    if (std::memchr(text.data(), '\0', text.size()))
        throw FileError(mPath, "NUL byte in text");
    unsigned lineNo = 0;
    std::string_view line;
    for (size_t pos = 0; TextFormat::NextLine(text, &pos, &line);) {
        ++lineNo;
        Line entry{std::string(line), false, std::string(), std::string()};
        switch (mFormat.Classify(line)) {
            case TextFormat::kEntry:
                if (const char* why = mFormat.DecodeEntry(line, &entry.key, &entry.value))
                    throw FileError(mPath, lineNo, why);
                entry.isEntry = true;
                break;
            case TextFormat::kBlank:
            case TextFormat::kComment:
                break;
            default:
                throw FileError(mPath, lineNo, "line is neither a comment nor an entry");
        }
        mLines.push_back(std::move(entry));
    }
}

const ConfigFile::Line* ConfigFile::Find(const char* key) const {
    if (!key)
        return nullptr;
    for (auto it = mLines.rbegin(); it != mLines.rend(); ++it)
        if (it->isEntry && it->key == key)
            return &*it;
    return nullptr;
}

int ConfigFile::GetEntry(const char* key, char* buffer, size_t size) const {
    const Line* line = Find(key);
    if (!line)
        return 0;
    if (buffer && size > 0) {
        size_t n = line->value.size() < size - 1 ? line->value.size() : size - 1;
        std::memcpy(buffer, line->value.data(), n);
        buffer[n] = '\0';
    }
    return 1;
}

int ConfigFile::SetEntry(const char* key, const char* value) {
    if (!key)
        return 0;
    Line* line = const_cast<Line*>(Find(key));
    if (!line) {
        mLines.push_back(Line{std::string(), true, key, std::string()});
        line = &mLines.back();
    }
    line->value = value ? value : "";
    line->text.clear();
    return 1;
}

int ConfigFile::Save(bool, void*) {
    std::string text;
    for (const Line& line : mLines) {
        if (line.isEntry && line.text.empty()) {
            mFormat.AppendEntry(&text, line.key, line.value);
        } else {
            text.append(line.text).push_back('\n');
        }
    }
    DurableFile::Replace(*mpFs, mPath, text);
    return 1;
}

}  // namespace Configuration
