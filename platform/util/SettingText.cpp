#include "platform/util/SettingText.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/config/ConfigFile.h"
#include "platform/util/ConfigurationBase.h"
#include "platform/util/NumberText.h"

const char* SettingText::ParseUnsigned(const char* text, uint32_t* value) {
    int64_t v;
    if (!NumberText::Whole(text, 0, INT64_MAX, &v))
        return "not an unsigned decimal number";
    if (v > int64_t{UINT32_MAX})
        return "number above 4294967295";
    *value = static_cast<uint32_t>(v);
    return nullptr;
}

const char* SettingText::ParseSwitch(const char* text, uint32_t* value) {
    for (const char* on : {"yes", "true", "on"}) {
        if (strcasecmp(text, on) == 0) {
            *value = 1;
            return nullptr;
        }
    }
    for (const char* off : {"no", "false", "off"}) {
        if (strcasecmp(text, off) == 0) {
            *value = 0;
            return nullptr;
        }
    }
    return ParseUnsigned(text, value) ? "neither a number nor yes/no, true/false, on/off" : nullptr;
}

std::vector<Problem> SettingText::LineProblems(const Configuration::ConfigFile& file) {
    std::vector<Problem> problems;
    for (const auto& note : file.Notes().Kept())
        problems.push_back(Problem{file.GetPath(), note.mLine, "", "", note.mWhat});
    return problems;
}

namespace {

// Edits (insert, delete, change a character) that make A into B.
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<Problem> SettingText::UnknownKeys(const Configuration::ConfigFile& file,
                                              const std::vector<const char*>& known, bool ours) {
    std::vector<Problem> problems;
    for (const std::string& key : file.Keys()) {
        if (std::find(known.begin(), known.end(), key) != known.end())
            continue;
        const char* nearest = nullptr;
        size_t best = SIZE_MAX;
        for (const char* k : known) {
            const size_t d = Distance(key, k);
            if (d < best) {
                best = d;
                nearest = k;
            }
        }
        if (!ours && key.compare(0, 4, "CDR_") != 0 && best > 2)
            continue;
        char value[256];
        file.GetEntry(key.c_str(), value, sizeof value);
        problems.push_back({file.GetPath(), file.GetEntryLine(key.c_str()), key, value,
                            std::string("unknown key; ignored") +
                                (nearest ? " (meant " + std::string(nearest) + "?)" : "")});
    }
    return problems;
}

std::vector<Problem> SettingText::Missing(const Configuration::ConfigFile& file) {
    if (file.Found())
        return {};
    const std::string base = ConfigurationBase::Directory();
    std::string what = "not found; the defaults are used";
    if (!base.empty() && base.back() != '/')
        what += " (KELT_PATH=" + base + " lacks its final \"/\")";
    return {{file.GetPath(), 0, "", "", what}};
}
