#include "tools/web/CallLogPage.h"

#include <algorithm>

#include "platform/msg/CDRKind.h"
#include "platform/util/NumberText.h"
#include "tools/StatusReport.h"
#include "tools/web/HtmlText.h"
#include "tools/web/RecordEntries.h"

namespace {

const char* const kTitles[4] = {"All calls", "Stated calls", "Missed calls", "Failed calls"};

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

// Each text of the page goes in through a pattern; see HtmlText.
constexpr void (*Format)(std::string&, const char*, ...) = HtmlText::Format;

// A piece of the page's own text, with no value in it. A row of the list
// puts most of its text through two patterns: 200 bytes less on the
// device than a piece at a time, for about 600 instructions more a row.
template <size_t N>
void Put(std::string& out, const char (&text)[N]) {
    out.append(text, N - 1);
}

void Html(std::string& out, std::string_view text) {
    HtmlText::Append(out, text);
}

// The start time as local date and time, or the text as it stands.
void Start(std::string& out, std::string_view text) {
    int64_t seconds = 0;
    char shown[StatusReport::kTimeText];
    if (NumberText::Whole(text, INT32_MIN, INT32_MAX, &seconds))
        out.append(shown, StatusReport::LocalTime(seconds, shown));
    else
        Html(out, text);
}

// The duration as h:mm:ss, or the text as it stands.
void Duration(std::string& out, std::string_view text) {
    int64_t seconds = 0;
    char shown[StatusReport::kDurationText];
    if (NumberText::Whole(text, 0, UINT32_MAX, &seconds))
        out.append(shown, StatusReport::Duration(static_cast<uint32_t>(seconds), shown));
    else
        Html(out, text);
}

// What the list shows of a record's media, gathered in one pass over its
// entries (a record has up to 46): null where the record has none. Per
// stream: packets sent, send codec, packets received, receive codec,
// packets lost; then the fax's packets sent and received.
constexpr int kMediaKeys = 12;
using MediaFields = const std::string_view* [kMediaKeys];

void Gather(const RecordEntries& r, MediaFields& m) {
    static const char* const kKeys[kMediaKeys] = {
        "tx_pkt",   "tx_enc",   "rx_pkt",   "rx_enc",    "rx_lost",    "tx_pkt_2",
        "tx_enc_2", "rx_pkt_2", "rx_enc_2", "rx_lost_2", "fax_tx_pkt", "fax_rx_pkt"};
    for (const auto& [key, value] : r)
        for (int k = 0; k < kMediaKeys; ++k)
            if (key == kKeys[k])
                m[k] = &value;
}

// "CODEC: N", of the packets a side sent or received.
void Side(std::string& out, const std::string_view* codec, std::string_view packets) {
    Html(out, codec ? *codec : "?");
    Put(out, ": ");
    Html(out, packets);
}

// Codecs, packets and loss of each side a stream had, and the fax transfer.
void Media(std::string& out, const RecordEntries& r) {
    MediaFields m = {};
    Gather(r, m);
    const char* separator = "";
    for (int s = 0; s < 2; ++s) {
        const std::string_view* const* stream = m + 5 * s;
        const std::string_view *sent = stream[0], *received = stream[2], *lost = stream[4];
        if (!sent && !received)
            continue;
        out += separator;
        separator = "<br>";
        if (sent) {
            Side(out, stream[1], *sent);
            Put(out, " sent");
        }
        if (sent && received)
            Put(out, ", ");
        if (received) {
            Side(out, stream[3], *received);
            Put(out, " received");
            if (lost) {
                Put(out, ", ");
                Html(out, *lost);
                Put(out, " lost");
            }
        }
    }
    const std::string_view *faxSent = m[10], *faxReceived = m[11];
    if (faxSent || faxReceived) {
        const std::string_view sent = faxSent ? *faxSent : "",
                               received = faxReceived ? *faxReceived : "";
        Format(out, "%sfax: %h sent, %h received", separator, sent.data(), sent.size(),
               received.data(), received.size());
    }
}

// An address of this page for an href: ?db=NAME and the search terms,
// each "&amp;"-joined; what follows is the caller's.
void Link(std::string& out, const CallLogPage::View& v, int db) {
    Format(out, "?db=%s", CallLogPage::DbName(db));
    for (size_t i = 0; i < CallLogPage::kTermCount; ++i)
        if (!v.mTerms[i].empty())
            Format(out, "&amp;%s=%e", CallLogPage::kTerms[i], v.mTerms[i].data(),
                   v.mTerms[i].size());
}

void PageLink(std::string& out, const CallLogPage::View& v, uint32_t page, const char* rel,
              const char* label) {
    Format(out, " <a rel=\"%s\" href=\"", rel);
    Link(out, v, v.mDb);
    Format(out, "&amp;page=%u\">%s</a>", page, label);
}

uint32_t Pages(const RecordsView& p) {
    return (p.mMatches + RecordQuery::kPageSize - 1) / RecordQuery::kPageSize;
}

void List(const CallLogPage::View& v, std::string& out) {
    out +=
        "<div class=\"wide\"><table class=\"list\"><thead><tr><th>Kind</th><th>ID</th>"
        "<th>Start</th><th>Duration</th><th>Caller</th><th>Called</th><th>Media</th></tr>"
        "</thead><tbody>\n";
    RecordsView::Record raw;
    for (size_t at = 0; v.mRecords.mView.Next(&at, &raw);) {
        const RecordEntries r(raw.mText);
        const char* kind = KindName(raw.mDb);
        const std::string_view id = r.Value("ID");
        Format(out,
               "<tr><td class=\"t\">%s</td><td class=\"n\"><a href=\"?db=%s&amp;id=%e\">%h</a>"
               "</td><td class=\"t\">",
               kind, kind, id.data(), id.size(), id.data(), id.size());
        Start(out, r.Value("ST"));
        Put(out, "</td><td class=\"n\">");
        Duration(out, r.Value("dur"));
        const std::string_view caller = r.Value("caller"), called = r.Value("called");
        Format(out, "</td><td>%h%s</td><td>%h</td><td>", caller.data(), caller.size(),
               r.Value("clir_caller") == "1" ? " (restricted)" : "", called.data(), called.size());
        Media(out, r);
        out += "</td></tr>\n";
    }
    Format(out, "</tbody></table></div>\n<nav class=\"pages\">Page %u of %u", v.mPage,
           std::max<uint32_t>(1, Pages(v.mRecords.mView)));
    if (v.mPage > 1)
        PageLink(out, v, v.mPage - 1, "prev", "Newer");
    if (v.mPage < Pages(v.mRecords.mView))
        PageLink(out, v, v.mPage + 1, "next", "Older");
    out += " <a download href=\"";
    Link(out, v, v.mDb);
    out += "&amp;format=csv\">Download CSV</a></nav>\n";
}

void Details(const CallLogPage::View& v, std::string& out) {
    RecordsView::Record first;
    size_t at = 0;
    if (!v.mRecords.mView.Next(&at, &first)) {
        Format(
            out,
            "<p class=\"fail\">There is no record with the ID %h in the %s calls database.</p>\n",
            v.mId.data(), v.mId.size(), KindName(v.mDb));
    } else {
        out += "<div class=\"wide\"><table class=\"details\"><tbody>\n";
        for (const auto& [key, value] : RecordEntries(first.mText)) {
            Format(out, "<tr><th>%h</th><td>%h", key.data(), key.size(), value.data(),
                   value.size());
            // The start and the duration also as a person reads them.
            const bool start = key == "ST";
            if (start || key == "dur") {
                Put(out, " (");
                (start ? Start : Duration)(out, value);
                Put(out, ")");
            }
            Put(out, "</td></tr>\n");
        }
        out += "</tbody></table></div>\n";
    }
    out += "<p><a href=\"";
    Link(out, v, v.mDb);
    out += "\">Back to the list</a></p>\n";
}

bool AnyTerm(const CallLogPage::View& v) {
    for (const std::string_view term : v.mTerms)
        if (!term.empty())
            return true;
    return false;
}

void Search(const CallLogPage::View& v, std::string& out) {
    out += "<form class=\"terms\" method=\"get\" role=\"search\"><label>Calls <select name=\"db\">";
    for (int db = -1; db < 3; ++db)
        Format(out, "<option value=\"%s\"%s>%s</option>", CallLogPage::DbName(db),
               db == v.mDb ? " selected" : "", kTitles[db + 1]);
    out += "</select></label>\n";
    // Label and type of each term's field, in kTerms' order.
    static const char* const kFields[CallLogPage::kTermCount][2] = {{"Number or name", "search"},
                                                                    {"Caller", "search"},
                                                                    {"Called", "search"},
                                                                    {"From", "date"},
                                                                    {"To", "date"},
                                                                    {"At least (s)", "number"}};
    for (size_t i = 0; i < CallLogPage::kTermCount; ++i) {
        const std::string_view value = v.mTerms[i];
        const char* type = kFields[i][1];
        // A time typed into the address does not fit a date field: shown as text.
        const bool asText = !value.empty() && value.size() != 10 && type[0] == 'd';
        Format(out, "<label>%s <input name=\"%s\" type=\"%s\" value=\"%h\"></label>\n",
               kFields[i][0], CallLogPage::kTerms[i], asText ? "text" : type, value.data(),
               value.size());
    }
    out += "<button>Search</button>";
    if (AnyTerm(v))
        Format(out, " <a href=\"?db=%s\">Show all</a>", CallLogPage::DbName(v.mDb));
    out += "</form>\n";
}

void Actions(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"actions\"><h2>Actions</h2>\n<form method=\"post\" action=\"";
    Link(out, v, v.mDb);
    Format(out,
           "&amp;page=%u\">\n<input type=\"hidden\" name=\"token\" value=\"%h\">\n<p>Databases:",
           v.mPage, v.mToken.data(), v.mToken.size());
    for (int db = 0; db < 3; ++db)
        Format(out, " <label><input type=\"checkbox\" name=\"mask\" value=\"%u\"%s> %s</label>",
               1u << db, db == v.mDb ? " checked" : "", KindName(db));
    // A download can only be asked for while automatic download is on.
    Format(out,
           "</p>\n<p><button name=\"action\" value=\"flush\">Flush</button>%s</p>\n"
           "<p><label><input type=\"checkbox\" name=\"confirm\" value=\"yes\"> "
           "Yes, delete every record of the chosen databases</label> "
           "<button name=\"action\" value=\"clear\">Clear</button></p>\n</form></section>\n",
           v.mHaveStatus && v.mStatus.mDownload
               ? " <button name=\"action\" value=\"download-now\">Download now</button>"
               : "");
}

void Status(const CallLogPage::View& v, std::string& out) {
    out += "<section class=\"status\"><h2>Recorder status</h2>\n";
    if (v.mHaveStatus) {
        // Line by line: a line end in the report is layout, not a value.
        const std::string report = StatusReport::Text(v.mStatus);
        out += "<pre>";
        for (size_t at = 0, end; at < report.size(); at = end + 1) {
            end = std::min(report.find('\n', at), report.size());
            Format(out, "%h\n", report.data() + at, end - at);
        }
        out += "</pre>\n";
    } else {
        Format(out, "<p class=\"fail\">%h</p>\n", v.mStatusError.data(), v.mStatusError.size());
    }
    out += "</section>\n";
}

// How many records there are, and where they come from.
void Summary(const CallLogPage::View& v, std::string& out) {
    const RecordsView& p = v.mRecords.mView;
    out += "<p>";
    const char* separator = "";
    for (int db = 0; db < 3; ++db) {
        if (v.mDb >= 0 && db != v.mDb)
            continue;
        Format(out, "%s%s: ", separator, KindName(db));
        separator = " · ";
        const std::string_view path = v.mPaths[db], error = v.mFileErrors[db];
        if (!p.mOpen[db])
            out += error.empty() ? "not open" : "not read";
        else
            Format(out, "%u record%s", p.mRecords[db], p.mRecords[db] == 1 ? "" : "s");
        if (!path.empty())
            Format(out, " (%h)", path.data(), path.size());
        if (!error.empty())
            Format(out, " <span class=\"fail\">%h</span>", error.data(), error.size());
    }
    if (v.mSearching && v.mId.empty())
        Format(out, "; %u match%s", p.mMatches, p.mMatches == 1 ? "" : "es");
    out += "</p>\n";
}

}  // namespace

const char* const CallLogPage::kTerms[kTermCount] = {"party", "caller", "called",
                                                     "since", "until",  "min-duration"};

const char* CallLogPage::DbName(int db) {
    return db < 0 ? "all" : KindName(db);
}

void CallLogPage::Render(const View& v, std::string& out) {
    out.reserve(out.size() + 16384 + 1024 * v.mRecords.mView.mCount);
    const char* title = kTitles[v.mDb + 1];
    Format(out,
           "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>Call log: %s</title>\n<style>%s</style></head>\n<body>\n"
           "<header><h1>Call log</h1><nav>",
           title, kStyle);
    for (int db = -1; db < 3; ++db)
        Format(out, "<a href=\"?db=%s\"%s>%s</a>", DbName(db),
               db == v.mDb ? " aria-current=\"page\"" : "", kTitles[db + 1]);
    out += "</nav></header>\n";
    if (!v.mSourceNote.empty())
        Format(out, "<p id=\"source\" class=\"note\">%h</p>\n", v.mSourceNote.data(),
               v.mSourceNote.size());
    if (!v.mAnswer.empty())
        Format(out, "<p id=\"answer\" role=\"status\" class=\"%s\">%h</p>\n",
               v.mAnswerOk ? "ok" : "fail", v.mAnswer.data(), v.mAnswer.size());
    Format(out, "<main>\n<h2>%s</h2>\n", title);
    if (v.mId.empty())
        Search(v, out);
    if (!v.mError.empty()) {
        Format(out, "<p class=\"fail\">%h</p>\n", v.mError.data(), v.mError.size());
    } else {
        Summary(v, out);
        if (!v.mId.empty())
            Details(v, out);
        else if (v.mRecords.mView.mCount == 0)
            Format(out, "<p class=\"none\">%s</p>\n",
                   v.mSearching ? "No record matches the search." : "There are no records.");
        else
            List(v, out);
    }
    out += "</main>\n";
    Actions(v, out);
    Status(v, out);
    out += "</body></html>\n";
}
