// cdrctl: plays the web side, sending commands to cdrd (queue 111).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <iostream>

#include "platform/config/MultiSectionFile.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/MessagingError.h"
#include "platform/msg/QueueAddress.h"
#include "tools/RecordExport.h"

namespace {

const char kUsage[] =
    "usage: cdrctl clear MASK [--timeout S]\n"
    "       cdrctl flush MASK [--timeout S]\n"
    "       cdrctl update-settings [--timeout S]\n"
    "       cdrctl update-download-settings\n"
    "       cdrctl download-now\n"
    "       cdrctl export FILE [--format csv|json]\n"
    "\n"
    "Sends a command to cdrd's web queue ($MSGQ_DIR/q111, default /var/run/msgq/q111).\n"
    "MASK selects record databases: 1 stated, 2 missed, 4 failed calls, or a sum\n"
    "(decimal or 0x hex). clear, flush and update-settings wait for cdrd's answer,\n"
    "at most S seconds (default 5); the download commands have no answer.\n"
    "export prints a record database or the statistics file, newest record first,\n"
    "as CSV (default) or JSON lines; it needs no running cdrd.\n"
    "Exit status: 0 answered (or sent, or exported), 1 cdrd cannot be reached (or\n"
    "the file cannot be read), 2 no answer in time, or a usage error.\n";

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

const char* Describe(const WireMessage& m) {
    switch (m.mType) {
        case WireMessage::kClearDone:
            return "cleared";
        case WireMessage::kFlushDone:
            return "flushed";
        case WireMessage::kSettingsUpdated:
            return "settings updated";
        default:
            return "unexpected answer";
    }
}

int Export(int argc, char** argv) {
    if (argc < 3)
        return Usage("export needs a file");
    std::string format = "csv";
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--format" && i + 1 < argc)
            format = argv[++i];
        else
            return Usage("unexpected argument '" + std::string(argv[i]) + "'");
    }
    if (format != "csv" && format != "json")
        return Usage("format is csv or json");
    try {
        Configuration::MultiSectionFile file(argv[2], true, false, false, nullptr, "{\n", "}\n",
                                             "=", "#", nullptr);
        if (format == "csv")
            RecordExport::Csv(file, std::cout);
        else
            RecordExport::JsonLines(file, std::cout);
        std::cout.flush();
    } catch (const std::exception& e) {
        fprintf(stderr, "cdrctl: %s\n", e.what());
        return 1;
    }
    return std::cout ? 0 : 1;
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
        if (argc < 3 || !ParseMask(argv[2], &request.mMask))
            return Usage(command + " needs a mask");
        request.mType = command == "clear" ? WireMessage::kClear : WireMessage::kFlush;
        expected = command == "clear" ? WireMessage::kClearDone : WireMessage::kFlushDone;
        next = 3;
    } else if (command == "update-settings") {
        request.mType = WireMessage::kUpdateSettings;
        expected = WireMessage::kSettingsUpdated;
    } else if (command == "update-download-settings" || command == "download-now") {
        request.mType = command == "download-now" ? WireMessage::kDownloadNow
                                                  : WireMessage::kUpdateDownloadSettings;
        expected = request.mType;  // no answer
    } else {
        return Usage("unknown command '" + command + "'");
    }
    double timeout = 5;
    for (int i = next; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--timeout" && i + 1 < argc && expected != request.mType) {
            char* end = nullptr;
            timeout = strtod(argv[++i], &end);
            if (*end || !(timeout >= 0 && timeout <= 86400))
                return Usage("bad timeout");
        } else {
            return Usage("unexpected argument '" + opt + "'");
        }
    }

    MessageQueueClient client(QueueAddress::kWebQueue);
    try {
        client.Connect();
    } catch (const MessagingError& e) {
        fprintf(stderr, "cdrctl: cannot reach cdrd: %s\n", e.what());
        return 1;
    }
    try {
        client.Send(request);
        if (expected == request.mType)
            return 0;
        WireMessage answer;
        if (!client.Receive(&answer, static_cast<int>(timeout * 1000))) {
            fprintf(stderr, "cdrctl: no answer from cdrd within %g s\n", timeout);
            return 2;
        }
        if (answer.mType != expected) {
            fprintf(stderr, "cdrctl: %s (type %d)\n", Describe(answer), answer.mType);
            return 2;
        }
        if (answer.mType == WireMessage::kSettingsUpdated)
            printf("cdrctl: %s\n", Describe(answer));
        else
            printf("cdrctl: %s, mask %d\n", Describe(answer), answer.mMask);
        return 0;
    } catch (const MessagingError& e) {
        fprintf(stderr, "cdrctl: %s\n", e.what());
        return 1;
    }
}
