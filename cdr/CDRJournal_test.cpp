#include "cdr/CDRJournal.h"

#include <errno.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cdr/CDRJournals.h"
#include "platform/config/RecordFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSystem.h"

using namespace testing_support;

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

namespace {
void Quiet(const char*, ...) {}
}  // namespace

// What counts as durable, in order: a record waits for its sync at most
// kDelayMs on the clock while others follow; after a failed sync or append,
// it and every later record of its database count as not durable, and the
// failure shows, until the database is saved.
TEST(CDRJournals, RecordsAreDurableOnceSyncedOrSaved) {
    TempDir dir;
    testing_support::TestSystem sys;
    sys.SetClock(1000, 0);
    CDRJournals journals(Quiet);
    journals.SetOn(true);
    journals.SetPath(0, dir.File("CDR_db"));
    uint32_t id = 1;
    auto add = [&] { journals.Added(0, 1, id++, CDRJournal::kDatabase, "ID=1\n"); };
    add();
    sys.SetClock(1000, CDRJournals::kDelayMs - 1);
    add();
    EXPECT_EQ(2u, journals.NotDurable(0));  // the first's sync is not due yet
    sys.SetClock(1000, CDRJournals::kDelayMs);
    add();
    EXPECT_EQ(0u, journals.NotDurable(0));  // due: all three synced
    add();
    journals.Sync();
    EXPECT_EQ(0u, journals.NotDurable(0));
    EXPECT_EQ("", journals.Problem());

    const TestSystem::Call failing[] = {TestSystem::kFdatasync, TestSystem::kWrite};
    for (TestSystem::Call call : failing) {
        sys.Fail(call, EIO, 1);
        add();
        journals.Sync();
        add();
        journals.Sync();  // this one goes well, but follows the lost one
        EXPECT_EQ(2u, journals.NotDurable(0)) << call;
        EXPECT_NE("", journals.Problem()) << call;
        journals.Saved(0);
        EXPECT_EQ(0u, journals.NotDurable(0)) << call;
        EXPECT_EQ("", journals.Problem()) << call;
    }
}
