#include "platform/config/MultiSectionFile.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "platform/config/FileError.h"
#include "platform/config/RecordFile.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSystem.h"

using Configuration::FileError;
using Configuration::MultiSectionFile;
using namespace testing_support;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::unique_ptr<MultiSectionFile> OpenDb(const std::string& path) {
    return std::make_unique<Configuration::RecordFile>(path.c_str());
}

// Every section's entries, front first.
std::vector<Entries> Contents(MultiSectionFile& f) {
    std::vector<Entries> all;
    f.Restart();
    while (f.GotoNextSection()) {
        all.emplace_back();
        f.ForEachSectionEntry([&](std::string_view k, std::string_view v) {
            all.back().emplace_back(std::string(k), std::string(v));
        });
    }
    return all;
}

void AddRecord(MultiSectionFile& f, int id, const Entries& entries) {
    f.AddSection(true);
    f.SetSectionEntry("ID", std::to_string(id).c_str());
    for (const auto& e : entries) f.AddSectionEntry(e.first.c_str(), e.second.c_str());
}

}  // namespace

// Nothing is current in an empty file; values are cut to the buffer.
TEST(MultiSectionFile, CursorRules) {
    TempDir dir;
    auto db = OpenDb(dir.File("db"));
    char buf[8];
    EXPECT_EQ(0, db->GotoFirstSection());
    EXPECT_EQ(0, db->GotoLastSection());
    EXPECT_EQ(0, db->AddSectionEntry("k", "v"));
    EXPECT_EQ(0, db->GetSectionEntry("ID", buf, sizeof buf));
    EXPECT_EQ(0, db->DeleteSection());
    AddRecord(*db, 1234567890, {});
    ASSERT_TRUE(db->GetSectionEntry("ID", buf, sizeof buf));
    EXPECT_STREQ("1234567", buf);
}

// What people, scripts and torn writes leave reads as they meant it, with a
// note for each repair; only a file the system cannot read is refused.
TEST(MultiSectionFile, ReadsEveryTextAsMeant) {
    TempDir dir;
    const std::string path = dir.File("db");
    struct Case {
        std::string text;
        std::vector<Entries> sections;
        std::vector<unsigned> noteLines;
        bool dropsText;
    };
    const Case cases[] = {
        {"", {}, {}, false},
        {"# by hand\r\n\r\n  {\r\nID = 5\r\n  name=  Bob \r\n}\r\n{\nID=4\n#n=1\nk=\\x41=\n}",
         {{{"ID", "5"}, {"name", "Bob"}}, {{"ID", "4"}, {"k", "A="}}},
         {},
         false},
        {"\xEF\xBB\xBF{\ncaller=DOMAIN\\alice\n}\n", {{{"caller", "DOMAIN\\alice"}}}, {}, false},
        {"{\nID=1\n}\n{\nID=2\ncaller=Al",
         {{{"ID", "1"}}, {{"ID", "2"}, {"caller", "Al"}}},
         {4},
         false},
        {std::string("{\nID=1\n}\n\0\0\0\0", 13), {{{"ID", "1"}}}, {4}, false},
        {std::string("{\nk=a\0b\n}\n", 10), {{{"k", "ab"}}}, {2}, false},
        {"{\nID=1\nstray words\n}\n}\n", {{{"ID", "1"}}}, {3, 5}, true},
        {"a=1\n{\nID=1\n}\n", {{{"ID", "1"}}}, {1}, true},
        {"{\nID=1\n{\nID=2\n}\n", {{{"ID", "1"}}, {{"ID", "2"}}}, {1}, false},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.text);
        auto db = OpenDb(path);
        EXPECT_EQ(c.sections, Contents(*db)) << c.text;
        std::vector<unsigned> lines;
        for (const auto& note : db->Notes().Kept()) lines.push_back(note.mLine);
        EXPECT_EQ(c.noteLines, lines) << db->Notes().Describe(path);
        EXPECT_EQ(c.dropsText, db->Notes().DroppedText()) << c.text;
        // Written again in this library's own form, which reads back as it stands.
        db->Save(true, nullptr);
        auto again = OpenDb(path);
        EXPECT_EQ(c.sections, Contents(*again));
        EXPECT_TRUE(again->Notes().Empty()) << again->Notes().Describe(path);
    }
    EXPECT_EQ("{\nID=1\n}\n{\nID=2\n}\n", ReadFile(path));
    EXPECT_THROW(OpenDb(dir.Path()), FileError);
    EXPECT_THROW(OpenDb(""), FileError);
    EXPECT_NO_THROW(OpenDb(dir.File("absent")));
}

TEST(MultiSectionFile, FailedSaveLosesNothing) {
    TempDir dir;
    const std::string path = dir.File("db");
    TestSystem fs;
    auto db = OpenDb(path);
    AddRecord(*db, 1, {{"k", "v"}});
    db->Save(true, nullptr);
    const std::string saved = ReadFile(path);

    // A save opens the directory, then the temporary, writes, syncs, closes
    // and renames it, and syncs the directory.
    const struct {
        TestSystem::Call call;
        int after;
        int error;
    } failures[] = {{TestSystem::kOpen, 1, EIO},
                    {TestSystem::kWrite, 0, ENOSPC},
                    {TestSystem::kFsync, 0, EIO},
                    {TestSystem::kClose, 0, EIO},
                    {TestSystem::kRename, 0, EIO}};
    for (const auto& f : failures) {
        AddRecord(*db, 2 + db->GetSectionCount(), {{"k", "v"}});
        fs.Heal();
        fs.Fail(f.call, f.error, 1, f.after);
        try {
            db->Save(true, nullptr);
            ADD_FAILURE() << "save reported success with call " << f.call << " failing";
        } catch (const FileError& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(strerror(f.error))) << e.what();
        }
        EXPECT_EQ(saved, ReadFile(path)) << f.call;
        EXPECT_EQ((std::vector<std::string>{"db"}), dir.List()) << f.call;
    }
    EXPECT_EQ(6, db->GetSectionCount());

    // A failed directory sync is reported although the new file is in place.
    fs.Heal();
    fs.Fail(TestSystem::kFsync, EIO, 1, 1);
    EXPECT_THROW(db->Save(true, nullptr), FileError);

    // Room again, and writes that come back short and interrupted.
    fs.Heal();
    fs.Choppy();
    const int before = fs.Writes();
    db->Save(true, nullptr);
    EXPECT_EQ(Contents(*db), Contents(*OpenDb(path)));
    EXPECT_GT(fs.Writes() - before, 20);
}

TEST(MultiSectionFile, SaveGoesOnlyWhereItShould) {
    TempDir dir;
    const std::string path = dir.File("a/b/db");
    auto db = OpenDb(path);
    AddRecord(*db, 1, {});
    db->Save(true, nullptr);
    EXPECT_EQ(1, OpenDb(path)->GetSectionCount());

    // A stale temporary from a crash, then a symlink to a victim in its place.
    WriteFile(path + ".tmp", "garbage");
    db->Save(true, nullptr);
    const std::string victim = dir.File("victim");
    WriteFile(victim, "precious");
    ASSERT_EQ(0, symlink(victim.c_str(), (path + ".tmp").c_str()));
    AddRecord(*db, 2, {});
    db->Save(true, nullptr);
    EXPECT_EQ("precious", ReadFile(victim));
    EXPECT_EQ(2, OpenDb(path)->GetSectionCount());
    EXPECT_NE(0, access((path + ".tmp").c_str(), F_OK));

    // A directory that others may write, or another user's, gets no file.
    const std::string parent = dir.File("a/b");
    ASSERT_EQ(0, chmod(parent.c_str(), 0775));
    EXPECT_THROW(db->Save(true, nullptr), FileError);
    ASSERT_EQ(0, chmod(parent.c_str(), 0755));
    if (geteuid() == 0) {
        ASSERT_EQ(0, chown(parent.c_str(), 65534, 65534));
        try {
            db->Save(true, nullptr);
            ADD_FAILURE() << "saved into another user's directory";
        } catch (const FileError& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("owned by another user"));
        }
    }
    EXPECT_EQ(2, OpenDb(path)->GetSectionCount());

    // No link on the way is followed, nor a directory above the file's that
    // others could change: reads and saves fail, and nothing goes elsewhere.
    const std::string elsewhere = dir.File("elsewhere");
    ASSERT_EQ(0, mkdir(elsewhere.c_str(), 0700));
    auto late = OpenDb(dir.File("late/sub/db"));
    ASSERT_EQ(0, symlink(elsewhere.c_str(), dir.File("late").c_str()));
    AddRecord(*late, 1, {});
    EXPECT_THROW(late->Save(true, nullptr), FileError);
    EXPECT_THROW(OpenDb(dir.File("late/sub/db")), FileError);
    ASSERT_EQ(0, symlink(victim.c_str(), dir.File("linked").c_str()));
    EXPECT_THROW(OpenDb(dir.File("linked")), FileError);
    ASSERT_EQ(0, mkdir(dir.File("open").c_str(), 0777));
    ASSERT_EQ(0, chmod(dir.File("open").c_str(), 0777));
    EXPECT_THROW(OpenDb(dir.File("open/sub/db")), FileError);
    EXPECT_EQ(0, rmdir(elsewhere.c_str())) << "something was made there";
}

TEST(MultiSectionConfigFile, AgreesWithASimpleModelUnderRandomEdits) {
    // Sections move between the scratch block, reused blocks and new ones,
    // and the ring that holds them grows and wraps; whatever the order of
    // edits, the contents must be what was written.
    Configuration::RecordSections file;
    std::vector<Entries> model;
    long current = -1;
    std::mt19937 rng(3);
    auto value = [&] { return std::string(rng() % 40, static_cast<char>('a' + rng() % 26)); };
    for (int step = 0; step < 20000; ++step) {
        const unsigned op = rng() % 10;
        if (op < 2) {
            const bool front = rng() % 4 != 0;
            file.AddSection(front);
            model.insert(front ? model.begin() : model.end(), Entries{});
            current = front ? 0 : static_cast<long>(model.size()) - 1;
        } else if (op < 6 && current >= 0) {
            std::string k = "k" + std::to_string(rng() % 5), v = value();
            if (op < 5) {
                file.AddSectionEntry(k.c_str(), v.c_str());
                model[current].emplace_back(k, v);
            } else {
                file.SetSectionEntry(k.c_str(), v.c_str());
                auto it = std::find_if(model[current].begin(), model[current].end(),
                                       [&](const auto& e) { return e.first == k; });
                if (it != model[current].end())
                    it->second = v;
                else
                    model[current].emplace_back(k, v);
            }
        } else if (op == 6 && !model.empty()) {  // the oldest, as a full database does, or any
            const size_t at = rng() % 2 ? model.size() - 1 : rng() % model.size();
            file.Restart();
            for (size_t i = 0; i <= at; ++i) file.GotoNextSection();
            file.DeleteSection();
            model.erase(model.begin() + static_cast<long>(at));
            current = -1;  // nothing is current after a delete
        } else if (op == 7 && !model.empty()) {
            file.GotoFirstSection();
            current = 0;
        } else if (op == 8 && step % 50 == 0) {
            std::string text, expected;
            file.WriteText(&text);
            for (const Entries& section : model) {
                expected += "{\n";
                for (const auto& e : section) expected += e.first + "=" + e.second + "\n";
                expected += "}\n";
            }
            ASSERT_EQ(expected, text) << step;
        } else if (op == 9 && step % 997 == 0) {
            file.ClearAll();
            model.clear();
            current = -1;
        }
    }
}
