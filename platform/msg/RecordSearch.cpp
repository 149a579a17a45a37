#include "platform/msg/RecordSearch.h"

#include <algorithm>
#include <cassert>

#include "platform/config/RecordFile.h"
#include "platform/config/TextFormat.h"

namespace {

using Configuration::MultiSectionConfigFile;

const Configuration::TextFormat& Format() {
    static const Configuration::TextFormat format(
        Configuration::RecordDelimiters::kBegin, Configuration::RecordDelimiters::kEnd,
        Configuration::RecordDelimiters::kSeparator, Configuration::RecordDelimiters::kComment);
    return format;
}

// Decimal text, optionally negative, within [MIN, MAX].
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

// Whether NEEDLE (lower case) is in HAY, ASCII case ignored.
bool Contains(std::string_view hay, const std::string& needle) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t at = 0; at + needle.size() <= hay.size(); ++at) {
        size_t i = 0;
        while (i < needle.size() && lower(hay[at + i]) == needle[i]) ++i;
        if (i == needle.size())
            return true;
    }
    return false;
}

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

// A's ID was given before B's: IDs count up and wrap, so the order is the
// serial one.
bool Older(uint32_t a, uint32_t b) {
    return a != b && static_cast<uint32_t>(b - a) < 0x80000000u;
}

uint32_t IdAt(const MultiSectionConfigFile& file, size_t i, bool* has) {
    RecordSearch::Fields f;
    RecordSearch::Read(file.SectionTextAt(i), &f);
    *has = f.mHasId;
    return f.mId;
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
        if (has && Older(at, id))
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
};

// Moves HEAD to the first match at or after FROM.
void Seek(const RecordQuery& q, bool criteria, Head* head, size_t from) {
    const size_t count = static_cast<size_t>(head->mFile->GetSectionCount());
    for (head->mPos = from; head->mPos < count; ++head->mPos) {
        RecordSearch::Read(head->mFile->SectionTextAt(head->mPos), &head->mFields);
        if (!criteria || RecordSearch::Matches(q, head->mFields)) {
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

}  // namespace

void RecordSearch::Read(std::string_view text, Fields* f) {
    f->mHasId = f->mHasStart = f->mHasDuration = f->mHasCaller = f->mHasCalled = false;
    int wanted = 5;
    std::string_view line;
    std::string key;
    for (size_t pos = 0; wanted > 0 && Configuration::TextFormat::NextLine(text, &pos, &line);) {
        const size_t separator = line.find('=');
        if (separator == std::string_view::npos)
            continue;
        const std::string_view name = line.substr(0, separator);
        std::string_view value = line.substr(separator + 1);
        int64_t number = 0;
        if (name == "ID" && !f->mHasId) {
            f->mHasId = Whole(value, 0, UINT32_MAX, &number);
            f->mId = static_cast<uint32_t>(number);
        } else if (name == "ST" && !f->mHasStart) {
            f->mHasStart = Whole(value, INT64_MIN + 1, INT64_MAX, &number);
            f->mStart = number;
        } else if (name == "dur" && !f->mHasDuration) {
            f->mHasDuration = Whole(value, 0, UINT32_MAX, &number);
            f->mDuration = static_cast<uint32_t>(number);
        } else if ((name == "caller" && !f->mHasCaller) || (name == "called" && !f->mHasCalled)) {
            const bool caller = name == "caller";
            if (value.find('\\') != std::string_view::npos) {
                Format().DecodeEntry(line, &key, &f->mDecoded[caller ? 0 : 1]);
                value = f->mDecoded[caller ? 0 : 1];
            }
            (caller ? f->mCaller : f->mCalled) = value;
            (caller ? f->mHasCaller : f->mHasCalled) = true;
        } else {
            continue;
        }
        --wanted;
    }
}

RecordSearch::Entries RecordSearch::Decode(std::string_view text) {
    Entries entries;
    std::string key, value;
    std::string_view line;
    for (size_t pos = 0; Configuration::TextFormat::NextLine(text, &pos, &line);) {
        if (Format().Classify(line) != Configuration::TextFormat::kEntry)
            continue;
        Format().DecodeEntry(line, &key, &value);
        entries.emplace_back(key, value);
    }
    return entries;
}

bool RecordSearch::Matches(const RecordQuery& q, const Fields& f) {
    if ((q.mSince != INT64_MIN || q.mUntil != INT64_MAX) &&
        (!f.mHasStart || f.mStart < q.mSince || f.mStart >= q.mUntil))
        return false;
    if (q.mMinDuration != 0 && (!f.mHasDuration || f.mDuration < q.mMinDuration))
        return false;
    // The criteria's texts come lower case (see Run).
    if (!q.mCaller.empty() && !(f.mHasCaller && Contains(f.mCaller, q.mCaller)))
        return false;
    if (!q.mCalled.empty() && !(f.mHasCalled && Contains(f.mCalled, q.mCalled)))
        return false;
    return q.mParty.empty() || (f.mHasCaller && Contains(f.mCaller, q.mParty)) ||
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
                Read(h.mFile->SectionTextAt(h.mPos), &h.mFields);
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
            const int64_t start = h.mFields.mHasStart ? h.mFields.mStart : INT64_MIN;
            if (h.mFile && h.mValid &&
                (!next || start > (next->mFields.mHasStart ? next->mFields.mStart : INT64_MIN))) {
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
        next->mLastId = next->mFields.mId;
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
