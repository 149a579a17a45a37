#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/msg/AnswerViews.h"
#include "platform/msg/RecorderStatus.h"

// How cdrctl shows the recorder's status: as text for a person, or as one
// JSON object for a script (docs/operations.md lists its members).
class StatusReport {
public:
    // STATUS: a RecorderStatus, or the StatusView of an answer.
    template <class Status>
    static std::string Text(const Status& status);
    static void Json(const RecorderStatus& status, std::ostream& out);
    // True when all three databases are open, none's last save failed, and
    // with the journal on every record is durable.
    static bool Healthy(const RecorderStatus& status);
    // Why database I is not well, for an error message; "" when it is.
    template <class Database>
    static std::string Trouble(const Database& database);
    // The troubles of the databases that MASK selects (bits 1, 2, 4), after
    // a clear or flush of them.
    static std::vector<std::string> Troubles(const RecorderStatus& status, int mask);
    // SECONDS since the epoch as local "YYYY-MM-DD HH:MM:SS" (or, beyond
    // the calendar, "N s after the epoch") into OUT, which holds kTimeText
    // bytes, and a NUL; the length.
    static constexpr size_t kTimeText = 48;
    static size_t LocalTime(int64_t seconds, char* out);
    // A call's duration of SECONDS as "H:MM:SS" (hours as many as it takes)
    // into OUT, which holds kDurationText bytes, and a NUL; the length.
    static constexpr size_t kDurationText = 20;
    static size_t Duration(uint32_t seconds, char* out);
};
