// cdrweb: the call log page of the device's web side, a CGI/1.1 program.
// GET shows a record database; POST acts on the databases through cdrd's
// command queue, as cdrctl does. See docs/operations.md.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "platform/config/RecordFile.h"
#include "platform/sys/System.h"
#include "platform/util/GeneralPaths.h"
#include "platform/util/NumberText.h"
#include "tools/CallLogPage.h"
#include "tools/CgiRequest.h"
#include "tools/RecorderLink.h"
#include "tools/StatusReport.h"

namespace {

const char kCookie[] = "cdrweb_token";
const size_t kTokenBytes = 16;
// The page waits at most this long for cdrd, so a busy recorder never
// holds the web server.
const int kTimeoutMs = 3000;

struct Reply {
    const char* mStatus = "200 OK";
    std::string mSetCookie;
    std::string mBody;
};

bool IsToken(const std::string& text) {
    if (text.size() != 2 * kTokenBytes)
        return false;
    for (const char c : text)
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// A token no other site can know: random bytes from the kernel.
bool NewToken(std::string* token, std::string* error) {
    System& sys = System::Default();
    unsigned char bytes[kTokenBytes];
    const int fd = sys.Open("/dev/urandom", O_RDONLY | O_CLOEXEC, 0);
    const ssize_t n = fd < 0 ? -1 : sys.Read(fd, bytes, sizeof bytes);
    const int saved = errno;
    if (fd >= 0)
        sys.Close(fd);
    if (n != static_cast<ssize_t>(sizeof bytes)) {
        *error = std::string("no random token: /dev/urandom: ") +
                 (n < 0 ? strerror(saved) : "short read");
        return false;
    }
    char hex[3];
    token->clear();
    for (const unsigned char b : bytes) {
        snprintf(hex, sizeof hex, "%02x", b);
        *token += hex;
    }
    return true;
}

// The database file at the path cdrd uses, as GetCDRData makes it; a
// default name is used but never stored from here.
std::string DatabasePath(int db, std::string* error) {
    std::string name;
    try {
        GeneralPaths* paths = GeneralPaths::GetInstance(true);
        if (!paths) {
            *error = "the general paths file cannot be read";
            return "";
        }
        name = db == 0   ? paths->GetCDRStatedDb()
               : db == 1 ? paths->GetCDRMissedDb()
                         : paths->GetCDRFailedDb();
        GeneralPaths::CloseInstance();
    } catch (const std::exception& e) {
        GeneralPaths::CloseInstance();
        *error = e.what();
        return "";
    }
    return GeneralPaths::DatabasePath(name.empty() ? GeneralPaths::DefaultName(db) : name);
}

// Reads the page's records, or the one with the ID asked for.
void ReadRecords(CallLogPage::View* v) {
    struct stat st;
    if (System::Default().Lstat(v->mPath.c_str(), &st) != 0) {
        v->mFileError = errno == ENOENT
                            ? "The file does not exist yet: cdrd makes it with the "
                              "first record it saves."
                            : std::string("The file cannot be read: ") + strerror(errno) + ".";
        return;
    }
    try {
        Configuration::RecordFile file(v->mPath.c_str());
        v->mTotal = static_cast<size_t>(file.GetSectionCount());
        const size_t pages = (v->mTotal + CallLogPage::kPageSize - 1) / CallLogPage::kPageSize;
        if (v->mPage > pages)
            v->mPage = pages ? pages : 1;
        const size_t first = (v->mPage - 1) * CallLogPage::kPageSize;
        file.Restart();
        for (size_t i = 0; file.GotoNextSection(); ++i) {
            CallLogPage::Entries entries;
            file.ForEachSectionEntry([&](std::string_view k, std::string_view val) {
                entries.emplace_back(std::string(k), std::string(val));
            });
            const bool wanted = v->mId.empty() ? i >= first && i < first + CallLogPage::kPageSize
                                               : !entries.empty() && entries[0].first == "ID" &&
                                                     entries[0].second == v->mId;
            if (wanted)
                v->mRecords.push_back(std::move(entries));
            if (!v->mId.empty() && wanted)
                break;
        }
    } catch (const std::exception& e) {
        v->mFileError = std::string("The file cannot be read: ") + e.what();
        v->mTotal = 0;
        v->mRecords.clear();
    }
}

std::string DbList(int mask) {
    std::string names;
    int left = mask;
    for (int db = 0; db < 3; ++db) {
        if (!(mask & (1 << db)))
            continue;
        left &= ~(1 << db);
        names += names.empty() ? "" : left ? ", " : " and ";
        names += CallLogPage::DbName(db);
    }
    return "the " + names + " calls database" + ((mask & (mask - 1)) ? "s" : "");
}

// Carries out a POST's action; the answer goes to the page.
void Act(const CgiRequest& request, CallLogPage::View* v) {
    const std::string action = request.Form("action");
    int mask = 0;
    for (const std::string& text : request.FormAll("mask")) {
        int64_t bits = 0;
        if (!NumberText::Whole(text.c_str(), 0, 7, &bits)) {
            v->mAnswerOk = false;
            v->mAnswer = "The database choice \"" + text + "\" is not 1, 2, 4 or a sum of them.";
            return;
        }
        mask |= static_cast<int>(bits);
    }
    v->mAnswerOk = false;
    if (action != "clear" && action != "flush" && action != "download-now") {
        v->mAnswer = "Unknown action \"" + action + "\": nothing was done.";
        return;
    }
    if (action != "download-now" && mask == 0) {
        v->mAnswer = "Choose at least one database: nothing was done.";
        return;
    }
    if (action == "clear" && request.Form("confirm") != "yes") {
        v->mAnswer = "To clear, tick the box that confirms it: nothing was deleted.";
        return;
    }
    RecorderLink link(kTimeoutMs);
    WireMessage command, answer;
    if (!link.Connect()) {
        v->mAnswer =
            "cdrd is not running or cannot be reached: nothing was done (" + link.Error() + ").";
        return;
    }
    if (action == "download-now") {
        command.mType = WireMessage::kDownloadNow;
        if (!link.Send(command)) {
            v->mAnswer = "The download was not asked for: " + link.Error() + ".";
            return;
        }
        v->mAnswerOk = true;
        v->mAnswer =
            "Asked cdrd to download the statistics now; the status shows how the last "
            "download went.";
        return;
    }
    const bool clear = action == "clear";
    command.mType = clear ? WireMessage::kClear : WireMessage::kFlush;
    command.mMask = mask;
    RecorderStatus status;
    if (!link.Ask(command, clear ? WireMessage::kClearDone : WireMessage::kFlushDone, &answer) ||
        !link.Status(&status)) {
        v->mAnswer = std::string(clear ? "Clear" : "Flush") + " failed: " + link.Error() + ".";
        return;
    }
    std::string trouble;
    for (int db = 0; db < 3; ++db) {
        const std::string t = StatusReport::Trouble(status.mDatabases[db]);
        if ((mask & (1 << db)) && !t.empty())
            trouble += (trouble.empty() ? "" : "; ") + t;
    }
    if (!trouble.empty()) {
        v->mAnswer = std::string(clear ? "Clear" : "Flush") + " failed: " + trouble + ".";
        return;
    }
    v->mAnswerOk = true;
    v->mAnswer = std::string(clear ? "Cleared " : "Flushed ") + DbList(mask) + ".";
}

Reply Serve(const CgiRequest& request, CallLogPage::View* v) {
    Reply reply;
    const std::string db = request.Query("db");
    v->mDb = db == "missed" ? 1 : db == "failed" ? 2 : 0;
    if (!db.empty() && db != "stated" && db != "missed" && db != "failed") {
        reply.mStatus = "400 Bad Request";
        v->mAnswerOk = false;
        v->mAnswer = "There is no database \"" + db + "\": choose stated, missed or failed.";
    }
    int64_t page = 1;
    if (!request.Query("page").empty() &&
        !NumberText::Whole(request.Query("page").c_str(), 1, INT32_MAX, &page))
        page = 1;
    v->mPage = static_cast<size_t>(page);
    v->mId = request.Query("id");

    std::string error;
    v->mToken = request.Cookie(kCookie);
    const bool hadToken = IsToken(v->mToken);
    if (request.Method() == "POST") {
        // The form must carry the token of the cookie that this site set:
        // a page of another site can send the cookie, but cannot read it.
        if (!hadToken || request.Form("token") != v->mToken) {
            reply.mStatus = "403 Forbidden";
            v->mAnswerOk = false;
            v->mAnswer =
                "This form is not from this page, or has expired: nothing was done. "
                "Use the form below.";
        } else {
            Act(request, v);
        }
    }
    if (!hadToken) {
        if (!NewToken(&v->mToken, &error)) {
            reply.mStatus = "500 Internal Server Error";
            v->mAnswerOk = false;
            v->mAnswer = error;
            v->mToken.clear();
        } else {
            reply.mSetCookie = std::string(kCookie) + "=" + v->mToken +
                               "; Path=/; SameSite=Strict; HttpOnly" +
                               (getenv("HTTPS") ? "; Secure" : "");
        }
    }

    v->mPath = DatabasePath(v->mDb, &error);
    if (v->mPath.empty())
        v->mFileError = "The database's path is not known: " + error + ".";
    else
        ReadRecords(v);

    RecorderLink link(kTimeoutMs);
    v->mHaveStatus = link.Connect() && link.Status(&v->mStatus);
    if (!v->mHaveStatus)
        v->mStatusError = link.Unreachable()
                              ? "cdrd is not running or cannot be reached: " + link.Error() + "."
                              : "cdrd does not answer: " + link.Error() + ".";
    reply.mBody = CallLogPage::Render(*v);
    return reply;
}

}  // namespace

int main() {
    CgiRequest request;
    std::string error;
    Reply reply;
    const bool taken = request.Read(&error);
    const std::string& method = request.Method();
    std::string headers;
    if (method != "GET" && method != "HEAD" && method != "POST") {
        reply.mStatus = "405 Method Not Allowed";
        headers = "Allow: GET, HEAD, POST\r\n";
        reply.mBody = "Only GET, HEAD and POST are served here.\n";
    } else if (!taken) {
        reply.mStatus = "400 Bad Request";
        reply.mBody = "The request cannot be taken: " + error + ".\n";
    } else {
        CallLogPage::View view;
        reply = Serve(request, &view);
        headers =
            "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
            "form-action 'self'; frame-ancestors 'none'; base-uri 'none'\r\n";
    }
    if (!reply.mSetCookie.empty())
        headers += "Set-Cookie: " + reply.mSetCookie + "\r\n";
    const bool html = reply.mBody.compare(0, 9, "<!DOCTYPE") == 0;
    const std::string head = std::string("Status: ") + reply.mStatus +
                             "\r\nContent-Type: " + (html ? "text/html" : "text/plain") +
                             "; charset=utf-8\r\nCache-Control: no-store\r\n"
                             "X-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\n"
                             "Referrer-Policy: no-referrer\r\n" +
                             headers + "\r\n";
    const std::string out = method == "HEAD" ? head : head + reply.mBody;
    return System::Default().WriteAll(STDOUT_FILENO, out.data(), out.size()) ? 0 : 1;
}
