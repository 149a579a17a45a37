#include "tools/StatusReport.h"

#include <time.h>

#include <cstring>
#include <string>

#include "platform/util/DecimalText.h"
#include "tools/JsonText.h"
#include "tools/TextPieces.h"

namespace {

void JsonTime(int64_t seconds, std::ostream& out) {
    if (seconds == 0)
        out << "null";
    else
        out << seconds;
}

}  // namespace

size_t StatusReport::LocalTime(int64_t seconds, char* out) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    if (t != seconds || !localtime_r(&t, &local) || local.tm_year < -1900 ||
        local.tm_year > 9999 - 1900) {
        const size_t length = DecimalText::Write(seconds, out);
        static const char kAfter[] = " s after the epoch";
        std::memcpy(out + length, kAfter, sizeof kAfter);
        return length + sizeof kAfter - 1;
    }
    // Not strftime: the page shows one time per record, and it costs ten
    // times as much.
    static const char kForm[] = "YYYY-MM-DD HH:MM:SS";
    std::memcpy(out, kForm, sizeof kForm);
    const int fields[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                           local.tm_hour,        local.tm_min,     local.tm_sec};
    const int at[6] = {0, 5, 8, 11, 14, 17};
    char digits[DecimalText::kMaxText];
    for (int f = 0; f < 6; ++f) {
        const int width = f == 0 ? 4 : 2;
        DecimalText::Write(fields[f], digits, width);
        std::memcpy(out + at[f], digits, static_cast<size_t>(width));
    }
    return sizeof kForm - 1;
}

size_t StatusReport::Duration(uint32_t seconds, char* out) {
    size_t length = DecimalText::WriteUnsigned(seconds / 3600, out);
    out[length++] = ':';
    length += DecimalText::WriteUnsigned(seconds / 60 % 60, out + length, 2);
    out[length++] = ':';
    return length + DecimalText::WriteUnsigned(seconds % 60, out + length, 2);
}

bool StatusReport::Healthy(const RecorderStatus& s) {
    for (const RecorderStatus::Database& d : s.mDatabases)
        if (!Trouble(d).empty() || (s.mJournal && d.mNotDurable > 0))
            return false;
    return s.mJournalProblem.empty() && s.mProblems.empty() && s.mProblemsLeftOut == 0;
}

template <class Database>
std::string StatusReport::Trouble(const Database& d) {
    if (!d.mOpen)
        return TextPieces::Join({d.mName, " calls database ", d.mPath, ": not open"});
    if (!d.mLastSaveOk)
        return TextPieces::Join(
            {d.mName, " calls database ", d.mPath, ": last save failed: ", d.mLastSaveError});
    return "";
}
template std::string StatusReport::Trouble(const RecorderStatus::Database&);
template std::string StatusReport::Trouble(const StatusView::Database&);

std::vector<std::string> StatusReport::Troubles(const RecorderStatus& s, int mask) {
    std::vector<std::string> troubles;
    for (int i = 0; i < 3; ++i) {
        std::string trouble = Trouble(s.mDatabases[i]);
        if ((mask & (1 << i)) && !trouble.empty())
            troubles.push_back(std::move(trouble));
    }
    return troubles;
}

template <class Status>
std::string StatusReport::Text(const Status& s) {
    // Built as one string, without a stream: the page shows this on every view.
    std::string out;
    auto put = [&out](std::initializer_list<std::string_view> pieces) {
        TextPieces::Append(out, pieces);
    };
    const auto number = [](unsigned long long n) { return TextPieces::Number(n); };
    char time[kTimeText];
    for (const auto& d : s.mDatabases) {
        put({d.mName, " calls: ", d.mPath, "\n"});
        if (!d.mOpen) {
            put({"  not open: reports of this kind are refused\n"});
            continue;
        }
        put({"  ", number(d.mRecords), " records, ", number(d.mUnsaved), " not yet saved, ",
             number(d.mNotDurable), " not durable; limit ", number(d.mLimit), ", saved every ",
             number(d.mInterval), ", next ID ", number(d.mNextId), "\n  last save: "});
        if (d.mLastSaveTime == 0)
            put({"none since the start\n"});
        else
            put({std::string_view(time, LocalTime(d.mLastSaveTime, time)),
                 d.mLastSaveOk ? " ok" : " FAILED: ", d.mLastSaveError, "\n"});
    }
    put({"recording: ", s.mRecording ? "on" : "off", "\ndownload: ", s.mDownload ? "on" : "off",
         ", ", number(s.mCollected), " collected, download_cnt ", std::to_string(s.mDownloadCount),
         ", last download "});
    if (s.mLastDownloadTime == 0)
        put({"none since the start"});
    else
        put({std::string_view(time, LocalTime(s.mLastDownloadTime, time)),
             s.mLastDownloadOk ? " done" : " FAILED"});
    put({", ", number(s.mDroppedByCap),
         " dropped at twice download_cnt\njournal: ", s.mJournal ? "on" : "off"});
    if (!s.mJournalProblem.empty())
        put({", problem: ", s.mJournalProblem});
    put({"\n"});
    if (s.mProblems.empty() && s.mProblemsLeftOut == 0) {
        put({"problems: none\n"});
        return out;
    }
    put({"problems:\n"});
    for (const auto& p : s.mProblems) put({"  ", DescribeProblem(p), "\n"});
    if (s.mProblemsLeftOut > 0)
        put({"  and ", number(s.mProblemsLeftOut), " more: see the trace log\n"});
    return out;
}

template std::string StatusReport::Text(const RecorderStatus&);
template std::string StatusReport::Text(const StatusView&);

void StatusReport::Json(const RecorderStatus& s, std::ostream& out) {
    out << "{\"databases\":[";
    for (int i = 0; i < 3; ++i) {
        const RecorderStatus::Database& d = s.mDatabases[i];
        out << (i ? "," : "") << "{\"name\":";
        JsonText::String(d.mName, out);
        out << ",\"path\":";
        JsonText::String(d.mPath, out);
        out << ",\"open\":" << (d.mOpen ? "true" : "false") << ",\"records\":" << d.mRecords
            << ",\"unsaved\":" << d.mUnsaved << ",\"not_durable\":" << d.mNotDurable
            << ",\"limit\":" << d.mLimit << ",\"interval\":" << d.mInterval
            << ",\"next_id\":" << d.mNextId << ",\"last_save\":{\"time\":";
        JsonTime(d.mLastSaveTime, out);
        out << ",\"ok\":" << (d.mLastSaveOk ? "true" : "false") << ",\"error\":";
        if (d.mLastSaveOk)
            out << "null";
        else
            JsonText::String(d.mLastSaveError, out);
        out << "}}";
    }
    out << "],\"recording\":" << (s.mRecording ? "true" : "false")
        << ",\"download\":{\"on\":" << (s.mDownload ? "true" : "false")
        << ",\"collected\":" << s.mCollected << ",\"count\":" << s.mDownloadCount
        << ",\"last\":{\"time\":";
    JsonTime(s.mLastDownloadTime, out);
    out << ",\"ok\":"
        << (s.mLastDownloadTime == 0 ? "null"
            : s.mLastDownloadOk      ? "true"
                                     : "false")
        << "},\"dropped\":" << s.mDroppedByCap
        << "},\"journal\":{\"on\":" << (s.mJournal ? "true" : "false") << ",\"problem\":";
    if (s.mJournalProblem.empty())
        out << "null";
    else
        JsonText::String(s.mJournalProblem, out);
    out << "},\"problems\":[";
    for (size_t i = 0; i < s.mProblems.size(); ++i) {
        const Problem& p = s.mProblems[i];
        out << (i ? "," : "") << "{\"file\":";
        JsonText::String(p.mFile, out);
        out << ",\"line\":";
        if (p.mLine == 0)
            out << "null";
        else
            out << p.mLine;
        out << ",\"key\":";
        JsonText::String(p.mKey, out);
        out << ",\"found\":";
        JsonText::String(p.mFound, out);
        out << ",\"what\":";
        JsonText::String(p.mWhat, out);
        out << "}";
    }
    out << "],\"problems_left_out\":" << s.mProblemsLeftOut;
    out << "}\n";
}
