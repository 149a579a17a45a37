// cdrctl: plays the web side, sending commands to cdrd (queue 111).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "platform/msg/CDRKind.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/QueueAddress.h"
#include "platform/msg/RecordSearch.h"
#include "platform/sys/System.h"
#include "platform/util/NumberText.h"
#include "tools/RecordExport.h"
#include "tools/RecorderLink.h"
#include "tools/SavedDatabases.h"
#include "tools/SearchTerms.h"
#include "tools/StatusReport.h"

namespace {

const char kUsage[] =
    "usage: cdrctl clear MASK [--timeout S]\n"
    "       cdrctl flush MASK [--timeout S]\n"
    "       cdrctl update-settings [--timeout S]\n"
    "       cdrctl update-download-settings\n"
    "       cdrctl download-now\n"
    "       cdrctl status [--json] [--timeout S]\n"
    "       cdrctl ready [--timeout S]\n"
    "       cdrctl list [TERMS] [--page N | --all | --id ID] [--format text|csv|json]\n"
    "                   [--spreadsheet] [--saved | --timeout S]\n"
    "       cdrctl export FILE [--format csv|json] [--spreadsheet]\n"
    "       cdrctl serve-saved [MASK]\n"
    "\n"
    "Sends a command to cdrd's web queue ($MSGQ_DIR/q111, default /var/run/msgq/q111).\n"
    "MASK selects record databases: 1 stated, 2 missed, 4 failed calls, or a sum\n"
    "(decimal or 0x hex). clear, flush, update-settings and status wait for cdrd's\n"
    "answer, at most S seconds (default 5); the download commands have no answer.\n"
    "After clear and flush, cdrctl asks for the status and fails when a selected\n"
    "database is not open or its save failed.\n"
    "status shows how cdrd stands (--json: as one JSON object).\n"
    "ready waits until both of cdrd's queues take connections (default 5 s).\n"
    "list shows the records cdrd holds, saved or not, newest first, 50 a page.\n"
    "TERMS: --kind stated|missed|failed|all, --party TEXT (caller or called),\n"
    "--caller TEXT, --called TEXT (number or name, any part, case ignored),\n"
    "--since DATE, --until DATE (YYYY-MM-DD, or YYYY-MM-DD HH:MM; local time;\n"
    "a date includes its whole day), --min-duration SECONDS. --all lists every\n"
    "match; --id shows the record with that ID of one --kind in full. --saved\n"
    "lists the saved files instead, without cdrd (for while it is down).\n"
    "export prints a record database or the statistics file, newest record first,\n"
    "as CSV (default) or JSON lines; it needs no running cdrd.\n"
    "CSV values are exact (RFC 4180); --spreadsheet puts a ' before a cell that a\n"
    "spreadsheet would run as a formula. JSON gives numbers as numbers.\n"
    "serve-saved is what cdrweb runs while cdrd is down: it answers the status and\n"
    "read commands that come on its standard input, a socket, from the saved files\n"
    "of the databases MASK selects (default 7).\n"
    "Exit status: 0 done; 1 cdrd cannot be reached, the file cannot be read or is\n"
    "not a record file, or the record asked for is not there; 2 no answer in time,\n"
    "or a usage error; 3 a database is not open or its last save failed (status,\n"
    "list, and clear or flush of that database), or export left out lines that\n"
    "are no record's.\n";

int Usage(const std::string& error) {
    fprintf(stderr, "cdrctl: %s\n%s", error.c_str(), kUsage);
    return 2;
}

bool ParseMask(const std::string& text, int* mask) {
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end || errno || v < INT32_MIN || v > INT32_MAX)
        return false;
    *mask = static_cast<int>(v);
    return true;
}

bool ParseSeconds(const char* text, double* seconds) {
    char* end = nullptr;
    *seconds = strtod(text, &end);
    return end != text && !*end && *seconds >= 0 && *seconds <= 86400;
}

int Export(int argc, char** argv) {
    if (argc < 3)
        return Usage("export needs a file");
    std::string format = "csv";
    bool spreadsheet = false;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--format" && i + 1 < argc)
            format = argv[++i];
        else if (std::string(argv[i]) == "--spreadsheet")
            spreadsheet = true;
        else if (std::string(argv[i]) != "--raw")  // the default now; scripts may still say it
            return Usage("unexpected argument '" + std::string(argv[i]) + "'");
    }
    if (format != "csv" && format != "json")
        return Usage("format is csv or json");
    // A file that is not there is an error here, not an empty database.
    const int fd = System::Default().Open(argv[2], O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "cdrctl: %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    System::Default().Close(fd);
    bool dropped = false;
    try {
        Configuration::RecordFile file(argv[2]);
        const Configuration::ReadNotes& notes = file.Notes();
        dropped = notes.DroppedText();
        if (dropped && file.GetSectionCount() == 0) {
            fprintf(stderr,
                    "cdrctl: %s: not a record file: no record in it, and lines that are no "
                    "record's (%s)\n",
                    argv[2], notes.Describe(argv[2]).c_str());
            return 1;
        }
        if (!notes.Empty())
            fprintf(stderr, "cdrctl: %s\n", notes.Describe(argv[2]).c_str());
        const std::vector<RecordExport::Record> records = RecordExport::Records(file);
        if (format == "csv") {
            std::string csv;
            RecordExport::Csv(records, &csv, spreadsheet);
            std::cout << csv;
        } else {
            for (const RecordExport::Record& record : records)
                RecordExport::JsonLine(record, std::cout);
        }
        std::cout.flush();
    } catch (const std::exception& e) {
        fprintf(stderr, "cdrctl: %s\n", e.what());
        return 1;
    }
    if (!std::cout)
        return 1;
    return dropped ? 3 : 0;
}

// TEXT for a terminal: a control byte from a record (a name comes from the
// network) must not move the cursor or change colours.
std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

std::string Value(const RecordExport::Record& record, const char* key) {
    for (const auto& entry : record)
        if (entry.first == key)
            return entry.second;
    return "";
}

void PrintRecord(const RecordPage::Record& raw, const std::string& format, bool spreadsheet,
                 const std::vector<std::string>& columns) {
    RecordExport::Record record = RecordSearch::Decode(raw.mText);
    record.insert(record.begin(), {"kind", KindName(raw.mDb)});
    if (raw.mCut)
        fprintf(stderr, "cdrctl: %s record %s is too long for an answer; shown cut\n",
                KindName(raw.mDb), Printable(Value(record, "ID")).c_str());
    if (format == "full") {
        for (const auto& [key, value] : record)
            printf("%s=%s\n", Printable(key).c_str(), Printable(value).c_str());
    } else if (format == "json") {
        RecordExport::JsonLine(record, std::cout);
    } else if (format == "csv") {
        std::string row;
        RecordExport::CsvRow(columns, record, &row, spreadsheet);
        std::cout << row;
    } else {
        int64_t start = 0, seconds = 0;
        const std::string st = Value(record, "ST"), dur = Value(record, "dur");
        char duration[StatusReport::kDurationText] = "?", time[StatusReport::kTimeText];
        if (NumberText::Whole(dur.c_str(), 0, UINT32_MAX, &seconds))
            StatusReport::Duration(static_cast<uint32_t>(seconds), duration);
        const bool timed = NumberText::Whole(st.c_str(), INT64_MIN, INT64_MAX, &start);
        if (timed)
            StatusReport::LocalTime(start, time);
        printf("%-6s %10s  %-19s %9s  %s -> %s\n", KindName(raw.mDb),
               Printable(Value(record, "ID")).c_str(), timed ? time : Printable(st).c_str(),
               duration, Printable(Value(record, "caller")).c_str(),
               Printable(Value(record, "called")).c_str());
    }
}

int List(int argc, char** argv) {
    RecordQuery query;
    std::string format = "text", error;
    bool all = false, spreadsheet = false, fromFiles = false;
    int64_t page = 1;
    double timeout = 5;
    for (int i = 2; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt.compare(0, 2, "--") != 0)
            return Usage("unexpected argument '" + opt + "'");
        if (opt == "--all") {
            all = true;
            continue;
        }
        if (opt == "--spreadsheet") {
            spreadsheet = true;
            continue;
        }
        if (opt == "--saved") {
            fromFiles = true;
            continue;
        }
        if (i + 1 == argc)
            return Usage(opt + " needs a value");
        const std::string value = argv[++i];
        int64_t number = 0;
        if (SearchTerms::IsTerm(opt.substr(2))) {
            if (!SearchTerms::Set(opt.substr(2), value, &query, &error))
                return Usage(error);
        } else if (opt == "--page") {
            if (!NumberText::Whole(value.c_str(), 1, UINT32_MAX / RecordQuery::kPageSize, &page))
                return Usage("--page takes a page number from 1, not '" + value + "'");
        } else if (opt == "--id") {
            if (!NumberText::Whole(value.c_str(), 0, UINT32_MAX, &number))
                return Usage("--id takes a record's ID, not '" + value + "'");
            query.mById = true;
            query.mId = static_cast<uint32_t>(number);
        } else if (opt == "--format") {
            format = value;
            if (format != "text" && format != "csv" && format != "json")
                return Usage("format is text, csv or json");
        } else if (opt == "--timeout") {
            if (!ParseSeconds(value.c_str(), &timeout))
                return Usage("--timeout takes seconds from 0 to 86400, not '" + value + "'");
        } else {
            return Usage("unexpected argument '" + opt + "'");
        }
    }
    if (query.mById && (query.mKinds & (query.mKinds - 1)))
        return Usage("--id needs the --kind of its database: IDs are counted per database");
    if (query.mById && (all || query.HasCriteria()))
        return Usage("--id shows one record: it takes no other terms and no --all");

    RecorderLink link(static_cast<int>(timeout * 1000));
    SavedDatabases saved;
    int status = 0;
    if (fromFiles) {
        // A file not read is listed as empty, and said why.
        saved.Load(query.mKinds);
        for (const Problem& problem : saved.Status().mProblems) {
            fprintf(stderr, "cdrctl: %s\n", problem.Describe().c_str());
            status = 3;
        }
    }
    // The next answer from cdrd or the files; false when cdrd did not give it.
    auto read = [&](RecordPage* answer) {
        if (fromFiles)
            saved.Read(query, answer);
        return fromFiles || link.Read(query, answer);
    };
    RecordPage answer;
    query.mSkip = static_cast<uint32_t>(page - 1) * RecordQuery::kPageSize;
    // --all reads 500 at a time: cdrweb's downloads of every record hold
    // only that much (and each read holds cdrd's lock less long).
    query.mLimit = all ? 500 : RecordQuery::kPageSize;
    if ((!fromFiles && !link.Connect()) || !read(&answer)) {
        fprintf(stderr, "cdrctl: %s\n", link.Error().c_str());
        return link.Unreachable() ? 1 : 2;
    }
    const uint32_t pages = (answer.mMatches + RecordQuery::kPageSize - 1) / RecordQuery::kPageSize;
    if (!all && answer.mList.empty() && pages > 0 && page > pages) {
        // A page past the end shows the last.
        page = pages;
        query.mSkip = (pages - 1) * RecordQuery::kPageSize;
        if (!read(&answer)) {
            fprintf(stderr, "cdrctl: %s\n", link.Error().c_str());
            return link.Unreachable() ? 1 : 2;
        }
    }
    for (int db = 0; db < 3 && !fromFiles; ++db) {
        if ((query.mKinds & (1 << db)) && !answer.mOpen[db]) {
            fprintf(stderr, "cdrctl: the %s calls database is not open\n", KindName(db));
            status = 3;
        }
    }
    if (query.mById && answer.mList.empty()) {
        fprintf(stderr, "cdrctl: there is no record with the ID %u in the %s calls database\n",
                query.mId, KindName(__builtin_ctz(query.mKinds)));
        return 1;
    }
    std::vector<std::string> columns = RecordExport::RecordKeys();
    columns.insert(columns.begin(), "kind");
    columns.push_back("other");
    if (format == "csv") {
        std::string header;
        RecordExport::CsvHeader(columns, &header, spreadsheet);
        std::cout << header;
    }
    const uint32_t matches = answer.mMatches;
    for (;;) {
        for (const RecordPage::Record& record : answer.mList)
            PrintRecord(record, query.mById && format == "text" ? "full" : format, spreadsheet,
                        columns);
        if (!all || answer.mEnd)
            break;
        // Every match: from where the last answer ended, records that arrive
        // meanwhile left out.
        query.mAfter = answer.mNext;
        query.mSkip = 0;
        query.mCount = false;
        if (!read(&answer)) {
            fprintf(stderr, "cdrctl: %s\n", link.Error().c_str());
            return link.Unreachable() ? 1 : 2;
        }
    }
    if (format == "text" && !query.mById) {
        if (all)
            printf("%u %s\n", matches, matches == 1 ? "match" : "matches");
        else
            printf("%u %s; page %u of %u\n", matches, matches == 1 ? "match" : "matches",
                   static_cast<unsigned>(page), pages > 0 ? pages : 1);
    }
    std::cout.flush();
    return std::cout ? status : 1;
}

// cdrweb's reader of the saved files while cdrd is down: answers the status
// and read commands that come on standard input, a socket whose other end
// cdrweb holds, as cdrd would, until cdrweb closes it.
int ServeSaved(int argc, char** argv) {
    int kinds = 7, type = 0;
    socklen_t size = sizeof type;
    if (argc > 3 || (argc == 3 && (!ParseMask(argv[2], &kinds) || kinds < 1 || kinds > 7)))
        return Usage("serve-saved takes a mask of the databases to read, from 1 to 7");
    if (System::Default().Getsockopt(STDIN_FILENO, SOL_SOCKET, SO_TYPE, &type, &size) != 0 ||
        type != SOCK_SEQPACKET)
        return Usage("serve-saved answers cdrweb on a socket as its standard input");
    SavedDatabases saved;
    saved.Load(static_cast<uint8_t>(kinds));
    MessageQueueClient peer(QueueAddress::kWebQueue);
    peer.Adopt(STDIN_FILENO, "standard input");
    // A page that is done with the files closes its end; one that hangs is
    // not waited for long.
    const int kIdleMs = 60000;
    for (WireMessage request;
         peer.Receive(&request, kIdleMs) == MessageQueueClient::Receipt::kMessage;) {
        WireMessage answer;
        if (request.mType == WireMessage::kStatus) {
            answer.mType = WireMessage::kStatusReport;
            answer.mStatus = saved.Status();
        } else if (request.mType == WireMessage::kRead) {
            answer.mType = WireMessage::kRecords;
            saved.Read(request.mQuery, &answer.mPage);
        } else {
            fprintf(stderr, "cdrctl: serve-saved answers only status and read commands\n");
            return 2;
        }
        if (!peer.Send(answer))
            break;
    }
    return 0;
}

// Tries until TIMEOUT for both queues to take a connection, and the web
// queue to answer.
int Ready(double timeout) {
    System& sys = System::Default();
    int64_t now = 0;
    // A clock that cannot be read makes one try.
    const bool timed = sys.MonotonicMs(&now);
    const int64_t deadline = now + static_cast<int64_t>(timeout * 1000);
    std::string last;
    for (;;) {
        MessageQueueClient control(QueueAddress::kCallControlQueue), web(QueueAddress::kWebQueue);
        WireMessage request, answer;
        request.mType = WireMessage::kStatus;
        if (!control.Connect()) {
            last = control.Error();
        } else if (!web.Connect() || !web.Send(request)) {
            last = web.Error();
        } else {
            const MessageQueueClient::Receipt got = web.Receive(&answer, 1000);
            if (got == MessageQueueClient::Receipt::kMessage) {
                printf("cdrctl: cdrd is ready\n");
                return 0;
            }
            last = got == MessageQueueClient::Receipt::kTimedOut ? "no answer" : web.Error();
        }
        if (!timed || !sys.MonotonicMs(&now) || now >= deadline)
            break;
        sys.SleepMs(100);
    }
    fprintf(stderr, "cdrctl: cdrd is not ready after %g s: %s\n", timeout, last.c_str());
    return 1;
}

// A command for cdrd from the command line: the request, the answer it
// waits for (none for the download commands) and how that is shown.
struct Command {
    std::string name;
    WireMessage request;
    bool answered = true;
    WireMessage::Type expected = WireMessage::kReport;  // when answered
    double timeout = 5;
    bool json = false;
};

// Reads the command ARGV[1], its mask and its options into *C; false, with
// *ERROR, when the command line is not one.
bool ReadCommand(int argc, char** argv, Command* c, std::string* error) {
    c->name = argv[1];
    int next = 2;
    if (c->name == "clear" || c->name == "flush") {
        if (argc < 3) {
            *error = c->name + " needs a mask";
            return false;
        }
        if (!ParseMask(argv[2], &c->request.mMask) || c->request.mMask < 0 ||
            c->request.mMask > 7) {
            *error =
                std::string("'") + argv[2] +
                "' is not a mask: 1 stated, 2 missed, 4 failed calls, or a sum of them up to 7";
            return false;
        }
        const bool clear = c->name == "clear";
        c->request.mType = clear ? WireMessage::kClear : WireMessage::kFlush;
        c->expected = clear ? WireMessage::kClearDone : WireMessage::kFlushDone;
        next = 3;
    } else if (c->name == "update-settings") {
        c->request.mType = WireMessage::kUpdateSettings;
        c->expected = WireMessage::kSettingsUpdated;
    } else if (c->name == "status" || c->name == "ready") {
        c->request.mType = WireMessage::kStatus;
        c->expected = WireMessage::kStatusReport;
    } else if (c->name == "download-now") {
        c->request.mType = WireMessage::kDownloadNow;
        c->answered = false;
    } else if (c->name == "update-download-settings") {
        c->request.mType = WireMessage::kUpdateDownloadSettings;
        c->answered = false;
    } else {
        *error = "unknown command '" + c->name + "'";
        return false;
    }
    for (int i = next; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--timeout" && !c->answered) {
            *error = c->name + " waits for no answer: it takes no --timeout";
        } else if (opt == "--timeout" && i + 1 == argc) {
            *error = "--timeout needs a number of seconds";
        } else if (opt == "--timeout") {
            if (ParseSeconds(argv[++i], &c->timeout))
                continue;
            *error = std::string("--timeout takes seconds from 0 to 86400, not '") + argv[i] + "'";
        } else if (opt == "--json" && c->name == "status") {
            c->json = true;
            continue;
        } else {
            *error = "unexpected argument '" + opt + "'";
        }
        return false;
    }
    return true;
}

// Sends C to cdrd and shows its answer; the exit status: 1 when cdrd
// cannot be reached, 2 when it did not answer as it should, 3 when the
// answer tells of trouble.
int Run(const Command& c) {
    RecorderLink link(static_cast<int>(c.timeout * 1000));
    auto failed = [&link] {
        fprintf(stderr, "cdrctl: %s\n", link.Error().c_str());
        return link.Unreachable() ? 1 : 2;
    };
    if (!link.Connect())
        return failed();
    if (!c.answered)
        return link.Send(c.request) ? 0 : failed();
    WireMessage answer;
    if (!link.Ask(c.request, c.expected, &answer))
        return failed();
    if (answer.mType == WireMessage::kSettingsUpdated) {
        printf("cdrctl: settings updated\n");
        return 0;
    }
    if (answer.mType == WireMessage::kStatusReport) {
        if (c.json)
            StatusReport::Json(answer.mStatus, std::cout);
        else
            std::cout << StatusReport::Text(answer.mStatus);
        return StatusReport::Healthy(answer.mStatus) ? 0 : 3;
    }
    // Clear and flush: the answer carries only the mask; the status tells
    // whether their saves went well, and 3 when a database of the mask is
    // not open or its save failed.
    RecorderStatus status;
    if (!link.Status(&status))
        return failed();
    const std::vector<std::string> troubles = StatusReport::Troubles(status, answer.mMask);
    for (const std::string& trouble : troubles) fprintf(stderr, "cdrctl: %s\n", trouble.c_str());
    if (!troubles.empty())
        return 3;
    printf("cdrctl: %s, mask %d\n", c.name == "clear" ? "cleared" : "flushed", answer.mMask);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command");
    const std::string name = argv[1];
    if (name == "-h" || name == "--help") {
        fputs(kUsage, stdout);
        return 0;
    }
    if (name == "export")
        return Export(argc, argv);
    if (name == "list")
        return List(argc, argv);
    if (name == "serve-saved")
        return ServeSaved(argc, argv);
    Command command;
    std::string error;
    if (!ReadCommand(argc, argv, &command, &error))
        return Usage(error);
    if (command.name == "ready")
        return Ready(command.timeout);
    return Run(command);
}
