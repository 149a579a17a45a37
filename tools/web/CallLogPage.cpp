#include "tools/web/CallLogPage.h"

#include <algorithm>

#include "platform/msg/CDRKind.h"
#include "platform/msg/RecordSearch.h"
#include "platform/util/DecimalText.h"
#include "platform/util/NumberText.h"
#include "tools/StatusReport.h"
#include "tools/TextPieces.h"
#include "tools/web/CgiRequest.h"
#include "tools/web/HtmlText.h"

namespace {

using Entries = RecordSearch::EntryViews;

const char* const kTitles[4] = {"All calls", "Stated calls", "Missed calls", "Failed calls"};
// The database selector bits of a clear or flush, by index.
const char* const kMasks[3] = {"1", "2", "4"};

// On a phone each record of the list is a paragraph and long texts wrap
// anywhere; a wide table scrolls sideways. Print leaves out the controls.
const char kStyle[] =
    "body{font:15px/1.4 sans-serif;margin:0 auto;max-width:72em;padding:0 .8em;color:#111}"
    "p,pre,li{overflow-wrap:anywhere}td{overflow-wrap:break-word}th{white-space:nowrap}"
    "nav a{margin-right:1em;display:inline-block}nav a[aria-current]{font-weight:bold;"
    "text-decoration:none}.wide{overflow-x:auto}table{border-collapse:collapse;width:100%}"
    "th,td{text-align:left;vertical-align:top;padding:.25em .5em;border-bottom:1px solid #ccc}"
    "td.n{text-align:right}td.n,td.t{white-space:nowrap}"
    ".ok{background:#e6f4e6;padding:.5em}.fail{background:#fbe3e3;padding:.5em}"
    ".note{background:#fff4d6;padding:.5em}"
    "pre{white-space:pre-wrap;background:#f4f4f4;padding:.5em}"
    "form{border:1px solid #ccc;padding:.5em;margin:.5em 0}button{margin:.3em .3em .3em 0}"
    ".terms label{display:inline-block;margin:0 .8em .3em 0}.terms input{max-width:100%}"
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
const std::string_view* Find(const Entries& record, std::string_view key) {
    for (const auto& entry : record)
        if (entry.first == key)
            return &entry.second;
    return nullptr;
}

std::string_view Value(const Entries& record, std::string_view key) {
    const std::string_view* value = Find(record, key);
    return value ? *value : std::string_view();
}

// The start time as local date and time, or the text as it stands.
void Start(std::string& out, std::string_view text) {
    int64_t seconds = 0;
    if (NumberText::Whole(text, INT32_MIN, INT32_MAX, &seconds))
        out += StatusReport::LocalTime(seconds);
    else
        Text(out, text);
}

// The duration as h:mm:ss, or the text as it stands.
void Duration(std::string& out, std::string_view text) {
    int64_t seconds = 0;
    if (!NumberText::Whole(text, 0, UINT32_MAX, &seconds)) {
        Text(out, text);
        return;
    }
    char hms[StatusReport::kDurationText];
    out.append(hms, StatusReport::Duration(static_cast<uint32_t>(seconds), hms));
}

// What the list shows of a record's media, gathered in one pass over its
// entries (a record has up to 46): null where the record has none.
struct MediaFields {
    // Per stream: packets sent, send codec, packets received, receive
    // codec, packets lost.
    const std::string_view* mStream[2][5] = {};
    const std::string_view* mFaxSent = nullptr;
    const std::string_view* mFaxReceived = nullptr;
};

MediaFields Gather(const Entries& r) {
    static const char* const kKeys[5] = {"tx_pkt", "tx_enc", "rx_pkt", "rx_enc", "rx_lost"};
    MediaFields m;
    for (const auto& [key, value] : r) {
        if (key == "fax_tx_pkt")
            m.mFaxSent = &value;
        else if (key == "fax_rx_pkt")
            m.mFaxReceived = &value;
        if (key.size() < 6 || (key[0] != 't' && key[0] != 'r'))
            continue;
        const bool second = key.size() > 2 && key.substr(key.size() - 2) == "_2";
        const std::string_view base = second ? key.substr(0, key.size() - 2) : key;
        for (int k = 0; k < 5; ++k)
            if (base == kKeys[k])
                m.mStream[second ? 1 : 0][k] = &value;
    }
    return m;
}

// "CODEC: N sent" or "CODEC: N received".
void Side(std::string& out, const std::string_view* codec, const std::string_view& packets,
          const char* what) {
    Text(out, codec ? *codec : "?");
    out += ": ";
    Text(out, packets);
    out += what;
}

// Codecs, packets and loss of each side a stream had, and the fax transfer.
void Media(std::string& out, const Entries& r) {
    const MediaFields m = Gather(r);
    const char* separator = "";
    for (const auto& stream : m.mStream) {
        const std::string_view *sent = stream[0], *received = stream[2], *lost = stream[4];
        if (!sent && !received)
            continue;
        out += separator;
        separator = "<br>";
        if (sent)
            Side(out, stream[1], *sent, " sent");
        if (sent && received)
            out += ", ";
        if (received) {
            Side(out, stream[3], *received, " received");
            if (lost) {
                out += ", ";
                Text(out, *lost);
                out += " lost";
            }
        }
    }
    if (m.mFaxSent || m.mFaxReceived) {
        Put(out, {separator, "fax: "});
        Text(out, m.mFaxSent ? *m.mFaxSent : "");
        out += " sent, ";
        Text(out, m.mFaxReceived ? *m.mFaxReceived : "");
        out += " received";
    }
}

// An address of this page: ?db=NAME, the search terms, and EXTRA (already
// encoded, "&amp;"-joined), for an href.
void Link(std::string& out, const CallLogPage::View& v, int db, std::string_view extra) {
    Put(out, {"?db=", CallLogPage::DbName(db)});
    for (const auto& [name, value] : v.mTerms)
        Put(out, {"&amp;", name, "=", CgiRequest::UrlEncode(value)});
    out += extra;
}

void PageLink(std::string& out, const CallLogPage::View& v, uint32_t page, const char* rel,
              const char* label) {
    Put(out, {" <a rel=\"", rel, "\" href=\""});
    Link(out, v, v.mDb, TextPieces::Join({"&amp;page=", TextPieces::Number(page)}));
    Put(out, {"\">", label, "</a>"});
}

uint32_t Pages(const RecordPage& p) {
    return (p.mMatches + RecordQuery::kPageSize - 1) / RecordQuery::kPageSize;
}

void List(const CallLogPage::View& v, std::string& out) {
    out +=
        "<div class=\"wide\"><table class=\"list\"><thead><tr><th>Kind</th><th>ID</th>"
        "<th>Start</th><th>Duration</th><th>Caller</th><th>Called</th><th>Media</th></tr>"
        "</thead><tbody>\n";
    for (const RecordPage::Record& raw : v.mRecords.mList) {
        std::list<std::string> scratch;
        const Entries r = RecordSearch::DecodeViews(raw.mText, &scratch);
        Put(out, {"<tr><td class=\"t\">", KindName(raw.mDb),
                  "</td><td class=\"n\"><a href=\"?db=", KindName(raw.mDb), "&amp;id="});
        out += CgiRequest::UrlEncode(Value(r, "ID"));
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
    const uint32_t pages = std::max<uint32_t>(1, Pages(v.mRecords));
    Put(out, {"</tbody></table></div>\n<nav class=\"pages\">Page ", TextPieces::Number(v.mPage),
              " of ", TextPieces::Number(pages)});
    if (v.mPage > 1)
        PageLink(out, v, v.mPage - 1, "prev", "Newer");
    if (v.mPage < pages)
        PageLink(out, v, v.mPage + 1, "next", "Older");
    out += " <a download href=\"";
    Link(out, v, v.mDb, "&amp;format=csv");
    out += "\">Download CSV</a></nav>\n";
}

void Details(const CallLogPage::View& v, std::string& out) {
    if (v.mRecords.mList.empty()) {
        Put(out, {"<p class=\"fail\">There is no record with the ID "});
        Text(out, v.mId);
        Put(out, {" in the ", KindName(v.mDb), " calls database.</p>\n"});
    } else {
        out += "<div class=\"wide\"><table class=\"details\"><tbody>\n";
        std::list<std::string> scratch;
        for (const auto& [key, value] :
             RecordSearch::DecodeViews(v.mRecords.mList.front().mText, &scratch)) {
            out += "<tr><th>";
            Text(out, key);
            out += "</th><td>";
            Text(out, value);
            if (key == "ST") {
                out += " (";
                Start(out, value);
                out += ')';
            } else if (key == "dur") {
                out += " (";
                Duration(out, value);
                out += ')';
            }
            out += "</td></tr>\n";
        }
        out += "</tbody></table></div>\n";
    }
    out += "<p><a href=\"";
    Link(out, v, v.mDb, "");
    out += "\">Back to the list</a></p>\n";
}

const std::string* Term(const CallLogPage::View& v, std::string_view name) {
    for (const auto& term : v.mTerms)
        if (term.first == name)
            return &term.second;
    return nullptr;
}

void Field(std::string& out, const CallLogPage::View& v, const char* name, const char* label,
           const char* type) {
    const std::string* value = Term(v, name);
    // A time typed into the address does not fit a date field: shown as text.
    if (value && value->size() != 10 && std::string_view(type) == "date")
        type = "text";
    Put(out, {"<label>", label, " <input name=\"", name, "\" type=\"", type, "\" value=\""});
    if (value)
        Text(out, *value);
    out += "\"></label>\n";
}

void Search(const CallLogPage::View& v, std::string& out) {
    out += "<form class=\"terms\" method=\"get\" role=\"search\"><label>Calls <select name=\"db\">";
    for (int db = -1; db < 3; ++db)
        Put(out, {"<option value=\"", CallLogPage::DbName(db), db == v.mDb ? "\" selected>" : "\">",
                  kTitles[db + 1], "</option>"});
    out += "</select></label>\n";
    Field(out, v, "party", "Number or name", "search");
    Field(out, v, "caller", "Caller", "search");
    Field(out, v, "called", "Called", "search");
    Field(out, v, "since", "From", "date");
    Field(out, v, "until", "To", "date");
    Field(out, v, "min-duration", "At least (s)", "number");
    out += "<button>Search</button>";
    if (!v.mTerms.empty()) {
        Put(out, {" <a href=\"?db=", CallLogPage::DbName(v.mDb), "\">Show all</a>"});
    }
    out += "</form>\n";
}

void Actions(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"actions\"><h2>Actions</h2>\n<form method=\"post\" action=\"";
    Link(out, v, v.mDb, TextPieces::Join({"&amp;page=", TextPieces::Number(v.mPage)}));
    out += "\">\n<input type=\"hidden\" name=\"token\" value=\"";
    Text(out, v.mToken);
    out += "\">\n<p>Databases:";
    for (int db = 0; db < 3; ++db)
        Put(out, {" <label><input type=\"checkbox\" name=\"mask\" value=\"", kMasks[db],
                  db == v.mDb ? "\" checked> " : "\"> ", KindName(db), "</label>"});
    out += "</p>\n<p><button name=\"action\" value=\"flush\">Flush</button>";
    // A download can only be asked for while automatic download is on.
    if (v.mHaveStatus && v.mStatus.mDownload)
        out += " <button name=\"action\" value=\"download-now\">Download now</button>";
    out +=
        "</p>\n<p><label><input type=\"checkbox\" name=\"confirm\" value=\"yes\"> "
        "Yes, delete every record of the chosen databases</label> "
        "<button name=\"action\" value=\"clear\">Clear</button></p>\n</form></section>\n";
}

void Status(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"status\"><h2>Recorder status</h2>\n";
    if (v.mHaveStatus) {
        // Line by line: a line end in the report is layout, not a value.
        const std::string report = StatusReport::Text(v.mStatus);
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

// How many records there are, and where they come from.
void Summary(const CallLogPage::View& v, std::string& out) {
    const RecordPage& p = v.mRecords;
    out += "<p>";
    const char* separator = "";
    for (int db = 0; db < 3; ++db) {
        if (v.mDb >= 0 && db != v.mDb)
            continue;
        Put(out, {separator, KindName(db), ": "});
        separator = " · ";
        if (!p.mOpen[db]) {
            out += v.mFileErrors[db].empty() ? "not open" : "not read";
        } else {
            Put(out,
                {TextPieces::Number(p.mRecords[db]), p.mRecords[db] == 1 ? " record" : " records"});
        }
        if (!v.mPaths[db].empty()) {
            out += " (";
            Text(out, v.mPaths[db]);
            out += ')';
        }
        if (!v.mFileErrors[db].empty()) {
            out += " <span class=\"fail\">";
            Text(out, v.mFileErrors[db]);
            out += "</span>";
        }
    }
    if (v.mSearching && v.mId.empty())
        Put(out, {"; ", TextPieces::Number(p.mMatches), p.mMatches == 1 ? " match" : " matches"});
    out += "</p>\n";
}

}  // namespace

const char* CallLogPage::DbName(int db) {
    return db < 0 ? "all" : KindName(db);
}

std::string CallLogPage::Render(const View& v) {
    std::string out;
    out.reserve(16384 + 1024 * v.mRecords.mList.size());
    Put(out, {"<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
              "<title>Call log: ",
              kTitles[v.mDb + 1], "</title>\n<style>", kStyle,
              "</style></head>\n<body>\n<header><h1>Call log</h1><nav>"});
    for (int db = -1; db < 3; ++db)
        Put(out, {"<a href=\"?db=", DbName(db), db == v.mDb ? "\" aria-current=\"page\">" : "\">",
                  kTitles[db + 1], "</a>"});
    out += "</nav></header>\n";
    if (!v.mSourceNote.empty()) {
        out += "<p id=\"source\" class=\"note\">";
        Text(out, v.mSourceNote);
        out += "</p>\n";
    }
    if (!v.mAnswer.empty()) {
        Put(out, {"<p id=\"answer\" role=\"status\" class=\"", v.mAnswerOk ? "ok" : "fail", "\">"});
        Text(out, v.mAnswer);
        out += "</p>\n";
    }
    Put(out, {"<main>\n<h2>", kTitles[v.mDb + 1], "</h2>\n"});
    if (v.mId.empty())
        Search(v, out);
    if (!v.mError.empty()) {
        out += "<p class=\"fail\">";
        Text(out, v.mError);
        out += "</p>\n";
    } else {
        Summary(v, out);
        if (!v.mId.empty())
            Details(v, out);
        else if (v.mRecords.mList.empty())
            Put(out, {"<p class=\"none\">",
                      v.mSearching ? "No record matches the search." : "There are no records.",
                      "</p>\n"});
        else
            List(v, out);
    }
    out += "</main>\n";
    Actions(v, out);
    Status(v, out);
    out += "</body></html>\n";
    return out;
}
