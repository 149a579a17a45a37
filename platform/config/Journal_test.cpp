#include "platform/config/Journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"

using Configuration::Journal;
using namespace testing_support;

TEST(Journal, ReadingLeavesOutOnlyATornEnd) {
    TempDir dir;
    const std::string path = dir.File("db.journal");
    const std::vector<std::string> frames = {"first", std::string(3000, 'x'), "third\n"};
    {
        Journal journal(path);
        EXPECT_TRUE(journal.Read().frames.empty());  // no file yet
        for (const std::string& f : frames) journal.Append(f);
        journal.Sync();
        EXPECT_FALSE(journal.Pending());
    }
    Journal journal(path);
    EXPECT_EQ(frames, journal.Read().frames);
    const std::string whole = ReadFile(path);

    struct Case {
        const char* what;
        std::string text;
        size_t frames;
        bool torn;
        bool damaged;
    };
    std::string flipped = whole;
    flipped[10] ^= 1;  // in the first payload
    std::string badLength = whole;
    badLength[0] = '\x7f';
    const Case cases[] = {
        {"last frame cut short", whole.substr(0, whole.size() - 3), 2, true, false},
        {"only the last header", whole.substr(0, whole.size() - 10), 2, true, false},
        {"last header cut", whole.substr(0, whole.size() - 12), 2, true, false},
        {"zeros after the frames", whole + std::string(4096, '\0'), 3, true, false},
        {"last payload changed", whole.substr(0, whole.size() - 1) + "?", 2, true, false},
        {"a frame in the middle changed", flipped, 0, false, true},
        {"an impossible length", badLength, 0, false, true},
    };
    for (const Case& c : cases) {
        WriteFile(path, c.text);
        const Journal::Contents got = Journal(path).Read();
        EXPECT_EQ(std::vector<std::string>(frames.begin(), frames.begin() + c.frames), got.frames)
            << c.what;
        EXPECT_EQ(c.torn, got.tornTail) << c.what;
        EXPECT_EQ(c.damaged, !got.damage.empty()) << c.what << ": " << got.damage;
    }
    Journal damaged(path);
    damaged.MoveAside();
    EXPECT_EQ(badLength, ReadFile(path + ".damaged"));
    EXPECT_TRUE(Journal(path).Read().frames.empty());
}
