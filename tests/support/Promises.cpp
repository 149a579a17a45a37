#include "tests/support/Promises.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/config/RecordFile.h"
#include "platform/msg/CDRKind.h"
#include "platform/util/NumberText.h"

namespace testing_support {

namespace {

const char* const kNames[3] = {"CDR_db", "missed_calls_db", "unsuccess_calls_db"};

std::string Text(const std::map<std::string, std::string>& files, const std::string& path) {
    auto found = files.find(path);
    return found == files.end() ? "" : found->second;
}

}  // namespace

bool ParseRecords(const std::string& text, int k, Records out[3]) {
    Configuration::RecordSections file;
    file.ReadText(text);
    bool whole = file.Notes().Empty();
    char type[16], id[32];
    for (file.Restart(); file.GotoNextSection();) {
        std::string lines(file.SectionText());
        int kind = k;
        if (file.GetSectionEntry("type", type, sizeof type)) {
            kind = CDRKindIndex(std::atoi(type));
            lines.erase(0, lines.find('\n') + 1);
        }
        if (kind >= 0 && file.GetSectionEntry("ID", id, sizeof id))
            whole = out[kind].emplace(NumberText::LeadingUnsigned32(id), lines).second && whole;
    }
    return whole;
}

std::string Collector(const std::string& dir, const std::string& fail) {
    return "[ -e " + fail + " ] && exit 1; f=" + dir +
           "/$$.$(date +%s%N); cat %f > $f.part && mv " + "$f.part $f";
}

std::vector<std::vector<Records>> TakeDeliveries(const std::string& dir) {
    std::vector<std::vector<Records>> deliveries;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (entry.path().extension() == ".part")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        deliveries.emplace_back(3);
        ParseRecords(text.str(), -1, deliveries.back().data());
        std::filesystem::remove(entry.path(), error);
    }
    return deliveries;
}

void Promises::Delivered(const std::vector<Records>& records, bool answered,
                         std::set<uint32_t> ever[3]) {
    for (int k = 0; k < 3; ++k)
        for (const auto& [id, lines] : records[k]) {
            Tell(k, id, lines);
            ever[k].insert(id);
            owedCollected[k].erase(id);
            if (answered)
                delivered[k].insert(id);
        }
}

void Promises::Cleared(int mask, const uint32_t first[3], const uint32_t upTo[3], bool answered) {
    for (int k = 0; k < 3; ++k)
        if (mask & 1 << k) {
            asked[k] = true;
            mayBeGone[k] = upTo[k];
            cleared[k] = cleared[k] || answered;
            this->first[k] = answered ? first[k] : this->first[k];
        }
}

void Promises::Tell(int k, uint32_t id, const std::string& lines) {
    known[k][id] = lines;
    if (!told[k] || Before(newest[k], id))
        newest[k] = id;
    told[k] = true;
}

std::vector<std::string> Promises::Check(const std::map<std::string, std::string>& files,
                                         const std::string& dir, const std::string& stat,
                                         const uint32_t next[3],
                                         const std::set<uint32_t> ever[3]) const {
    std::vector<std::string> problems;
    for (const auto& [path, text] : files)
        if (path.find(".damaged") != std::string::npos ||
            (journalOff && path.find(".journal") != std::string::npos))
            problems.push_back(path + " is there");
    Records collected[3];
    if (!ParseRecords(Text(files, stat), -1, collected))
        problems.push_back(stat + " needed repair, or holds an ID twice");
    size_t count = 0;
    for (const Records& records : collected) count += records.size();
    if (cap && count > cap)
        problems.push_back(stat + " holds " + std::to_string(count) + " records");
    for (int k = 0; k < 3; ++k) {
        Records db[3];
        if (!ParseRecords(Text(files, dir + kNames[k]), k, db))
            problems.push_back(std::string(kNames[k]) + " needed repair, or holds an ID twice");
        for (const Records* file : {&db[k], &collected[k]}) {
            const bool inStat = file == &collected[k];
            const std::string name = kNames[k] + std::string(inStat ? " collected" : "");
            for (const auto& [id, lines] : *file) {
                const std::string what = name + ": ID " + std::to_string(id);
                auto told = known[k].find(id);
                if (told != known[k].end() && told->second != lines)
                    problems.push_back(what + " holds another record than the one told");
                if (!inStat && cleared[k] && Before(id, first[k]))
                    problems.push_back(what + " came back after a clear");
                if (inStat && delivered[k].count(id))
                    problems.push_back(what + " came back after its delivery");
            }
            // The oldest go at the limit: what was owed before them may be gone.
            const uint32_t full = inStat ? cap : limit;
            uint32_t oldest = 0;
            for (const auto& record : *file)
                if (record.first == file->begin()->first || Before(record.first, oldest))
                    oldest = record.first;
            const bool trimmed = !file->empty() && file->size() >= full;
            for (uint32_t id : inStat ? owedCollected[k] : owed[k]) {
                const bool excused = inStat ? ever[k].count(id) || mayDrop
                                            : (asked[k] && Before(id, mayBeGone[k])) ||
                                                  (trimmed && Before(id, oldest));
                if (!file->count(id) && !excused)
                    problems.push_back(name + ": ID " + std::to_string(id) +
                                       " was durable and is gone");
            }
        }
        if (told[k] && !Before(newest[k], next[k]))
            problems.push_back(std::string(kNames[k]) + ": the next ID " + std::to_string(next[k]) +
                               " was told before");
    }
    return problems;
}

void Promises::Found(const std::map<std::string, std::string>& files, const std::string& dir,
                     const std::string& stat) {
    Records collected[3];
    ParseRecords(Text(files, stat), -1, collected);
    for (int k = 0; k < 3; ++k) {
        Records db[3];
        ParseRecords(Text(files, dir + kNames[k]), k, db);
        known[k].clear();
        owed[k].clear();
        owedCollected[k].clear();
        for (const auto& [id, lines] : db[k]) {
            Tell(k, id, lines);
            owed[k].insert(id);
        }
        for (const auto& [id, lines] : collected[k]) {
            Tell(k, id, lines);
            owedCollected[k].insert(id);
        }
    }
}

}  // namespace testing_support
