#include "platform/config/DurableFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "tests/support/TempDir.h"

using Configuration::MultiSectionFile;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

MultiSectionFile* OpenDb(const std::string& path) {
    return new Configuration::RecordFile(path.c_str());
}

// Version K of a database: its text tells K, and every version differs in size.
void FillVersion(Configuration::MultiSectionConfigFile& f, long k) {
    f.ClearAll();
    for (long s = k % 40; s >= 0; --s) {
        f.AddSection(true);
        f.SetSectionEntry("ID", std::to_string(s).c_str());
        for (int e = 0; e < 12; ++e)
            f.AddSectionEntry(("key" + std::to_string(e)).c_str(),
                              ("value of " + std::to_string(k * 100 + e)).c_str());
    }
    f.SetSectionEntry("version", std::to_string(k).c_str());
}

std::string TextOf(Configuration::MultiSectionConfigFile& f) {
    std::string text;
    f.WriteText(&text);
    return text;
}

}  // namespace

TEST(DurableFile, FileSurvivesSigkillAtAnyMomentOfASaveLoop) {
    TempDir dir;
    const std::string path = dir.File("db");
    std::mt19937 rng(99);
    for (long round = 0; round < 250; ++round) {
        int ready[2];
        ASSERT_EQ(0, pipe(ready));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            MultiSectionFile* f = OpenDb(path);
            for (long k = round * 100000;; ++k) {
                FillVersion(*f, k);
                f->Save(true, nullptr);
                if (k == round * 100000)
                    (void)!write(ready[1], "r", 1);
            }
        }
        // Wait for a first save, so that slow start-ups (emulator, sanitizers) do
        // not turn every round into a kill before anything was written.
        char r;
        close(ready[1]);
        ASSERT_EQ(1, read(ready[0], &r, 1));
        close(ready[0]);
        usleep(rng() % 4000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "saver ended by itself, status " << status;

        std::unique_ptr<MultiSectionFile> db;
        ASSERT_NO_THROW(db.reset(OpenDb(path))) << "round " << round;
        char version[256];
        ASSERT_TRUE(db->GotoFirstSection());
        ASSERT_TRUE(db->GetSectionEntry("version", version, sizeof version));
        Configuration::RecordSections expected;
        FillVersion(expected, atol(version));
        ASSERT_EQ(TextOf(expected), ReadFile(path)) << "round " << round;
    }
    // A temporary left by the last kill goes with the next save.
    std::unique_ptr<MultiSectionFile> db(OpenDb(path));
    db->Save(true, nullptr);
    EXPECT_EQ((std::vector<std::string>{"db"}), dir.List());
}
