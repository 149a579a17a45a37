#include "tools/SearchTerms.h"

#include <ctime>

#include "platform/msg/CDRKind.h"
#include "platform/util/NumberText.h"
#include "tools/TextPieces.h"

namespace {

const char* const kTerms[] = {"kind",  "party", "caller",      "called",
                              "since", "until", "min-duration"};

// The N decimal digits at TEXT into *VALUE; false for anything else.
bool Digits(const char* text, int n, int* value) {
    *value = 0;
    for (int i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

// Local YYYY-MM-DD[( |T)HH:MM[:SS]] as seconds since the epoch; *DATE_ONLY
// tells whether a time was given.
bool LocalTime(std::string_view text, int64_t* seconds, bool* dateOnly) {
    struct tm t = {};
    const char* s = text.data();
    const size_t n = text.size();
    if ((n != 10 && n != 16 && n != 19) || !Digits(s, 4, &t.tm_year) || s[4] != '-' ||
        !Digits(s + 5, 2, &t.tm_mon) || s[7] != '-' || !Digits(s + 8, 2, &t.tm_mday))
        return false;
    if (n > 10 && ((s[10] != ' ' && s[10] != 'T') || !Digits(s + 11, 2, &t.tm_hour) ||
                   s[13] != ':' || !Digits(s + 14, 2, &t.tm_min)))
        return false;
    if (n > 16 && (s[16] != ':' || !Digits(s + 17, 2, &t.tm_sec)))
        return false;
    *dateOnly = n == 10;
    if (t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
        t.tm_min > 59 || t.tm_sec > 59)
        return false;
    const int day = t.tm_mday;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    const time_t made = mktime(&t);
    // mktime moves 31 February on to March: such a date is not one.
    if (made == static_cast<time_t>(-1) || t.tm_mday != day)
        return false;
    *seconds = made;
    return true;
}

// The index of term NAME in kTerms, or -1.
int TermIndex(std::string_view name) {
    for (int i = 0; i < static_cast<int>(sizeof kTerms / sizeof kTerms[0]); ++i)
        if (name == kTerms[i])
            return i;
    return -1;
}

}  // namespace

bool SearchTerms::IsTerm(std::string_view name) {
    return TermIndex(name) >= 0;
}

bool SearchTerms::Set(std::string_view name, std::string_view value, RecordQuery* q,
                      std::string* error) {
    enum { kKind, kParty, kCaller, kCalled, kSince, kUntil, kMinDuration };
    const int term = TermIndex(name);
    if (term < 0) {
        TextPieces::Assign(*error, "there is no search term '%t'", name.data(), name.size());
        return false;
    }
    if (value.empty())
        return true;
    if (term == kKind) {
        if (value == "all") {
            q->mKinds = 7;
            return true;
        }
        const int db = KindIndex(value);
        if (db < 0) {
            TextPieces::Assign(*error, "kind is stated, missed, failed or all, not '%t'",
                               value.data(), value.size());
            return false;
        }
        q->mKinds = static_cast<uint8_t>(kCDRKinds[db]);
        return true;
    }
    if (term <= kCalled) {
        // The wire's limit for a text; nothing longer is in a record's party.
        if (value.size() > 255 || value.find('\0') != std::string::npos) {
            TextPieces::Assign(*error, "%s takes a text of at most 255 bytes", kTerms[term]);
            return false;
        }
        TextPieces::Set(term == kParty    ? q->mParty
                        : term == kCaller ? q->mCaller
                                          : q->mCalled,
                        value);
        return true;
    }
    if (term == kMinDuration) {
        int64_t seconds = 0;
        if (!NumberText::Whole(value, 0, UINT32_MAX, &seconds)) {
            TextPieces::Assign(*error, "min-duration takes whole seconds, not '%t'", value.data(),
                               value.size());
            return false;
        }
        q->mMinDuration = static_cast<uint32_t>(seconds);
        return true;
    }
    int64_t seconds = 0;
    bool dateOnly = false;
    if (!LocalTime(value, &seconds, &dateOnly)) {
        TextPieces::Assign(*error,
                           "%s takes a date (YYYY-MM-DD) or a time (YYYY-MM-DD HH:MM), not '%t'",
                           kTerms[term], value.data(), value.size());
        return false;
    }
    if (term == kSince) {
        q->mSince = seconds;
    } else {
        // A date includes its whole day: until the next day begins, found by
        // the calendar, since a day with a clock change is not 24 hours.
        int64_t next = seconds;
        if (dateOnly) {
            time_t t = static_cast<time_t>(seconds);
            struct tm day;
            localtime_r(&t, &day);
            day.tm_mday += 1;
            day.tm_hour = day.tm_min = day.tm_sec = 0;
            day.tm_isdst = -1;
            next = mktime(&day);
        }
        q->mUntil = next;
    }
    return true;
}
