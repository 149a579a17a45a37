#include "tools/CallLogPage.h"

#include <algorithm>
#include <sstream>

#include "platform/util/NumberText.h"
#include "tools/CgiRequest.h"
#include "tools/HtmlText.h"
#include "tools/StatusReport.h"
#include "tools/TextPieces.h"

namespace {

using Entries = CallLogPage::Entries;

const char* const kTitles[3] = {"Stated calls", "Missed calls", "Failed calls"};

// On a phone each record of the list is a paragraph; a wide table scrolls
// sideways. Print leaves out the controls.
const char kStyle[] =
    "body{font:15px/1.4 sans-serif;margin:0 auto;max-width:72em;padding:0 .8em;color:#111}"
    "nav a{margin-right:1em}nav a[aria-current]{font-weight:bold;text-decoration:none}"
    ".wide{overflow-x:auto}table{border-collapse:collapse;width:100%}"
    "th,td{text-align:left;vertical-align:top;padding:.25em .5em;border-bottom:1px solid #ccc}"
    "td.n{text-align:right}td.n,td.t{white-space:nowrap}.raw{color:#a00;font-family:monospace}"
    ".ok{background:#e6f4e6;padding:.5em}.fail{background:#fbe3e3;padding:.5em}"
    "pre{white-space:pre-wrap;background:#f4f4f4;padding:.5em}"
    "form{border:1px solid #ccc;padding:.5em}button{margin:.3em .3em .3em 0}"
    "@media print{form,nav,.actions{display:none}}"
    "@media(max-width:40em){.list thead{display:none}.list tr{display:block;padding:.4em 0;"
    "border-bottom:1px solid #ccc}.list td{display:inline;border:0;padding:0 .5em 0 0}"
    ".list td:last-child{display:block}}";

void Put(std::string& out, std::initializer_list<std::string_view> pieces) {
    TextPieces::Append(out, pieces);
}

void Text(std::string& out, std::string_view text) {
    HtmlText::Append(out, text);
}

// The value of KEY, or null when the record has none.
const std::string* Find(const Entries& record, std::string_view key) {
    for (const auto& entry : record)
        if (entry.first == key)
            return &entry.second;
    return nullptr;
}

std::string_view Value(const Entries& record, std::string_view key) {
    const std::string* value = Find(record, key);
    return value ? std::string_view(*value) : std::string_view();
}

// The start time as local date and time, or the text as it stands.
void Start(std::string& out, std::string_view text) {
    int64_t seconds = 0;
    if (NumberText::Whole(std::string(text).c_str(), INT32_MIN, INT32_MAX, &seconds))
        out += StatusReport::LocalTime(seconds);
    else
        Text(out, text);
}

// The duration as h:mm:ss, or the text as it stands.
void Duration(std::string& out, std::string_view text) {
    int64_t seconds = 0;
    if (!NumberText::Whole(std::string(text).c_str(), 0, UINT32_MAX, &seconds)) {
        Text(out, text);
        return;
    }
    char hms[32];
    snprintf(hms, sizeof hms, "%u:%02u:%02u", static_cast<unsigned>(seconds / 3600),
             static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    out += hms;
}

// The keys of a media stream's entries that the list shows.
struct StreamKeys {
    const char *mSent, *mSendCodec, *mReceived, *mReceiveCodec, *mLost;
};
const StreamKeys kStreams[2] = {{"tx_pkt", "tx_enc", "rx_pkt", "rx_enc", "rx_lost"},
                                {"tx_pkt_2", "tx_enc_2", "rx_pkt_2", "rx_enc_2", "rx_lost_2"}};

// Codecs, packets and loss of each stream, and the fax transfer.
void Media(std::string& out, const Entries& r) {
    const char* separator = "";
    for (const StreamKeys& k : kStreams) {
        if (!Find(r, k.mSent) && !Find(r, k.mReceived))
            continue;
        const std::string* tx = Find(r, k.mSendCodec);
        const std::string* rx = Find(r, k.mReceiveCodec);
        out += separator;
        separator = "<br>";
        Text(out, tx ? *tx : "-");
        out += '/';
        Text(out, rx ? *rx : "-");
        out += ": ";
        Text(out, Value(r, k.mSent));
        out += " sent, ";
        Text(out, Value(r, k.mReceived));
        out += " received";
        if (const std::string* lost = Find(r, k.mLost)) {
            out += ", ";
            Text(out, *lost);
            out += " lost";
        }
    }
    if (Find(r, "fax_tx_pkt") || Find(r, "fax_rx_pkt")) {
        TextPieces::Append(out, {separator, "fax: "});
        Text(out, Value(r, "fax_tx_pkt"));
        out += " sent, ";
        Text(out, Value(r, "fax_rx_pkt"));
        out += " received";
    }
}

// An address of this page: ?db=NAME&WHAT=VALUE, VALUE URL-encoded.
void Link(std::string& out, int db, const char* what, std::string_view value) {
    Put(out, {"?db=", CallLogPage::DbName(db), "&amp;", what, "=", CgiRequest::UrlEncode(value)});
}

void List(const CallLogPage::View& v, std::string& out) {
    const size_t pages = (v.mTotal + CallLogPage::kPageSize - 1) / CallLogPage::kPageSize;
    out +=
        "<div class=\"wide\"><table "
        "class=\"list\"><thead><tr><th>ID</th><th>Start</th><th>Duration</th>"
        "<th>Caller</th><th>Called</th><th>Media</th></tr></thead><tbody>\n";
    for (const Entries& r : v.mRecords) {
        out += "<tr><td class=\"n\"><a href=\"";
        Link(out, v.mDb, "id", Value(r, "ID"));
        out += "\">";
        Text(out, Value(r, "ID"));
        out += "</a></td><td class=\"t\">";
        Start(out, Value(r, "ST"));
        out += "</td><td class=\"n\">";
        Duration(out, Value(r, "dur"));
        out += "</td><td>";
        Text(out, Value(r, "caller"));
        out += Value(r, "clir_caller") == "1" ? " (restricted)</td><td>" : "</td><td>";
        Text(out, Value(r, "called"));
        out += "</td><td>";
        Media(out, r);
        out += "</td></tr>\n";
    }
    Put(out, {"</tbody></table></div>\n<nav class=\"pages\">Page ", TextPieces::Number(v.mPage),
              " of ", TextPieces::Number(pages)});
    if (v.mPage > 1) {
        out += " <a rel=\"prev\" href=\"";
        Link(out, v.mDb, "page", TextPieces::Number(v.mPage - 1));
        out += "\">Newer</a>";
    }
    if (v.mPage < pages) {
        out += " <a rel=\"next\" href=\"";
        Link(out, v.mDb, "page", TextPieces::Number(v.mPage + 1));
        out += "\">Older</a>";
    }
    out += "</nav>\n";
}

void Details(const CallLogPage::View& v, std::string& out) {
    if (v.mRecords.empty()) {
        out += "<p class=\"fail\">There is no record with the ID ";
        Text(out, v.mId);
        out += " in this database.</p>\n";
    } else {
        out += "<div class=\"wide\"><table class=\"details\"><tbody>\n";
        for (const auto& [key, value] : v.mRecords.front()) {
            out += "<tr><th>";
            Text(out, key);
            out += "</th><td>";
            Text(out, value);
            if (key == "ST" || key == "dur") {
                out += " (";
                (key == "ST" ? Start : Duration)(out, value);
                out += ')';
            }
            out += "</td></tr>\n";
        }
        out += "</tbody></table></div>\n";
    }
    out += "<p><a href=\"";
    Link(out, v.mDb, "page", "1");
    out += "\">Back to the list</a></p>\n";
}

void Actions(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"actions\"><h2>Actions</h2>\n<form method=\"post\" action=\"";
    Link(out, v.mDb, "page", TextPieces::Number(v.mPage));
    out += "\">\n<input type=\"hidden\" name=\"token\" value=\"";
    Text(out, v.mToken);
    out += "\">\n<p>Databases:";
    for (int db = 0; db < 3; ++db)
        Put(out, {" <label><input type=\"checkbox\" name=\"mask\" value=\"",
                  std::string_view("124" + db, 1), db == v.mDb ? "\" checked> " : "\"> ",
                  CallLogPage::DbName(db), "</label>"});
    out +=
        "</p>\n<p><button name=\"action\" value=\"flush\">Flush</button> "
        "<button name=\"action\" value=\"download-now\">Download now</button></p>\n"
        "<p><label><input type=\"checkbox\" name=\"confirm\" value=\"yes\"> "
        "Yes, delete every record of the chosen databases</label> "
        "<button name=\"action\" value=\"clear\">Clear</button></p>\n</form></section>\n";
}

void Status(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"status\"><h2>Recorder status</h2>\n";
    if (v.mHaveStatus) {
        std::ostringstream text;
        StatusReport::Text(v.mStatus, text);
        // Line by line: a line end in the report is layout, not a value.
        const std::string report = text.str();
        out += "<pre>";
        for (size_t at = 0, end; at < report.size(); at = end + 1) {
            end = std::min(report.find('\n', at), report.size());
            Text(out, std::string_view(report).substr(at, end - at));
            out += '\n';
        }
        out += "</pre>\n";
    } else {
        out += "<p class=\"fail\">";
        Text(out, v.mStatusError);
        out += "</p>\n";
    }
    out += "</section>\n";
}

}  // namespace

const char* CallLogPage::DbName(int db) {
    static const char* const kNames[3] = {"stated", "missed", "failed"};
    return kNames[db];
}

std::string CallLogPage::Render(const View& v) {
    std::string out;
    out.reserve(16384 + 1024 * v.mRecords.size());
    Put(out, {"<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
              "<title>Call log: ",
              kTitles[v.mDb], "</title>\n<style>", kStyle,
              "</style></head>\n<body>\n<header><h1>Call log</h1><nav>"});
    for (int db = 0; db < 3; ++db)
        Put(out, {"<a href=\"?db=", DbName(db), db == v.mDb ? "\" aria-current=\"page\">" : "\">",
                  kTitles[db], "</a>"});
    out += "</nav></header>\n";
    if (!v.mAnswer.empty()) {
        Put(out, {"<p id=\"answer\" role=\"status\" class=\"", v.mAnswerOk ? "ok" : "fail", "\">"});
        Text(out, v.mAnswer);
        out += "</p>\n";
    }
    Put(out, {"<main>\n<h2>", kTitles[v.mDb], "</h2>\n<p>File "});
    Text(out, v.mPath);
    if (v.mFileError.empty())
        Put(out, {": ", TextPieces::Number(v.mTotal), v.mTotal == 1 ? " record" : " records"});
    out += "</p>\n";
    if (!v.mFileError.empty()) {
        out += "<p class=\"fail\">";
        Text(out, v.mFileError);
        out += "</p>\n";
    } else if (!v.mId.empty()) {
        Details(v, out);
    } else if (v.mTotal == 0) {
        out += "<p class=\"note\">There are no records in this database.</p>\n";
    } else {
        List(v, out);
    }
    out += "</main>\n";
    Actions(v, out);
    Status(v, out);
    out += "</body></html>\n";
    return out;
}
