#include "platform/config/DurableFile.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "platform/config/FileError.h"
#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "tests/support/TempDir.h"

using Configuration::FileError;
using Configuration::MultiSectionFile;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

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

// In a child: report what failed and leave with a nonzero status.
void Require(bool ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "child: %s\n", what);
        _exit(1);
    }
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

TEST(DurableFile, FullFileSystemFailsSaveAndKeepsOldFileAndMemory) {
    TempDir dir;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A private mount namespace, so the small file system is seen by this child only.
        if (unshare(CLONE_NEWNS) != 0)
            _exit(77);
        Require(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0, "private mounts");
        Require(mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k,mode=0755") == 0,
                "mount tmpfs");
        const std::string path = dir.File("db");
        const std::string filler = dir.File("filler");
        WriteFile(filler, std::string(32 * 1024, 'f'));

        std::unique_ptr<MultiSectionFile> db(OpenDb(path));
        FillVersion(*db, 3);
        db->Save(true, nullptr);
        std::string saved = ReadFile(path);
        int count = db->GetSectionCount();
        bool failed = false;
        for (int i = 0; i < 100 && !failed; ++i) {
            db->AddSection(true);
            ++count;
            db->AddSectionEntry("caller", std::string(2000, 'a' + i % 26).c_str());
            try {
                db->Save(true, nullptr);
                saved = ReadFile(path);
            } catch (const FileError& e) {
                failed = true;
                Require(strstr(e.what(), strerror(ENOSPC)) != nullptr, "error names ENOSPC");
            }
        }
        Require(failed, "save failed on a full file system");
        Require(ReadFile(path) == saved, "old file whole");
        Require(access((path + ".tmp").c_str(), F_OK) != 0, "no temporary left");
        Require(db->GetSectionCount() == count, "sections kept in memory");

        // Room returns: the next save writes everything that was kept.
        unlink(filler.c_str());
        try {
            db->Save(true, nullptr);
        } catch (const std::exception& e) {
            Require(false, e.what());
        }
        std::unique_ptr<MultiSectionFile> back(OpenDb(path));
        Require(TextOf(*back) == TextOf(*db), "later save writes everything");
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no mount namespace";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
