#include "cdr/CDRJournal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include <string>
#include <vector>

#include "platform/config/RecordFile.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// "kind:ID" of each section, front first; kind 0 for a section without "type".
std::string Ids(Configuration::MultiSectionFile& file) {
    std::string out;
    char type[16], id[16];
    for (file.Restart(); file.GotoNextSection();) {
        if (!file.GetSectionEntry("type", type, sizeof type))
            std::strcpy(type, "0");
        file.GetSectionEntry("ID", id, sizeof id);
        out += std::string(out.empty() ? "" : " ") + type + ":" + id;
    }
    return out;
}

std::string Record(uint32_t id) {
    return "ID=" + std::to_string(id) + "\nST=7\n";
}

}  // namespace

// A replay puts back exactly what a file lacks: records newer than its
// newest of their kind, in their order (the statistics file's with their
// type), and a clear takes what it cleared whenever the crash came.
TEST(CDRJournal, ReplayPutsBackWhatTheFilesLackAndNothingCleared) {
    TempDir dir;
    const std::string db = dir.File("CDR_db"), stat = dir.File("down_stat.log");
    WriteFile(db, "{\nID=2\n}\n{\nID=1\n}\n{\nID=0\n}\n");
    WriteFile(stat, "{\ntype=1\nID=2\n}\n");
    const unsigned both = CDRJournal::kDatabase | CDRJournal::kStatistics;
    struct Case {
        const char* what;
        std::vector<std::vector<uint32_t>> frames;  // {added?, kind, id, sequence, scopes}
        const char* database;
        const char* statistics;
    };
    const Case cases[] = {
        {"saved ones skipped, newer ones in front",
         {{1, 1, 1, 0, both}, {1, 1, 2, 1, both}, {1, 1, 3, 2, both}, {1, 2, 0, 3, 2}},
         "0:3 0:2 0:1 0:0",
         "2:0 1:3 1:2"},
        {"a clear of the database takes what the file still holds",
         {{1, 1, 3, 0, both}, {0, 1, 4, 1, CDRJournal::kDatabase}, {1, 1, 4, 2, both}},
         "0:4",
         "1:4 1:3 1:2"},
        {"a delivered collection never comes back",
         {{1, 1, 3, 0, both}, {0, 1, 4, 1, CDRJournal::kStatistics}, {1, 1, 4, 2, both}},
         "0:4 0:3 0:2 0:1 0:0",
         "1:4"},
        {"only the statistics file's records when recording was off",
         {{1, 1, 3, 5, CDRJournal::kStatistics}},
         "0:2 0:1 0:0",
         "1:3 1:2"},
    };
    for (const Case& c : cases) {
        unlink((db + ".journal").c_str());
        {
            CDRJournal journal(db);
            for (const std::vector<uint32_t>& f : c.frames) {
                if (f[0])
                    journal.Added(static_cast<int>(f[1]), f[2], f[3], f[4], Record(f[2]));
                else
                    journal.Cleared(static_cast<int>(f[1]), f[2], f[4]);
            }
        }
        CDRJournal again(db);
        const CDRJournal::Contents contents = again.Read();
        std::vector<const CDRJournal::Frame*> frames;
        for (const CDRJournal::Frame& f : contents.frames) frames.push_back(&f);
        Configuration::RecordFile dbFile(db.c_str());
        Configuration::RecordFile statFile(stat.c_str(), "section");
        CDRJournal::Replay(dbFile, 1, CDRJournal::kDatabase, frames);
        CDRJournal::Replay(statFile, 0, CDRJournal::kStatistics, frames);
        EXPECT_EQ(c.database, Ids(dbFile)) << c.what;
        EXPECT_EQ(c.statistics, Ids(statFile)) << c.what;
    }
    // The statistics record is the database record with its type in front.
    CDRJournal journal(db);
    Configuration::RecordFile statFile(stat.c_str(), "section");
    const CDRJournal::Contents contents = journal.Read();
    CDRJournal::Replay(statFile, 0, CDRJournal::kStatistics, {&contents.frames.back()});
    statFile.GotoFirstSection();
    EXPECT_EQ("type=1\nID=3\nST=7\n", statFile.SectionText());
}
