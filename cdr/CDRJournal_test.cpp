#include "cdr/CDRJournal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/config/RecordFile.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// A replay puts back what the file lacks, then clears; the count it gives
// (for the trace) is of the records it put back that are still there.
TEST(CDRJournal, ReplayCountsOnlyTheRecordsItKept) {
    auto frame = [](bool added, uint32_t id) {
        return CDRJournal::Frame{
            added, 1, id, id, CDRJournal::kDatabase, "ID=" + std::to_string(id) + "\n"};
    };
    const struct {
        const char* what;
        std::string file;
        std::vector<CDRJournal::Frame> frames;
        uint32_t recovered;
        std::string after;
    } cases[] = {
        {"beyond the file's newest",
         "{\nID=4\n}\n",
         {frame(true, 4), frame(true, 5), frame(true, 6)},
         2,
         "{\nID=6\n}\n{\nID=5\n}\n{\nID=4\n}\n"},
        {"put back, then cleared", "", {frame(true, 0), frame(true, 1), frame(false, 2)}, 0, ""},
        {"a clear below one",
         "{\nID=0\n}\n",
         {frame(true, 1), frame(true, 2), frame(false, 2)},
         1,
         "{\nID=2\n}\n"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFile(dir.File("db"), c.file);
        Configuration::RecordFile file(dir.File("db").c_str());
        std::vector<const CDRJournal::Frame*> frames;
        for (const CDRJournal::Frame& f : c.frames) frames.push_back(&f);
        EXPECT_EQ(c.recovered, CDRJournal::Replay(file, 1, CDRJournal::kDatabase, frames))
            << c.what;
        file.Save(true, nullptr);
        EXPECT_EQ(c.after, ReadFile(dir.File("db"))) << c.what;
    }
}
