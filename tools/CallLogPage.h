#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/msg/RecorderStatus.h"

// The call log page that cdrweb serves: one record database as a table,
// newest first, kPageSize records a page, or one record in full; the
// actions form; and the recorder's status. Builds HTML text only: it reads
// no file and sends no command (cdrweb does, and fills a View).
class CallLogPage {
public:
    static constexpr size_t kPageSize = 50;
    using Entries = std::vector<std::pair<std::string, std::string>>;

    struct View {
        int mDb = 0;                    // 0 stated, 1 missed, 2 failed
        std::string mPath;              // the database file
        std::string mFileError;         // why it could not be read; "" when it was
        size_t mTotal = 0;              // records in the file
        size_t mPage = 1;               // 1-based, within the pages there are
        std::vector<Entries> mRecords;  // this page's, or the one in full
        std::string mId;                // the record shown in full; "" for the list
        std::string mToken;             // the forms' token
        std::string mAnswer;            // what the last action did; "" for none
        bool mAnswerOk = true;
        bool mHaveStatus = false;
        RecorderStatus mStatus;
        std::string mStatusError;  // why there is no status
    };

    // The names the page uses in its address (?db=) and its headings.
    static const char* DbName(int db);

    static std::string Render(const View& view);
};
