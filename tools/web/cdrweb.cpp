// cdrweb: the call log page of the device's web side, a CGI/1.1 program.
// GET shows the records cdrd holds (or, when it is down, the saved files),
// searched and paged, or as CSV; POST acts on the databases through cdrd's
// command queue, as cdrctl does. See docs/operations.md.
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/msg/CDRKind.h"
#include "platform/sys/System.h"
#include "platform/util/NumberText.h"
#include "tools/RecorderLink.h"
#include "tools/SearchTerms.h"
#include "tools/TextPieces.h"
#include "tools/web/CallLog.h"
#include "tools/web/CallLogPage.h"
#include "tools/web/CgiRequest.h"
#include "tools/web/CtlProcess.h"
#include "tools/web/CxxRuntime.h"
#include "tools/web/FormToken.h"

namespace {

// Text for a person, appended to the string given.
constexpr void (*Say)(std::string&, const char*, ...) = TextPieces::Format;

const char kCookie[] = "cdrweb_token";
// The page waits at most this long for cdrd, so a busy recorder never
// holds the web server.
const int kTimeoutMs = 3000;
const char kTimeoutS[] = "3";  // the same, for cdrctl

// Whether the browser says the form came from this page's own origin. A
// page on another port of the same host is of the same site, and may set
// the cookie, but not of the same origin. Clients that say nothing (not a
// browser) are judged by the token alone.
bool SameOrigin() {
    const char* site = getenv("HTTP_SEC_FETCH_SITE");
    if (site && *site)
        return strcmp(site, "same-origin") == 0;
    const char* origin = getenv("HTTP_ORIGIN");
    const char* host = getenv("HTTP_HOST");
    if (!origin || !*origin)
        return true;
    const std::string_view scheme = getenv("HTTPS") ? "https://" : "http://";
    return host && std::string_view(origin).substr(0, scheme.size()) == scheme &&
           strcmp(origin + scheme.size(), host) == 0;
}

// "the stated and missed calls databases.", for the databases of MASK,
// onto the end of OUT.
void DbList(std::string& out, int mask) {
    int count = 0;
    for (int db = 0; db < 3; ++db) count += (mask >> db) & 1;
    out += "the ";
    for (int db = 0, listed = 0; db < 3; ++db) {
        if (!(mask & kCDRKinds[db]))
            continue;
        ++listed;
        const char* separator = listed == 1 ? "" : listed == count ? " and " : ", ";
        TextPieces::Format(out, "%s%s", separator, KindName(db));
    }
    out += count > 1 ? " calls databases." : " calls database.";
}

// Why cdrctl failed with STATUS, for a sentence, from what it said (TEXT):
// its messages without its name, joined by "; " (a usage error's help
// text left out). With STATUS -1, TEXT is why it did not run.
std::string Why(int status, std::string_view text) {
    if (status < 0)
        return std::string(text);
    std::string out;
    const char* const end = text.data() + text.size();
    for (const char* line = text.data(); line < end;) {
        const char* next = static_cast<const char*>(memchr(line, '\n', end - line));
        next = next ? next : end;
        if (next - line >= 8 && memcmp(line, "cdrctl: ", 8) == 0)
            TextPieces::Format(out, "%s%t", out.empty() ? "" : "; ", line + 8,
                               static_cast<size_t>(next - line - 8));
        line = next + 1;
    }
    if (out.empty())
        Say(out, "%s ended with status %d", CtlProcess::Program(), status);
    return out;
}

// Carries out a POST's action with cdrctl, which waits at most as long as
// the page; the answer for the page into *ANSWER (empty), and false when
// nothing or not all was done. LOG is open, and tells whether download is
// on.
bool Act(const CgiRequest& request, CallLog& log, std::string* answer) {
    std::string& out = *answer;
    const std::string_view action = request.Form("action");
    int mask = 0;
    std::string_view text;
    for (size_t at = 0; request.NextForm("mask", &at, &text);) {
        int64_t bits = 0;
        if (!NumberText::Whole(text, 0, 7, &bits)) {
            Say(out, "The database choice \"%t\" is not 1, 2, 4 or a sum of them.", text.data(),
                text.size());
            return false;
        }
        mask |= static_cast<int>(bits);
    }
    const bool clear = action == "clear", download = action == "download-now";
    const char* refused = nullptr;
    if (!clear && !download && action != "flush")
        refused = "Unknown action \"%t\": nothing was done.";
    else if (!download && mask == 0)
        refused = "Choose at least one database: nothing was done.";
    else if (clear && request.Form("confirm") != "yes")
        refused = "To clear, tick the box that confirms it: nothing was deleted.";
    if (refused) {
        Say(out, refused, action.data(), action.size());
        return false;
    }

    std::string said;
    const char* what = clear ? "Clear" : "Flush";
    if (download) {
        // Asked for while download is off, a download would fail, and
        // the status would say so for no fault.
        std::string status;
        StatusView view;
        const std::string& why = log.DaemonError();
        if (!log.Live())  // why ends its sentence
            refused = "Nothing was done: %t";
        else if (!log.Status(&status, &view))
            refused = "The download was not asked for: %t.";
        else if (!view.mDownload)
            refused =
                "Automatic download is off, so there is nothing to download: nothing was done.";
        if (refused) {
            Say(out, refused, why.data(), why.size());
            return false;
        }
        what = "The download";
    }
    // download-now waits for no answer, so takes no mask and no time.
    const char maskText[2] = {static_cast<char>('0' + mask), '\0'};
    const char* command = download ? "download-now" : clear ? "clear" : "flush";
    const char* const args[] = {"cdrctl",    command,   download ? nullptr : maskText,
                                "--timeout", kTimeoutS, nullptr};
    const int status = CtlProcess::Run(args, -1, &said);
    if (status != 0) {
        const std::string why = Why(status, said);
        if (status == 1)  // cdrctl's: cdrd cannot be reached
            Say(out, "Nothing was done: %t. Is cdrd running?", why.data(), why.size());
        else
            Say(out, "%s failed: %t.", what, why.data(), why.size());
        return false;
    }
    if (download) {
        Say(out,
            "Asked cdrd to download the statistics now; the status shows how the last "
            "download went.");
    } else {
        out += clear ? "Cleared " : "Flushed ";
        DbList(out, mask);
    }
    return true;
}

// The answer to a request: its status line, what it is, a cookie to set,
// and the body.
struct Reply {
    const char* mStatus = "200 OK";
    const char* mType = "text/html";
    std::string mHeaders;  // more header lines, each ending in CRLF
    std::string mBody;
    // Set when the reply was written as it was made (a download): the
    // program's exit status, 1 when it was cut short or not all written.
    int mExit = -1;
};

// Writes the head of REPLY, and its body unless HEAD_ONLY; false when the
// web server no longer reads.
bool Send(const Reply& reply, bool headOnly) {
    std::string head;
    Say(head,
        "Status: %s\r\nContent-Type: %s; charset=utf-8\r\nCache-Control: no-store\r\n"
        "X-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\n"
        "Referrer-Policy: no-referrer\r\nContent-Security-Policy: default-src 'none'; "
        "style-src 'unsafe-inline'; form-action 'self'; frame-ancestors 'none'; "
        "base-uri 'none'\r\n%t\r\n",
        reply.mStatus, reply.mType, reply.mHeaders.data(), reply.mHeaders.size());
    struct iovec pieces[2] = {{const_cast<char*>(head.data()), head.size()},
                              {const_cast<char*>(reply.mBody.data()), reply.mBody.size()}};
    return System::Default().WriteAll(STDOUT_FILENO, pieces, headOnly ? 1 : 2);
}

// The database of ?db=: -1 for all, or the index; false for an unknown name.
bool Database(std::string_view name, int* db) {
    *db = -1;
    if (name.empty())
        return true;
    for (int i = -1; i < 3; ++i) {
        if (name == CallLogPage::DbName(i)) {
            *db = i;
            return true;
        }
    }
    return false;
}

// ?page=: a number past any page (however many digits) shows the last;
// anything else the first.
uint32_t PageNumber(std::string_view text) {
    int64_t page = 1;
    if (NumberText::Whole(text, 1, UINT32_MAX, &page))
        return static_cast<uint32_t>(page);
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == text.npos;
    if (digits && text.find_first_not_of('0') != text.npos)
        return UINT32_MAX;
    return 1;
}

// Every match of V's search as CSV, spreadsheet-safe: cdrctl's list
// (from the saved files when LOG is, too), written after the head of REPLY
// straight to the web server as it is read. When it stops short, the
// download's last line says why. False when the download was cut short or
// not all could be written.
bool Download(const CallLog& log, const CallLogPage::View& v, const Reply& reply) {
    // The command and its options, a name and a value per term given, and
    // the null that ends them.
    const char* args[10 + 2 * CallLogPage::kTermCount + 1] = {
        "cdrctl", "list",          "--all",  "--format",
        "csv",    "--spreadsheet", "--kind", CallLogPage::DbName(v.mDb)};
    size_t n = 8;
    args[n++] = log.Live() ? "--timeout" : "--saved";
    if (log.Live())
        args[n++] = kTimeoutS;
    // The terms as the page took them (with no NUL byte in them).
    std::string terms[2 * CallLogPage::kTermCount];
    for (size_t i = 0; i < CallLogPage::kTermCount; ++i) {
        if (v.mTerms[i].empty())
            continue;
        TextPieces::Assign(terms[2 * i], "--%s", CallLogPage::kTerms[i]);
        TextPieces::Set(terms[2 * i + 1], v.mTerms[i]);
        args[n++] = terms[2 * i].c_str();
        args[n++] = terms[2 * i + 1].c_str();
    }
    assert(n < sizeof args / sizeof args[0]);
    if (!Send(reply, false))
        return false;
    CxxRuntime::HeadWritten();
    std::string said;
    const int status = CtlProcess::Run(args, STDOUT_FILENO, &said);
    // cdrctl's 3: a database is not open, or its file not read; the rows
    // of the others are all there.
    if (status == 0 || status == 3)
        return true;
    std::string line = "\"The download is cut short: ";
    for (const char c : Why(status, said)) {
        if (c == '"')
            line += c;
        line += c;
    }
    line += "\"\r\n";
    System::Default().WriteAll(STDOUT_FILENO, line.data(), line.size());
    return false;
}

// The answer to REQUEST into REPLY, as Reply() makes it.
void Serve(const CgiRequest& request, Reply& reply) {
    CallLogPage::View v;
    RecordQuery query;
    const std::string_view db = request.Query("db");
    if (!Database(db, &v.mDb)) {
        reply.mStatus = "400 Bad Request";
        TextPieces::Assign(v.mError,
                           "There is no database \"%t\": choose all, stated, missed or failed.",
                           db.data(), db.size());
        v.mDb = -1;
    }
    query.mKinds = static_cast<uint8_t>(v.mDb < 0 ? 7 : 1 << v.mDb);
    std::string error;
    for (size_t i = 0; i < CallLogPage::kTermCount; ++i) {
        const char* name = CallLogPage::kTerms[i];
        const std::string_view value = request.Query(name);
        v.mTerms[i] = value;
        if (!SearchTerms::Set(name, value, &query, &error) && v.mError.empty()) {
            reply.mStatus = "400 Bad Request";
            TextPieces::Assign(v.mError, "The search cannot be made: %t.", error.data(),
                               error.size());
        }
    }
    v.mSearching = query.HasCriteria();
    v.mPage = PageNumber(request.Query("page"));
    v.mId = request.Query("id");

    // Opened before an action, which may need to know how cdrd stands.
    CallLog log(kTimeoutMs);
    log.Open(query.mKinds);
    unsigned char key[FormToken::kKeyBytes];
    const bool haveKey = FormToken::Key(key, &error);
    v.mToken = request.Cookie(kCookie);
    const bool hadToken = haveKey && FormToken::IsToken(v.mToken, key);
    if (request.Method() == "POST") {
        // The form must carry the token of the cookie that this page set: a
        // page of another site can make the browser send the cookie but not
        // read it, and cannot make a token that this device would take.
        if (hadToken && request.Form("token") == v.mToken && SameOrigin()) {
            v.mAnswerOk = Act(request, log, &v.mAnswer);
        } else {
            reply.mStatus = "403 Forbidden";
            v.mAnswerOk = false;
            Say(v.mAnswer,
                "This form is not from this page, or has expired: nothing was done. "
                "Use the form below.");
        }
    } else if (!request.Query("action").empty()) {
        // An address must never act: a link or a prefetch would.
        reply.mStatus = "400 Bad Request";
        v.mAnswerOk = false;
        Say(v.mAnswer, "Actions are taken only from the form below: nothing was done.");
    }
    char token[FormToken::kTokenText];
    if (!hadToken) {
        if (FormToken::NewToken(haveKey ? key : nullptr, token, &error)) {
            v.mToken = std::string_view(token, sizeof token);
            TextPieces::Format(reply.mHeaders,
                               "Set-Cookie: %s=%t; Path=/; SameSite=Strict; HttpOnly%s\r\n",
                               kCookie, token, sizeof token, getenv("HTTPS") ? "; Secure" : "");
        } else {
            reply.mStatus = "500 Internal Server Error";
            v.mAnswerOk = false;
            TextPieces::Assign(v.mAnswer, "No form token: %t", error.data(), error.size());
            v.mToken = {};
        }
    }

    if (!log.Live()) {
        Say(v.mSourceNote, "This page shows the saved files, without the records not yet saved: %t",
            log.DaemonError().data(), log.DaemonError().size());
        for (int db = 0; db < 3; ++db) {
            v.mPaths[db] = log.Path(db);
            v.mFileErrors[db] = log.FileError(db);
        }
    }
    int64_t id = 0;
    if (!v.mId.empty() && v.mDb < 0 && v.mError.empty()) {
        reply.mStatus = "400 Bad Request";
        Say(v.mError, "A record is shown by its database and ID: choose stated, missed or failed.");
    }
    if (!v.mId.empty() && NumberText::Whole(v.mId, 0, UINT32_MAX, &id)) {
        query.mById = true;
        query.mId = static_cast<uint32_t>(id);
    } else if (!v.mId.empty()) {
        query.mKinds = 0;  // no record has such an ID
    }
    if (v.mError.empty() && request.Query("format") == "csv") {
        reply.mType = "text/csv";
        TextPieces::Format(reply.mHeaders,
                           "Content-Disposition: attachment; filename=\"calls-%s.csv\"\r\n",
                           CallLogPage::DbName(v.mDb));
        const bool whole = request.Method() == "HEAD" ? Send(reply, true) : Download(log, v, reply);
        reply.mExit = whole ? 0 : 1;
        return;
    }
    if (v.mError.empty()) {
        query.mSkip = (std::min<uint32_t>(v.mPage, UINT32_MAX / RecordQuery::kPageSize) - 1) *
                      RecordQuery::kPageSize;
        bool read = log.Read(query, &v.mRecords);
        const uint32_t pages =
            (v.mRecords.mView.mMatches + RecordQuery::kPageSize - 1) / RecordQuery::kPageSize;
        if (read && v.mId.empty() && v.mPage > std::max<uint32_t>(pages, 1)) {
            // A page past the end shows the last.
            v.mPage = std::max<uint32_t>(pages, 1);
            query.mSkip = (v.mPage - 1) * RecordQuery::kPageSize;
            read = log.Read(query, &v.mRecords);
        }
        if (!read)
            Say(v.mError, "%s did not give the records: %t",
                log.Live() ? "cdrd" : CtlProcess::Program(), log.DaemonError().data(),
                log.DaemonError().size());
    }
    std::string statusAnswer;
    v.mHaveStatus = log.Status(&statusAnswer, &v.mStatus);
    if (!v.mHaveStatus)
        v.mStatusError = log.DaemonError();
    CallLogPage::Render(v, reply.mBody);
}

}  // namespace

// This code is built without exceptions (smaller on the device): running
// out of memory ends the request with a 500 answer, and so does anything
// that would have thrown (see CxxRuntime.cpp).
int main() {
    CgiRequest request;
    std::string error;
    Reply reply;
    const bool taken = request.Read(&error);
    const std::string_view method = request.Method();
    if (method != "GET" && method != "HEAD" && method != "POST") {
        reply.mStatus = "405 Method Not Allowed";
        reply.mType = "text/plain";
        Say(reply.mHeaders, "Allow: GET, HEAD, POST\r\n");
        Say(reply.mBody, "Only GET, HEAD and POST are served here.\n");
    } else if (!taken) {
        reply.mStatus = "400 Bad Request";
        reply.mType = "text/plain";
        TextPieces::Assign(reply.mBody, "The request cannot be taken: %t.\n", error.data(),
                           error.size());
    } else {
        Serve(request, reply);
        if (reply.mExit >= 0)
            return reply.mExit;
    }
    return Send(reply, method == "HEAD") ? 0 : 1;
}
