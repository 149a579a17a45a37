// cdrsend: plays call control, sending call detail reports to cdrd (queue 15).
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

#include "platform/msg/CDRKind.h"
#include "platform/msg/MessageQueueClient.h"
#include "platform/msg/QueueAddress.h"
#include "platform/msg/WireFormat.h"
#include "platform/sys/System.h"
#include "platform/util/NumberText.h"
#include "tools/RandomReports.h"
#include "tools/StatisticsKeys.h"

namespace {

// How long the daemon may take to end the connection once everything is
// sent: longer than a download's command may hold it (30 s by default).
const int kTakenTimeoutMs = 60000;

const char kUsage[] =
    "usage: cdrsend [--kind K] [--start T] [--duration D] [--called S] [--caller S]\n"
    "               [--guid S] [--ocd S] [--cr S] [--auth S] [--clir] [--stat KEY=VALUE ...]\n"
    "       cdrsend --random N [--seed S] [--rate R]\n"
    "\n"
    "Sends call detail reports to cdrd's call control queue ($MSGQ_DIR/q15,\n"
    "default /var/run/msgq/q15).\n"
    "  --kind K       1 or stated, 2 or missed, 4 or failed, or any integer (default 1)\n"
    "  --start T      start time, seconds since the epoch (default now; may be negative)\n"
    "  --duration D   seconds (default 0)\n"
    "  --called, --caller, --guid, --ocd, --cr, --auth S\n"
    "                 texts of at most 255 bytes\n"
    "  --clir         the caller's identity is restricted\n"
    "  --stat KEY=VALUE\n"
    "                 a statistics field by its record key (tx_pkt, tx_enc, rem_addr_2,\n"
    "                 fax_anamnesis, ...); codecs take the numeric code, addresses\n"
    "                 dotted text; any --stat makes the report carry statistics\n"
    "  --random N     send N varied, realistic reports with statistics, kinds 1, 2, 4\n"
    "  --seed S       seed of --random (default 1)\n"
    "  --rate R       at most R reports a second (default: as fast as cdrd takes them)\n"
    "Exit status: 0 all taken by cdrd (it ended the connection after reading them),\n"
    "1 cdrd cannot be reached or did not take them all, 2 usage error.\n";

int Usage(const std::string& error) {
    fprintf(stderr, "cdrsend: %s\n%s", error.c_str(), kUsage);
    return 2;
}

bool ParseLong(const char* text, long long min, long long max, long long* out) {
    int64_t v;
    if (!NumberText::Whole(text, min, max, &v))
        return false;
    *out = v;
    return true;
}

bool ParseKind(const std::string& text, int* kind) {
    const int index = KindIndex(text);
    if (index >= 0) {
        *kind = kCDRKinds[index];
        return true;
    }
    long long v;
    if (!ParseLong(text.c_str(), INT32_MIN, INT32_MAX, &v))
        return false;
    *kind = static_cast<int>(v);
    return true;
}

int SendRandom(MessageQueueClient& client, long long count, uint32_t seed, double rate) {
    RandomReports reports(seed);
    WireMessage message;
    const bool tty = isatty(STDERR_FILENO);
    // A clock that cannot be read only spoils the pacing and the figure.
    System& sys = System::Default();
    int64_t start = 0, now = 0;
    sys.MonotonicMs(&start);
    long long sent = 0;
    for (; sent < count; ++sent) {
        if (rate > 0 && sys.MonotonicMs(&now))
            sys.SleepMs(start + static_cast<int64_t>(static_cast<double>(sent) * 1000 / rate) -
                        now);
        reports.Next(&message);
        if (!client.Send(message))
            break;
        if (tty && (sent % 1000 == 999 || sent + 1 == count))
            fprintf(stderr, "\rcdrsend: %lld of %lld sent", sent + 1, count);
    }
    const bool taken = sent == count && client.Finish(kTakenTimeoutMs);
    sys.MonotonicMs(&now);
    const double took = static_cast<double>(now - start) / 1000;
    if (tty)
        fputc('\n', stderr);
    if (!taken) {
        fprintf(stderr, "cdrsend: not taken: %s (%lld of %lld sent)\n", client.Error().c_str(),
                sent, count);
        return 1;
    }
    printf("cdrsend: %lld reports in %.3f s, %.0f reports/s\n", count, took,
           took > 0 ? static_cast<double>(count) / took : 0.0);
    return 0;
}

// What the command line asks for.
struct Request {
    WireMessage message;
    long long randomCount = -1;  // --random: that many made-up reports instead
    long long seed = 1;
    double rate = 0;  // reports a second; 0: as fast as they are taken
};

// Takes option OPT with its VALUE into REQUEST; false, with *ERROR, when the
// value is bad or the option unknown.
bool TakeOption(const std::string& opt, const std::string& value, Request* request,
                std::string* error) {
    CallDetailReport& r = request->message.mReport;
    long long n;
    if (opt == "--kind") {
        if (ParseKind(value, &request->message.mKind))
            return true;
        *error = "bad kind '" + value + "'";
    } else if (opt == "--start") {
        if (ParseLong(value.c_str(), INT32_MIN, INT32_MAX, &n)) {
            r.mStartTime = static_cast<int32_t>(n);
            return true;
        }
        *error = "bad start time '" + value + "'";
    } else if (opt == "--duration") {
        if (ParseLong(value.c_str(), 0, UINT32_MAX, &n)) {
            r.mDuration = static_cast<uint32_t>(n);
            return true;
        }
        *error = "bad duration '" + value + "'";
    } else if (opt == "--stat") {
        const size_t eq = value.find('=');
        if (eq == std::string::npos) {
            *error = "--stat takes KEY=VALUE";
            return false;
        }
        request->message.mHasStatistics = true;
        return StatisticsKeys::Set(&request->message.mStatistics, value.substr(0, eq),
                                   value.substr(eq + 1), error);
    } else if (opt == "--random") {
        if (ParseLong(value.c_str(), 0, INT64_MAX, &request->randomCount))
            return true;
        *error = "bad count '" + value + "'";
    } else if (opt == "--seed") {
        if (ParseLong(value.c_str(), 0, UINT32_MAX, &request->seed))
            return true;
        *error = "bad seed '" + value + "'";
    } else if (opt == "--rate") {
        if (ParseLong(value.c_str(), 1, 100000000, &n)) {
            request->rate = static_cast<double>(n);
            return true;
        }
        *error = "bad rate '" + value + "'";
    } else {
        const std::pair<const char*, std::string*> texts[] = {
            {"--called", &r.mCalled}, {"--caller", &r.mCaller}, {"--guid", &r.mGuid},
            {"--ocd", &r.mOcd},       {"--cr", &r.mCr},         {"--auth", &r.mAuthUserName}};
        for (const auto& [name, text] : texts) {
            if (opt == name) {
                *text = value;
                return true;
            }
        }
        *error = "unknown option " + opt;
    }
    return false;
}

// Sends what REQUEST asks for; the exit status.
int Send(const Request& request) {
    if (request.randomCount < 0) {
        // A text the protocol cannot carry is a usage error, found before connecting.
        std::string bytes, error;
        if (!WireFormat::Encode(request.message, &bytes, &error))
            return Usage(error);
    }
    MessageQueueClient client(QueueAddress::kCallControlQueue);
    if (!client.Connect()) {
        fprintf(stderr, "cdrsend: cannot reach cdrd: %s\n", client.Error().c_str());
        return 1;
    }
    if (request.randomCount >= 0)
        return SendRandom(client, request.randomCount, static_cast<uint32_t>(request.seed),
                          request.rate);
    // Sent is not taken: the daemon ends the connection once it has it.
    if (client.Send(request.message) && client.Finish(kTakenTimeoutMs))
        return 0;
    fprintf(stderr, "cdrsend: not taken: %s\n", client.Error().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Request request;
    request.message.mType = WireMessage::kReport;
    request.message.mKind = 1;
    struct timespec now = {};
    System::Default().ClockGettime(CLOCK_REALTIME, &now);  // 0 if unread: --start overrides
    request.message.mReport.mStartTime = static_cast<int32_t>(now.tv_sec);
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "-h" || opt == "--help") {
            fputs(kUsage, stdout);
            return 0;
        }
        if (opt == "--clir") {
            request.message.mReport.mClirCaller = 1;
            continue;
        }
        if (i + 1 >= argc)
            return Usage("option " + opt + " needs a value");
        std::string error;
        if (!TakeOption(opt, argv[++i], &request, &error))
            return Usage(error);
    }
    return Send(request);
}
