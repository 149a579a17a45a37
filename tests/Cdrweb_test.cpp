// cdrweb run as the web server runs it: environment and standard input in,
// headers and HTML out; against records on storage and a running cdrd.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <string>

#include "platform/config/RecordFile.h"
#include "tests/support/DaemonFixture.h"

using namespace testing_support;

namespace {

class CdrwebTest : public DaemonTest {
protected:
    void SetUp() override {
        DaemonTest::SetUp();
        if (IsSkipped())
            return;
        mkdir(mDir.File("msgq").c_str(), 0770);  // where the form key is kept
        // The reader of the saved files: this build's, not an installed one.
        setenv("CDRWEB_CDRCTL", Launcher(CDRCTL, "cdrctl").c_str(), 1);
        const std::string page = Web("GET", "db=stated", "", "");
        const size_t at = page.find("Set-Cookie: cdrweb_token=");
        ASSERT_NE(std::string::npos, at) << page;
        mToken = page.substr(at + 25, page.find(';', at) - at - 25);
    }
    // The whole answer of one request. COOKIE: the token cookie, if any (null:
    // the one the page gave).
    std::string Web(const char* method, const std::string& query, const std::string& body = "",
                    const char* cookie = nullptr, int status = 0) {
        setenv("REQUEST_METHOD", method, 1);
        setenv("QUERY_STRING", query.c_str(), 1);
        setenv("HTTP_COOKIE", ("cdrweb_token=" + (cookie ? cookie : mToken)).c_str(), 1);
        setenv("CONTENT_TYPE", "application/x-www-form-urlencoded", 1);
        setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
        WriteFile(mDir.File("in"), body);
        Process web(CDRWEB, {}, mDir.File("web"), mDir.File("in"));
        EXPECT_EQ(status, web.Wait());
        return ReadFile(mDir.File("web"));
    }
    std::string Post(const std::string& form) {
        return Web("POST", "db=stated", "token=" + mToken + "&" + form);
    }
    static bool Has(const std::string& page, const std::string& text) {
        return page.find(text) != std::string::npos;
    }
    std::string mToken;
};

// Undoes what the page did to a value: entities, and the raw spans that
// show bytes as \xHH. Any other markup in a value is a failure.
std::string Unescape(const std::string& html) {
    std::string out;
    const std::regex token(
        "&(amp|lt|gt|quot|#39);|<span class=\"raw\">\\\\x([0-9A-F]{2})</span>|([^&<]+)|(.)");
    for (std::sregex_iterator it(html.begin(), html.end(), token), end; it != end; ++it) {
        const std::smatch& m = *it;
        if (m[1].matched)
            out += std::string("&<>\"'")[std::string("amp lt  gt  quot#39 ").find(m[1]) / 4];
        else if (m[2].matched)
            out += static_cast<char>(std::stoi(m[2], nullptr, 16));
        else if (m[3].matched)
            out += m[3];
        else
            ADD_FAILURE() << "markup in a value: " << html;
    }
    return out;
}

}  // namespace

// 120 records on storage, read while cdrd is not running: pages of 50,
// newest first, and every byte a caller name can hold shown as text.
TEST_F(CdrwebTest, PagesShowEveryByteAsText) {
    std::string bytes;
    for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
    const std::string names[] = {"<script>alert(1)</script>", "\"><img onerror=alert(2)>",
                                 "Dr. M\xC3\xBCller \xE2\x80\xAE\xC2\x85", bytes,
                                 "typed \\x41 and \\u{202E}"};
    {
        Configuration::RecordFile db((mBase + "telephony/CDR_db").c_str());
        for (int id = 0; id < 120; ++id) {
            db.AddSection(true);
            db.SetSectionEntry("ID", std::to_string(id).c_str());
            db.AddSectionEntry("caller", names[id % 5].c_str());
        }
        db.Save(true, nullptr);
    }
    const std::regex row(
        "<tr><td class=\"t\">stated</td><td class=\"n\"><a href=\"\\?db=stated&amp;id=([0-9]+)\">"
        "[0-9]+</a></td><td class=\"t\">[^<]*</td><td class=\"n\">[^<]*</td><td>(.*?)"
        "</td><td>");
    for (int page = 1; page <= 4; ++page) {
        // Page 4 is past the end, as is a page number of any length.
        const std::string html = Web(
            "GET", "db=stated&page=" + (page < 4 ? std::to_string(page) : std::string(30, '9')));
        std::vector<int> ids;
        for (std::sregex_iterator it(html.begin(), html.end(), row), end; it != end; ++it) {
            ids.push_back(std::stoi((*it)[1]));
            const std::string cell = (*it)[2];
            // What is not valid UTF-8, or would act on the layout, is spelt out.
            if (ids.back() % 5 == 2) {
                EXPECT_EQ(
                    "Dr. M\xC3\xBCller <span class=\"raw\">\\u{202E}</span><span "
                    "class=\"raw\">\\u{0085}</span>",
                    cell);
                continue;
            }
            EXPECT_EQ(names[ids.back() % 5], Unescape(cell)) << ids.back();
            EXPECT_TRUE(std::all_of(cell.begin(), cell.end(), [](char c) {
                return c >= 0x20 && c < 0x7F;
            })) << cell;
        }
        const int newest = 119 - 50 * (std::min(page, 3) - 1);
        ASSERT_EQ(page < 3 ? 50u : 20u, ids.size()) << page;  // page 4: the last there is
        for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(newest - static_cast<int>(i), ids[i]);
        EXPECT_TRUE(Has(html, "Page " + std::to_string(std::min(page, 3)) + " of 3"));
        EXPECT_TRUE(Has(html, "cannot reach cdrd: " + QueueAddress::PathOf(111))) << html;
        EXPECT_FALSE(Has(html, "<script") || Has(html, "<img"));
    }
    EXPECT_TRUE(Has(Web("GET", "db=stated&id=1"),
                    "<tr><th>caller</th><td>" + std::string("&quot;&gt;&lt;img")));
    EXPECT_TRUE(Has(Web("GET", "db=missed"), "The file does not exist yet"));
    // The search and the download read the saved files the same way.
    const std::string found = Web("GET", "db=all&caller=IMG+ONERROR&page=2");
    EXPECT_TRUE(Has(found, "; 24 matches</p>")) << found;
    EXPECT_TRUE(Has(found, "Page 1 of 1"));
    // The terms go on in the page's links encoded, a NUL byte too.
    EXPECT_TRUE(Has(Web("GET", "db=all&party=a%00b"), "party=a%00b&amp;page=1"));
    const std::string csv = Web("GET", "db=stated&party=script&format=csv");
    EXPECT_TRUE(Has(csv, "Content-Type: text/csv; charset=utf-8\r\n")) << csv;
    EXPECT_EQ(24u + 1, Count(csv, "\r\nstated,") + Count(csv, "\r\nkind,")) << csv;
    // Requests it cannot take are refused with the reason.
    EXPECT_TRUE(Has(Web("PUT", "db=stated"), "Status: 405 Method Not Allowed\r\n"));
    EXPECT_TRUE(Has(Web("POST", "db=stated", std::string(9000, 'x')), "at most 8192 bytes"));
    // A client that sends less than it announced, and holds on, is given up on.
    Web("POST", "db=stated", std::string(100, 'x'));  // the environment of a 100-byte form
    const std::string slow = mDir.File("slow");
    ASSERT_EQ(0, mkfifo(slow.c_str(), 0600));
    const int client = open(slow.c_str(), O_RDWR);  // held open: no end of the body
    ASSERT_EQ(6, write(client, "token=", 6));
    Process web(CDRWEB, {}, mDir.File("web"), slow);
    EXPECT_EQ(0, web.Wait());
    EXPECT_TRUE(Has(ReadFile(mDir.File("web")), "the form did not arrive within 5 s"));
    close(client);
    EXPECT_TRUE(Has(Web("GET", "db=calls"), "There is no database &quot;calls&quot;"));
    // Without its reader of the saved files, the page says which it misses.
    setenv("CDRWEB_CDRCTL", mDir.File("none").c_str(), 1);
    EXPECT_TRUE(Has(Web("GET", "db=stated"), "cannot start " + mDir.File("none") + ": No such"));
    // A download that cannot be made says so in its last line, and fails.
    EXPECT_TRUE(Has(Web("GET", "db=stated&format=csv", "", nullptr, 1),
                    "\r\n\r\n\"The download is cut short: cannot start " + mDir.File("none")));
#ifdef MEMORY_FAULTS
    setenv("LD_PRELOAD", MEMORY_FAULTS, 1);
    setenv("OOM_LOOKUP_OF", "MSGQ_DIR", 1);
    setenv("OOM_AT_LOOKUP", "2", 1);  // from the look-up for cdrd's queue on
    setenv("OOM_IN_MALLOC", "1", 1);  // cdrweb's operator new is its own
    const std::string failed = Web("GET", "db=stated", "", nullptr, 1);
    unsetenv("LD_PRELOAD");
    unsetenv("OOM_LOOKUP_OF");
    unsetenv("OOM_AT_LOOKUP");
    unsetenv("OOM_IN_MALLOC");
    EXPECT_EQ(
        "Status: 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\n"
        "cdrweb failed: out of memory\n",
        failed);
#endif
}

// Records cdrd has not saved yet: GET leaves them so, whatever it asks; a
// POST acts only with the token of its own cookie, and says what it did.
TEST_F(CdrwebTest, OnlyAPostWithItsTokenActs) {
    WriteFile(mBase + "sysconfig/general_settings.conf", "CDR_STATED_SAVE_INTERVAL=1000\n");
    Start();
    ASSERT_EQ(0, Run(CDRSEND, {"--kind", "stated", "--caller", "Alice"}));
    ASSERT_EQ(0, Run(CDRSEND, {"--kind", "stated", "--caller", "Bob"}));
    Handled(2);
    const std::string db = mBase + "telephony/CDR_db";
    std::string page = Web("GET", "db=stated&action=flush&mask=7&token=" + mToken);
    EXPECT_TRUE(Has(page, "X-Frame-Options: DENY\r\n"));
    EXPECT_TRUE(Has(page, "frame-ancestors 'none'"));
    EXPECT_TRUE(Has(page, "2 records, 2 not yet saved")) << page;
    EXPECT_TRUE(Has(page, "stated: 2 records</p>")) << "unsaved records are listed";
    EXPECT_TRUE(Has(page, "Status: 400 Bad Request\r\n")) << "an address never acts";
    EXPECT_FALSE(Has(page, "value=\"download-now\"")) << "download is off";
    EXPECT_TRUE(Has(page, "\nmissed calls: ")) << page;  // the status, line by line
    for (const std::string& token : {std::string(), std::string(32, '0')}) {
        page = Web("POST", "db=stated", "action=flush&mask=1&token=" + token);
        EXPECT_TRUE(Has(page, "Status: 403 Forbidden\r\n")) << page;
        EXPECT_TRUE(Has(page, "nothing was done"));
    }
    EXPECT_TRUE(Has(Web("POST", "db=stated", "action=flush&mask=1", ""), "403 Forbidden"));
    // A cookie that another page of the same host planted, with the same in
    // the form, is not one this device made.
    const std::string planted(64, 'a');
    EXPECT_TRUE(
        Has(Web("POST", "db=stated", "action=flush&mask=1&token=" + planted, planted.c_str()),
            "403 Forbidden"));
    // Nor does a form that the browser says came from another origin act.
    for (const auto& [header, value] :
         {std::pair<const char*, const char*>{"HTTP_SEC_FETCH_SITE", "same-site"},
          {"HTTP_ORIGIN", "http://device:8080"}}) {
        setenv("HTTP_HOST", "device", 1);
        setenv(header, value, 1);
        EXPECT_TRUE(Has(Post("action=flush&mask=1"), "403 Forbidden")) << header;
        unsetenv(header);
    }
    setenv("HTTP_ORIGIN", "http://device", 1);
    EXPECT_TRUE(Has(Post("action=download-now"), "Automatic download is off")) << "its own origin";
    unsetenv("HTTP_ORIGIN");
    EXPECT_NE(0, access(db.c_str(), F_OK));

    const struct {
        std::string form, answer;
        size_t onStorage;
    } steps[] = {
        {"action=flush&mask=%31", "Flushed the stated calls database.", 2},
        {"action=clear&mask=1&mask=2", "To clear, tick the box that confirms it", 2},
        {"action=clear&mask=1&mask=2&confirm=yes", "Cleared the stated and missed calls databases.",
         0},
        {"action=flush&mask=8", "is not 1, 2, 4 or a sum of them", 0},
        {"action=download-now", "Automatic download is off, so there is nothing to download", 0},
    };
    for (const auto& step : steps) {
        page = Post(step.form);
        EXPECT_TRUE(Has(page, "role=\"status\"")) << step.form;
        EXPECT_TRUE(Has(page, step.answer)) << step.form << "\n" << page;
        EXPECT_EQ(step.onStorage, Count(ReadFile(db), "{\n")) << step.form;
    }
    EXPECT_TRUE(Has(Web("GET", "db=stated"), "There are no records."));
    Stop(SIGTERM);
    page = Post("action=flush&mask=7");
    EXPECT_TRUE(Has(page, "Nothing was done: cannot reach cdrd: ")) << page;
}
