#include "platform/msg/RecordSearch.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/config/RecordFile.h"
#include "platform/msg/WireFormat.h"

namespace {

using Configuration::RecordSections;

// A record as the recorder writes it, added at the front.
void Add(RecordSections& db, uint32_t id, int64_t start, uint32_t duration,
         const std::string& caller, const std::string& called = "100") {
    db.AddSection(true);
    db.AddSectionEntry("ID", std::to_string(id).c_str());
    db.AddSectionEntry("ST", std::to_string(start).c_str());
    db.AddSectionEntry("dur", std::to_string(duration).c_str());
    db.AddSectionEntry("called", called.c_str());
    db.AddSectionEntry("caller", caller.c_str());
    db.AddSectionEntry("GUID", "g");
}

// The page as the web side gets it: through the wire's encoding.
RecordPage Answer(const RecordQuery& query, RecordSections dbs[3],
                  size_t room = WireFormat::kMaxAnswer) {
    WireMessage request, answer;
    request.mType = WireMessage::kRead;
    request.mQuery = query;
    std::string bytes, error;
    EXPECT_TRUE(WireFormat::Encode(request, &bytes, &error)) << error;
    EXPECT_EQ(nullptr, WireFormat::Decode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          bytes.size(), &request));
    const Configuration::MultiSectionConfigFile* files[3] = {&dbs[0], &dbs[1], &dbs[2]};
    answer.mType = WireMessage::kRecords;
    RecordSearch::Run(request.mQuery, files, room, &answer.mPage);
    bytes.clear();
    EXPECT_TRUE(WireFormat::Encode(answer, &bytes, &error)) << error;
    EXPECT_LE(bytes.size(), WireFormat::kMaxAnswer);
    EXPECT_EQ(nullptr, WireFormat::Decode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          bytes.size(), &answer));
    return answer.mPage;
}

// "db:ID" of each record of the page, in order.
std::string Ids(const RecordPage& page) {
    std::string ids;
    for (const RecordPage::Record& r : page.mList) {
        RecordSearch::Fields f;
        RecordSearch::Read(r.mText, &f);
        uint32_t id = 0;
        EXPECT_TRUE(f.Id(&id)) << r.mText;
        ids += (ids.empty() ? "" : " ") + std::to_string(r.mDb) + ":" + std::to_string(id);
    }
    return ids;
}

}  // namespace

// Each criterion on its own: what it takes and what it leaves.
TEST(RecordSearch, CriteriaMatchTheirFieldsOnly) {
    RecordSections dbs[3];
    Add(dbs[0], 0, 1000, 30, "Alice <sip:4930@pbx>", "0301");
    Add(dbs[0], 1, 2000, 90, " Bob\\desk", "4930555");  // escaped on storage
    Add(dbs[0], 2, 3000, 600, "carol", "200");
    dbs[0].AddSection(true);  // a record without the fields
    dbs[0].AddSectionEntry("ID", "3");
    const struct {
        const char* what;
        const char *party, *caller, *called;
        int64_t since, until;
        uint32_t minDuration;
        std::string ids;
    } cases[] = {
        {"party: either side", "4930", "", "", INT64_MIN, INT64_MAX, 0, "0:1 0:0"},
        {"not the key between the two", "0\ncaller", "", "", INT64_MIN, INT64_MAX, 0, ""},
        {"caller only", "", "4930", "", INT64_MIN, INT64_MAX, 0, "0:0"},
        {"called only", "", "", "4930", INT64_MIN, INT64_MAX, 0, "0:1"},
        {"case and escapes", "", " bob\\D", "", INT64_MIN, INT64_MAX, 0, "0:1"},
        {"since, until", "", "", "", 2000, 3000, 0, "0:1"},
        {"min duration", "", "", "", INT64_MIN, INT64_MAX, 90, "0:2 0:1"},
        {"nothing", "zz", "", "", INT64_MIN, INT64_MAX, 0, ""},
        {"no criteria", "", "", "", INT64_MIN, INT64_MAX, 0, "0:3 0:2 0:1 0:0"},
    };
    for (const auto& c : cases) {
        RecordQuery query;
        query.mParty = c.party;
        query.mCaller = c.caller;
        query.mCalled = c.called;
        query.mSince = c.since;
        query.mUntil = c.until;
        query.mMinDuration = c.minDuration;
        const RecordPage page = Answer(query, dbs);
        EXPECT_EQ(c.ids, Ids(page)) << c.what;
        EXPECT_TRUE(page.mCounted && page.mEnd) << c.what;
        EXPECT_EQ(Ids(page).empty() ? 0u : 1 + std::count(c.ids.begin(), c.ids.end(), ' '),
                  page.mMatches)
            << c.what;
    }
}

// Three databases as one list: of the next records, the one that started
// last; pages by skip and limit; the one record by its ID.
TEST(RecordSearch, ListsMergeTheDatabases) {
    RecordSections dbs[3];
    for (uint32_t id = 0; id < 4; ++id) {
        Add(dbs[0], id, 10 * id, 0, "a");
        Add(dbs[1], id, 10 * id + 5, 0, "b");
    }
    Add(dbs[2], 7, 12, 0, "c");
    RecordQuery q;
    q.mLimit = 4;
    RecordPage page = Answer(q, dbs);
    EXPECT_EQ("1:3 0:3 1:2 0:2", Ids(page));
    EXPECT_EQ(9u, page.mMatches);
    EXPECT_FALSE(page.mEnd);
    EXPECT_EQ(4u, page.mRecords[0]);
    q.mSkip = 4;
    EXPECT_EQ("1:1 2:7 0:1 1:0", Ids(Answer(q, dbs)));
    q.mKinds = 1;
    q.mSkip = 3;
    page = Answer(q, dbs);
    EXPECT_EQ("0:0", Ids(page));
    EXPECT_TRUE(page.mEnd);
    q = RecordQuery();
    q.mKinds = 2;
    q.mById = true;
    q.mId = 2;
    EXPECT_EQ("1:2", Ids(Answer(q, dbs)));
    q.mId = 9;
    EXPECT_EQ("", Ids(Answer(q, dbs)));
}

// A list taken up where it stopped gives every record once, whatever
// arrived or was trimmed meanwhile, and an answer holds what fits.
TEST(RecordSearch, ACursorGoesOnWhereTheListStopped) {
    RecordSections dbs[3];
    for (uint32_t id = 0; id < 6; ++id) {
        Add(dbs[0], id, 100 + id, 0, "a");
        Add(dbs[1], id, 200 + id, 0, "b");
    }
    RecordQuery q;
    q.mLimit = 3;
    RecordPage page = Answer(q, dbs);
    EXPECT_EQ("1:5 1:4 1:3", Ids(page));
    Add(dbs[0], 6, 999, 0, "new");  // arrives: after the list began, so not in it
    Add(dbs[1], 6, 999, 0, "new");
    dbs[0].GotoLastSection();  // trimmed: the oldest stated record
    dbs[0].DeleteSection();
    q.mAfter = page.mNext;
    const size_t oneRecord = dbs[1].SectionTextAt(0).size() + RecordSearch::kFraming;
    page = Answer(q, dbs, 2 * oneRecord);
    EXPECT_EQ("1:2 1:1", Ids(page));
    EXPECT_FALSE(page.mEnd);
    q.mAfter = page.mNext;
    q.mLimit = 10;
    page = Answer(q, dbs);
    EXPECT_EQ("1:0 0:5 0:4 0:3 0:2 0:1", Ids(page));
    EXPECT_TRUE(page.mEnd);

    // A record longer than a whole answer comes cut, at a line's end.
    page = Answer(RecordQuery(), dbs, oneRecord - 3);
    ASSERT_EQ(1u, page.mList.size());
    EXPECT_TRUE(page.mList[0].mCut);
    EXPECT_EQ("ID=6\nST=999\ndur=0\ncalled=100\ncaller=new\n", page.mList[0].mText);
}
