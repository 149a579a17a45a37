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
    char time[kTimeText];
    for (const auto& d : s.mDatabases) {
        TextPieces::Format(out, "%t calls: %t\n", d.mName.data(), d.mName.size(), d.mPath.data(),
                           d.mPath.size());
        if (!d.mOpen) {
            out += "  not open: reports of this kind are refused\n";
            continue;
        }
        TextPieces::Format(out,
                           "  %u records, %u not yet saved, %u not durable; limit %u, saved "
                           "every %u, next ID %u\n  last save: ",
                           d.mRecords, d.mUnsaved, d.mNotDurable, d.mLimit, d.mInterval, d.mNextId);
        if (d.mLastSaveTime == 0) {
            out += "none since the start\n";
        } else {
            LocalTime(d.mLastSaveTime, time);
            TextPieces::Format(out, "%s%s%t\n", time,
                               d.mLastSaveOk ? " ok" : " FAILED: ", d.mLastSaveError.data(),
                               d.mLastSaveError.size());
        }
    }
    TextPieces::Format(out,
                       "recording: %s\ndownload: %s, %u collected, download_cnt %d, last download ",
                       s.mRecording ? "on" : "off", s.mDownload ? "on" : "off", s.mCollected,
                       static_cast<int>(s.mDownloadCount));
    if (s.mLastDownloadTime == 0) {
        out += "none since the start";
    } else {
        LocalTime(s.mLastDownloadTime, time);
        TextPieces::Format(out, "%s%s", time, s.mLastDownloadOk ? " done" : " FAILED");
    }
    TextPieces::Format(out, ", %u dropped at twice download_cnt\njournal: %s", s.mDroppedByCap,
                       s.mJournal ? "on" : "off");
    if (!s.mJournalProblem.empty())
        TextPieces::Format(out, ", problem: %t", s.mJournalProblem.data(),
                           s.mJournalProblem.size());
    out += '\n';
    if (s.mProblems.empty() && s.mProblemsLeftOut == 0) {
        out += "problems: none\n";
        return out;
    }
    out += "problems:\n";
    for (const auto& p : s.mProblems) {
        const std::string problem = DescribeProblem(p);
        TextPieces::Format(out, "  %t\n", problem.data(), problem.size());
    }
    if (s.mProblemsLeftOut > 0)
        TextPieces::Format(out, "  and %u more: see the trace log\n", s.mProblemsLeftOut);
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
