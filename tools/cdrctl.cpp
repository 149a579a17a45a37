// cdrctl: plays the web side, sending commands to cdrd (queue 111).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/config/MultiSectionFile.h"
#include "platform/config/RecordFile.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/MessagingError.h"
#include "platform/msg/QueueAddress.h"
#include "tools/RecordExport.h"
#include "tools/RecorderLink.h"
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
    "       cdrctl export FILE [--format csv|json] [--raw]\n"
    "\n"
    "Sends a command to cdrd's web queue ($MSGQ_DIR/q111, default /var/run/msgq/q111).\n"
    "MASK selects record databases: 1 stated, 2 missed, 4 failed calls, or a sum\n"
    "(decimal or 0x hex). clear, flush, update-settings and status wait for cdrd's\n"
    "answer, at most S seconds (default 5); the download commands have no answer.\n"
    "After clear and flush, cdrctl asks for the status and fails when a selected\n"
    "database is not open or its save failed.\n"
    "status shows how cdrd stands (--json: as one JSON object).\n"
    "ready waits until both of cdrd's queues take connections (default 5 s).\n"
    "export prints a record database or the statistics file, newest record first,\n"
    "as CSV (default) or JSON lines; it needs no running cdrd. CSV cells that a\n"
    "spreadsheet would run as a formula get a leading ' unless --raw is given.\n"
    "Exit status: 0 done; 1 cdrd cannot be reached, or the file cannot be read;\n"
    "2 no answer in time, or a usage error; 3 a database is not open or its last\n"
    "save failed (status, and clear or flush of that database).\n";

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
    bool raw = false;
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--format" && i + 1 < argc)
            format = argv[++i];
        else if (std::string(argv[i]) == "--raw")
            raw = true;
        else
            return Usage("unexpected argument '" + std::string(argv[i]) + "'");
    }
    if (format != "csv" && format != "json")
        return Usage("format is csv or json");
    // A file that is not there is an error here, not an empty database.
    const int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "cdrctl: %s: %s\n", argv[2], strerror(errno));
        return 1;
    }
    close(fd);
    try {
        Configuration::RecordFile file(argv[2]);
        if (!file.Notes().Empty())
            fprintf(stderr, "cdrctl: %s\n", file.Notes().Describe(argv[2]).c_str());
        if (format == "csv")
            RecordExport::Csv(file, std::cout, !raw);
        else
            RecordExport::JsonLines(file, std::cout);
        std::cout.flush();
    } catch (const std::exception& e) {
        fprintf(stderr, "cdrctl: %s\n", e.what());
        return 1;
    }
    return std::cout ? 0 : 1;
}

// Tries until TIMEOUT for both queues to take a connection, and the web
// queue to answer.
int Ready(double timeout) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(timeout * 1000));
    std::string last;
    for (;;) {
        try {
            MessageQueueClient(QueueAddress::kCallControlQueue).Connect();
            MessageQueueClient web(QueueAddress::kWebQueue);
            web.Connect();
            WireMessage request, answer;
            request.mType = WireMessage::kStatus;
            web.Send(request);
            if (web.Receive(&answer, 1000)) {
                printf("cdrctl: cdrd is ready\n");
                return 0;
            }
            last = "no answer";
        } catch (const MessagingError& e) {
            last = e.what();
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    fprintf(stderr, "cdrctl: cdrd is not ready after %g s: %s\n", timeout, last.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command");
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        fputs(kUsage, stdout);
        return 0;
    }
    if (command == "export")
        return Export(argc, argv);
    WireMessage request;
    WireMessage::Type expected;
    int next = 2;
    if (command == "clear" || command == "flush") {
        if (argc < 3)
            return Usage(command + " needs a mask");
        if (!ParseMask(argv[2], &request.mMask) || request.mMask < 0 || request.mMask > 7)
            return Usage(std::string("'") + argv[2] + "' is not a mask: 1 stated, 2 missed, " +
                         "4 failed calls, or a sum of them up to 7");
        request.mType = command == "clear" ? WireMessage::kClear : WireMessage::kFlush;
        expected = command == "clear" ? WireMessage::kClearDone : WireMessage::kFlushDone;
        next = 3;
    } else if (command == "update-settings") {
        request.mType = WireMessage::kUpdateSettings;
        expected = WireMessage::kSettingsUpdated;
    } else if (command == "status" || command == "ready") {
        request.mType = WireMessage::kStatus;
        expected = WireMessage::kStatusReport;
    } else if (command == "update-download-settings" || command == "download-now") {
        request.mType = command == "download-now" ? WireMessage::kDownloadNow
                                                  : WireMessage::kUpdateDownloadSettings;
        expected = request.mType;  // no answer
    } else {
        return Usage("unknown command '" + command + "'");
    }
    double timeout = 5;
    bool json = false;
    for (int i = next; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--timeout" && expected == request.mType) {
            return Usage(command + " waits for no answer: it takes no --timeout");
        } else if (opt == "--timeout") {
            if (i + 1 == argc)
                return Usage("--timeout needs a number of seconds");
            if (!ParseSeconds(argv[++i], &timeout))
                return Usage(std::string("--timeout takes seconds from 0 to 86400, not '") +
                             argv[i] + "'");
        } else if (opt == "--json" && command == "status") {
            json = true;
        } else {
            return Usage("unexpected argument '" + opt + "'");
        }
    }
    if (command == "ready")
        return Ready(timeout);

    RecorderLink link(static_cast<int>(timeout * 1000));
    // 1: cdrd cannot be reached; 2: it did not answer as it should.
    auto failed = [&link] {
        fprintf(stderr, "cdrctl: %s\n", link.Error().c_str());
        return link.Unreachable() ? 1 : 2;
    };
    if (!link.Connect())
        return failed();
    if (expected == request.mType)
        return link.Send(request) ? 0 : failed();
    WireMessage answer;
    if (!link.Ask(request, expected, &answer))
        return failed();
    if (answer.mType == WireMessage::kSettingsUpdated) {
        printf("cdrctl: settings updated\n");
        return 0;
    }
    if (answer.mType == WireMessage::kStatusReport) {
        if (json)
            StatusReport::Json(answer.mStatus, std::cout);
        else
            StatusReport::Text(answer.mStatus, std::cout);
        return StatusReport::Healthy(answer.mStatus) ? 0 : 3;
    }
    // Clear and flush: the answer carries only the mask; the status tells
    // whether their saves went well.
    RecorderStatus status;
    if (!link.Status(&status))
        return failed();
    // 3 when a database of the mask is not open or its save failed.
    const std::vector<std::string> troubles = StatusReport::Troubles(status, answer.mMask);
    for (const std::string& trouble : troubles) fprintf(stderr, "cdrctl: %s\n", trouble.c_str());
    if (!troubles.empty())
        return 3;
    printf("cdrctl: %s, mask %d\n", command == "clear" ? "cleared" : "flushed", answer.mMask);
    return 0;
}
