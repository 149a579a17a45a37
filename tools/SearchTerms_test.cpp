#include "tools/SearchTerms.h"

#include <gtest/gtest.h>

#include <ctime>

// Each term as a person types it, and what it may not be. A date's "until"
// takes the whole day, by the calendar: the day the clocks go forward in
// Berlin has 23 hours.
TEST(SearchTerms, TakeWhatTheyNameAndRefuseTheRest) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const struct {
        const char *name, *value;
        int64_t since, until;  // 0: as they were
    } taken[] = {
        {"since", "2026-03-01", 1772319600, 0},
        {"since", "2026-03-01 08:30", 1772350200, 0},
        {"since", "2026-03-01T08:30:15", 1772350215, 0},
        {"until", "2026-03-29", 0, 1774821600},
        {"until", "2026-03-29 10:00", 0, 1774771200},
    };
    for (const auto& c : taken) {
        RecordQuery query;
        std::string error;
        ASSERT_TRUE(SearchTerms::Set(c.name, c.value, &query, &error)) << c.value << ": " << error;
        EXPECT_EQ(c.since ? c.since : INT64_MIN, query.mSince) << c.value;
        EXPECT_EQ(c.until ? c.until : INT64_MAX, query.mUntil) << c.value;
    }
    RecordQuery query;
    std::string error;
    EXPECT_TRUE(SearchTerms::Set("kind", "missed", &query, &error));
    EXPECT_EQ(2, query.mKinds);
    EXPECT_TRUE(SearchTerms::Set("min-duration", "4294967295", &query, &error));
    EXPECT_EQ(UINT32_MAX, query.mMinDuration);
    EXPECT_TRUE(SearchTerms::Set("party", std::string(255, 'x'), &query, &error));
    EXPECT_TRUE(SearchTerms::Set("caller", "", &query, &error) && query.mCaller.empty());

    const char* refused[][2] = {
        {"since", "2026-02-31"},       {"since", "2026-13-01"},
        {"since", "2026-+1-01"},       {"since", "2026-03-01  8:30"},
        {"until", "2026-03-01 24:00"}, {"until", "2026-03-01 08:30:"},
        {"until", "2026-03-01x"},      {"since", "26-03-01"},
        {"min-duration", "-1"},        {"kind", "calls"},
        {"when", "2026-03-01"},
    };
    for (const auto& [name, value] : refused) {
        EXPECT_FALSE(SearchTerms::Set(name, value, &query, &error)) << name << "=" << value;
        EXPECT_NE(std::string::npos, error.find(name)) << error;
    }
    EXPECT_FALSE(SearchTerms::Set("party", std::string(256, 'x'), &query, &error));
    EXPECT_FALSE(SearchTerms::Set("called", std::string("a\0b", 3), &query, &error));
    setenv("TZ", "UTC", 1);
    tzset();
}
