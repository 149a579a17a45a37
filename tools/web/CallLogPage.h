#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/msg/AnswerViews.h"

// The call log page that cdrweb serves: the records of one database or of
// all three, newest first, RecordQuery::kPageSize a page, or one record in
// full; the search form; the actions form; and the recorder's status.
// Builds HTML text only: it reads no file and sends no command (cdrweb
// does, and fills a View). Every value is HTML-escaped.
class CallLogPage {
public:
    // The search terms' names in the page's address, in the order its links
    // put them.
    static constexpr size_t kTermCount = 6;
    static const char* const kTerms[kTermCount];

    // What the page shows. The views are of texts that the caller keeps.
    struct View {
        int mDb = -1;  // the database shown, -1 for all three
        // The search terms as given, by kTerms' order; "" for one not given.
        std::string_view mTerms[kTermCount];
        bool mSearching = false;          // the list is what the terms find
        std::string mSourceNote;          // where the records come from, when not from cdrd
        std::string_view mPaths[3];       // the files, when they were read
        std::string_view mFileErrors[3];  // why a file was not read; "" when it was
        std::string mError;               // why there is no list; "" when there is
        RecordList mRecords;              // this page's, or the one in full
        uint32_t mPage = 1;               // 1-based, within the pages there are
        std::string_view mId;             // the record shown in full; "" for the list
        std::string_view mToken;          // the forms' token
        std::string mAnswer;              // what the last action did; "" for none
        bool mAnswerOk = true;
        bool mHaveStatus = false;
        StatusView mStatus;
        std::string_view mStatusError;  // why there is no status
    };

    // The name of database DB in the page's address (?db=), -1 for "all".
    static const char* DbName(int db);

    // The page onto the end of OUT.
    static void Render(const View& view, std::string& out);
};
