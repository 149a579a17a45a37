// cdrweb: the call log page of the device's web side, a CGI/1.1 program.
// GET shows a record database; POST acts on the databases through cdrd's
// command queue, as cdrctl does. See docs/operations.md.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "platform/config/RecordFile.h"
#include "platform/msg/QueueAddress.h"
#include "platform/sys/System.h"
#include "platform/util/GeneralPaths.h"
#include "platform/util/NumberText.h"
#include "tools/CallLogPage.h"
#include "tools/CgiRequest.h"
#include "tools/HmacSha256.h"
#include "tools/RecorderLink.h"
#include "tools/StatusReport.h"
#include "tools/TextPieces.h"

namespace {

std::string Join(std::initializer_list<std::string_view> pieces) {
    return TextPieces::Join(pieces);
}

const char kCookie[] = "cdrweb_token";
// A token is a random nonce and its MAC under the device's key, in hex.
const size_t kNonceBytes = 16;
const size_t kTagBytes = 16;
const size_t kKeyBytes = 32;
// The key's file, in the queue directory: the daemon's and the web side's
// group only, and on a RAM disk, so a restart of the device makes a new one.
const char kKeyName[] = "cdrweb.key";
// The page waits at most this long for cdrd, so a busy recorder never
// holds the web server.
const int kTimeoutMs = 3000;

// COUNT bytes from the kernel's random source, or "" with *ERROR.
std::string RandomBytes(size_t count, std::string* error) {
    System& sys = System::Default();
    std::string bytes(count, '\0');
    const int fd = sys.Open("/dev/urandom", O_RDONLY | O_CLOEXEC, 0);
    const ssize_t n = fd < 0 ? -1 : sys.Read(fd, &bytes[0], count);
    const int saved = errno;
    if (fd >= 0)
        sys.Close(fd);
    if (n == static_cast<ssize_t>(count))
        return bytes;
    *error = Join({"/dev/urandom: ", n < 0 ? strerror(saved) : "short read"});
    return "";
}

// The device's secret for form tokens: read from the key file, or made by
// the first cdrweb that finds none. Only a regular file of this user's that
// no one else may read is taken; never through a link. "" with *ERROR.
std::string Key(std::string* error) {
    System& sys = System::Default();
    const std::string path = Join({QueueAddress::Directory(), "/", kKeyName});
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = sys.Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
        if (fd >= 0) {
            struct stat st;
            std::string key(kKeyBytes, '\0');
            const bool ok = sys.Fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                            st.st_uid == geteuid() && (st.st_mode & 077) == 0 &&
                            sys.Read(fd, &key[0], kKeyBytes) == static_cast<ssize_t>(kKeyBytes);
            sys.Close(fd);
            if (ok)
                return key;
            *error = Join({path, ": not a key of this user's that only it may read"});
            return "";
        }
        if (errno != ENOENT)
            break;
        const std::string key = RandomBytes(kKeyBytes, error);
        if (key.empty())
            return "";
        const int made =
            sys.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (made >= 0) {
            const bool written = sys.WriteAll(made, key.data(), key.size());
            sys.Close(made);
            if (written)
                return key;
            sys.Unlink(path.c_str());
        }
        if (errno != EEXIST)  // else another cdrweb made it meanwhile: read it
            break;
    }
    *error = Join({path, ": ", strerror(errno)});
    return "";
}

std::string Tag(const std::string& key, const std::string& nonce) {
    return HmacSha256::Hex(
        HmacSha256::Mac(key, Join({"cdrweb form ", nonce})).substr(0, kTagBytes));
}

// A token that this device made: its tag is the nonce's under the key.
bool IsToken(const std::string& text, const std::string& key) {
    if (key.empty() || text.size() != 2 * (kNonceBytes + kTagBytes))
        return false;
    for (const char c : text)
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
    const std::string tag = Tag(key, text.substr(0, 2 * kNonceBytes));
    // Every byte compared, so the time taken does not tell where they differ.
    unsigned char differ = 0;
    for (size_t i = 0; i < tag.size(); ++i)
        differ |= static_cast<unsigned char>(tag[i] ^ text[2 * kNonceBytes + i]);
    return differ == 0;
}

// A token no other site can know or make: a random nonce and its tag.
bool NewToken(const std::string& key, std::string* token, std::string* error) {
    const std::string nonce = RandomBytes(kNonceBytes, error);
    if (key.empty() || nonce.empty()) {
        *error = Join({"No form token: ", *error});
        return false;
    }
    *token = Join({HmacSha256::Hex(nonce), Tag(key, HmacSha256::Hex(nonce))});
    return true;
}

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
    return host && Join({getenv("HTTPS") ? "https://" : "http://", host}) == origin;
}

// The database file at the path cdrd uses, as it builds it; a default
// name is used but never stored from here. "" with *ERROR when the
// general paths cannot be read.
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

// Reads the page's records, or the one with the ID asked for. The file is
// only read: cdrd replaces it whole when it saves, so this sees the old
// file or the new one, and never waits for cdrd.
void ReadRecords(CallLogPage::View* v) {
    struct stat st;
    if (System::Default().Lstat(v->mPath.c_str(), &st) != 0) {
        v->mFileError = errno == ENOENT ? "The file does not exist yet: cdrd makes it with the "
                                          "first record it saves."
                                        : Join({"The file cannot be read: ", strerror(errno), "."});
        return;
    }
    try {
        Configuration::RecordFile file(v->mPath.c_str());
        v->mTotal = static_cast<size_t>(file.GetSectionCount());
        const size_t pages = (v->mTotal + CallLogPage::kPageSize - 1) / CallLogPage::kPageSize;
        v->mPage = std::max<size_t>(1, std::min(v->mPage, pages));
        const size_t first = (v->mPage - 1) * CallLogPage::kPageSize;
        char id[256];
        file.Restart();
        for (size_t i = 0; file.GotoNextSection(); ++i) {
            const bool wanted = v->mId.empty()
                                    ? i >= first && i < first + CallLogPage::kPageSize
                                    : file.GetSectionEntry("ID", id, sizeof id) && v->mId == id;
            if (!wanted)
                continue;
            v->mRecords.emplace_back();
            file.ForEachSectionEntry([v](std::string_view key, std::string_view value) {
                v->mRecords.back().emplace_back(std::string(key), std::string(value));
            });
            if (!v->mId.empty())
                break;
        }
    } catch (const std::exception& e) {
        v->mFileError = Join({"The file cannot be read: ", e.what()});
        v->mTotal = 0;
        v->mRecords.clear();
    }
}

// "the stated and missed calls databases", for the databases of MASK.
std::string DbList(int mask) {
    std::string names = "the ";
    int left = mask;
    for (int db = 0; db < 3; ++db) {
        if (!(mask & (1 << db)))
            continue;
        left &= ~(1 << db);
        TextPieces::Append(names, {CallLogPage::DbName(db), !left                 ? ""
                                                            : (left & (left - 1)) ? ", "
                                                                                  : " and "});
    }
    TextPieces::Append(names, {" calls database", (mask & (mask - 1)) ? "s" : ""});
    return names;
}

// Carries out a POST's action; returns the answer for the page, and false
// in *OK when nothing or not all was done.
std::string Act(const CgiRequest& request, bool* ok) {
    *ok = false;
    const std::string action = request.Form("action");
    int mask = 0;
    for (const std::string& text : request.FormAll("mask")) {
        int64_t bits = 0;
        if (!NumberText::Whole(text.c_str(), 0, 7, &bits))
            return Join({"The database choice \"", text, "\" is not 1, 2, 4 or a sum of them."});
        mask |= static_cast<int>(bits);
    }
    const bool clear = action == "clear", download = action == "download-now";
    if (!clear && !download && action != "flush")
        return Join({"Unknown action \"", action, "\": nothing was done."});
    if (!download && mask == 0)
        return "Choose at least one database: nothing was done.";
    if (clear && request.Form("confirm") != "yes")
        return "To clear, tick the box that confirms it: nothing was deleted.";

    RecorderLink link(kTimeoutMs);
    if (!link.Connect())
        return Join({"Nothing was done: ", link.Error(), ". Is cdrd running?"});
    WireMessage command, answer;
    if (download) {
        command.mType = WireMessage::kDownloadNow;
        if (!link.Send(command))
            return Join({"The download was not asked for: ", link.Error(), "."});
        *ok = true;
        return "Asked cdrd to download the statistics now; the status shows how the last "
               "download went.";
    }
    command.mType = clear ? WireMessage::kClear : WireMessage::kFlush;
    command.mMask = mask;
    RecorderStatus status;
    const char* what = clear ? "Clear" : "Flush";
    if (!link.Ask(command, clear ? WireMessage::kClearDone : WireMessage::kFlushDone, &answer) ||
        !link.Status(&status))
        return Join({what, " failed: ", link.Error(), "."});
    // The answer carries only the mask; the status tells how the saves went.
    std::string trouble;
    for (const std::string& t : StatusReport::Troubles(status, mask))
        TextPieces::Append(trouble, {trouble.empty() ? "" : "; ", t});
    if (!trouble.empty())
        return Join({what, " failed: ", trouble, "."});
    *ok = true;
    return Join({clear ? "Cleared " : "Flushed ", DbList(mask), "."});
}

// The page for a GET, HEAD or POST: its status line, a cookie to set, and
// the HTML.
struct Reply {
    const char* mStatus = "200 OK";
    std::string mSetCookie;
    std::string mBody;
};

Reply Serve(const CgiRequest& request) {
    Reply reply;
    CallLogPage::View v;
    const std::string db = request.Query("db");
    v.mDb = db == "missed" ? 1 : db == "failed" ? 2 : 0;
    if (!db.empty() && db != "stated" && v.mDb == 0) {
        reply.mStatus = "400 Bad Request";
        v.mAnswerOk = false;
        v.mAnswer = Join({"There is no database \"", db, "\": choose stated, missed or failed."});
    }
    int64_t page = 1;
    if (!NumberText::Whole(request.Query("page").c_str(), 1, INT32_MAX, &page))
        page = 1;
    v.mPage = static_cast<size_t>(page);
    v.mId = request.Query("id");

    std::string error;
    const std::string key = Key(&error);
    v.mToken = request.Cookie(kCookie);
    const bool hadToken = IsToken(v.mToken, key);
    if (request.Method() == "POST") {
        // The form must carry the token of the cookie that this page set: a
        // page of another site can make the browser send the cookie but not
        // read it, and cannot make a token that this device would take.
        if (hadToken && request.Form("token") == v.mToken && SameOrigin()) {
            v.mAnswer = Act(request, &v.mAnswerOk);
        } else {
            reply.mStatus = "403 Forbidden";
            v.mAnswerOk = false;
            v.mAnswer =
                "This form is not from this page, or has expired: nothing was done. "
                "Use the form below.";
        }
    }
    if (!hadToken) {
        if (NewToken(key, &v.mToken, &error)) {
            reply.mSetCookie = Join({kCookie, "=", v.mToken, "; Path=/; SameSite=Strict; HttpOnly",
                                     getenv("HTTPS") ? "; Secure" : ""});
        } else {
            reply.mStatus = "500 Internal Server Error";
            v.mAnswerOk = false;
            v.mAnswer = error;
            v.mToken.clear();
        }
    }

    v.mPath = DatabasePath(v.mDb, &error);
    if (v.mPath.empty())
        v.mFileError = Join({"The database's path is not known: ", error, "."});
    else
        ReadRecords(&v);

    RecorderLink link(kTimeoutMs);
    v.mHaveStatus = link.Connect() && link.Status(&v.mStatus);
    if (!v.mHaveStatus)
        v.mStatusError = Join({link.Error(), link.Unreachable() ? ". Is cdrd running?" : "."});
    reply.mBody = CallLogPage::Render(v);
    return reply;
}

}  // namespace

int main() {
    CgiRequest request;
    std::string error, headers;
    Reply reply;
    const bool taken = request.Read(&error);
    const std::string& method = request.Method();
    if (method != "GET" && method != "HEAD" && method != "POST") {
        reply.mStatus = "405 Method Not Allowed";
        headers = "Allow: GET, HEAD, POST\r\n";
        reply.mBody = "Only GET, HEAD and POST are served here.\n";
    } else if (!taken) {
        reply.mStatus = "400 Bad Request";
        reply.mBody = Join({"The request cannot be taken: ", error, ".\n"});
    } else {
        try {
            reply = Serve(request);
        } catch (const std::exception& e) {
            // Out of memory, say: an answer that needs none.
            static const char kFailed[] =
                "Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\n"
                "cdrweb failed: ";
            struct iovec pieces[3] = {{const_cast<char*>(kFailed), sizeof kFailed - 1},
                                      {const_cast<char*>(e.what()), strlen(e.what())},
                                      {const_cast<char*>("\n"), 1}};
            System::Default().WriteAll(STDOUT_FILENO, pieces, 3);
            return 1;
        }
        headers =
            "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
            "form-action 'self'; frame-ancestors 'none'; base-uri 'none'\r\n";
    }
    if (!reply.mSetCookie.empty())
        TextPieces::Append(headers, {"Set-Cookie: ", reply.mSetCookie, "\r\n"});
    const bool html = reply.mBody.compare(0, 9, "<!DOCTYPE") == 0;
    const std::string head =
        Join({"Status: ", reply.mStatus, "\r\nContent-Type: ", html ? "text/html" : "text/plain",
              "; charset=utf-8\r\nCache-Control: no-store\r\nX-Frame-Options: DENY\r\n"
              "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n",
              headers, "\r\n"});
    struct iovec pieces[2] = {{const_cast<char*>(head.data()), head.size()},
                              {const_cast<char*>(reply.mBody.data()), reply.mBody.size()}};
    return System::Default().WriteAll(STDOUT_FILENO, pieces, method == "HEAD" ? 1 : 2) ? 0 : 1;
}
