#include "cdr/CDRIds.h"

#include "platform/config/DurableFile.h"
#include "platform/sys/System.h"
#include "platform/util/NumberText.h"

namespace {
const char kNext[] = "next=";
const char kCleared[] = "cleared=";
}  // namespace

CDRIds::Kept CDRIds::Read(const std::string& databasePath) {
    Kept kept;
    std::string text;
    if (!Configuration::DurableFile::ReadOwn(databasePath + ".ids", &text))
        return kept;
    kept.mFound = true;
    for (size_t at = 0; at < text.size();) {
        const std::string line = text.substr(at, text.find('\n', at) - at);
        at += line.size() + 1;
        if (line.compare(0, sizeof kNext - 1, kNext) == 0) {
            kept.mNext = NumberText::LeadingUnsigned32(line.c_str() + sizeof kNext - 1);
        } else if (line.compare(0, sizeof kCleared - 1, kCleared) == 0) {
            kept.mCleared = true;
            kept.mFirstKept = NumberText::LeadingUnsigned32(line.c_str() + sizeof kCleared - 1);
        }
    }
    return kept;
}

void CDRIds::Write(const std::string& databasePath, const Kept& kept) {
    std::string text = kNext + std::to_string(kept.mNext) + "\n";
    if (kept.mCleared)
        text += kCleared + std::to_string(kept.mFirstKept) + "\n";
    Configuration::DurableFile::Replace(databasePath + ".ids", text);
}
