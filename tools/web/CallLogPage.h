#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/msg/RecordQuery.h"
#include "platform/msg/RecorderStatus.h"

// The call log page that cdrweb serves: the records of one database or of
// all three, newest first, RecordQuery::kPageSize a page, or one record in
// full; the search form; the actions form; and the recorder's status.
// Builds HTML text only: it reads no file and sends no command (cdrweb
// does, and fills a View). Every value is HTML-escaped.
class CallLogPage {
public:
    struct View {
        int mDb = -1;  // the database shown, -1 for all three
        // The search terms as given (name, text), for the form and links.
        std::vector<std::pair<std::string, std::string>> mTerms;
        bool mSearching = false;     // the list is what the terms find
        std::string mSourceNote;     // where the records come from, when not from cdrd
        std::string mPaths[3];       // the files, when they were read
        std::string mFileErrors[3];  // why a file was not read; "" when it was
        std::string mError;          // why there is no list; "" when there is
        RecordPage mRecords;         // this page's, or the one in full
        uint32_t mPage = 1;          // 1-based, within the pages there are
        std::string mId;             // the record shown in full; "" for the list
        std::string mToken;          // the forms' token
        std::string mAnswer;         // what the last action did; "" for none
        bool mAnswerOk = true;
        bool mHaveStatus = false;
        RecorderStatus mStatus;
        std::string mStatusError;  // why there is no status
    };

    // The name of database DB in the page's address (?db=), -1 for "all".
    static const char* DbName(int db);

    static std::string Render(const View& view);
};
