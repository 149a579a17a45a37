#include "platform/msg/RecordSearch.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/config/RecordFile.h"
#include "platform/config/TextFormat.h"
#include "platform/msg/CDRKind.h"

namespace {

// Decimal text, optionally negative, within [MIN, MAX]. Not NumberText's
// reading: a search with a duration reads a number from every record, and
// its saturating count makes the dearest search a tenth slower; the
// numbers of a record the recorder wrote are plain digits.
bool Whole(std::string_view text, int64_t min, int64_t max, int64_t* value) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 18)
        return false;
    int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    v = negative ? -v : v;
    if (v < min || v > max)
        return false;
    *value = v;
    return true;
}

using Configuration::MultiSectionConfigFile;

// The record format's delimiters as its lines hold them, without the line
// end: what the format's line functions take.
constexpr std::string_view Line(const char* delimiter) {
    const std::string_view text(delimiter);
    return text.substr(0, text.find('\n'));
}
constexpr std::string_view kBegin = Line(Configuration::RecordDelimiters::kBegin);
constexpr std::string_view kEnd = Line(Configuration::RecordDelimiters::kEnd);
constexpr std::string_view kSeparator = Line(Configuration::RecordDelimiters::kSeparator);
constexpr std::string_view kComment = Line(Configuration::RecordDelimiters::kComment);

// An entry line of a record, decoded.
void DecodeEntry(std::string_view line, std::string* key, std::string* value) {
    Configuration::TextFormat::DecodeSectionEntry(line, kSeparator, key, value);
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = Lower(c);
    return out;
}

// Whether NEEDLE (lower case, not empty) is in HAY, ASCII case ignored,
// and not across GAP, a part of HAY (empty: none). Searches run this over
// every record, so the first byte is looked for with memchr, once for each
// case it has.
bool Contains(std::string_view hay, const std::string& needle, std::string_view gap = {}) {
    if (needle.size() > hay.size())
        return false;
    const char* const last = hay.data() + (hay.size() - needle.size());
    const char first = needle[0];
    const char upper =
        first >= 'a' && first <= 'z' ? static_cast<char>(first - ('a' - 'A')) : first;
    for (const char want : {first, upper}) {
        for (const char* at = hay.data(); at <= last; ++at) {
            at = static_cast<const char*>(memchr(at, want, static_cast<size_t>(last - at) + 1));
            if (!at)
                break;
            if (!gap.empty() && at < gap.data() + gap.size() && at + needle.size() > gap.data())
                continue;
            size_t i = 1;
            while (i < needle.size() && Lower(at[i]) == needle[i]) ++i;
            if (i == needle.size())
                return true;
        }
        if (upper == first)
            break;
    }
    return false;
}

uint32_t IdAt(const MultiSectionConfigFile& file, size_t i, bool* has) {
    RecordSearch::Fields f;
    RecordSearch::Read(file.SectionTextAt(i), &f);
    uint32_t id = 0;
    *has = f.Id(&id);
    return id;
}

// Where a list of FILE takes up after the record with ID: the index after
// it, or, when it is gone, of the first record older than it. A record the
// recorder wrote is at its ID's distance from the front; others are looked
// for.
size_t After(const MultiSectionConfigFile& file, uint32_t id) {
    const size_t count = static_cast<size_t>(file.GetSectionCount());
    bool has = false;
    if (count == 0)
        return 0;
    const uint32_t front = IdAt(file, 0, &has);
    if (has) {
        const size_t guess = static_cast<uint32_t>(front - id);
        bool hasAtGuess = false;
        if (guess < count && IdAt(file, guess, &hasAtGuess) == id && hasAtGuess)
            return guess + 1;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = IdAt(file, i, &has);
        if (has && at == id)
            return i + 1;
        if (has && IdBefore(at, id))
            return i;
    }
    return count;
}

// One database's place in a list: the next record that matches.
struct Head {
    const MultiSectionConfigFile* mFile = nullptr;
    size_t mPos = 0;  // of the record in mFields, when mValid
    bool mValid = false;
    bool mConsumed = false;  // a record of this database was taken or skipped
    uint32_t mLastId = 0;
    RecordSearch::Fields mFields;
    int64_t mStart = INT64_MIN;  // of the record at mPos; INT64_MIN when it has none
};

// Reads the record at HEAD's position; true when it matches.
bool ReadHead(const RecordQuery& q, bool criteria, Head* head) {
    RecordSearch::Read(head->mFile->SectionTextAt(head->mPos), &head->mFields);
    if (criteria && !RecordSearch::Matches(q, head->mFields))
        return false;
    if (!head->mFields.Start(&head->mStart))
        head->mStart = INT64_MIN;
    return true;
}

// Moves HEAD to the first match at or after FROM.
void Seek(const RecordQuery& q, bool criteria, Head* head, size_t from) {
    const size_t count = static_cast<size_t>(head->mFile->GetSectionCount());
    for (head->mPos = from; head->mPos < count; ++head->mPos) {
        if (ReadHead(q, criteria, head)) {
            head->mValid = true;
            return;
        }
    }
    head->mValid = false;
}

// Adds the record at HEAD to the page, cut to ROOM when it is the first and
// longer. False when it does not fit.
bool Take(const Head& head, uint8_t db, size_t* room, RecordPage* page) {
    std::string_view text = head.mFile->SectionTextAt(head.mPos);
    bool cut = false;
    if (text.size() + RecordSearch::kFraming > *room) {
        if (!page->mList.empty() || *room <= RecordSearch::kFraming)
            return false;
        // Whole lines, so that what comes reads as entries.
        const size_t end = text.rfind('\n', *room - RecordSearch::kFraming - 1);
        text = text.substr(0, end == std::string_view::npos ? 0 : end + 1);
        cut = true;
    }
    page->mList.push_back({db, cut, std::string(text)});
    *room -= text.size() + RecordSearch::kFraming;
    return true;
}

// Takes the line from P to END into *VALUE when it is KEY's ("KEY=VALUE")
// and the record had none before (the first counts, as lookups read it).
template <size_t N>
void TakeEntry(const char* p, const char* end, const char (&key)[N], bool* has,
               std::string_view* value, int* found) {
    if (*has || static_cast<size_t>(end - p) < N || memcmp(p, key, N - 1) != 0 || p[N - 1] != '=')
        return;
    *value = std::string_view(p + N, static_cast<size_t>(end - p) - N);
    *has = true;
    ++*found;
}

}  // namespace

bool RecordSearch::Fields::Id(uint32_t* id) const {
    int64_t n = 0;
    if (!mHasId || !Whole(mId, 0, UINT32_MAX, &n))
        return false;
    *id = static_cast<uint32_t>(n);
    return true;
}

bool RecordSearch::Fields::Start(int64_t* start) const {
    return mHasStart && Whole(mStart, INT64_MIN + 1, INT64_MAX, start);
}

bool RecordSearch::Fields::Duration(uint32_t* duration) const {
    int64_t n = 0;
    if (!mHasDuration || !Whole(mDuration, 0, UINT32_MAX, &n))
        return false;
    *duration = static_cast<uint32_t>(n);
    return true;
}

void RecordSearch::Read(std::string_view text, Fields* f) {
    f->mHasId = f->mHasStart = f->mHasDuration = f->mHasCaller = f->mHasCalled = false;
    f->mNeighbours = false;
    // A search reads this for every record, so it looks at each line's
    // first bytes only: the lines are in the form the format writes, and a
    // record the recorder wrote has these five first.
    const char* p = text.data();
    const char* const end = p + text.size();
    int found = 0;
    // In the recorder's order the lines need no search for their keys.
    static const char* const kOrder[5] = {"ID=", "ST=", "dur=", "called=", "caller="};
    std::string_view* const values[5] = {&f->mId, &f->mStart, &f->mDuration, &f->mCalled,
                                         &f->mCaller};
    bool* const has[5] = {&f->mHasId, &f->mHasStart, &f->mHasDuration, &f->mHasCalled,
                          &f->mHasCaller};
    static const size_t kKeyLength[5] = {3, 3, 4, 7, 7};
    for (; found < 5 && p < end; ++found) {
        const size_t keyLength = kKeyLength[found];
        const void* newline = memchr(p, '\n', static_cast<size_t>(end - p));
        const char* const lineEnd = newline ? static_cast<const char*>(newline) : end;
        if (static_cast<size_t>(lineEnd - p) < keyLength ||
            memcmp(p, kOrder[found], keyLength) != 0)
            break;
        *values[found] =
            std::string_view(p + keyLength, static_cast<size_t>(lineEnd - p) - keyLength);
        *has[found] = true;
        p = lineEnd + 1;
    }
    const bool inOrder = found == 5;
    while (found < 5 && p < end) {
        const void* newline = memchr(p, '\n', static_cast<size_t>(end - p));
        const char* const lineEnd = newline ? static_cast<const char*>(newline) : end;
        switch (*p) {
            case 'I':
                TakeEntry(p, lineEnd, "ID", &f->mHasId, &f->mId, &found);
                break;
            case 'S':
                TakeEntry(p, lineEnd, "ST", &f->mHasStart, &f->mStart, &found);
                break;
            case 'd':
                TakeEntry(p, lineEnd, "dur", &f->mHasDuration, &f->mDuration, &found);
                break;
            case 'c':
                TakeEntry(p, lineEnd, "caller", &f->mHasCaller, &f->mCaller, &found);
                TakeEntry(p, lineEnd, "called", &f->mHasCalled, &f->mCalled, &found);
                break;
        }
        p = lineEnd + 1;
    }
    // A text with escapes (a backslash, a line end, blanks at its ends) is
    // decoded from its whole line, which ends where the value does. In the
    // recorder's order the two are neighbours: one look covers both.
    f->mNeighbours = inOrder;
    if (f->mNeighbours &&
        !memchr(f->mCalled.data(), '\\',
                static_cast<size_t>(f->mCaller.data() + f->mCaller.size() - f->mCalled.data())))
        return;
    f->mNeighbours = false;
    std::string key;
    if (f->mHasCaller && f->mCaller.find('\\') != std::string_view::npos) {
        DecodeEntry(std::string_view(f->mCaller.data() - 7, f->mCaller.size() + 7), &key,
                    &f->mDecoded[0]);
        f->mCaller = f->mDecoded[0];
    }
    if (f->mHasCalled && f->mCalled.find('\\') != std::string_view::npos) {
        DecodeEntry(std::string_view(f->mCalled.data() - 7, f->mCalled.size() + 7), &key,
                    &f->mDecoded[1]);
        f->mCalled = f->mDecoded[1];
    }
}

size_t RecordSearch::DecodeEntries(std::string_view text, std::string* decoded, EntryView* entries,
                                   size_t max) {
    decoded->clear();
    // Decoding never lengthens a text: *DECODED never moves, and what is
    // viewed in it stays put.
    decoded->reserve(text.size());
    std::string key, value;
    size_t count = 0;
    std::string_view line;
    for (size_t pos = 0; Configuration::TextFormat::NextLine(text, &pos, &line);) {
        EntryView entry;
        // The lines are in the form the format writes: one without a
        // backslash is KEY=VALUE as it stands.
        const size_t separator = line.find('=');
        if (separator != std::string_view::npos && line.find('\\') == std::string_view::npos) {
            entry = {line.substr(0, separator), line.substr(separator + 1)};
        } else {
            if (Configuration::TextFormat::Classify(line, kBegin, kEnd, kSeparator, kComment) !=
                Configuration::TextFormat::kEntry)
                continue;
            DecodeEntry(line, &key, &value);
            const size_t at = decoded->size();
            decoded->append(key).append(value);
            assert(decoded->size() <= text.size());
            entry = {std::string_view(*decoded).substr(at, key.size()),
                     std::string_view(*decoded).substr(at + key.size(), value.size())};
        }
        if (count < max)
            entries[count] = entry;
        ++count;
    }
    return count;
}

RecordSearch::Entries RecordSearch::Decode(std::string_view text) {
    std::string decoded;
    std::vector<EntryView> views(48);  // a record with two streams and a fax has 46
    const size_t count = DecodeEntries(text, &decoded, views.data(), views.size());
    if (count > views.size()) {
        views.resize(count);
        DecodeEntries(text, &decoded, views.data(), count);
    }
    Entries entries;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) entries.emplace_back(views[i].first, views[i].second);
    return entries;
}

bool RecordSearch::Matches(const RecordQuery& q, const Fields& f) {
    int64_t start = 0;
    if ((q.mSince != INT64_MIN || q.mUntil != INT64_MAX) &&
        (!f.Start(&start) || start < q.mSince || start >= q.mUntil))
        return false;
    uint32_t duration = 0;
    if (q.mMinDuration != 0 && (!f.Duration(&duration) || duration < q.mMinDuration))
        return false;
    // The criteria's texts come lower case (see Run).
    if (!q.mCaller.empty() && !(f.mHasCaller && Contains(f.mCaller, q.mCaller)))
        return false;
    if (!q.mCalled.empty() && !(f.mHasCalled && Contains(f.mCalled, q.mCalled)))
        return false;
    if (q.mParty.empty())
        return true;
    if (f.mNeighbours) {
        // Called and caller are one line after the other: one scan covers
        // both, less what lies between them.
        const char* const from = f.mCalled.data();
        const char* const to = f.mCaller.data() + f.mCaller.size();
        const char* const gap = f.mCalled.data() + f.mCalled.size();
        return Contains(std::string_view(from, static_cast<size_t>(to - from)), q.mParty,
                        std::string_view(gap, static_cast<size_t>(f.mCaller.data() - gap)));
    }
    return (f.mHasCaller && Contains(f.mCaller, q.mParty)) ||
           (f.mHasCalled && Contains(f.mCalled, q.mParty));
}

void RecordSearch::Run(const RecordQuery& query, const MultiSectionConfigFile* const files[3],
                       size_t room, RecordPage* page) {
    RecordQuery q = query;
    q.mParty = Lower(query.mParty);
    q.mCaller = Lower(query.mCaller);
    q.mCalled = Lower(query.mCalled);
    const bool criteria = q.HasCriteria();
    *page = RecordPage();
    page->mNext = q.mAfter;
    Head heads[3];
    for (uint8_t db = 0; db < 3; ++db) {
        page->mOpen[db] = files[db] != nullptr;
        page->mRecords[db] = files[db] ? static_cast<uint32_t>(files[db]->GetSectionCount()) : 0;
        heads[db].mFile = (q.mKinds & (1u << db)) ? files[db] : nullptr;
    }

    if (q.mById) {
        page->mCounted = true;
        for (uint8_t db = 0; db < 3; ++db) {
            Head& h = heads[db];
            if (!h.mFile)
                continue;
            const size_t after = After(*h.mFile, q.mId);
            bool has = false;
            if (after > 0 && IdAt(*h.mFile, after - 1, &has) == q.mId && has) {
                h.mPos = after - 1;
                Take(h, db, &room, page);
                page->mMatches = 1;
                return;
            }
        }
        return;
    }

    for (uint8_t db = 0; db < 3; ++db) {
        Head& h = heads[db];
        if (!h.mFile)
            continue;
        const size_t from = (q.mAfter.mSet & (1u << db)) ? After(*h.mFile, q.mAfter.mId[db]) : 0;
        if (!criteria && !(q.mKinds & (q.mKinds - 1))) {
            // One database, every record: by index.
            const size_t count = static_cast<size_t>(h.mFile->GetSectionCount());
            h.mPos = std::min(count, from + q.mSkip);
            h.mValid = h.mPos < count;
            if (h.mValid)
                ReadHead(q, false, &h);
            page->mMatches = static_cast<uint32_t>(count - from);
            page->mCounted = true;
            if (q.mSkip > 0 && h.mPos > from) {
                h.mConsumed = true;
                bool has = false;
                h.mLastId = IdAt(*h.mFile, h.mPos - 1, &has);
            }
            q.mSkip = 0;
        } else {
            Seek(q, criteria, &h, from);
        }
    }

    uint32_t skipped = 0;
    uint32_t matches = 0;
    for (;;) {
        Head* next = nullptr;
        uint8_t nextDb = 0;
        for (uint8_t db = 0; db < 3; ++db) {
            Head& h = heads[db];
            if (h.mFile && h.mValid && (!next || h.mStart > next->mStart)) {
                next = &h;
                nextDb = db;
            }
        }
        if (!next)
            break;
        if (skipped < q.mSkip) {
            ++skipped;
        } else if (page->mList.size() >= q.mLimit || !Take(*next, nextDb, &room, page)) {
            break;
        }
        ++matches;
        next->mConsumed = true;
        next->mFields.Id(&next->mLastId);
        Seek(q, criteria, next, next->mPos + 1);
    }

    page->mEnd = true;
    for (uint8_t db = 0; db < 3; ++db) {
        Head& h = heads[db];
        if (!h.mFile)
            continue;
        page->mEnd = page->mEnd && !h.mValid;
        if (h.mConsumed) {
            page->mNext.mSet |= static_cast<uint8_t>(1u << db);
            page->mNext.mId[db] = h.mLastId;
        } else if (!(q.mAfter.mSet & (1u << db)) && h.mFile->GetSectionCount() > 0) {
            // Nothing taken from it yet: later requests start where it
            // stands now, so that records arriving meanwhile do not slip in
            // among older ones.
            bool has = false;
            const uint32_t front = IdAt(*h.mFile, 0, &has);
            if (has) {
                page->mNext.mSet |= static_cast<uint8_t>(1u << db);
                page->mNext.mId[db] = front + 1;
            }
        }
    }
    if (page->mCounted || !q.mCount)
        return;
    // The rest are counted, not merged.
    for (Head& h : heads) {
        if (!h.mFile || !h.mValid)
            continue;
        const size_t count = static_cast<size_t>(h.mFile->GetSectionCount());
        if (!criteria) {
            matches += static_cast<uint32_t>(count - h.mPos);
            continue;
        }
        ++matches;
        for (size_t i = h.mPos + 1; i < count; ++i) {
            Read(h.mFile->SectionTextAt(i), &h.mFields);
            matches += Matches(q, h.mFields) ? 1 : 0;
        }
    }
    page->mCounted = true;
    page->mMatches = matches;
}
