#include "platform/config/ConfigFile.h"

#include <algorithm>

#include <cstring>

#include "platform/config/DurableFile.h"

namespace Configuration {

ConfigFile::ConfigFile(const char* path, bool, bool, bool, const char* separator,
                       const char* comment)
    : mPath(path ? path : ""), mFormat(nullptr, nullptr, separator, comment) {
    std::string text, cleaned;
    if (!DurableFile::Read(mPath, &text))
        return;
    mFound = true;
    unsigned lineNo = 0;
    std::string_view line;
    const std::string_view clean = TextFormat::Clean(text, &cleaned, &mNotes);
    for (size_t pos = 0; TextFormat::NextLine(clean, &pos, &line);) {
        ++lineNo;
        Line entry{std::string(line), false, std::string(), std::string(), lineNo};
        switch (mFormat.Classify(line)) {
            case TextFormat::kEntry:
                mFormat.DecodeEntry(line, &entry.key, &entry.value);
                entry.isEntry = true;
                break;
            case TextFormat::kBlank:
            case TextFormat::kComment:
                break;
            default:
                // Kept as it stands for a save; a reader of the file skips it.
                mNotes.Add(lineNo, "not a KEY=VALUE line; skipped", false);
        }
        mLines.push_back(std::move(entry));
    }
}

std::vector<std::string> ConfigFile::Keys() const {
    std::vector<std::string> keys;
    for (const Line& line : mLines)
        if (line.isEntry && line.number > 0 &&
            std::find(keys.begin(), keys.end(), line.key) == keys.end())
            keys.push_back(line.key);
    return keys;
}

const ConfigFile::Line* ConfigFile::Find(const char* key) const {
    if (!key)
        return nullptr;
    for (auto it = mLines.rbegin(); it != mLines.rend(); ++it)
        if (it->isEntry && it->key == key)
            return &*it;
    return nullptr;
}

int ConfigFile::Copy(const std::string& value, char* buffer, size_t size) {
    if (buffer && size > 0) {
        const size_t n = value.size() < size - 1 ? value.size() : size - 1;
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
    }
    return 1;
}

int ConfigFile::GetEntry(const char* key, char* buffer, size_t size) const {
    const Line* line = Find(key);
    return line ? Copy(line->value, buffer, size) : 0;
}

int ConfigFile::GetRawEntry(const char* key, char* buffer, size_t size) const {
    const Line* line = Find(key);
    if (!line)
        return 0;
    return Copy(line->text.empty() ? line->value : std::string(mFormat.RawValue(line->text)),
                buffer, size);
}

unsigned ConfigFile::GetEntryLine(const char* key) const {
    const Line* line = Find(key);
    return line ? line->number : 0;
}

int ConfigFile::SetEntry(const char* key, const char* value) {
    if (!key)
        return 0;
    Line* line = const_cast<Line*>(Find(key));
    if (!line) {
        mLines.push_back(Line{std::string(), true, key, std::string(), 0});
        line = &mLines.back();
    }
    line->value = value ? value : "";
    line->text.clear();
    line->number = 0;
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
    DurableFile::Replace(mPath, text);
    return 1;
}

}  // namespace Configuration
